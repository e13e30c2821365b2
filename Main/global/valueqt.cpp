#include "valueqt.h"

#include <algorithm>
#include <charconv>
#include <initializer_list>
#include <string>
#include <system_error>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <unordered_set>

namespace bg {

namespace {

    // The longest tag a Qt form may carry; a longer one is no form of ours.
    constexpr size_t maxTagLength = 19;

    // Texts of QString values, kept for the whole run because plain copies share them without owning them.
    // Node-based, so a text's address never moves; `starts` indexes them by address.
    struct TextPool {
        std::mutex mutex;
        std::unordered_set<std::string> texts;
        std::unordered_map<const char*, size_t> starts;
    };

    TextPool& textPool()
    {
        static auto* const pool = new TextPool;
        return *pool;
    }

    const char* internText(const char* bytes, int len)
    {
        TextPool& pool = textPool();
        std::lock_guard<std::mutex> lock(pool.mutex);
        const std::string& text = *pool.texts.emplace(bytes, size_t(len)).first;
        pool.starts.emplace(text.c_str(), text.size());
        return text.c_str();
    }

    // Whether `bytes` is the start of a pooled text of at least `len` bytes.
    bool isPooledText(const char* bytes, int len)
    {
        TextPool& pool = textPool();
        std::lock_guard<std::mutex> lock(pool.mutex);
        auto it = pool.starts.find(bytes);
        return it != pool.starts.end() && len >= 0 && size_t(len) <= it->second;
    }

    bool startsWith(const char* text, const char* prefix)
    {
        return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
    }

    // A number written whole (the shortest text that reads back the same), in the C locale's form.
    template <typename T> std::string numberText(T number)
    {
        char buffer[64];
        const std::to_chars_result written = std::to_chars(buffer, buffer + sizeof buffer, number);
        return std::string(buffer, written.ptr);
    }

    // "<tag>l1:n1;l2:n2..." from labels and numbers.
    template <typename T>
    std::string geometryText(const char* tag, std::initializer_list<const char*> labels, const T* numbers)
    {
        std::string out = tag;
        int index = 0;
        for (const char* label : labels) {
            if (index > 0)
                out += ';';
            out += label;
            out += ':';
            out += numberText(numbers[index++]);
        }
        return out;
    }

