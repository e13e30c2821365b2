#pragma once

#include <bridge/abstract_channel.h>

#include <map>
#include <memory>
#include <string>

namespace bg {

class Blocking_IO;
class ReadWriteMutex;

// The framework's channel (see Abstract_Channel). Owns its queue and holds one reference to each named
// channel. Its destructor stops every named channel (in name order) and then its own queue; a thread must
// not be blocked in this channel's queue when it is destroyed.
class BG_API Channel : public Abstract_Channel {
public:
    explicit Channel(Interface* owner = nullptr);
    ~Channel() override;
    Channel(const Channel&) = delete;
    Channel& operator=(const Channel&) = delete;

    std::shared_ptr<Abstract_Channel> get_channel(const char* name) override;
    std::shared_ptr<Abstract_Channel> get_channel(const std::string& name) override;
    bool send_record(const Record* record) override;
    bool recv_record(Record* out) override;
    bool recv_record_wait(Record* out, int32_t ms) override;
    void stop() override;
    bool is_stopped() const override;

private:
    std::unique_ptr<Blocking_IO> queue_;
    std::map<std::string, std::shared_ptr<Channel>> channels_;
    std::unique_ptr<ReadWriteMutex> map_lock_;
};

} // namespace bg
