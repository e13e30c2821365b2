#pragma once

// The capture library's diagnostics: every failure and notable event becomes one formatted wide-text line
// handed to a single process-wide sink. Formats are wide printf formats as glibc reads them: wide string
// arguments print with "%ls" ("%s" reads a narrow string). A line holds at most 4095 characters; longer
// ones are cut. Without a sink, lines are formatted and dropped. Install the sink before capture starts:
// it is read without a lock, from any thread.

#include <capture/interfaces.h>

#include <string>

namespace DShow {

enum class LogType : int {
    Error = 0,
    Warning = 1,
    Info = 2,
    Debug = 3,
};

using LogCallback = void (*)(LogType type, const wchar_t* message, void* param);

// A null callback removes the sink.
void SetLogCallback(LogCallback callback, void* param);

void Error(const wchar_t* format, ...);
void Warning(const wchar_t* format, ...);
void Info(const wchar_t* format, ...);
void Debug(const wchar_t* format, ...);

// "<text> (0x<code>): <description>" at error or warning level.
void ErrorHR(const wchar_t* text, HRESULT hr);
void WarningHR(const wchar_t* text, HRESULT hr);

// What the result code means; empty when nothing describes it.
std::wstring ErrorString(HRESULT hr);

// Debug "Loaded filters:", then a tab and the name of every filter of the graph, one line each.
void LogFilters(IGraphBuilder* graph);

// The sink `main` installs: each line goes into the program's log at the matching level.
void LogToProgramLog(LogType type, const wchar_t* message, void* param);

} // namespace DShow
