#include "net/netmanager.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <atomic>

namespace {

// Queued calls are not dropped when the program ends: waitIdle lets the worker finish them first.
TEST(NetManager, WaitIdleLetsQueuedTasksFinishBeforeStop)
{
    int argc = 1;
    char name[] = "test_netmanager";
    char* argv[] = { name, nullptr };
    QCoreApplication app(argc, argv);

    NetManager* net = NetManager::instance();
    std::atomic<int> results { 0 };
    QObject::connect(
        net, &NetManager::SRVGetAppConfigResult, net, [&results] { ++results; }, Qt::DirectConnection);

    EXPECT_TRUE(net->waitIdle(100)) << "a worker that never started has nothing to wait for";
    bg::ValueMap params;
    for (int i = 0; i < 20; ++i)
        net->addTask(NetManager::GetAppConfig, params);
    net->start();
    EXPECT_TRUE(net->waitIdle(10000));
    net->stop();
    EXPECT_EQ(results.load(), 20);
    EXPECT_TRUE(net->waitIdle(100)) << "a stopped worker has nothing to wait for";
}

} // namespace
