#pragma once
// SIGTERM and SIGINT end the window program through its normal ending
// (unload, then exit) instead of killing it mid-playback. The handlers only
// write a byte into a pipe; the window thread reads it and runs the ending.
#include <functional>

class QObject;

// Installs both handlers; end runs on the window thread, once per burst of
// signals. Call before the sound output is first opened: it leaves handlers
// that are already installed alone. False when no pipe could be made.
bool installSignalEnding(QObject* owner, std::function<void()> end);
