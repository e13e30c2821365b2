// One QApplication for a widget test program, made before the first test and destroyed after the last.
#include <QApplication>

#include <gtest/gtest.h>

#include <memory>

namespace {

class QApplicationEnvironment : public testing::Environment {
public:
    void SetUp() override
    {
        static int argc = 1;
        static char name[] = "windowkit_test";
        static char* argv[] = { name, nullptr };
        app_ = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { app_.reset(); }

private:
    std::unique_ptr<QApplication> app_;
};

const auto* const registered = testing::AddGlobalTestEnvironment(new QApplicationEnvironment);

} // namespace
