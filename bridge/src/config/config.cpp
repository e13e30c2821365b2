#include <bridge/config.h>

#include "config/registry_store.h"
#include "log/file_texts.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <mutex>
#include <unistd.h>

namespace bg {

namespace {

    constexpr char kHeader[] = "#Bridge Config (#note)";
    constexpr char kDebugKeyName[] = "debug";
    constexpr char kDebugKey[] = "tormaquile";
    constexpr size_t kMaxKeyLength = 511;
    constexpr size_t kCacheLimit = 100;
    constexpr size_t kCacheKeep = 30;
    constexpr char kBlanks[] = " \t\r\n";
    constexpr size_t kRegReadSize = 10240;

    // Why a key or value would not read back the same after a save; null when it would.
    const char* unsaveable(const char* key, const char* value)
    {
        if (!key || !*key)
            return "empty key";
        size_t key_length = strlen(key);
        if (key_length > kMaxKeyLength)
            return "key longer than 511 bytes";
        if (key[0] == '#')
            return "key begins with '#'";
        if (strpbrk(key, ":\r\n"))
            return "key holds ':' or a line end";
        if (strchr(kBlanks, key[0]) || strchr(kBlanks, key[key_length - 1]))
            return "key begins or ends with a blank";
        if (value && strpbrk(value, "\r\n"))
            return "value holds a line end";
        return nullptr;
    }

