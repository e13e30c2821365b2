#include <bridge/valuemap.h>

#include <cstdio>
#include <cstring>

namespace bg {

namespace {

    constexpr char kMapHead[] = "{map}";
    constexpr size_t kMapHeadLen = sizeof kMapHead - 1;

    // The text form ends a key at its first ':', so a key holding one would come back as another key and a
    // lost entry; such keys are refused where they would be stored.
    bool acceptedKey(const char* key)
    {
        if (!key) {
            fputs("[ValueMap]  null key refused\n", stderr);
            return false;
        }
        if (strchr(key, ':')) {
            fprintf(stderr, "[ValueMap]  key '%s' refused: a key cannot hold ':'\n", key);
            return false;
        }
        return true;
    }

    std::map<std::string, Value> acceptedEntries(const std::map<std::string, Value>& values)
    {
        std::map<std::string, Value> out;
        for (const auto& [key, v] : values)
            if (acceptedKey(key.c_str()))
                out.emplace_hint(out.end(), key, v);
        return out;
    }

} // namespace

ValueMap::ValueMap() = default;

ValueMap::ValueMap(const ValueMap& other)
    : MultiValues(other)
    , m_map(other.m_map)
{
}

ValueMap::ValueMap(const std::map<std::string, Value>& values)
    : m_map(acceptedEntries(values))
{
}

ValueMap::~ValueMap() = default;

ValueMap& ValueMap::operator=(const ValueMap& other)
{
    if (this != &other)
        m_map = other.m_map;
    return *this;
}

Value& ValueMap::operator[](const char* key)
{
    if (!acceptedKey(key)) {
        // Writes through this reference go nowhere; the refusal was reported above.
        static thread_local Value refused;
        refused = Value();
        return refused;
    }
    return m_map[key];
}

const Value& ValueMap::operator[](const char* key) const
{
    static const Value shared;
    if (key) {
        auto it = m_map.find(key);
        if (it != m_map.end())
            return it->second;
    }
    fprintf(stderr, "== invalid, key = %s\n", key ? key : "(null)");
    return shared;
}

Value ValueMap::get_data(const char* key, const Value& def) const
{
    if (key) {
        auto it = m_map.find(key);
        if (it != m_map.end())
            return it->second;
    }
    if (def.type() != Value::VT_NULL)
        return def;
    return Value::ErrorValue(-1002, "'key' not exist ...");
}

bool ValueMap::insert_data(const char* key, const Value& v, bool overwrite)
{
    if (!acceptedKey(key))
        return false;
    auto [it, inserted] = m_map.try_emplace(key, v);
    if (inserted)
        return true;
    if (!overwrite)
        return false;
    it->second = v;
    return true;
}

bool ValueMap::isContains(const char* key) const { return key && m_map.count(key) != 0; }
ValueMap::const_iterator ValueMap::begin() const { return m_map.begin(); }
ValueMap::const_iterator ValueMap::end() const { return m_map.end(); }
const std::map<std::string, Value>& ValueMap::vmap() const { return m_map; }
void ValueMap::setmap(const std::map<std::string, Value>& values) { m_map = acceptedEntries(values); }
void ValueMap::clear() { m_map.clear(); }
bool ValueMap::isValid() const { return !m_map.empty(); }
bool ValueMap::isEmpty() const { return m_map.empty(); }

std::string ValueMap::write() const
{
    std::string out;
    out.reserve(kMapHeadLen + m_map.size() * 32);
    out += kMapHead;
    for (const auto& [key, v] : m_map) {
        out += key;
        out += ':';
        out += v.write();
        out += '`';
    }
    return out;
}

bool ValueMap::read(const char* text)
{
    m_map.clear();
    if (!text || strncmp(text, kMapHead, kMapHeadLen) != 0)
        return false;
    const char* end = text + strlen(text);
    const char* pos = text + kMapHeadLen;
    Value v;
    while (pos && pos < end) {
        const char* colon = static_cast<const char*>(memchr(pos, ':', static_cast<size_t>(end - pos)));
        if (!colon)
            break;
        const char* keyBegin = pos;
        // Keys come in order, so the end is the place to insert: a new key is read straight into its entry.
        const size_t count = m_map.size();
        const auto entry = m_map.try_emplace(m_map.end(), std::string(keyBegin, colon));
        if (m_map.size() > count) {
            if (!entry->second.parse(colon + 1, end, true, &pos)) {
                m_map.erase(entry);
                break;
            }
            continue;
        }
        // A key given twice: the later value counts, once it reads.
        if (!v.parse(colon + 1, end, true, &pos))
            break;
        entry->second = v;
    }
    return true;
}

} // namespace bg
