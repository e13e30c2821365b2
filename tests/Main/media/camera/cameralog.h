#pragma once

// Collects framekit's log lines (from any thread) for the life of the object.

#include <framekit/framekit.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

class FramekitLogCollector {
public:
    FramekitLogCollector() { fk_log_set_handler(collect, this); }
    ~FramekitLogCollector() { fk_log_set_handler(nullptr, nullptr); }
    FramekitLogCollector(const FramekitLogCollector&) = delete;
    FramekitLogCollector& operator=(const FramekitLogCollector&) = delete;

    // Lines that contain the text.
    int count(const std::string& text) const
    {
        std::lock_guard lock(m_mutex);
        return static_cast<int>(std::count_if(m_lines.begin(), m_lines.end(),
            [&](const auto& line) { return line.second.find(text) != std::string::npos; }));
    }
    std::string find(const std::string& text) const
    {
        std::lock_guard lock(m_mutex);
        for (const auto& line : m_lines) {
            if (line.second.find(text) != std::string::npos)
                return line.second;
        }
        return {};
    }
    int levelOf(const std::string& text) const
    {
        std::lock_guard lock(m_mutex);
        for (const auto& line : m_lines) {
            if (line.second.find(text) != std::string::npos)
                return line.first;
        }
        return -1;
    }
    bool waitFor(const std::string& text, std::chrono::seconds timeout = std::chrono::seconds(20)) const
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!count(text)) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }
    size_t size() const
    {
        std::lock_guard lock(m_mutex);
        return m_lines.size();
    }

private:
    static void collect(int level, const char* format, va_list args, void* param)
    {
        char text[1024];
        std::vsnprintf(text, sizeof text, format, args);
        auto* self = static_cast<FramekitLogCollector*>(param);
        std::lock_guard lock(self->m_mutex);
        self->m_lines.emplace_back(level, text);
    }

    mutable std::mutex m_mutex;
    std::vector<std::pair<int, std::string>> m_lines;
};
