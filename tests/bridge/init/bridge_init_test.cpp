#include <bridge/bridge_init.h>

#include <gtest/gtest.h>

TEST(BridgeInit, NoRootComponentBeforeStartUp)
{
    EXPECT_EQ(CD, nullptr);
    EXPECT_FALSE(Bg_Is_Aborted);
}
