#pragma once

#include <bridge/abstract_datas.h>
#include <bridge/mutexrecursive.h>
#include <bridge/value.h>

#include <map>
#include <string>

namespace bg {

// A plain run-time data store: no authority checks. The owner component is kept but not consulted.
class BG_API Data : public Abstract_Datas {
public:
    explicit Data(Interface* owner = nullptr);
    ~Data() override;

    Value get_data(const char* key, const Value& def) override;
    bool set_data(const char* key, const Value& value) override;
    bool erease_data(const char* key) override;
    bool isContains(const char* key) override;
    Value pack(const Value& value) override;
    Value unpack(const Value& value) override;
    void debug(FILE* stream) override;
    Abstract_Datas* create() override;
    void destroy(Abstract_Datas** store) override;
    uint32_t id() override;

    Data(const Data&) = delete;
    Data& operator=(const Data&) = delete;

protected:
    friend class DataAuth;

    std::map<std::string, Value> entries_;
    MutexRecursive lock_;
};

} // namespace bg
