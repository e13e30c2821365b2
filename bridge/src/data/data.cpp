#include <bridge/crypt.h>
#include <bridge/data.h>

#include <mutex>

namespace bg {

namespace {

    // The scrambler key of pack and unpack: a constant of the store, the same on both sides.
    constexpr int kPackKey = 0x5A;

    // Stateless: one instance serves every store. Never destroyed: modules read their stores in uninit,
    // which the exit list may run after the runtime has destroyed function-local statics.
    Crypt& packer()
    {
        static auto* crypt = new Crypt;
        return *crypt;
    }

} // namespace

Abstract_Datas::~Abstract_Datas() = default;

Data::Data(Interface* owner) { this->owner = owner; }

Data::~Data() = default;

Value Data::get_data(const char* key, const Value& def)
{
    std::lock_guard<MutexRecursive> guard(lock_);
    auto entry = key ? entries_.find(key) : entries_.end();
    return entry != entries_.end() ? entry->second : def;
}

bool Data::set_data(const char* key, const Value& value)
{
    if (!key)
        return false;
    std::lock_guard<MutexRecursive> guard(lock_);
    entries_[key] = value;
    return true;
}

bool Data::erease_data(const char* key)
{
    if (!key)
        return false;
    std::lock_guard<MutexRecursive> guard(lock_);
    return entries_.erase(key) != 0;
}

bool Data::isContains(const char* key)
{
    if (!key)
        return false;
    std::lock_guard<MutexRecursive> guard(lock_);
    return entries_.count(key) != 0;
}

Value Data::pack(const Value& value)
{
    if (value.type() == Value::VT_NULL)
        return value;
    return packer().encode_value(value, kPackKey);
}

Value Data::unpack(const Value& value)
{
    if (value.type() != Value::VT_STRING)
        return value;
    return packer().decode_value(value, kPackKey);
}

void Data::debug(FILE* stream)
{
    if (!stream)
        return;
    std::lock_guard<MutexRecursive> guard(lock_);
    fputs("\n[Data] debug >>\n", stream);
    for (const auto& [key, value] : entries_)
        fprintf(stream, "%s  -->  %s\n", key.c_str(), value.write().c_str());
    fputs("\n", stream);
    fflush(stream);
}

Abstract_Datas* Data::create() { return new Data(owner); }

void Data::destroy(Abstract_Datas** store)
{
    if (!store)
        return;
    delete *store;
    *store = nullptr;
}

uint32_t Data::id() { return 0; }

} // namespace bg
