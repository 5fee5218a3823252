// wembrastel: the window player. One optional argument, a module to play at
// start; --help, --version and --seed N are handled before the window opens.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include <unistd.h>
#include <QApplication>
#include <QIcon>
#include <QTimer>
#include "app/application_player.h"
#include "app/main_window.h"
#include "app/shell.h"

#ifndef WEMBRASTEL_VERSION
#define WEMBRASTEL_VERSION "0.0.0"
#endif

namespace {

Shell shell;  // the one shell state

constexpr const char* usageText =
    "Usage: wembrastel [OPTION]... [MODULE.q7m]\n"
    "Play Wembrastel song modules in a window.\n"
    "\n"
    "A module named on the command line plays at once; the file list plays any\n"
    "other (double-click or Enter), and Stop stops it. A song plays once; its\n"
    "release and effect tails sound on until Stop.\n"
    "\n"
    "Options:\n"
    "  --seed N     fixed seed for noise and random generators, so that every\n"
    "               playback sounds the same (as q7m render --seed N)\n"
    "  --help       show this help and exit\n"
    "  --version    show the version and exit\n"
    "\n"
    "Without a display, q7m play plays a module in a terminal.\n";

// Takes "NAME VALUE" out of the arguments; empty when absent.
std::string takeOption(std::vector<const char*>& args, const char* name) {
    for (size_t i = 1; i + 1 < args.size(); ++i) {
        if (std::strcmp(args[i], name) == 0) {
            const std::string value = args[i + 1];
            args.erase(args.begin() + static_cast<std::ptrdiff_t>(i), args.begin() + static_cast<std::ptrdiff_t>(i) + 2);
            return value;
        }
    }
    return std::string();
}

bool hasFlag(const std::vector<const char*>& args, const char* name) {
    for (size_t i = 1; i < args.size(); ++i)
        if (std::strcmp(args[i], name) == 0) return true;
    return false;
}

// While the window system starts, its messages are held back: when it
// cannot start at all, one line says so and the program ends with status 1
// (rather than the toolkit's abort).
QString firstStartMessage;  // the toolkit's first word while it starts, usually the cause

void windowSystemStartMessage(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (firstStartMessage.isEmpty()) firstStartMessage = message.section(QLatin1Char('\n'), 0, 0);
    if (type != QtFatalMsg) return;
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((!display || !*display) && (!wayland || !*wayland))
        std::fprintf(stderr, "wembrastel: no display to open the window on (DISPLAY is not set); "
                             "q7m play plays without one\n");
    else
        std::fprintf(stderr, "wembrastel: cannot open the window: %s\n",
                     firstStartMessage.toLocal8Bit().constData());
    std::fflush(stderr);
    _exit(1);
}

// Returns false (after saying why) when the seed is not a number.
bool applySeed(const std::string& text) {
    if (text.empty()) return true;
    char* end = nullptr;
    const unsigned long long seed = std::strtoull(text.c_str(), &end, 10);
    if (*end != '\0' || text[0] == '-' || seed > 0xFFFFFFFFull) {
        std::fprintf(stderr, "wembrastel: --seed: %s is not a number from 0 to 4294967295\n", text.c_str());
        return false;
    }
    applicationSetSeed(static_cast<uint32_t>(seed));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<const char*> args(argv, argv + argc);
    if (hasFlag(args, "--help")) {
        std::fputs(usageText, stdout);
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
    }
    if (hasFlag(args, "--version")) {
        std::puts("wembrastel " WEMBRASTEL_VERSION);
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
    }
    if (!applySeed(takeOption(args, "--seed"))) return 2;
    // Takes "--screenshot FILE" (undocumented: draws the window into FILE
    // and ends) out of the arguments.
    const QString screenshot = QString::fromLocal8Bit(takeOption(args, "--screenshot").c_str());

    int qtArgc = static_cast<int>(args.size());
    std::vector<char*> qtArgv;
    for (const char* arg : args) qtArgv.push_back(const_cast<char*>(arg));
    qtArgv.push_back(nullptr);
    const QtMessageHandler previous = qInstallMessageHandler(windowSystemStartMessage);
    QApplication application(qtArgc, qtArgv.data());  // takes the window system's own options out
    qInstallMessageHandler(previous);
    application.setWindowIcon(QIcon::fromTheme(QStringLiteral("wembrastel"), QIcon(QStringLiteral(":/wembrastel.svg"))));

    shell.player = applicationPlayer();
    MainWindow window(shell);
    window.centreOnScreen();
    window.show();
    shellStart(shell, qtArgc, qtArgv.data());

    if (!screenshot.isEmpty()) {
        // Give the file list a moment to read its folder.
        QTimer::singleShot(1500, &window, [&window, screenshot] {
            saveWindowImage(window, screenshot);
            window.close();
        });
    }
    application.exec();
    unloadModule(shell);
    return 0;
}
