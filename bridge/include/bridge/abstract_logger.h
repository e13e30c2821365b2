#pragma once

#include <bridge/abstract_base.h>

#include <cstdio>
#include <string>

namespace bg {

// Levelled text log of one component. Levels: 2 error (E), 3 warning (W), 4 information (I), 5 debug (D).
// Any thread may call any operation; a record is written and flushed whole under the logger's lock, so
// lines of concurrent writers never interleave. Failures are never reported to the caller: a log file
// that cannot be opened sends the records to the standard error stream.
class BG_API Abstract_Logger : public Abstract_Base {
public:
    ~Abstract_Logger() override;

    // Writes to `stream` from now on (borrowed: never closed by the logger); an own file is closed first.
    virtual void set_file(FILE* stream) = 0;
    // The current stream; null before the first record.
    virtual FILE* file() = 0;
    // Records above `level` are dropped; 0 also closes the file.
    virtual void set_level(int level) = 0;
    virtual int level() = 0;
    // Only records with this tag (or without tag) are written; null or empty removes the filter.
    virtual void set_tag(const char* tag) = 0;
    // The tag filter, or "" when there is none.
    virtual const char* tag() = 0;
    // Formats one record (cut to 4094 characters) and writes it as it is: the format carries its own line
    // end.
    virtual void log(int level, const char* tag, const char* format, ...)
        __attribute__((format(printf, 4, 5)))
        = 0;
    virtual std::string path() = 0;
    // The base name of the path, cut at the first '.'.
    virtual std::string name() = 0;
    // Level 0; an own file is closed and forgotten (a borrowed stream stays set).
    virtual void close() = 0;
};

} // namespace bg
