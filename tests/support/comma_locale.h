#pragma once

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

// Switches the C library's LC_NUMERIC to a locale whose decimal point is a comma (German), as Qt does
// for a user who runs with such a locale, and back to "C" afterwards. A machine without the compiled
// locale gets one made with localedef under the temporary folder (needs the "locales" sources).
class CommaLocale {
public:
    CommaLocale()
    {
        for (const char* name : { "de_DE.UTF-8", "de_DE.utf8" }) {
            if (std::setlocale(LC_NUMERIC, name)) {
                m_active = true;
                return;
            }
        }
        const std::string dir = "/tmp/tavicast-locales-" + std::to_string(getuid());
        const std::string locale = dir + "/de_DE.UTF-8";
        struct stat st { };
        if (stat((locale + "/LC_NUMERIC").c_str(), &st) != 0) {
            mkdir(dir.c_str(), 0700);
            const std::string command
                = "localedef -i de_DE -f UTF-8 '" + locale + "' >/dev/null 2>&1";
            if (std::system(command.c_str()) != 0 && stat((locale + "/LC_NUMERIC").c_str(), &st) != 0)
                return;
        }
        setenv("LOCPATH", dir.c_str(), 1);
        m_active = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
    }
    ~CommaLocale()
    {
        std::setlocale(LC_NUMERIC, "C");
        unsetenv("LOCPATH");
    }
    CommaLocale(const CommaLocale&) = delete;
    CommaLocale& operator=(const CommaLocale&) = delete;

    // Whether the decimal point is now a comma.
    bool active() const
    {
        char text[16];
        std::snprintf(text, sizeof text, "%.1f", 0.5);
        return m_active && std::string(text) == "0,5";
    }

private:
    bool m_active = false;
};
