#include "cli/playlist.h"
#include <algorithm>
#include <cctype>
#include <filesystem>

namespace {

bool hasModuleExtension(const std::filesystem::path& path) {
    std::string extension = path.extension().string();
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension == ".q7m";
}

void addFolder(const std::string& folder, std::vector<std::string>& files,
               std::vector<std::string>& errors) {
    std::error_code error;
    std::vector<std::string> found;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        std::error_code typeError;
        if (it->is_regular_file(typeError) && hasModuleExtension(it->path()))
            found.push_back(it->path().string());
    }
    if (error) {
        errors.push_back(folder + ": " + error.message());
        return;
    }
    std::sort(found.begin(), found.end());
    files.insert(files.end(), found.begin(), found.end());
}

}  // namespace

std::vector<std::string> playlistCollect(const std::vector<std::string>& arguments,
                                         std::vector<std::string>& errors) {
    std::vector<std::string> files;
    for (const std::string& argument : arguments) {
        std::error_code error;
        if (std::filesystem::is_directory(argument, error)) addFolder(argument, files, errors);
        else files.push_back(argument);  // opening it reports what is wrong with it
    }
    return files;
}
