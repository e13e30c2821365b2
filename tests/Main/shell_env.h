#pragma once

#include <bridge/bridge_init.h>

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

// Brings the framework up with its configuration and logs in a private temporary folder before the first
// test of a program and tears it down after the last. The Qt application is the test program's own.
class BridgeEnvironment : public testing::Environment {
public:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_configDir = m_dir.path().toStdString();
        bg::SetConfigLogDir(m_configDir.c_str());
        static char name[] = "tavicast-test";
        static char* argv[] = { name, nullptr };
        bg::InitBridge(1, argv);
        ASSERT_NE(CD, nullptr);
    }
    void TearDown() override
    {
        bg::UninitBridge();
        bg::SetConfigLogDir(nullptr);
    }

private:
    QTemporaryDir m_dir;
    std::string m_configDir;
};
