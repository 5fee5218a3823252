#pragma once
// The application shell: what the window does with the file list, the Stop
// button and the command line, kept apart from the widgets so it can be
// driven without a display.
//
// Threading: everything here runs on the window thread. The player's output
// thread reads moduleImage until the player's close has joined it, so the
// order stop, close, free in unloadModule is fixed.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// The module player as the shell drives it (bound to the one static player
// in the application, to a recording fake in tests).
struct ShellPlayer {
    void* context = nullptr;
    bool (*open)(void* context, const uint8_t* image, uint32_t size) = nullptr;  // false: refused
    void (*play)(void* context) = nullptr;
    void (*stop)(void* context) = nullptr;
    void (*close)(void* context) = nullptr;
    // True once the sound device has been lost while playing (null: never).
    bool (*deviceLost)(void* context) = nullptr;
};

// What the shell needs from the window.
struct ShellView {
    void* context = nullptr;
    void (*setPathText)(void* context, const std::string& text) = nullptr;  // control 2
    // A modal box with one OK button; returns when it is dismissed.
    void (*showError)(void* context, const std::string& title, const std::string& text) = nullptr;
    // Ends the event loop (or prevents it from starting) with this exit code.
    void (*quit)(void* context, int exitCode) = nullptr;
};

// Reads up to size bytes; a stand-in lets tests produce a short read.
using ShellReadFile = size_t (*)(std::FILE* file, uint8_t* dest, size_t size);

struct Shell {
    std::string currentPath;        // the module to load, or the one playing
    uint8_t* moduleImage = nullptr; // the whole file, owned here
    uint32_t moduleSize = 0;
    bool moduleLoaded = false;      // the player holds pointers into moduleImage
    ShellPlayer player;
    ShellView view;
    ShellReadFile readFile = nullptr;  // null: fread
    bool ending = false;            // the program is on its way out
};

// True when the last four characters of path (all of it when shorter) are
// ".q7m", ".Q7M", ".Q7m" or ".q7M", compared exactly.
bool hasModuleSuffix(const std::string& path);

// Stops, closes and frees the loaded module and empties the path box;
// nothing when no module is loaded.
void unloadModule(Shell& shell);

// Reads currentPath whole and plays it. A file that cannot be opened, is
// empty, too large for memory or refused by the player leaves the shell idle
// without a word; a short read shows the "Error" box and ends the program.
void loadAndPlay(Shell& shell);

// Activation of a file list entry: always unloads first, then plays
// folderPath + name when it carries the module suffix. folderPath ends in a
// separator.
void shellActivate(Shell& shell, const std::string& folderPath, const std::string& name);
// The Stop button and a right double-click on the file list.
void shellStop(Shell& shell);
// Polled by the window: a lost sound device stops playback as Stop does.
void shellCheckDevice(Shell& shell);
// Start-up: argv[1], when present, not empty and a module path, is played.
// One pair of enclosing double quotes is not part of the path.
void shellStart(Shell& shell, int argc, const char* const* argv);
// Closing the window: unloads, then asks for exit code 0.
void shellEnd(Shell& shell);
