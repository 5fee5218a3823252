#pragma once
// One QApplication for the whole test program, made on first use (the test
// listing step never needs one). The tests never need a display or a sound
// device: the offscreen platform and SDL's dummy driver are the defaults.
#include <cstdlib>
#include <QApplication>

inline void useTestDevices() {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
}

inline QApplication& testApplication() {
    useTestDevices();
    static int argc = 1;
    static char name[] = "test_app";
    static char* argv[] = {name, nullptr};
    static QApplication* application = new QApplication(argc, argv);
    return *application;
}
