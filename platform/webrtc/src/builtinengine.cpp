// The production engine. Until a media engine is built in, it makes no connection: owners see a factory
// whose connections are all null and leave every call undone.
#include <zovwebrtc/engine.h>

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
    static const auto engine = std::make_shared<NoConnectionEngine>();
    return engine;
}

} // namespace zovwebrtc
