#pragma once

#include <bridge/abstract_utils.h>

namespace bg {

class Interface;

// The framework's implementation of `Abstract_Utils`. It keeps no state of its own besides `owner`; the few
// process-wide values (clock anchor, timer-resolution request) are one-time settings shared by all instances.
class BG_API Utils : public Abstract_Utils {
public:
    explicit Utils(Interface* owner = nullptr);
    ~Utils() override;

    const char* time_str(const char* format) override;
    std::string time_str_at(int64_t t, const char* format) override;
    int64_t now_time(int mode) override;
    int64_t now_ticks(int mode) override;

    bool make_dir(const char* path) override;
    bool remove_dir(const char* path) override;
    bool remove_tree(const char* path) override;
    bool dir_exists(const char* path) override;
    std::string temp_dir() override;

    const char* skip_space(const char* text) override;
    char* skip_space(char* text) override;
    char* trim_right(char* text) override;
    std::string trim(const std::string& text) override;
    char* trim_c(char* text) override;
    const char* skip_chars(const char* text, const char* set) override;
    char* trim_right_chars(char* text, const char* set) override;
    std::string trim_chars(const std::string& text, const char* set) override;
    char* trim_chars_c(char* text, const char* set) override;
    std::string replace_repeat(const char* text, const char* from, const char* to) override;
    std::string replace_all(const char* text, const char* from, const char* to) override;
    bool starts_with(const char* text, const char* prefix, bool case_sensitive) override;
    bool ends_with(const char* text, const char* suffix, bool case_sensitive) override;
    std::string format(const char* format, ...) override __attribute__((__format__(__printf__, 2, 3)));
    std::vector<std::string> split(const std::string& text, const char* delimiters, bool keep_empty) override;
    std::string to_lower(const std::string& text) override;
    char* to_lower_c(char* text) override;
    std::string to_upper(const std::string& text) override;
    char* to_upper_c(char* text) override;
    std::string random_string(int length) override;
    const char* tail(const char* text, int count) override;

    bool travel_dir(const char* path, const TravelCallback& callback, bool recurse) override;
    std::string normalize_path(const std::string& path) override;

    FILE* open_file(const char* path, const char* mode) override;
    int remove_file(const char* path) override;
    int rename_file(const char* from, const char* to) override;
    int copy_file(const char* from, const char* to) override;
    int64_t file_size(const char* path) override;
    struct stat file_stat(const char* path) override;
    std::string file_name(const char* path) override;
    std::string base_name(const char* path) override;
    std::string dir_name(const char* path) override;
    void show_in_explorer(const char* path) override;
    bool is_writable(const char* dir, const char* name) override;

    std::string ansi_to_utf8(const std::string& text) override;
    std::string utf8_to_ansi(const std::string& text) override;
    std::string from_wide(const wchar_t* text, bool utf8) override;
    std::wstring to_wide(const char* text, bool utf8) override;

    int set_env(const char* name, const char* value, int unused) override;
    const char* get_env(const char* name) override;
    int set_env_ptr(const char* name, const void* pointer) override;
    void get_env_ptr(const char* name, void** pointer) override;

    uint32_t thread_id() override;
    void set_timer_resolution(bool on) override;
    int sleep_s(int seconds) override;
    int sleep_ms(int milliseconds) override;
    int sleep_us(int64_t microseconds) override;
    int time_of_day(Timeval* out, void* unused) override;
};

namespace utils {

    // The process-wide instance for code without a component at hand; created at the first call, never
    // destroyed.
    BG_API Utils* instance();

    // Base folders for the configuration directory: ${XDG_DATA_HOME:-$HOME/.local/share} and $HOME,
    // normalised; empty when the variables are unset or empty.
    BG_API std::string app_data_dir();
    BG_API std::string home_dir();

} // namespace utils

} // namespace bg
