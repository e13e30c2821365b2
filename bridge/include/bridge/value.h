#pragma once

#include <bridge/bg_export.h>
#include <bridge/dauthority.h>
#include <bridge/multivalues.h>

#include <string>

namespace bg {

class ValueList;
class ValueMap;

// The one tagged value of the framework: a scalar (kept inline, no heap), an owned zero-terminated text, a
// reference to a caller's byte block (VT_PTR: never copied, never released, copies share it), a list or map
// in its text form, or an error (id and message).
// No operation throws; allocation failures leave the value without text. Queries never convert: they read
// the stored bits as they are. A value has no lock: it must not be changed while another thread reads it.
class BG_API Value : public MultiValues {
public:
    enum VT : unsigned short {
        VT_NULL = 0,
        VT_MAP = 1,
        VT_INT = 2,
        VT_UINT = 3,
        VT_FLOAT = 4,
        VT_DOUBLE = 5,
        VT_VOID = 6,
        VT_INT64 = 7,
        VT_UINT64 = 8,
        VT_STRING = 9,
        VT_BOOL = 10,
        VT_LIST = 11,
        VT_PTR = 13,
        VT_ERROR = 99,
    };

    Value();
    Value(int v);
    Value(unsigned int v);
    Value(float v);
    Value(double v);
    Value(void* v);
    Value(long long v);
    Value(unsigned long long v);
    Value(bool v);
    // A null pointer leaves no text; the type is VT_STRING all the same.
    Value(const char* text);
    Value(const std::string& text);
    // VT_PTR: refers to `bytes` (not copied); the caller keeps them alive while any copy exists.
    Value(const unsigned char* bytes, int len);
    Value(const ValueList& list);
    Value(const ValueMap& map);
    Value(const Value& other);
    Value& operator=(const Value& other);
    ~Value() override;

    // Same type, same length, same text bytes and same inline area; owner id and authority take no part.
    bool operator==(const Value& other) const;

    VT type() const { return m_type; }
    bool isValid() const { return m_type != VT_NULL; }
    bool isError() const { return m_type == VT_ERROR; }

    int toInt() const;
    unsigned int toUInt() const;
    void* toVoid() const;
    long long toInt64() const;
    unsigned long long toUInt64() const;
    float toFloat() const;
    double toDouble() const;
    bool toBool() const;
    // The text, or `def` when there is none.
    const char* toString(const char* def = "") const;
    std::string toStdString(const char* def = "") const;
    char* bytes() const { return m_text; }
    unsigned char* ptr() const { return reinterpret_cast<unsigned char*>(m_text); }
    int bytes_len() const { return m_len; }
    // The id of a VT_ERROR value, else 0.
    int errorID() const;
    // The message of a VT_ERROR value ("" when it has none); "" for every other type.
    const char* errorMsg() const;
    // scanf over the text: 0 when there is no text or `fmt` is null.
    int sscanF(const char* fmt, ...) const __attribute__((format(scanf, 2, 3)));
    // Empty unless the type is VT_LIST / VT_MAP; a text that does not read is reported on stderr.
    ValueList toList() const;
    ValueMap toMap() const;

    // Owner id (the component that stored the value in the data store) and authority mark.
    short owner_id() const { return static_cast<short>(m_owner); }
    void set_owner_id(unsigned short id) { m_owner = id; }
    DAuthority authority() const { return m_authority; }
    void set_authority(DAuthority a) { m_authority = a; }

    // Makes this value a VT_PTR reference to `bytes` (not copied).
    void ref(const unsigned char* bytes, int len);
    static Value ErrorValue(int id, const char* msg);
    // Resets the whole value (owner id and authority too) and makes it the error (id, msg).
    void setErrorMsg(int id, const char* msg);
    // Resets the whole value and makes it the formatted text (VT_STRING). Returns the number of characters
    // produced, -1 on a format error, 0 (and VT_NULL without text) when the buffer cannot be allocated.
    int sprintF(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    static Value from(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

    std::string write() const override;
    bool read(const char* text) override;

protected:
    // Sets every field to zero without releasing the text (for fresh storage).
    void zero();
    // Releases the text unless VT_PTR; pointer and length become 0; the type is kept.
    void free_data();
    // Replaces the text with a copy of `text` (false and no text for null); the type is kept.
    bool fast_set(const char* text);
    // Replaces the text with the formatted one, at most `size` bytes with the terminator; the type is kept.
    bool fast_set(int size, const char* fmt, ...) __attribute__((format(printf, 3, 4)));
    void setb(bool v);
    void setd(double v);
    void setf(float v);
    void seti(int v);
    void setu(unsigned int v);
    void setv(void* v);
    void seti64(long long v);
    void setu64(unsigned long long v);
    bool setstr(const char* text) { return fast_set(text); }
    // Overwrites every field from `src` (the caller has released the old text).
    void copyValue(const Value* src);

    // The inline area: its first 8 bytes are the scalar slot; the rest serves the Qt geometry types.
    alignas(8) unsigned char m_inline[32];
    VT m_type;
    char* m_text;
    int m_len;
    unsigned short m_owner;
    DAuthority m_authority;

private:
    friend class ValueList;
    friend class ValueMap;

    bool make_mem(int n);
    // Copies `len` bytes as the new zero-terminated text; the type is kept.
    bool set_text(const char* text, int len);
    // Reads the form in [begin, end). As an element of a list or map, the element's own extent is found:
    // `next` receives where the following element begins, or null when nothing follows.
    bool parse(const char* begin, const char* end, bool element, const char** next);
};

} // namespace bg

#include <bridge/valuelist.h>
#include <bridge/valuemap.h>
