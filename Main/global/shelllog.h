#pragma once

// Log lines of the application shell go through the framework's logger of the root component;
// nothing is written while the framework is down.
enum class ShellLogLevel { Error = 2, Warning = 3, Info = 4, Debug = 5 };

void shellLog(ShellLogLevel level, const char* file, int line, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
