// The production engine: GStreamer's, a new one (with its own thread) for each factory, made when the
// factory's first connection is asked for, so that a program that makes its factory at start-up loads
// GStreamer only when a meeting needs it. Where GStreamer or webrtcbin is missing, no connection is made:
// owners see null connections and leave every call undone.
#include <zovwebrtc/engine.h>
#include <zovwebrtc/gstengine.h>

#include <mutex>

namespace zovwebrtc {
namespace {

    class DeferredGstEngine : public Engine {
    public:
        std::shared_ptr<Connection> createConnection(
            const Configuration& configuration, const peer_connection_callbacks& callbacks) override
        {
            std::call_once(m_made, [this] { m_engine = createGstEngine(); });
            return m_engine ? m_engine->createConnection(configuration, callbacks) : nullptr;
        }

    private:
        std::once_flag m_made;
        std::shared_ptr<Engine> m_engine; // null: GStreamer or webrtcbin is missing
    };

} // namespace

std::shared_ptr<Engine> builtinEngine() { return std::make_shared<DeferredGstEngine>(); }

} // namespace zovwebrtc
