// The production engine: GStreamer's, a new one (with its own thread) for each factory. Where GStreamer or
// webrtcbin is missing, an engine that makes no connection: owners see a factory whose connections are all
// null and leave every call undone.
#include <zovwebrtc/engine.h>
#include <zovwebrtc/gstengine.h>

namespace zovwebrtc {
namespace {

    class NoConnectionEngine : public Engine {
    public:
        std::shared_ptr<Connection> createConnection(
            const Configuration&, const peer_connection_callbacks&) override
        {
            return nullptr;
        }
    };

} // namespace

std::shared_ptr<Engine> builtinEngine()
{
    if (auto engine = createGstEngine())
        return engine;
    static const auto none = std::make_shared<NoConnectionEngine>();
    return none;
}

} // namespace zovwebrtc
