#pragma once

#include <bridge/abstract_config.h>

#include <bridge/mutex.h>
#include <bridge/mutexrecursive.h>

#include <deque>
#include <map>

namespace bg {

// The configuration store of one component, on the file <dir>/conf/<name>.conf:
// line 1 "#Bridge Config (#note)", then one "key : value" line per entry in byte order of the keys.
// save writes a temporary file beside the target and renames it over the target, so a crash never leaves a
// half-written file; when the file cannot be written the changes stay marked and a later save retries.
class BG_API Config : public Abstract_Config {
public:
    explicit Config(const char* path, Interface* owner = nullptr);
    ~Config() override;

    bool remove(const char* key) override;
    bool contains(const char* key) override;
    void save() override;
    const char* path() override;
    bool is_debug() override;
    void clear() override;
    int count() override;
    bool isEmpty() override;
    void travel(Travel_Callback callback, void* context) override;
    bool set(const char* key, const char* value) override;
    std::string get(const char* key, bool* found = nullptr) override;
    const char* cache_str(const char* text) override;
    bool reg_set(const char* key, const char* value) override;
    bool reg_delete(const char* key) override;
    const char* reg_read(const char* key, const char* default_text) override;
    bool reg_get(const char* key, char* buffer, int size) override;
    const char* reg_get_or_set(const char* key, const char* default_text) override;
    bool reg_contains(const char* key) override;

    Config(const Config&) = delete;
    Config& operator=(const Config&) = delete;

private:
    void load();
    bool write_file(const std::string& text);
    bool registry_mode() const;

    std::map<std::string, std::string> entries_;
    MutexRecursive entries_lock_;
    std::string path_;
    std::string sub_key_;
    bool changed_ = false;
    bool save_failed_ = false;
    std::deque<std::string> cache_;
    Mutex cache_lock_;
};

namespace conf {

    // A store on `path` with no owner; delete it with destroy (which saves pending changes).
    BG_API Abstract_Config* create(const char* path);
    BG_API void destroy(Abstract_Config** config);

} // namespace conf
} // namespace bg
