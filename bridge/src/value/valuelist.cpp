#include <bridge/valuelist.h>

#include <cstring>

namespace bg {

namespace {
    constexpr char kListHead[] = "{list}";
    constexpr size_t kListHeadLen = sizeof kListHead - 1;
} // namespace

ValueList::ValueList() = default;

ValueList::ValueList(const ValueList& other)
    : MultiValues(other)
    , m_list(other.m_list)
{
}

ValueList::ValueList(const std::list<Value>& values)
    : m_list(values)
{
}

ValueList::~ValueList() = default;

ValueList& ValueList::operator=(const ValueList& other)
{
    if (this != &other)
        m_list = other.m_list;
    return *this;
}

void ValueList::push_back(const Value& v) { m_list.push_back(v); }
void ValueList::push_front(const Value& v) { m_list.push_front(v); }
const Value& ValueList::front() const { return m_list.front(); }
const Value& ValueList::back() const { return m_list.back(); }
ValueList::iterator ValueList::begin() { return m_list.begin(); }
ValueList::iterator ValueList::end() { return m_list.end(); }
ValueList::const_iterator ValueList::begin() const { return m_list.begin(); }
ValueList::const_iterator ValueList::end() const { return m_list.end(); }
const std::list<Value>& ValueList::vlist() const { return m_list; }
void ValueList::setlist(const std::list<Value>& values) { m_list = values; }
void ValueList::clear() { m_list.clear(); }
bool ValueList::isValid() const { return !m_list.empty(); }
bool ValueList::isEmpty() const { return m_list.empty(); }

std::string ValueList::write() const
{
    std::string out(kListHead);
    for (const Value& v : m_list) {
        out += v.write();
        out += '`';
    }
    return out;
}

bool ValueList::read(const char* text)
{
    m_list.clear();
    if (!text || strncmp(text, kListHead, kListHeadLen) != 0)
        return false;
    const char* end = text + strlen(text);
    const char* pos = text + kListHeadLen;
    while (pos && pos < end) {
        m_list.emplace_back();
        if (!m_list.back().parse(pos, end, true, &pos)) {
            m_list.pop_back();
            break;
        }
    }
    return true;
}

} // namespace bg
