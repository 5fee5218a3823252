#include "app/shell.h"

#include <array>
#include <utility>

namespace {

constexpr std::array<const char*, 4> moduleSuffixes = {".q7m", ".Q7M", ".Q7m", ".q7M"};

void setPathText(Shell& shell, const std::string& text) {
    if (shell.view.setPathText) shell.view.setPathText(shell.view.context, text);
}

void freeImage(Shell& shell) {
    shell.moduleImage = std::vector<uint8_t>();
    shell.moduleSize = 0;
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
    std::vector<uint8_t> image;
    std::string reason;
    const InputFileStatus status =
        readInputFile(shell.currentPath, maxModuleFileBytes, image, reason, shell.readFile);
    if (status == InputFileStatus::shortRead) {
        if (shell.view.showError)
            shell.view.showError(shell.view.context, "Error", "Error loading " + shell.currentPath + ".");
        endProgram(shell);
        return;
    }
    if (status != InputFileStatus::ok || image.empty()) return;
    shell.moduleImage = std::move(image);
    shell.moduleSize = static_cast<uint32_t>(shell.moduleImage.size());  // at most maxModuleFileBytes
    // A module the player refuses is not kept: the program stays idle.
    if (!shell.player.open(shell.player.context, shell.moduleImage.data(), shell.moduleSize)) {
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
