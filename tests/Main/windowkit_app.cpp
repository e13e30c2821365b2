// One QApplication for a widget test program, made before the first test.
// It is kept until the process ends on purpose: Qt 5's offscreen platform never releases the screen it
// creates, so destroying the application would leave that screen as a leak report of the library's own.
#include <QApplication>

#include <gtest/gtest.h>

namespace {

QApplication* g_app = nullptr;

class QApplicationEnvironment : public testing::Environment {
public:
    void SetUp() override
    {
        static int argc = 1;
        static char name[] = "windowkit_test";
        static char* argv[] = { name, nullptr };
        if (!g_app)
            g_app = new QApplication(argc, argv);
    }
};

const auto* const registered = testing::AddGlobalTestEnvironment(new QApplicationEnvironment);

} // namespace
