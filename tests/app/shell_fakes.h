#pragma once
// A recording player and window for driving the shell, and temporary files.
#include <cstdio>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>
#include "app/shell.h"

// Every call the shell makes, in order: "open <size>", "play", "stop",
// "close", "path <text>", "error <title>|<text>", "quit <code>".
struct ShellLog {
    std::vector<std::string> calls;
    bool refuse = false;              // the player rejects every module
    bool deviceLost = false;          // the sound device has gone
    std::vector<uint8_t> openedBytes; // what the player was handed
};

inline ShellPlayer fakePlayer(ShellLog& log) {
    ShellPlayer ops;
    ops.context = &log;
    ops.open = [](void* c, const uint8_t* image, uint32_t size) {
        auto& log = *static_cast<ShellLog*>(c);
        log.calls.push_back("open " + std::to_string(size));
        log.openedBytes.assign(image, image + size);
        return !log.refuse;
    };
    ops.play = [](void* c) { static_cast<ShellLog*>(c)->calls.push_back("play"); };
    ops.stop = [](void* c) { static_cast<ShellLog*>(c)->calls.push_back("stop"); };
    ops.close = [](void* c) { static_cast<ShellLog*>(c)->calls.push_back("close"); };
    ops.deviceLost = [](void* c) { return static_cast<ShellLog*>(c)->deviceLost; };
    return ops;
}

inline ShellView fakeView(ShellLog& log) {
    ShellView view;
    view.context = &log;
    view.setPathText = [](void* c, const std::string& text) {
        static_cast<ShellLog*>(c)->calls.push_back("path " + text);
    };
    view.showError = [](void* c, const std::string& title, const std::string& text) {
        static_cast<ShellLog*>(c)->calls.push_back("error " + title + "|" + text);
    };
    view.quit = [](void* c, int code) { static_cast<ShellLog*>(c)->calls.push_back("quit " + std::to_string(code)); };
    return view;
}

// A fresh folder under the system's temporary folder, removed at the end.
struct TempFolder {
    std::filesystem::path path;
    explicit TempFolder(const std::string& name) {
        path = std::filesystem::temp_directory_path() / (name + "-" + std::to_string(::getpid()));
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
    }
    ~TempFolder() { std::filesystem::remove_all(path); }
    std::string file(const std::string& name, const std::string& bytes) const {
        const auto full = path / name;
        std::filesystem::create_directories(full.parent_path());
        std::ofstream(full, std::ios::binary) << bytes;
        return full.string();
    }
    std::string folder() const { return path.string() + "/"; }
};