    // Reads `count` numbers of a geometry form "l1:n1;l2:n2...", whatever the labels (never copied), in
    // the C locale's form. False unless every number reads whole and fits its type.
    template <typename T> bool readNumbers(const char* payload, T* out, int count)
    {
        const char* at = payload;
        const char* end = payload + std::strlen(payload);
        for (int index = 0; index < count; ++index) {
            const char* colon = std::strchr(at, ':');
            if (!colon)
                return false;
            const char* start = colon + 1;
            const char* stop = std::find(start, end, ';');
            if (start < stop && *start == '+')
                ++start; // printf's forms never write one, but a hand-written file may
            const std::from_chars_result read = std::from_chars(start, stop, out[index]);
            if (read.ec != std::errc() || read.ptr != stop)
                return false;
            if (index + 1 < count && stop == end)
                return false;
            at = stop == end ? stop : stop + 1;
        }
        return true;
    }

} // namespace

ValueQt::ValueQt(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    setSharedText(utf8.constData(), utf8.size());
}

void ValueQt::setSharedText(const char* bytes, int len)
{
    free_data();
    m_text = const_cast<char*>(internText(bytes, len));
    m_len = len;
    m_type = static_cast<VT>(QT_STRING);
}

double ValueQt::inlineDouble(int index) const
{
    double v;
    std::memcpy(&v, m_inline + index * sizeof(double), sizeof v);
    return v;
}

int ValueQt::inlineInt(int index) const
{
    int v;
    std::memcpy(&v, m_inline + index * sizeof(int), sizeof v);
    return v;
}

void ValueQt::setInlineDoubles(int first, const double* values, int count)
{
    std::memcpy(m_inline + first * sizeof(double), values, count * sizeof(double));
}

void ValueQt::setInlineInts(int first, const int* values, int count)
{
    std::memcpy(m_inline + first * sizeof(int), values, count * sizeof(int));
}

std::string ValueQt::write() const
{
    double d[4];
    int i[4];
    switch (static_cast<unsigned short>(m_type)) {
    case QT_STRING: {
        std::string out = "[qstr:" + std::to_string(m_text ? m_len : 0) + "]";
        if (m_text && m_len > 0)
            out.append(m_text, size_t(m_len));
        return out;
    }
    // Every number whole, whatever its size and the process's locale.
    case QT_RECTF:
        for (int k = 0; k < 4; ++k)
            d[k] = inlineDouble(k);
        return geometryText("[rectf]", { "x", "y", "w", "h" }, d);
    case QT_RECT:
        for (int k = 0; k < 4; ++k)
            i[k] = inlineInt(k);
        return geometryText("[rect]", { "x", "y", "w", "h" }, i);
    case QT_POINTF:
        d[0] = inlineDouble(0);
        d[1] = inlineDouble(1);
        return geometryText("[pointf]", { "x", "y" }, d);
    case QT_POINT:
        i[0] = inlineInt(0);
        i[1] = inlineInt(1);
        return geometryText("[point]", { "x", "y" }, i);
    case QT_SIZEF:
        d[0] = inlineDouble(2);
        d[1] = inlineDouble(3);
        return geometryText("[sizef]", { "w", "h" }, d);
    case QT_SIZE:
        i[0] = inlineInt(2);
        i[1] = inlineInt(3);
        return geometryText("[size]", { "w", "h" }, i);
    default:
        return Value::write();
    }
}

bool ValueQt::read(const char* text)
{
    free_data();
    zero();
    if (!text || std::strlen(text) < 4)
        return false;
    if (startsWith(text, "<variant>") || startsWith(text, "<null>"))
        return Value::read(text);
    // Every other form is "[tag]payload"; anything else is no value, whatever follows.
    const char* close = std::strchr(text, ']');
    if (text[0] != '[' || !close)
        return false;
    const std::string tag(text + 1, close);
    if (tag.size() > maxTagLength)
        return false;
    if (readQtForm(tag, close + 1))
        return true;
    if (!Value::read(text))
        return false;
    // A "[ptr]" form reads as tag 13, which here means a text of ours that write() dereferences: only an
    // address of this process's pooled texts is taken.
    if (m_type == static_cast<VT>(QT_STRING) && !isPooledText(m_text, m_len)) {
        zero();
        return false;
    }
    return true;
}

// Reads the Qt forms; false leaves the value untouched for the base reader. The labels before each ':' are
// skipped unchecked (and never copied anywhere); only the order of the numbers counts.
bool ValueQt::readQtForm(const std::string& tag, const char* payload)
{
    if (tag.compare(0, 5, "qstr:") == 0) {
        int len = 0;
        if (std::sscanf(tag.c_str() + 5, "%d", &len) != 1) {
            std::fprintf(stderr, "> bg::Value:read() err: type='%s', missing 'len'.\n", tag.c_str());
            std::fflush(stderr);
            return false;
        }
        if (len < 0)
            return false;
        setSharedText(payload, int(std::min(size_t(len), std::strlen(payload))));
        return true;
    }
    double d[4];
    int i[4];
    if (tag == "rectf" && readNumbers(payload, d, 4)) {
        setInlineDoubles(0, d, 4);
        m_type = static_cast<VT>(QT_RECTF);
    } else if (tag == "rect" && readNumbers(payload, i, 4)) {
        setInlineInts(0, i, 4);
        m_type = static_cast<VT>(QT_RECT);
    } else if (tag == "pointf" && readNumbers(payload, d, 2)) {
        setInlineDoubles(0, d, 2);
        m_type = static_cast<VT>(QT_POINTF);
    } else if (tag == "point" && readNumbers(payload, i, 2)) {
        setInlineInts(0, i, 2);
        m_type = static_cast<VT>(QT_POINT);
    } else if (tag == "sizef" && readNumbers(payload, d, 2)) {
        setInlineDoubles(2, d, 2);
        m_type = static_cast<VT>(QT_SIZEF);
    } else if (tag == "size" && readNumbers(payload, i, 2)) {
        setInlineInts(2, i, 2);
        m_type = static_cast<VT>(QT_SIZE);
    } else {
        return false;
    }
    return true;
}

} // namespace bg
