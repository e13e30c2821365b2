#include <bridge/value.h>

#include "textbuffer.h"

#include <cstdio>
#include <cstring>

namespace bg {

namespace detail {

    int formatNew(char** out, const char* fmt, va_list ap)
    {
        *out = nullptr;
        if (!fmt)
            return -1;
        va_list measure;
        va_copy(measure, ap);
        const int n = vsnprintf(nullptr, 0, fmt, measure);
        va_end(measure);
        if (n < 0)
            return -1;
        if (n > kMaxTextLength)
            return -2;
        const int size = roundDown32(n + 32);
        char* buf = static_cast<char*>(malloc(size));
        if (!buf)
            return -2;
        vsnprintf(buf, size, fmt, ap);
        *out = buf;
        return n;
    }

} // namespace detail

namespace {

    template <typename T> void storeScalar(unsigned char* slot, T v) { memcpy(slot, &v, sizeof v); }

    template <typename T> T loadScalar(const unsigned char* slot)
    {
        T v;
        memcpy(&v, slot, sizeof v);
        return v;
    }

} // namespace

Value::Value() { zero(); }

Value::Value(int v)
{
    zero();
    m_type = VT_INT;
    seti(v);
}

Value::Value(unsigned int v)
{
    zero();
    m_type = VT_UINT;
    setu(v);
}

Value::Value(float v)
{
    zero();
    m_type = VT_FLOAT;
    setf(v);
}

Value::Value(double v)
{
    zero();
    m_type = VT_DOUBLE;
    setd(v);
}

Value::Value(void* v)
{
    zero();
    m_type = VT_VOID;
    setv(v);
}

Value::Value(long long v)
{
    zero();
    m_type = VT_INT64;
    seti64(v);
}

Value::Value(unsigned long long v)
{
    zero();
    m_type = VT_UINT64;
    setu64(v);
}

Value::Value(bool v)
{
    zero();
    m_type = VT_BOOL;
    setb(v);
}

Value::Value(const char* text)
{
    zero();
    m_type = VT_STRING;
    fast_set(text);
}

Value::Value(const std::string& text)
{
    zero();
    m_type = VT_STRING;
    fast_set(text.c_str());
}

Value::Value(const unsigned char* bytes, int len)
{
    zero();
    ref(bytes, len);
}

// Lists and maps keep their text form with 32 bytes of slack, rounded down to 32.
static char* containerText(const std::string& form, const char* who)
{
    char* buf = nullptr;
    if (static_cast<long long>(form.size()) <= detail::kMaxTextLength)
        buf = static_cast<char*>(malloc(detail::roundDown32(static_cast<int>(form.size()) + 32)));
    if (!buf) {
        fprintf(stderr, "[%s]  mem malloc failed, len=%d\n", who, static_cast<int>(form.size()));
        return nullptr;
    }
    memcpy(buf, form.c_str(), form.size() + 1);
    return buf;
}

Value::Value(const ValueList& list)
{
    zero();
    m_type = VT_LIST;
    const std::string form = list.write();
    m_text = containerText(form, "ValueList");
    if (m_text)
        m_len = static_cast<int>(form.size());
}

Value::Value(const ValueMap& map)
{
    zero();
    m_type = VT_MAP;
    const std::string form = map.write();
    m_text = containerText(form, "ValueMap");
    if (m_text)
        m_len = static_cast<int>(form.size());
}

Value::Value(const Value& other)
    : MultiValues(other)
{
    zero();
    copyValue(&other);
}

Value& Value::operator=(const Value& other)
{
    if (this == &other)
        return *this;
    if (m_type != VT_PTR)
        free(m_text);
    copyValue(&other);
    return *this;
}

Value::~Value()
{
    if (m_type != VT_PTR)
        free(m_text);
}

bool Value::operator==(const Value& other) const
{
    if (m_type != other.m_type || m_len != other.m_len)
        return false;
    // Texts are compared by their length: a referenced block need not be zero-terminated.
    if (m_len >= 1) {
        if (!m_text || !other.m_text) {
            if (m_text != other.m_text)
                return false;
        } else if (memcmp(m_text, other.m_text, static_cast<size_t>(m_len)) != 0) {
            return false;
        }
    }
    return memcmp(m_inline, other.m_inline, sizeof m_inline) == 0;
}

int Value::toInt() const { return loadScalar<int>(m_inline); }
unsigned int Value::toUInt() const { return loadScalar<unsigned int>(m_inline); }
void* Value::toVoid() const { return loadScalar<void*>(m_inline); }
long long Value::toInt64() const { return loadScalar<long long>(m_inline); }
unsigned long long Value::toUInt64() const { return loadScalar<unsigned long long>(m_inline); }
float Value::toFloat() const { return loadScalar<float>(m_inline); }
double Value::toDouble() const { return loadScalar<double>(m_inline); }
bool Value::toBool() const { return m_inline[0] != 0; }

const char* Value::toString(const char* def) const { return m_text ? m_text : def; }

std::string Value::toStdString(const char* def) const
{
    // Bounded by the length: the block of a VT_PTR value need not be zero-terminated.
    if (m_text)
        return std::string(m_text, strnlen(m_text, static_cast<size_t>(m_len > 0 ? m_len : 0)));
    return def ? std::string(def) : std::string();
}

int Value::errorID() const { return m_type == VT_ERROR ? toInt() : 0; }

const char* Value::errorMsg() const { return m_type == VT_ERROR && m_text ? m_text : ""; }

int Value::sscanF(const char* fmt, ...) const
{
    if (!m_text || !fmt)
        return 0;
    // A VT_PTR block need not be zero-terminated, so it is scanned from a terminated copy.
    const std::string block = m_type == VT_PTR ? toStdString() : std::string();
    va_list ap;
    va_start(ap, fmt);
    const int r = vsscanf(m_type == VT_PTR ? block.c_str() : m_text, fmt, ap);
    va_end(ap);
    return r;
}

ValueList Value::toList() const
{
    ValueList list;
    if (m_type == VT_LIST && !list.read(m_text))
        fputs("[ValueList]  read failed ...\n", stderr);
    return list;
}

ValueMap Value::toMap() const
{
    ValueMap map;
    if (m_type == VT_MAP && !map.read(m_text))
        fputs("[ValueMap]  read failed ...\n", stderr);
    return map;
}

void Value::ref(const unsigned char* bytes, int len)
{
    if (m_type != VT_PTR)
        free(m_text);
    // The block stays the caller's: a VT_PTR value never writes through or releases it.
    m_text = reinterpret_cast<char*>(const_cast<unsigned char*>(bytes));
    m_len = len;
    m_type = VT_PTR;
}

Value Value::ErrorValue(int id, const char* msg)
{
    Value v;
    v.m_type = VT_ERROR;
    v.seti(id);
    if (msg)
        v.fast_set(msg);
    return v;
}

void Value::setErrorMsg(int id, const char* msg)
{
    free_data();
    zero();
    m_type = VT_ERROR;
    seti(id);
    if (msg)
        fast_set(msg);
}

int Value::sprintF(const char* fmt, ...)
{
    free_data();
    zero();
    va_list ap;
    va_start(ap, fmt);
    char* buf = nullptr;
    const int n = detail::formatNew(&buf, fmt, ap);
    va_end(ap);
    if (n == -2)
        return 0;
    if (n < 0)
        return -1;
    m_text = buf;
    m_len = n;
    m_type = VT_STRING;
    return n;
}

Value Value::from(const char* fmt, ...)
{
    Value v;
    va_list ap;
    va_start(ap, fmt);
    char* buf = nullptr;
    const int n = detail::formatNew(&buf, fmt, ap);
    va_end(ap);
    if (n >= 0) {
        v.m_text = buf;
        v.m_len = n;
        v.m_type = VT_STRING;
    }
    return v;
}

void Value::zero()
{
    memset(m_inline, 0, sizeof m_inline);
    m_type = VT_NULL;
    m_text = nullptr;
    m_len = 0;
    m_owner = 0;
    m_authority = DAuthority(0);
}

void Value::free_data()
{
    if (m_type != VT_PTR)
        free(m_text);
    m_text = nullptr;
    m_len = 0;
}

bool Value::make_mem(int n)
{
    free_data();
    if (n <= 0 || n > detail::kMaxTextLength)
        return false;
    m_text = static_cast<char*>(calloc(static_cast<size_t>(detail::roundUp32(n)), 1));
    return m_text != nullptr;
}

bool Value::set_text(const char* text, int len)
{
    free_data();
    if (!text || len < 0)
        return false;
    char* buf = static_cast<char*>(malloc(static_cast<size_t>(len) + 1));
    if (!buf)
        return false;
    memcpy(buf, text, static_cast<size_t>(len));
    buf[len] = '\0';
    m_text = buf;
    m_len = len;
    return true;
}

bool Value::fast_set(const char* text)
{
    if (!text) {
        free_data();
        return false;
    }
    const size_t len = strlen(text);
    if (len > static_cast<size_t>(detail::kMaxTextLength)) {
        free_data();
        return false;
    }
    return set_text(text, static_cast<int>(len));
}

bool Value::fast_set(int size, const char* fmt, ...)
{
    free_data();
    if (size < 1 || size > detail::kMaxTextLength || !fmt)
        return false;
    char* buf = static_cast<char*>(malloc(static_cast<size_t>(detail::roundUp32(size))));
    if (!buf)
        return false;
    va_list ap;
    va_start(ap, fmt);
    const int n = vsnprintf(buf, static_cast<size_t>(size), fmt, ap);
    va_end(ap);
    if (n < 0)
        buf[0] = '\0';
    m_text = buf;
    m_len = static_cast<int>(strlen(buf));
    return true;
}

void Value::setb(bool v) { m_inline[0] = v ? 1 : 0; }
void Value::setd(double v) { storeScalar(m_inline, v); }
void Value::setf(float v) { storeScalar(m_inline, v); }
void Value::seti(int v) { storeScalar(m_inline, v); }
void Value::setu(unsigned int v) { storeScalar(m_inline, v); }
void Value::setv(void* v) { storeScalar(m_inline, v); }
void Value::seti64(long long v) { storeScalar(m_inline, v); }
void Value::setu64(unsigned long long v) { storeScalar(m_inline, v); }

void Value::copyValue(const Value* src)
{
    if (src == this)
        return;
    zero();
    memcpy(m_inline, src->m_inline, sizeof m_inline);
    m_type = src->m_type;
    m_owner = src->m_owner;
    m_authority = src->m_authority;
    if (!src->m_text || src->m_len <= 0)
        return;
    if (m_type == VT_PTR) {
        m_text = src->m_text;
        m_len = src->m_len;
        return;
    }
    if (!set_text(src->m_text, src->m_len))
        zero();
}

} // namespace bg
