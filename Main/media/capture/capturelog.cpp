#include "media/capture/capturelog.h"

#include <bridge/bg_log.h>
#include <capture/catalog.h>

#include <atomic>
#include <cstdarg>
#include <cwchar>

namespace DShow {
namespace {

    constexpr size_t kLineCapacity = 4096; // characters, the terminator included

    std::atomic<LogCallback> g_callback { nullptr };
    std::atomic<void*> g_param { nullptr };

    void vlog(LogType type, const wchar_t* format, va_list args)
    {
        wchar_t line[kLineCapacity];
        // glibc cuts an overlong line at the capacity and reports -1; an encoding error may leave the buffer
        // unterminated, so terminate it in any case.
        if (std::vswprintf(line, kLineCapacity, format, args) < 0)
            line[kLineCapacity - 1] = L'\0';
        if (LogCallback callback = g_callback.load())
            callback(type, line, g_param.load());
    }

    void logHR(LogType type, const wchar_t* text, HRESULT hr)
    {
        const std::wstring description = ErrorString(hr);
        const wchar_t* format = L"%ls (0x%08X): %ls";
        if (type == LogType::Error)
            Error(format, text, static_cast<unsigned>(hr), description.c_str());
        else
            Warning(format, text, static_cast<unsigned>(hr), description.c_str());
    }

} // namespace

void SetLogCallback(LogCallback callback, void* param)
{
    g_callback = nullptr;
    g_param = param;
    g_callback = callback;
}

void Error(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    vlog(LogType::Error, format, args);
    va_end(args);
}

void Warning(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    vlog(LogType::Warning, format, args);
    va_end(args);
}

void Info(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    vlog(LogType::Info, format, args);
    va_end(args);
}

void Debug(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    vlog(LogType::Debug, format, args);
    va_end(args);
}

void ErrorHR(const wchar_t* text, HRESULT hr) { logHR(LogType::Error, text, hr); }

void WarningHR(const wchar_t* text, HRESULT hr) { logHR(LogType::Warning, text, hr); }

std::wstring ErrorString(HRESULT hr) { return DescribeResult(hr); }

void LogFilters(IGraphBuilder* graph)
{
    if (!graph)
        return;
    ComPtr<IEnumFilters> filters;
    if (FAILED(graph->EnumFilters(filters.put())))
        return;
    Debug(L"Loaded filters:");
    ComPtr<IBaseFilter> filter;
    while (filters->Next(1, filter.put(), nullptr) == S_OK) {
        FILTER_INFO info;
        if (SUCCEEDED(filter->QueryFilterInfo(&info))) {
            if (info.pGraph)
                info.pGraph->Release();
            Debug(L"\t%ls", info.achName);
        }
    }
}

void LogToProgramLog(LogType type, const wchar_t* message, void*)
{
    const std::string text = capture::narrowToUtf8(message);
    switch (type) {
    case LogType::Error:
        BG_LOGE("%s", text.c_str());
        break;
    case LogType::Warning:
        BG_LOGW("%s", text.c_str());
        break;
    case LogType::Info:
        BG_LOGI("%s", text.c_str());
        break;
    case LogType::Debug:
        BG_LOGD("%s", text.c_str());
        break;
    }
}

} // namespace DShow
