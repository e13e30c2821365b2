#include <bridge/dataauth.h>

#include <atomic>
#include <mutex>

namespace bg {

namespace {

    // Owner ids of the views: the admin's view is made first and gets 100.
    std::atomic<uint32_t> next_owner_id { 100 };

    // An entry with this authority is protected unless bit 1 is set; value 167 overrides on a write.
    constexpr unsigned kOpenBit = 0x2;
    constexpr unsigned kOverride = 167;

    bool protected_from(const Value& entry, uint32_t id)
    {
        unsigned authority = entry.authority();
        return authority != 0 && (authority & kOpenBit) == 0 && int(entry.owner_id()) != int(id);
    }

    void report_forbidden(const char* operation, const Value& entry, uint32_t id, const char* key)
    {
        fprintf(stderr,
            "********************************************************\n"
            "** [Data (owner=%d)] (myid=%d) %s('%s'): forbidden\n"
            "********************************************************\n",
            int(entry.owner_id()), int(id), operation, key);
        fflush(stderr);
    }

} // namespace

DataAuth::DataAuth(Abstract_Datas* target, Interface* owner)
    : Data(owner)
    , target_(target)
    , id_(next_owner_id++)
{
}

DataAuth::~DataAuth() = default;

Value DataAuth::get_data(const char* key, const Value& def)
{
    return target_ ? target_->get_data(key, def) : Data::get_data(key, def);
}

bool DataAuth::set_data(const char* key, const Value& value)
{
    // The caller's value stays as it is: the stamp goes on the stored copy.
    Value stamped(value);
    stamped.set_owner_id(static_cast<unsigned short>(id_));
    if (!target_)
        return Data::set_data(key, stamped);
    if (!key)
        return false;
    Data* shared = dynamic_cast<Data*>(target_);
    if (!shared) {
        Value entry = target_->get_data(key, Value());
        if (target_->isContains(key) && protected_from(entry, id_)
            && unsigned(stamped.authority()) != kOverride) {
            report_forbidden("set_data", entry, id_, key);
            return false;
        }
        return target_->set_data(key, stamped);
    }
    std::lock_guard<MutexRecursive> guard(shared->lock_);
    auto [entry, inserted] = shared->entries_.try_emplace(key, stamped);
    if (inserted)
        return true;
    if (protected_from(entry->second, id_) && unsigned(stamped.authority()) != kOverride) {
        report_forbidden("set_data", entry->second, id_, key);
        return false;
    }
    entry->second = stamped;
    return true;
}

bool DataAuth::erease_data(const char* key)
{
    if (!target_)
        return Data::erease_data(key);
    if (!key)
        return false;
    Data* shared = dynamic_cast<Data*>(target_);
    if (!shared) {
        if (!target_->isContains(key))
            return false;
        Value entry = target_->get_data(key, Value());
        if (protected_from(entry, id_)) {
            report_forbidden("erease_data", entry, id_, key);
            return false;
        }
        return target_->erease_data(key);
    }
    std::lock_guard<MutexRecursive> guard(shared->lock_);
    auto entry = shared->entries_.find(key);
    if (entry == shared->entries_.end())
        return false;
    if (protected_from(entry->second, id_)) {
        report_forbidden("erease_data", entry->second, id_, key);
        return false;
    }
    shared->entries_.erase(entry);
    return true;
}

bool DataAuth::isContains(const char* key)
{
    return target_ ? target_->isContains(key) : Data::isContains(key);
}

void DataAuth::debug(FILE* stream) { target_ ? target_->debug(stream) : Data::debug(stream); }

Abstract_Datas* DataAuth::create() { return new DataAuth(); }

uint32_t DataAuth::id() { return id_; }

} // namespace bg
