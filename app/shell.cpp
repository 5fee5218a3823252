#include "app/shell.h"

#include <array>
#include <limits>
#include <new>
#include <sys/stat.h>

namespace {

constexpr std::array<const char*, 4> moduleSuffixes = {".q7m", ".Q7M", ".Q7m", ".q7M"};

size_t readWhole(std::FILE* file, uint8_t* dest, size_t size) {
    return std::fread(dest, 1, size, file);
}

void setPathText(Shell& shell, const std::string& text) {
    if (shell.view.setPathText) shell.view.setPathText(shell.view.context, text);
}

void freeImage(Shell& shell) {
    delete[] shell.moduleImage;
    shell.moduleImage = nullptr;
    shell.moduleSize = 0;
}

// The file's length when it is a regular file whose length fits the 32-bit
// size; 0 otherwise (a folder, a device, an empty or oversized file).
uint32_t regularFileLength(std::FILE* file) {
    struct stat info {};
    if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode)) return 0;
    if (info.st_size <= 0 || static_cast<uint64_t>(info.st_size) > std::numeric_limits<uint32_t>::max())
        return 0;
    return static_cast<uint32_t>(info.st_size);
}

void endProgram(Shell& shell) {
    unloadModule(shell);
    shell.ending = true;
    if (shell.view.quit) shell.view.quit(shell.view.context, 0);
}

}  // namespace

bool hasModuleSuffix(const std::string& path) {
    const std::string tail = path.size() <= 4 ? path : path.substr(path.size() - 4);
    for (const char* suffix : moduleSuffixes)
        if (tail == suffix) return true;
    return false;
}

void unloadModule(Shell& shell) {
    if (!shell.moduleLoaded) return;
    shell.player.stop(shell.player.context);
    shell.player.close(shell.player.context);  // joins the output thread: the image is free to go
    freeImage(shell);
    shell.moduleLoaded = false;
    setPathText(shell, std::string());
}

void loadAndPlay(Shell& shell) {
    std::FILE* file = std::fopen(shell.currentPath.c_str(), "rb");
    if (!file) return;
    shell.moduleSize = regularFileLength(file);
    if (shell.moduleSize == 0) {
        std::fclose(file);
        return;
    }
    shell.moduleImage = new (std::nothrow) uint8_t[shell.moduleSize];
    if (!shell.moduleImage) {
        shell.moduleSize = 0;
        std::fclose(file);
        return;
    }
    const ShellReadFile read = shell.readFile ? shell.readFile : readWhole;
    const size_t got = read(file, shell.moduleImage, shell.moduleSize);
    std::fclose(file);
    if (got < shell.moduleSize) {
        freeImage(shell);
        if (shell.view.showError)
            shell.view.showError(shell.view.context, "Error", "Error loading " + shell.currentPath + ".");
        endProgram(shell);
        return;
    }
    // A module the player refuses is not kept: the program stays idle.
    if (!shell.player.open(shell.player.context, shell.moduleImage, shell.moduleSize)) {
        freeImage(shell);
        return;
    }
    shell.player.play(shell.player.context);
    shell.moduleLoaded = true;
    setPathText(shell, shell.currentPath);
}

void shellActivate(Shell& shell, const std::string& folderPath, const std::string& name) {
    unloadModule(shell);
    const std::string path = folderPath + name;
    if (!hasModuleSuffix(path)) return;
    shell.currentPath = path;
    loadAndPlay(shell);
}

void shellStop(Shell& shell) { unloadModule(shell); }

void shellCheckDevice(Shell& shell) {
    if (shell.moduleLoaded && shell.player.deviceLost && shell.player.deviceLost(shell.player.context))
        unloadModule(shell);
}

void shellStart(Shell& shell, int argc, const char* const* argv) {
    unloadModule(shell);
    if (argc < 2 || !argv[1]) return;
    std::string path = argv[1];
    if (path.size() >= 2 && path.front() == '"' && path.back() == '"') path = path.substr(1, path.size() - 2);
    if (path.empty() || !hasModuleSuffix(path)) return;
    unloadModule(shell);
    shell.currentPath = path;
    loadAndPlay(shell);
}

void shellEnd(Shell& shell) { endProgram(shell); }
