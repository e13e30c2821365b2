#include "gstcommon.h"

#include <cstdio>
#include <dlfcn.h>
#include <iterator>
#include <mutex>
#include <openssl/crypto.h>
#include <string>

namespace zovwebrtc {
namespace gstload {

namespace {

    // The libraries of the major version the headers describe, in the order they depend on each other.
    constexpr const char* kLibraries[] = { "libgstreamer-1.0.so.0", "libgstapp-1.0.so.0", "libgstvideo-1.0.so.0",
        "libgstsdp-1.0.so.0", "libgstwebrtc-1.0.so.0" };

    constexpr const char* kNames[functionCount] = {
        "gst_app_sink_get_type",
        "gst_app_sink_pull_sample",
        "gst_app_sink_set_callbacks",
        "gst_app_src_get_type",
        "gst_app_src_push_buffer",
        "gst_bin_add",
        "gst_bin_get_by_name",
        "gst_bin_get_type",
        "gst_buffer_map",
        "gst_buffer_new_allocate",
        "gst_buffer_new_memdup",
        "gst_buffer_unmap",
        "gst_caps_from_string",
        "gst_caps_get_structure",
        "gst_device_monitor_add_filter",
        "gst_device_monitor_get_devices",
        "gst_device_monitor_new",
        "gst_element_factory_find",
        "gst_element_factory_make",
        "gst_element_get_static_pad",
        "gst_element_get_type",
        "gst_element_request_pad_simple",
        "gst_element_set_state",
        "gst_element_sync_state_with_parent",
        "gst_init_check",
        "gst_mini_object_unref",
        "gst_object_ref",
        "gst_object_unref",
        "gst_pad_add_probe",
        "gst_pad_get_current_caps",
        "gst_pad_link",
        "gst_parse_bin_from_description",
        "gst_parse_launch",
        "gst_pipeline_new",
        "gst_promise_get_reply",
        "gst_promise_new",
        "gst_promise_new_with_change_func",
        "gst_promise_wait",
        "gst_sample_get_buffer",
        "gst_sample_get_caps",
        "gst_sdp_message_as_text",
        "gst_sdp_message_free",
        "gst_sdp_message_medias_len",
        "gst_sdp_message_new",
        "gst_sdp_message_parse_buffer",
        "gst_structure_get_string",
        "gst_structure_has_field",
        "gst_video_frame_map",
        "gst_video_frame_unmap",
        "gst_video_info_from_caps",
        "gst_webrtc_session_description_free",
        "gst_webrtc_session_description_get_type",
        "gst_webrtc_session_description_new",
        "gst_structure_get_valist",
        "gst_pad_send_event",
        "gst_video_event_new_upstream_force_key_unit",
        "gst_element_link",
        "gst_element_link_pads",
        "gst_app_src_end_of_stream",
        "gst_element_get_bus",
        "gst_bus_timed_pop_filtered",
        "gst_buffer_fill",
    };

    struct Table {
        void* functions[functionCount] = {};
        bool loaded = false;
        std::string error;
    };

    Table load()
    {
        Table table;
        void* handles[std::size(kLibraries)] = {};
        for (size_t i = 0; i < std::size(kLibraries); ++i) {
            // Never closed: GStreamer keeps threads and types of its own until the process ends.
            handles[i] = dlopen(kLibraries[i], RTLD_NOW | RTLD_LOCAL);
            if (!handles[i]) {
                const char* reason = dlerror();
                table.error = std::string("cannot open ") + kLibraries[i] + (reason ? std::string(": ") + reason : "");
                return table;
            }
        }
        for (int f = 0; f < functionCount; ++f) {
            for (void* handle : handles) {
                if ((table.functions[f] = dlsym(handle, kNames[f])))
                    break;
            }
            if (!table.functions[f]) {
                Table failed;
                failed.error = std::string("GStreamer has no ") + kNames[f];
                return failed;
            }
        }
        table.loaded = true;
        return table;
    }

    const Table& table()
    {
        static const Table loaded = [] {
            Table result = load();
            if (!result.loaded)
                std::fprintf(stderr, "webrtc: %s\n", result.error.c_str());
            return result;
        }();
        return loaded;
    }

    gboolean initUnavailable(int*, char***, GError** error)
    {
        g_set_error(error, g_quark_from_static_string("zovwebrtc-gstload"), 1, "%s", table().error.c_str());
        return FALSE;
    }

    // GStreamer's DTLS runs OpenSSL on streaming threads that go back to GLib's thread pool, and a pooled
    // thread can end while the process exits: OpenSSL's exit handler would then free that thread's state a
    // second time. Set before main, ahead of any other use of OpenSSL in the process, so no such handler is
    // registered; what OpenSSL holds at exit goes with the process.
    [[maybe_unused]] const bool g_openSslWithoutExitHandler
        = OPENSSL_init_crypto(OPENSSL_INIT_NO_ATEXIT, nullptr) == 1;

} // namespace

void* address(Function function)
{
    const Table& loaded = table();
    if (!loaded.loaded && function == f_gst_init_check)
        return reinterpret_cast<void*>(&initUnavailable);
    return loaded.functions[function];
}

gboolean structureGet(const GstStructure* structure, const char* firstField, ...)
{
    va_list fields;
    va_start(fields, firstField);
    const gboolean result = gst_structure_get_valist(structure, firstField, fields);
    va_end(fields);
    return result;
}

} // namespace gstload
} // namespace zovwebrtc
