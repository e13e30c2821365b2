#include "valueqt.h"

#include <algorithm>
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
    char buf[128];
    switch (static_cast<unsigned short>(m_type)) {
    case QT_STRING: {
        std::string out = "[qstr:" + std::to_string(m_text ? m_len : 0) + "]";
        if (m_text && m_len > 0)
            out.append(m_text, size_t(m_len));
        return out;
    }
    case QT_RECTF:
        std::snprintf(buf, sizeof buf, "[rectf]x:%lf;y:%lf;w:%lf;h:%lf", inlineDouble(0), inlineDouble(1),
            inlineDouble(2), inlineDouble(3));
        return buf;
    case QT_RECT:
        std::snprintf(buf, sizeof buf, "[rect]x:%d;y:%d;w:%d;h:%d", inlineInt(0), inlineInt(1), inlineInt(2),
            inlineInt(3));
        return buf;
    case QT_POINTF:
        std::snprintf(buf, sizeof buf, "[pointf]x:%lf;y:%lf", inlineDouble(0), inlineDouble(1));
        return buf;
    case QT_POINT:
        std::snprintf(buf, sizeof buf, "[point]x:%d;y:%d", inlineInt(0), inlineInt(1));
        return buf;
    case QT_SIZEF:
        std::snprintf(buf, sizeof buf, "[sizef]w:%lf;h:%lf", inlineDouble(2), inlineDouble(3));
        return buf;
    case QT_SIZE:
        std::snprintf(buf, sizeof buf, "[size]w:%d;h:%d", inlineInt(2), inlineInt(3));
        return buf;
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
    const char* close = std::strchr(text, ']');
    if (startsWith(text, "<variant>") || startsWith(text, "<null>") || !close)
        return Value::read(text);
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
    if (tag == "rectf"
        && std::sscanf(payload, "%*[^:]:%lf;%*[^:]:%lf;%*[^:]:%lf;%*[^:]:%lf", &d[0], &d[1], &d[2], &d[3])
            == 4) {
        setInlineDoubles(0, d, 4);
        m_type = static_cast<VT>(QT_RECTF);
    } else if (tag == "rect"
        && std::sscanf(payload, "%*[^:]:%d;%*[^:]:%d;%*[^:]:%d;%*[^:]:%d", &i[0], &i[1], &i[2], &i[3]) == 4) {
        setInlineInts(0, i, 4);
        m_type = static_cast<VT>(QT_RECT);
    } else if (tag == "pointf" && std::sscanf(payload, "%*[^:]:%lf;%*[^:]:%lf", &d[0], &d[1]) == 2) {
        setInlineDoubles(0, d, 2);
        m_type = static_cast<VT>(QT_POINTF);
    } else if (tag == "point" && std::sscanf(payload, "%*[^:]:%d;%*[^:]:%d", &i[0], &i[1]) == 2) {
        setInlineInts(0, i, 2);
        m_type = static_cast<VT>(QT_POINT);
    } else if (tag == "sizef" && std::sscanf(payload, "%*[^:]:%lf;%*[^:]:%lf", &d[0], &d[1]) == 2) {
        setInlineDoubles(2, d, 2);
        m_type = static_cast<VT>(QT_SIZEF);
    } else if (tag == "size" && std::sscanf(payload, "%*[^:]:%d;%*[^:]:%d", &i[0], &i[1]) == 2) {
        setInlineInts(2, i, 2);
        m_type = static_cast<VT>(QT_SIZE);
    } else {
        return false;
    }
    return true;
}

} // namespace bg
