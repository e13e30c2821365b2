#include <bridge/blocking_io.h>
#include <bridge/channel.h>
#include <bridge/readwritemutex.h>

#include <cstring>

namespace bg {

namespace {

    // Holds a read-write lock for one scope.
    class Read_Hold {
    public:
        explicit Read_Hold(ReadWriteMutex& m)
            : m_(m)
        {
            m_.lock_read();
        }
        ~Read_Hold() { m_.unlock(); }

    private:
        ReadWriteMutex& m_;
    };

    class Write_Hold {
    public:
        explicit Write_Hold(ReadWriteMutex& m)
            : m_(m)
        {
            m_.lock_write();
        }
        ~Write_Hold() { m_.unlock(); }

    private:
        ReadWriteMutex& m_;
    };

    bool take_record(const std::string& item, Abstract_Channel::Record* out)
    {
        if (item.size() != sizeof(Abstract_Channel::Record))
            return false;
        memcpy(out->bytes, item.data(), item.size());
        return true;
    }

} // namespace

Channel::Channel(Interface* owner)
    : queue_(std::make_unique<Blocking_IO>())
    , map_lock_(std::make_unique<ReadWriteMutex>())
{
    this->owner = owner;
}

Channel::~Channel()
{
    if (!channels_.empty()) {
        Write_Hold hold(*map_lock_);
        for (auto& entry : channels_)
            entry.second->stop();
        channels_.clear();
    }
    queue_.reset();
}

std::shared_ptr<Abstract_Channel> Channel::get_channel(const char* name)
{
    return get_channel(std::string(name ? name : ""));
}

std::shared_ptr<Abstract_Channel> Channel::get_channel(const std::string& name)
{
    {
        Read_Hold hold(*map_lock_);
        const auto it = channels_.find(name);
        if (it != channels_.end())
            return it->second;
    }
    auto made = std::make_shared<Channel>(owner);
    Write_Hold hold(*map_lock_);
    // Another thread may have inserted the name meanwhile: its channel wins.
    return channels_.emplace(name, std::move(made)).first->second;
}

bool Channel::send_record(const Record* record)
{
    if (!record)
        return false;
    return queue_->push(std::string(reinterpret_cast<const char*>(record->bytes), sizeof(record->bytes)));
}

bool Channel::recv_record(Record* out) { return out && take_record(queue_->pop(), out); }

bool Channel::recv_record_wait(Record* out, int32_t ms)
{
    return out && take_record(queue_->pop_wait(ms), out);
}

void Channel::stop() { queue_->stop(); }

bool Channel::is_stopped() const { return queue_->is_stopped(); }

} // namespace bg
