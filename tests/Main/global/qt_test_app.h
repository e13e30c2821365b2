#pragma once

#include <QApplication>

// The one QApplication of a test program (offscreen platform), made on first use and kept until exit.
inline QApplication* testApp()
{
    static int argc = 1;
    static char name[] = "tavicast-test";
    static char* argv[] = { name, nullptr };
    static QApplication* const app = new QApplication(argc, argv);
    return app;
}
