#include "log/file_texts.h"

#include <ctime>

namespace bg::file_texts {

std::string base_name(const std::string& path)
{
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string stem(const std::string& path)
{
    std::string name = base_name(path);
    return name.substr(0, name.find('.'));
}

std::string local_time(const char* format)
{
    time_t now = time(nullptr);
    struct tm parts { };
    localtime_r(&now, &parts);
    char text[128];
    size_t n = strftime(text, sizeof text, format, &parts);
    return std::string(text, n);
}

FILE* open_file(const std::string& path, const char* mode)
{
    // Paths are UTF-8 on Linux: the narrow form is the only form.
    return path.empty() ? nullptr : fopen(path.c_str(), mode);
}

} // namespace bg::file_texts
