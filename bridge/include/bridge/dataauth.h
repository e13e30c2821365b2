#pragma once

#include <bridge/data.h>

namespace bg {

// A component's view of the shared data store: what it writes is stamped with the view's owner id, and
// protected entries of other views are neither overwritten nor erased (refusals return false and print
// three lines on stderr). Without a target the view is a plain store of its own. The target is not owned.
class BG_API DataAuth : public Data {
public:
    // Owner ids come from one process-wide counter starting at 100.
    explicit DataAuth(Abstract_Datas* target = nullptr, Interface* owner = nullptr);
    ~DataAuth() override;

    Value get_data(const char* key, const Value& def) override;
    bool set_data(const char* key, const Value& value) override;
    bool erease_data(const char* key) override;
    bool isContains(const char* key) override;
    void debug(FILE* stream) override;
    Abstract_Datas* create() override;
    uint32_t id() override;

private:
    Abstract_Datas* target_;
    uint32_t id_;
};

} // namespace bg
