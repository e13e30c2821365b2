#pragma once

#include "media/i420frame.h"

#include <QHash>
#include <QString>

#include <mutex>

// The pictures waiting for the GUI thread, at most one per source: a newer picture replaces the one still
// waiting, so a GUI thread that is held up (a blocking call, a modal box) keeps one picture per source, not
// one per frame. Any thread puts; the GUI thread takes.
class PendingFrames {
public:
    // Leaves `frame` waiting for `sourceId`. True when nothing was waiting for it: the caller then schedules
    // one take() for that source on the GUI thread.
    bool put(const QString& sourceId, I420FramePtr frame)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        I420FramePtr& slot = m_frames[sourceId];
        const bool first = !slot;
        slot = std::move(frame);
        return first;
    }

    // The picture waiting for `sourceId`, taken out; null when none waits.
    I420FramePtr take(const QString& sourceId)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_frames.take(sourceId);
    }

    int waiting() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_frames.size();
    }

    void clear()
    {
        QHash<QString, I420FramePtr> dropped;
        std::lock_guard<std::mutex> lock(m_mutex);
        dropped.swap(m_frames);
    }

private:
    mutable std::mutex m_mutex;
    QHash<QString, I420FramePtr> m_frames;
};
