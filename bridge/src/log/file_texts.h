#pragma once

#include <cstdio>
#include <string>

// Small path, time and file helpers shared by the logger, the tracer and the configuration store.
namespace bg::file_texts {

// The text after the last '/' or '\'.
std::string base_name(const std::string& path);
// The base name cut at its first '.'.
std::string stem(const std::string& path);
// The local time now, formatted with strftime (at most 127 characters).
std::string local_time(const char* format);
// fopen of a UTF-8 path; null on failure.
FILE* open_file(const std::string& path, const char* mode);

} // namespace bg::file_texts
