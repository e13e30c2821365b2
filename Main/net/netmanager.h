#pragma once

#include <bridge/valuemap.h>

#include <QMutex>
#include <QQueue>
#include <QThread>
#include <QWaitCondition>

#include <atomic>
#include <utility>

// The process's one request worker: a thread that runs queued request tasks one at a time and reports
// each result with the signal of the task's type. addTask may be called from any thread; result signals
// are emitted on the worker thread (connect with automatic or queued connections).
class NetManager : public QThread {
    Q_OBJECT
public:
    enum TaskType { GetAppConfig = 35 };

    static NetManager* instance();
    ~NetManager() override;

    void addTask(int type, bg::ValueMap& params);
    // Waits until the queue is empty and no task runs, at most `timeoutMs`; false on time-out. Any thread
    // but the worker's.
    bool waitIdle(int timeoutMs);
    // Clears the running flag, ends the thread and waits for it.
    void stop();

signals:
    void SRVGetAppConfigResult(bool result, QString jsonResult, int errorCode, QString error);

protected:
    void run() override;

private:
    NetManager() = default;
    void runTask(int type, const bg::ValueMap& params);

    QMutex m_mutex;
    QWaitCondition m_wake;
    QWaitCondition m_idle;
    bool m_busy = false;
    QQueue<std::pair<int, bg::ValueMap>> m_tasks;
    std::atomic<bool> m_stopped { false };
};
