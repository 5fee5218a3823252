#pragma once
// Ctrl-C, SIGTERM and SIGHUP for the interactive commands (play, live): the
// signal is noted for the command's loop to stop at, and once the command has
// cleaned up (terminal restored, device closed) the process ends the way the
// signal would have ended it.
#include <csignal>
#include <functional>

extern volatile std::sig_atomic_t interruptSignal;  // the signal that came, or 0

// Runs command with the signals caught, then raises again the one that came.
void runInterruptible(const std::function<void()>& command);
