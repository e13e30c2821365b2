#include <codecload/avcodec.h>

#include <cerrno>
#include <cstdio>
#include <dlfcn.h>
#include <mutex>

namespace codecload {

namespace {

    // The library of the major version the headers describe: its functions and structures match them.
    constexpr char kLibrary[] = "libavcodec.so." AV_STRINGIFY(LIBAVCODEC_VERSION_MAJOR);

    struct Functions {
        decltype(&::avcodec_version) version = nullptr;
        decltype(&::avcodec_find_decoder) findDecoder = nullptr;
        decltype(&::avcodec_find_encoder) findEncoder = nullptr;
        decltype(&::avcodec_find_encoder_by_name) findEncoderByName = nullptr;
        decltype(&::avcodec_alloc_context3) allocContext = nullptr;
        decltype(&::avcodec_free_context) freeContext = nullptr;
        decltype(&::avcodec_open2) open = nullptr;
        decltype(&::avcodec_send_packet) sendPacket = nullptr;
        decltype(&::avcodec_receive_frame) receiveFrame = nullptr;
        decltype(&::avcodec_send_frame) sendFrame = nullptr;
        decltype(&::avcodec_receive_packet) receivePacket = nullptr;
        decltype(&::av_packet_alloc) allocPacket = nullptr;
        decltype(&::av_packet_free) freePacket = nullptr;
        decltype(&::av_packet_unref) unrefPacket = nullptr;
    };

    struct Library {
        Functions functions;
        bool loaded = false;
        std::string error;
    };

    template <typename Function> bool resolve(void* handle, const char* name, Function& function, std::string& error)
    {
        function = reinterpret_cast<Function>(dlsym(handle, name));
        if (!function && error.empty())
            error = std::string(kLibrary) + " has no " + name;
        return function != nullptr;
    }

    Library load()
    {
        Library library;
        // Never closed: codec contexts and packets made by it may live until the end of the process.
        void* handle = dlopen(kLibrary, RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char* reason = dlerror();
            library.error = std::string("cannot open ") + kLibrary + (reason ? std::string(": ") + reason : "");
            return library;
        }
        Functions& f = library.functions;
        std::string& error = library.error;
        bool all = resolve(handle, "avcodec_version", f.version, error);
        all = resolve(handle, "avcodec_find_decoder", f.findDecoder, error) && all;
        all = resolve(handle, "avcodec_find_encoder", f.findEncoder, error) && all;
        all = resolve(handle, "avcodec_find_encoder_by_name", f.findEncoderByName, error) && all;
        all = resolve(handle, "avcodec_alloc_context3", f.allocContext, error) && all;
        all = resolve(handle, "avcodec_free_context", f.freeContext, error) && all;
        all = resolve(handle, "avcodec_open2", f.open, error) && all;
        all = resolve(handle, "avcodec_send_packet", f.sendPacket, error) && all;
        all = resolve(handle, "avcodec_receive_frame", f.receiveFrame, error) && all;
        all = resolve(handle, "avcodec_send_frame", f.sendFrame, error) && all;
        all = resolve(handle, "avcodec_receive_packet", f.receivePacket, error) && all;
        all = resolve(handle, "av_packet_alloc", f.allocPacket, error) && all;
        all = resolve(handle, "av_packet_free", f.freePacket, error) && all;
        all = resolve(handle, "av_packet_unref", f.unrefPacket, error) && all;
        if (all && AV_VERSION_MAJOR(f.version()) != LIBAVCODEC_VERSION_MAJOR) {
            error = std::string(kLibrary) + " is of another major version";
            all = false;
        }
        if (!all) {
            library.functions = Functions();
            return library;
        }
        library.loaded = true;
        return library;
    }

    const Library& library()
    {
        static const Library loaded = [] {
            Library result = load();
            if (!result.loaded)
                std::fprintf(stderr, "codecload: %s\n", result.error.c_str());
            return result;
        }();
        return loaded;
    }

    const Functions* functions()
    {
        const Library& loaded = library();
        return loaded.loaded ? &loaded.functions : nullptr;
    }

    constexpr int kUnavailable = AVERROR(ENOSYS);

} // namespace

bool available(std::string* error)
{
    const Library& loaded = library();
    if (!loaded.loaded && error)
        *error = loaded.error;
    return loaded.loaded;
}

const AVCodec* findDecoder(AVCodecID id)
{
    const Functions* f = functions();
    return f ? f->findDecoder(id) : nullptr;
}

const AVCodec* findEncoder(AVCodecID id)
{
    const Functions* f = functions();
    return f ? f->findEncoder(id) : nullptr;
}

const AVCodec* findEncoderByName(const char* name)
{
    const Functions* f = functions();
    return f ? f->findEncoderByName(name) : nullptr;
}

AVCodecContext* allocContext(const AVCodec* codec)
{
    const Functions* f = functions();
    return f ? f->allocContext(codec) : nullptr;
}

void freeContext(AVCodecContext** context)
{
    if (const Functions* f = functions())
        f->freeContext(context);
}

int open(AVCodecContext* context, const AVCodec* codec, AVDictionary** options)
{
    const Functions* f = functions();
    return f ? f->open(context, codec, options) : kUnavailable;
}

int sendPacket(AVCodecContext* context, const AVPacket* packet)
{
    const Functions* f = functions();
    return f ? f->sendPacket(context, packet) : kUnavailable;
}

int receiveFrame(AVCodecContext* context, AVFrame* frame)
{
    const Functions* f = functions();
    return f ? f->receiveFrame(context, frame) : kUnavailable;
}

int sendFrame(AVCodecContext* context, const AVFrame* frame)
{
    const Functions* f = functions();
    return f ? f->sendFrame(context, frame) : kUnavailable;
}

int receivePacket(AVCodecContext* context, AVPacket* packet)
{
    const Functions* f = functions();
    return f ? f->receivePacket(context, packet) : kUnavailable;
}

AVPacket* allocPacket()
{
    const Functions* f = functions();
    return f ? f->allocPacket() : nullptr;
}

void freePacket(AVPacket** packet)
{
    if (const Functions* f = functions())
        f->freePacket(packet);
}

void unrefPacket(AVPacket* packet)
{
    if (const Functions* f = functions())
        f->unrefPacket(packet);
}

} // namespace codecload
