#include <bridge/instance.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ns {
struct Widget { };
} // namespace ns

namespace {

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override { bg::clearInstance(); }
    void TearDown() override { bg::clearInstance(); }

    static std::vector<std::string> keys()
    {
        std::vector<std::string> seen;
        bg::travellInstance([](const char* key, void*,
                                void* ctx) { static_cast<std::vector<std::string>*>(ctx)->push_back(key); },
            &seen);
        return seen;
    }

    int a = 0, b = 0, c = 0;
};

TEST_F(RegistryTest, NamesMapToTheLastPointer)
{
    bg::setInstance("Memvia", &a);
    bg::setInstance("Memvia", &b);
    EXPECT_EQ(bg::getInstance("Memvia"), &b);
    EXPECT_EQ(bg::getInstanceCount(), 1);
    EXPECT_EQ(bg::getInstance("memvia"), nullptr);
    EXPECT_EQ(bg::eraseInstance("Nothing"), 0);
    EXPECT_EQ(bg::eraseInstance("Memvia"), 1);
    EXPECT_EQ(bg::getInstance("Memvia"), nullptr);
    EXPECT_EQ(bg::getInstance(static_cast<const char*>(nullptr)), nullptr);
}

TEST_F(RegistryTest, TypesShareTheirReadableName)
{
    bg::setInstance(typeid(ns::Widget), &a);
    EXPECT_EQ(bg::getInstance(typeid(ns::Widget)), &a);
    EXPECT_EQ(bg::getInstance("ns::Widget"), &a);
    bg::setInstance("ns::Widget", &b);
    EXPECT_EQ(bg::getInstance(typeid(ns::Widget)), &b);
    EXPECT_EQ(bg::getInstanceCount(), 1);
}

TEST_F(RegistryTest, WalkIsInByteOrderAndMayEraseTheCurrentEntry)
{
    for (const char* key : { "admin", "Memvia", "Admin", "Mem", "\xe4\xb8\xad" })
        bg::setInstance(key, &a);
    EXPECT_EQ(keys(), std::vector<std::string>({ "Admin", "Mem", "Memvia", "admin", "\xe4\xb8\xad" }));

    bg::travellInstance([](const char* key, void*, void*) { bg::eraseInstance(key); }, nullptr);
    EXPECT_EQ(bg::getInstanceCount(), 0);
}

TEST_F(RegistryTest, ClearEmptiesWithoutTouchingObjects)
{
    bg::setInstance("one", &a);
    bg::setInstance("two", &b);
    bg::setInstance(typeid(ns::Widget), &c);
    bg::clearInstance();
    EXPECT_EQ(bg::getInstanceCount(), 0);
    EXPECT_EQ(bg::getInstance("one"), nullptr);
    EXPECT_EQ(bg::getInstance(typeid(ns::Widget)), nullptr);
    EXPECT_TRUE(keys().empty());
    bg::showAllInstance("no root component"); // nothing to log to, nothing happens
}

} // namespace
