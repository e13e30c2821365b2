#include "config/registry_store.h"

#include "init/bridge_state.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace bg::registry_store {

namespace {

    struct Switch {
        std::mutex lock;
        bool on = false;
        std::string root;
    };

    Switch& state()
    {
        static Switch s;
        return s;
    }

    // Serialises every file operation of the process.
    std::mutex& file_lock()
    {
        static std::mutex lock;
        return lock;
    }

    using Values = std::map<std::string, std::string>;

    std::string escape(const std::string& text)
    {
        std::string out;
        for (char c : text) {
            switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '=':
                out += "\\=";
                break;
            default:
                out += c;
            }
        }
        return out;
    }

    // Reads one escaped field up to an unescaped `stop` (or the end); `pos` moves past the stop.
    std::string unescape(const std::string& line, size_t& pos, char stop)
    {
        std::string out;
        for (; pos < line.size(); ++pos) {
            char c = line[pos];
            if (c == stop) {
                ++pos;
                break;
            }
            if (c == '\\' && pos + 1 < line.size()) {
                char e = line[++pos];
                out += e == 'n' ? '\n' : e == 'r' ? '\r' : e;
            } else {
                out += c;
            }
        }
        return out;
    }

    std::string base_folder()
    {
        const char* xdg = getenv("XDG_CONFIG_HOME");
        if (xdg && *xdg)
            return xdg;
        const char* home = getenv("HOME");
        return home && *home ? std::string(home) + "/.config" : std::string();
    }

    // The file of a sub-key; empty when there is no folder for it. Parts that could leave the folder are
    // dropped.
    std::string file_of(const std::string& sub_key, std::string* folder = nullptr)
    {
        std::string base = base_folder();
        if (base.empty())
            return {};
        std::string rel;
        size_t start = 0;
        while (start <= sub_key.size()) {
            size_t end = sub_key.find_first_of("\\/", start);
            std::string part
                = sub_key.substr(start, end == std::string::npos ? std::string::npos : end - start);
            if (!part.empty() && part != "." && part != "..")
                rel += (rel.empty() ? "" : "/") + part;
            if (end == std::string::npos)
                break;
            start = end + 1;
        }
        if (rel.empty())
            return {};
        std::string file = base + "/" + rel + ".keys";
        if (folder)
            *folder = file.substr(0, file.find_last_of('/'));
        return file;
    }

    bool make_folders(const std::string& folder)
    {
        for (size_t pos = 1; pos <= folder.size(); ++pos) {
            if (pos == folder.size() || folder[pos] == '/') {
                std::string part = folder.substr(0, pos);
                if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
                    return false;
            }
        }
        return true;
    }

    bool load(const std::string& file, Values& values)
    {
        std::ifstream in(file);
        if (!in)
            return false;
        std::string line;
        while (std::getline(in, line)) {
            size_t pos = 0;
            std::string name = unescape(line, pos, '=');
            values[name] = unescape(line, pos, '\n');
        }
        return true;
    }

    bool store(const std::string& file, const Values& values)
    {
        std::string text;
        for (const auto& [name, value] : values)
            text += escape(name) + "=" + escape(value) + "\n";
        std::string temp = file + ".tmp." + std::to_string(getpid());
        int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0)
            return false;
        bool ok = ::write(fd, text.data(), text.size()) == ssize_t(text.size());
        ok = ::close(fd) == 0 && ok;
        ok = ok && ::rename(temp.c_str(), file.c_str()) == 0;
        if (!ok)
            ::unlink(temp.c_str());
        return ok;
    }

    void complain(const char* format, const std::string& a, const std::string& b = std::string())
    {
        fprintf(stderr, format, a.c_str(), b.c_str());
        fflush(stderr);
    }

} // namespace

void set_switch(bool on, const char* root)
{
    std::lock_guard<std::mutex> guard(state().lock);
    state().on = on;
    state().root = on && root ? root : "";
}

bool enabled()
{
    std::lock_guard<std::mutex> guard(state().lock);
    return state().on;
}

std::string root()
{
    std::lock_guard<std::mutex> guard(state().lock);
    return state().root;
}

std::string sub_key(const std::string& file_path)
{
    std::string base;
    {
        std::lock_guard<std::mutex> guard(state().lock);
        if (state().root.empty())
            state().root = "Software\\" + startup::app_name();
        base = state().root;
    }
    size_t slash = file_path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? file_path : file_path.substr(slash + 1);
    name = name.substr(0, name.find('.'));
    std::string joined = (base + "\\" + name).substr(0, 511);
    std::string key;
    for (char c : joined) {
        bool separator = c == '/' || c == '\\';
        if (!separator)
            key += c;
        else if (key.empty() || key.back() != '\\')
            key += '\\';
    }
    return key;
}

bool write(const std::string& sub_key, const std::string& name, const std::string& value)
{
    std::lock_guard<std::mutex> guard(file_lock());
    std::string folder;
    std::string file = file_of(sub_key, &folder);
    if (file.empty() || !make_folders(folder)) {
        complain("[bg] Error: RegCreateKeyExA() can't create path='%s'", sub_key);
        return false;
    }
    Values values;
    load(file, values);
    values[name] = value;
    if (!store(file, values)) {
        complain("[bg] Error: RegSetValueExA() can't write '%s'--->'%s'\n", name, value);
        return false;
    }
    return true;
}

bool remove(const std::string& sub_key, const std::string& name)
{
    std::lock_guard<std::mutex> guard(file_lock());
    std::string file = file_of(sub_key);
    Values values;
    if (file.empty() || !load(file, values)) {
        complain("[bg] Error: RegOpenKeyExA() can't open path='%s'  for delete key='%s'\n", sub_key, name);
        return false;
    }
    if (values.erase(name) == 0 || !store(file, values)) {
        complain("[bg] Error: RegDeleteValueA() can't delete key='%s'\n", name);
        return false;
    }
    return true;
}

bool read(const std::string& sub_key, const std::string& name, std::string& value, size_t capacity)
{
    std::lock_guard<std::mutex> guard(file_lock());
    std::string file = file_of(sub_key);
    Values values;
    if (file.empty() || !load(file, values)) {
        complain("[bg] Error: RegOpenKeyExA() can't open path='%s'\n", sub_key);
        return false;
    }
    auto found = values.find(name);
    if (found == values.end() || capacity == 0) {
        complain("[bg] Error: RegQueryValueExA() can't read key='%s'\n", name);
        return false;
    }
    value = found->second;
    if (value.size() > capacity - 1) {
        // Cut on a character boundary, so the kept text stays valid UTF-8.
        size_t cut = capacity - 1;
        while (cut > 0 && (static_cast<unsigned char>(value[cut]) & 0xC0) == 0x80)
            --cut;
        complain("[bg] Warning: value of key='%s' cut to %s bytes\n", name, std::to_string(cut));
        value.resize(cut);
    }
    return true;
}

} // namespace bg::registry_store
