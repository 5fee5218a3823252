#include "cli/interrupt_signal.h"

volatile std::sig_atomic_t interruptSignal = 0;

static void onInterrupt(int signal) { interruptSignal = signal; }

void runInterruptible(const std::function<void()>& command) {
    interruptSignal = 0;
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    std::signal(SIGHUP, onInterrupt);
    command();
    if (const int signal = interruptSignal) {
        std::signal(signal, SIG_DFL);
        std::raise(signal);
    }
}
