// wembrastel: the window player. One optional argument, a module to play at
// start.
#include <cstring>
#include <vector>
#include <QApplication>
#include <QTimer>
#include "app/application_player.h"
#include "app/main_window.h"
#include "app/shell.h"
#include "app/signal_ending.h"

namespace {

Shell shell;  // the one shell state

// Takes "--screenshot FILE" (undocumented: draws the window into FILE and
// ends) out of the arguments.
QString takeScreenshotOption(std::vector<const char*>& args) {
    for (size_t i = 1; i + 1 < args.size(); ++i) {
        if (std::strcmp(args[i], "--screenshot") == 0) {
            const QString file = QString::fromLocal8Bit(args[i + 1]);
            args.erase(args.begin() + static_cast<std::ptrdiff_t>(i), args.begin() + static_cast<std::ptrdiff_t>(i) + 2);
            return file;
        }
    }
    return QString();
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);  // takes the window system's own options out
    std::vector<const char*> args(argv, argv + argc);
    const QString screenshot = takeScreenshotOption(args);

    shell.player = applicationPlayer();
    MainWindow window(shell);
    window.centreOnScreen();
    window.show();
    // Before any sound is opened, so that the sound library keeps its hands
    // off these two signals.
    installSignalEnding(&window, [] { shellEnd(shell); });
    shellStart(shell, static_cast<int>(args.size()), args.data());

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
