#pragma once

#include <bridge/abstract_base.h>

#include <cstdio>
#include <sstream>
#include <string>

namespace bg {

// Persistent key/value settings of one component: texts by key, kept in key order and written to the
// component's ".conf" file by save (and by the destructor). In registry mode (switched on before start-up)
// reads and writes go to the per-user key store instead.
// Any thread may call any operation; a travel callback may call back into the same store.
// Failures are results: false, an empty text with found = false, or the caller's default.
class BG_API Abstract_Config : public Abstract_Base {
public:
    // Called for every entry by travel; the result is ignored.
    using Travel_Callback = bool (*)(const char* key, const char* value, void* context);

    ~Abstract_Config() override;

    virtual bool remove(const char* key) = 0;
    virtual bool contains(const char* key) = 0;
    // Writes the file when something changed since the last save.
    virtual void save() = 0;
    virtual const char* path() = 0;
    // True only when "debug" holds the application's debug key exactly.
    virtual bool is_debug() = 0;
    virtual void clear() = 0;
    virtual int count() = 0;
    virtual bool isEmpty() = 0;
    virtual void travel(Travel_Callback callback, void* context) = 0;
    // Refuses (false, one line on stderr) keys and values that would not read back the same after a save.
    virtual bool set(const char* key, const char* value) = 0;
    virtual std::string get(const char* key, bool* found = nullptr) = 0;
    // Keeps a copy of `text` alive for at least the next 30 calls and returns it.
    virtual const char* cache_str(const char* text) = 0;
    virtual bool reg_set(const char* key, const char* value) = 0;
    virtual bool reg_delete(const char* key) = 0;
    virtual const char* reg_read(const char* key, const char* default_text) = 0;
    virtual bool reg_get(const char* key, char* buffer, int size) = 0;
    virtual const char* reg_get_or_set(const char* key, const char* default_text) = 0;
    virtual bool reg_contains(const char* key) = 0;

    // The stored text, or `default_text` (also stored when `store` is true).
    std::string get_text(const char* key, const std::string& default_text, bool store)
    {
        bool found = false;
        std::string text = get(key, &found);
        if (found)
            return text;
        if (store)
            set(key, default_text.c_str());
        return default_text;
    }

    // Stores the value's stream form.
    template <typename T> bool set_value(const char* key, const T& value)
    {
        std::ostringstream out;
        out << value;
        return set(key, out.str().c_str());
    }

    // Copies the first word of the stored text into `buffer` (cut to `size` - 1 bytes). When the key is
    // absent and `write_default` is true, the buffer's current text is stored under the key.
    char* get_word(const char* key, char* buffer, int size, bool write_default)
    {
        bool found = false;
        std::string text = get(key, &found);
        if (found) {
            if (buffer && size > 0) {
                std::istringstream in(text);
                std::string word;
                in >> word;
                size_t n = word.size() < size_t(size - 1) ? word.size() : size_t(size - 1);
                word.copy(buffer, n);
                buffer[n] = '\0';
            }
        } else if (write_default) {
            set(key, buffer ? buffer : "");
        }
        return buffer;
    }
};

} // namespace bg
