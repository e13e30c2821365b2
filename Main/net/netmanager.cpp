#include "net/netmanager.h"

#include <QDeadlineTimer>

NetManager* NetManager::instance()
{
    static NetManager manager;
    return &manager;
}

NetManager::~NetManager() { stop(); }

void NetManager::addTask(int type, bg::ValueMap& params)
{
    QMutexLocker lock(&m_mutex);
    m_tasks.enqueue({ type, params });
    m_wake.wakeOne();
}

bool NetManager::waitIdle(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    QMutexLocker lock(&m_mutex);
    while (isRunning() && !m_stopped && (m_busy || !m_tasks.isEmpty())) {
        if (!m_idle.wait(&m_mutex, deadline))
            return false;
    }
    return true;
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
            m_busy = true;
        }
        runTask(task.first, task.second);
        QMutexLocker lock(&m_mutex);
        m_busy = false;
        if (m_tasks.isEmpty())
            m_idle.wakeAll();
    }
}

void NetManager::runTask(int type, const bg::ValueMap&)
{
    // The request classes come with the server-call layer; until then every task reports that it
    // could not be sent.
    if (type == GetAppConfig)
        emit SRVGetAppConfigResult(false, QString(), -1, QString::fromUtf8("请求未实现"));
}
