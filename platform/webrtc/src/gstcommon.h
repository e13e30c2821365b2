#pragma once

// What the engine's connections and the studio's publisher share about webrtcbin.

#define GST_USE_UNSTABLE_API
#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>
#include <gst/sdp/sdp.h>
#include <gst/video/video.h>
#include <gst/webrtc/webrtc.h>

// After every GStreamer header: the calls below go through the libraries loaded on first use.
#include <zovwebrtc/gstload.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace zovwebrtc {
namespace gstcommon {

    inline std::vector<std::string> iceAddresses()
    {
        std::vector<std::string> addresses;
        const char* value = std::getenv("TAVICAST_ICE_ADDRESSES");
        std::stringstream list(value ? value : "");
        std::string address;
        while (std::getline(list, address, ',')) {
            const auto first = address.find_first_not_of(" \t");
            const auto last = address.find_last_not_of(" \t");
            if (first != std::string::npos)
                addresses.push_back(address.substr(first, last - first + 1));
        }
        return addresses;
    }

    // Host candidates only: no UPnP discovery, no TCP; loopback where asked (libnice leaves it out otherwise).
    inline void configureIce(GstElement* webrtc)
    {
        GObject* ice = nullptr;
        g_object_get(webrtc, "ice-agent", &ice, nullptr);
        if (!ice)
            return;
        if (g_object_class_find_property(G_OBJECT_GET_CLASS(ice), "ice-tcp"))
            g_object_set(ice, "ice-tcp", FALSE, nullptr);
        if (g_object_class_find_property(G_OBJECT_GET_CLASS(ice), "agent")) {
            GObject* agent = nullptr;
            g_object_get(ice, "agent", &agent, nullptr);
            if (agent) {
                g_object_set(agent, "upnp", FALSE, "ice-tcp", FALSE, nullptr);
                g_object_unref(agent);
            }
        }
        for (const std::string& address : iceAddresses()) {
            gboolean added = FALSE;
            g_signal_emit_by_name(ice, "add-local-ip-address", address.c_str(), &added);
        }
        g_object_unref(ice);
    }

    inline GstCaps* codecCaps(bool video)
    {
        return gst_caps_from_string(video
                ? "application/x-rtp,media=video,encoding-name=VP8,clock-rate=90000,payload=96"
                : "application/x-rtp,media=audio,encoding-name=OPUS,clock-rate=48000,encoding-params=(string)2,"
                  "payload=111");
    }

    inline bool hasElement(const char* name)
    {
        GstElementFactory* factory = gst_element_factory_find(name);
        if (factory)
            gst_object_unref(factory);
        return factory != nullptr;
    }

} // namespace gstcommon
} // namespace zovwebrtc
