#include "net/netmanager.h"

NetManager* NetManager::instance()
{
    static NetManager manager;
    return &manager;
}

NetManager::~NetManager()
{
    stop();
}

void NetManager::addTask(int type, bg::ValueMap& params)
{
    QMutexLocker lock(&m_mutex);
    m_tasks.enqueue({ type, params });
    m_wake.wakeOne();
}

void NetManager::stop()
{
    {
        QMutexLocker lock(&m_mutex);
        m_stopped = true;
        m_wake.wakeAll();
    }
    quit();
    wait();
}

void NetManager::run()
{
    while (!m_stopped) {
        std::pair<int, bg::ValueMap> task;
        {
            QMutexLocker lock(&m_mutex);
            if (m_tasks.isEmpty()) {
                m_wake.wait(&m_mutex, 10);
                continue;
            }
            task = m_tasks.dequeue();
        }
        runTask(task.first, task.second);
    }
}

void NetManager::runTask(int type, const bg::ValueMap&)
{
    // The request classes come with the server-call layer; until then every task reports that it
    // could not be sent.
    if (type == GetAppConfig)
        emit SRVGetAppConfigResult(false, QString(), -1, QString::fromUtf8("请求未实现"));
}
