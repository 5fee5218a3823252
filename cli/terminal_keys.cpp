#include "cli/terminal_keys.h"
#include <poll.h>
#include <unistd.h>
#include <cerrno>

void terminalKeysBegin(TerminalKeys& keys) {
    keys.active = false;
    keys.atEnd = false;
    if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &keys.saved) != 0) return;
    struct termios raw = keys.saved;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    keys.active = tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
}

void terminalKeysRestore(TerminalKeys& keys) {
    if (keys.active) tcsetattr(STDIN_FILENO, TCSANOW, &keys.saved);
    keys.active = false;
}

static int readByte(TerminalKeys& keys, int timeoutMs);

// ESC [ C and ESC [ D (or ESC O C / D); a lone ESC comes back as itself.
static int decodeEscape(TerminalKeys& keys) {
    constexpr int sequenceMs = 20;  // the rest of a sequence arrives at once
    const int open = readByte(keys, sequenceMs);
    if (open != '[' && open != 'O') return 0x1B;
    const int final = readByte(keys, sequenceMs);
    if (final == 'C') return keyRight;
    if (final == 'D') return keyLeft;
    return 0;
}

int terminalKeysRead(TerminalKeys& keys, int timeoutMs) {
    const int key = readByte(keys, timeoutMs);
    return key == 0x1B ? decodeEscape(keys) : key;
}

static int readByte(TerminalKeys& keys, int timeoutMs) {
    if (keys.atEnd) {
        poll(nullptr, 0, timeoutMs);
        return 0;
    }
    struct pollfd input{STDIN_FILENO, POLLIN, 0};
    if (poll(&input, 1, timeoutMs) <= 0) return 0;
    unsigned char key = 0;
    const ssize_t got = read(STDIN_FILENO, &key, 1);
    if (got == 1) return key;
    // End of input (or a closed descriptor): from now on just wait. A
    // terminal in non-canonical mode with VMIN 0 reads 0 only when poll
    // said readable, which is a hang-up.
    if (got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN)) keys.atEnd = true;
    return 0;
}
