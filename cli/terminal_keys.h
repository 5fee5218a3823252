#pragma once
// Single key presses from the terminal without echo or line buffering, for
// as long as a TerminalKeys is active; the terminal's settings are restored
// by terminalKeysRestore. Ctrl-C still raises SIGINT.
#include <termios.h>

struct TerminalKeys {
    bool active = false;    // stdin is a terminal and its settings were changed
    bool atEnd = false;     // stdin has ended: no more keys
    struct termios saved {};
};

void terminalKeysBegin(TerminalKeys& keys);
void terminalKeysRestore(TerminalKeys& keys);
// Waits at most timeoutMs for a key; returns it, or 0 when none came. The
// arrow keys' escape sequences come back as keyLeft and keyRight.
int terminalKeysRead(TerminalKeys& keys, int timeoutMs);

constexpr int keyLeft = 0x100;
constexpr int keyRight = 0x101;