    // One line of a configuration file; false when the line holds no entry.
    bool parse_line(const std::string& line, std::string& key, std::string& value)
    {
        if (line.empty() || line[0] == '#')
            return false;
        size_t colon = line.find(':');
        if (colon == std::string::npos)
            return false;
        size_t start = line.find_first_not_of(kBlanks);
        if (start == colon)
            return false; // no key before the colon
        size_t key_end = line.find_last_not_of(kBlanks, colon - 1);
        key = line.substr(start, key_end + 1 - start);
        if (key.size() > kMaxKeyLength)
            return false;
        size_t value_start = line.find_first_not_of(kBlanks, colon + 1);
        if (value_start == std::string::npos) {
            value.clear();
        } else {
            size_t value_end = line.find_last_not_of(kBlanks);
            value = line.substr(value_start, value_end + 1 - value_start);
        }
        return true;
    }

} // namespace

Abstract_Config::~Abstract_Config() = default;

Config::Config(const char* path, Interface* owner)
    : path_(path ? path : "")
{
    this->owner = owner;
    if (registry_mode())
        sub_key_ = registry_store::sub_key(path_);
    else
        load();
}

Config::~Config() { save(); }

bool Config::registry_mode() const { return registry_store::enabled(); }

void Config::load()
{
    std::ifstream in(path_, std::ios::in);
    if (!in)
        return;
    std::lock_guard<MutexRecursive> guard(entries_lock_);
    std::string line, key, value;
    // Lines of any length are read whole.
    while (std::getline(in, line)) {
        if (parse_line(line, key, value))
            entries_.emplace(key, value); // the first occurrence of a key counts
    }
}

bool Config::remove(const char* key)
{
    if (registry_mode())
        return reg_delete(key);
    if (!key)
        return false;
    std::lock_guard<MutexRecursive> guard(entries_lock_);
    if (entries_.erase(key) == 0)
        return false;
    changed_ = true;
    return true;
}

bool Config::contains(const char* key)
{
    if (registry_mode())
        return reg_contains(key);
    if (!key)
        return false;
    std::lock_guard<MutexRecursive> guard(entries_lock_);
    return entries_.count(key) != 0;
}

void Config::save()
{
    std::string text;
    {
        std::lock_guard<MutexRecursive> guard(entries_lock_);
        if (!changed_)
            return;
        text = kHeader;
        text += '\n';
        for (const auto& [key, value] : entries_) {
            // A key read from an indented "#" line is an entry, not a comment: written indented, it reads
            // back the same instead of being lost as a comment.
            if (key[0] == '#')
                text += ' ';
            text += key;
            text += " : ";
            text += value;
            text += '\n';
        }
        changed_ = false;
    }
    if (write_file(text)) {
        save_failed_ = false;
        return;
    }
    // Nothing was written: keep the changes marked so that the next save tries again.
    std::lock_guard<MutexRecursive> guard(entries_lock_);
    changed_ = true;
}

bool Config::write_file(const std::string& text)
{
    // Written beside the target and renamed over it, so that a failure never leaves half a file. Owner-only:
    // the store holds saved credentials.
    static std::atomic<unsigned> serial { 0 };
    std::string temp = path_ + ".tmp." + std::to_string(getpid()) + "." + std::to_string(++serial);
    int fd = path_.empty() ? -1 : ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    bool ok = fd >= 0;
    int error = ok ? 0 : path_.empty() ? ENOENT : errno;
    for (size_t done = 0; ok && done < text.size();) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        error = ok ? 0 : errno;
        done += ok ? size_t(n) : 0;
    }
    if (fd >= 0 && ::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && ::rename(temp.c_str(), path_.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        if (fd >= 0)
            ::unlink(temp.c_str());
        std::lock_guard<MutexRecursive> guard(entries_lock_);
        if (!save_failed_) {
            fprintf(stderr, "[bg::Config] : can't save '%s' (%s), changes kept\n", path_.c_str(),
                strerror(error));
            fflush(stderr);
        }
        save_failed_ = true;
    }
    return ok;
}

const char* Config::path() { return path_.c_str(); }

bool Config::is_debug() { return get_text(kDebugKeyName, "", false) == kDebugKey; }

void Config::clear()
{
    std::lock_guard<MutexRecursive> guard(entries_lock_);
    if (entries_.empty())
        return;
    entries_.clear();
    if (!registry_mode())
        changed_ = true;
}

int Config::count()
{
    std::lock_guard<MutexRecursive> guard(entries_lock_);
    return int(entries_.size());
}

bool Config::isEmpty() { return count() == 0; }

void Config::travel(Travel_Callback callback, void* context)
{
    if (!callback)
        return;
    std::lock_guard<MutexRecursive> guard(entries_lock_);
    // The entries as they were at the call: the callback may change the store without upsetting the walk.
    const std::map<std::string, std::string> snapshot = entries_;
    for (const auto& [key, value] : snapshot)
        callback(key.c_str(), value.c_str(), context);
}

bool Config::set(const char* key, const char* value)
{
    if (const char* why = unsaveable(key, value)) {
        fprintf(stderr, "[bg::Config] : set('%s') refused: %s\n", key ? key : "(null)", why);
        fflush(stderr);
        return false;
    }
    if (registry_mode())
        return reg_set(key, value);
    const char* text = value ? value : "";
    std::lock_guard<MutexRecursive> guard(entries_lock_);
    auto [entry, inserted] = entries_.try_emplace(key, text);
    if (inserted) {
        changed_ = true;
    } else if (entry->second != text) {
        entry->second = text;
        changed_ = true;
    }
    return true;
}

std::string Config::get(const char* key, bool* found)
{
    std::string value;
    bool present = false;
    if (registry_mode()) {
        if (const char* text = reg_read(key, nullptr)) {
            value = text;
            present = true;
        }
    } else if (key) {
        std::lock_guard<MutexRecursive> guard(entries_lock_);
        auto entry = entries_.find(key);
        if (entry != entries_.end()) {
            value = entry->second;
            present = true;
        }
    }
    if (found)
        *found = present;
    return value;
}

const char* Config::cache_str(const char* text)
{
    std::lock_guard<Mutex> guard(cache_lock_);
    if (cache_.size() > kCacheLimit) {
        fprintf(stderr, "[bg::Config] : cache is full(n>100), reserve 30\n");
        fflush(stderr);
        while (cache_.size() > kCacheKeep)
            cache_.pop_front();
    }
    cache_.emplace_back(text ? text : "");
    return cache_.back().c_str();
}

bool Config::reg_set(const char* key, const char* value)
{
    if (!key)
        return false;
    return registry_store::write(sub_key_, key, value ? value : "");
}

bool Config::reg_delete(const char* key)
{
    if (!key)
        return false;
    return registry_store::remove(sub_key_, key);
}

const char* Config::reg_read(const char* key, const char* default_text)
{
    std::string text;
    if (!key || !registry_store::read(sub_key_, key, text, kRegReadSize))
        return default_text;
    std::lock_guard<MutexRecursive> guard(entries_lock_);
    std::string& entry = entries_[key];
    entry = text;
    return entry.c_str();
}

bool Config::reg_get(const char* key, char* buffer, int size)
{
    std::string text;
    if (!key || !buffer || size <= 0 || !registry_store::read(sub_key_, key, text, size_t(size)))
        return false;
    memcpy(buffer, text.c_str(), text.size() + 1);
    return true;
}

const char* Config::reg_get_or_set(const char* key, const char* default_text)
{
    if (const char* text = reg_read(key, nullptr))
        return text;
    reg_set(key, default_text);
    return default_text;
}

bool Config::reg_contains(const char* key) { return reg_read(key, nullptr) != nullptr; }

namespace conf {

    Abstract_Config* create(const char* path) { return new Config(path); }

    void destroy(Abstract_Config** config)
    {
        if (!config)
            return;
        delete *config;
        *config = nullptr;
    }

} // namespace conf
} // namespace bg
