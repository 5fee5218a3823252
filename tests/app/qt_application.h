#pragma once
// One QApplication for the whole test program, made on first use (the test
// listing step never needs one). ctest runs with QT_QPA_PLATFORM=offscreen.
#include <QApplication>

inline QApplication& testApplication() {
    static int argc = 1;
    static char name[] = "test_app";
    static char* argv[] = {name, nullptr};
    static QApplication* application = new QApplication(argc, argv);
    return *application;
}
