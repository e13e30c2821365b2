#pragma once

#include <bridge/abstract_base.h>

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace bg {

// Seconds and microseconds since 1970, as filled in by `time_of_day`.
struct Timeval {
    int32_t tv_sec = 0;
    int32_t tv_usec = 0;
};

// Walk callback of `travel_dir`: (is the path a directory, its UTF-8 path); false stops the walk.
using TravelCallback = std::function<bool(bool is_dir, const std::string& path)>;

// The framework's toolbox: time texts, clocks, paths and directories, files, text, character sets,
// environment and sleeping. Programs and plug-ins call a component's instance through its pointer, so the
// order of the virtual functions below is part of the interface between the deliverables: append, never
// reorder.
//
// Paths are UTF-8 with '/' separators. Text arguments that are null count as empty; nothing throws.
// Every operation may be called from any thread.
class BG_API Abstract_Utils : public Abstract_Base {
public:
    ~Abstract_Utils() override;

    // Local time now, strftime-formatted into one of eight buffers of 64 bytes that belong to the calling
    // thread; the text stays valid until that thread has made eight further calls.
    virtual const char* time_str(const char* format) = 0;
    // Local time of `t` (seconds since 1970), strftime-formatted (at most 127 characters).
    virtual std::string time_str_at(int64_t t, const char* format) = 0;
    // Microseconds / nanoseconds since 1970; mode 1 reads the monotonic clock anchored to wall time once.
    virtual int64_t now_time(int mode) = 0;
    virtual int64_t now_ticks(int mode) = 0;

    virtual bool make_dir(const char* path) = 0; // one level; true if the directory exists afterwards
    virtual bool remove_dir(const char* path) = 0; // true if no directory remains at the path
    virtual bool remove_tree(const char* path) = 0; // true if no deletion failed (a missing tree included)
    virtual bool dir_exists(const char* path) = 0; // true if the path is a directory that can be listed
    virtual std::string temp_dir() = 0; // $TMPDIR, else "/tmp"

    // In-place text operations: they return a pointer into the caller's text.
    virtual const char* skip_space(const char* text) = 0;
    virtual char* skip_space(char* text) = 0;
    virtual char* trim_right(char* text) = 0; // the first character is never cut
    virtual std::string trim(const std::string& text) = 0;
    virtual char* trim_c(char* text) = 0;
    virtual const char* skip_chars(const char* text, const char* set) = 0;
    virtual char* trim_right_chars(char* text, const char* set) = 0;
    virtual std::string trim_chars(const std::string& text, const char* set) = 0;
    virtual char* trim_chars_c(char* text, const char* set) = 0;
    // Replaces until no occurrence remains. An empty `from` returns the text; a `to` that contains `from`
    // would never finish, so it is replaced in one left-to-right pass instead.
    virtual std::string replace_repeat(const char* text, const char* from, const char* to) = 0;
    virtual std::string replace_all(const char* text, const char* from, const char* to) = 0;
    virtual bool starts_with(const char* text, const char* prefix, bool case_sensitive) = 0;
    virtual bool ends_with(const char* text, const char* suffix, bool case_sensitive) = 0;
    virtual std::string format(const char* format, ...) __attribute__((__format__(__printf__, 2, 3))) = 0;
    virtual std::vector<std::string> split(const std::string& text, const char* delimiters, bool keep_empty)
        = 0;
    virtual std::string to_lower(const std::string& text) = 0;
    virtual char* to_lower_c(char* text) = 0;
    virtual std::string to_upper(const std::string& text) = 0;
    virtual char* to_upper_c(char* text) = 0;
    virtual std::string random_string(int length) = 0; // digits and ASCII letters
    virtual const char* tail(const char* text, int count) = 0;

    // Reports every entry under `path`, each directory after its contents and `path` itself last. Symbolic
    // links are reported as files and never followed. False when stopped or when `path` cannot be listed.
    virtual bool travel_dir(const char* path, const TravelCallback& callback, bool recurse) = 0;
    virtual std::string normalize_path(const std::string& path) = 0; // '\' becomes '/', runs collapse

    virtual FILE* open_file(const char* path, const char* mode) = 0;
    virtual int remove_file(const char* path) = 0; // 0, else -1
    virtual int rename_file(const char* from, const char* to) = 0; // 0, else -1
    // 0; -1 when the source cannot be opened, -2 when the target cannot be opened, -3 when reading or
    // writing fails part-way (the target is then incomplete).
    virtual int copy_file(const char* from, const char* to) = 0;
    virtual int64_t file_size(const char* path) = 0; // 0 when unknown
    virtual struct stat file_stat(const char* path) = 0; // all zero when unknown
    virtual std::string file_name(const char* path) = 0;
    virtual std::string base_name(const char* path) = 0;
    virtual std::string dir_name(const char* path) = 0; // keeps the trailing separator
    // Opens the desktop's file browser on the folder holding `path` (on `path` itself for a directory).
    virtual void show_in_explorer(const char* path) = 0;
    // True if a new file `name` can be created in `dir`; a file that already exists is never touched.
    virtual bool is_writable(const char* dir, const char* name) = 0;

    // Text is UTF-8 on this platform: the ANSI forms are UTF-8 and wide strings are UTF-32.
    virtual std::string ansi_to_utf8(const std::string& text) = 0;
    virtual std::string utf8_to_ansi(const std::string& text) = 0;
    virtual std::string from_wide(const wchar_t* text, bool utf8) = 0;
    virtual std::wstring to_wide(const char* text, bool utf8) = 0;

    virtual int set_env(const char* name, const char* value, int unused) = 0; // empty value removes it
    virtual const char* get_env(const char* name) = 0;
    virtual int set_env_ptr(const char* name, const void* pointer) = 0;
    virtual void get_env_ptr(const char* name, void** pointer) = 0;

    virtual uint32_t thread_id() = 0;
    virtual void set_timer_resolution(bool on) = 0;
    virtual int sleep_s(int seconds) = 0;
    virtual int sleep_ms(int milliseconds) = 0;
    virtual int sleep_us(int64_t microseconds) = 0;
    virtual int time_of_day(Timeval* out, void* unused) = 0;
};

} // namespace bg
