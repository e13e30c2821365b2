#pragma once

// GStreamer's functions, called through the libraries opened the first time the engine, the publisher or the
// studio's recorder starts GStreamer rather than with the program: a start that never joins a meeting does not
// load them. Include this after every GStreamer header (gstcommon.h does): the names below then stand for calls
// through the loaded libraries, for the code that follows and for the header macros it expands (GST_BIN, the
// unref helpers). Until the libraries could be opened, gst_init_check fails and says why; it is the first call
// of every path into GStreamer. A GStreamer function not yet listed here leaves an undefined reference when the
// program links: add it to the list below and to the names in gstload.cpp, in the same place. Variadic
// functions cannot be forwarded: use their va_list forms (as structureGet does) or another call.

#include <cstdarg>

namespace zovwebrtc {
namespace gstload {

    enum Function : int {
        f_gst_app_sink_get_type,
        f_gst_app_sink_pull_sample,
        f_gst_app_sink_set_callbacks,
        f_gst_app_src_get_type,
        f_gst_app_src_push_buffer,
        f_gst_bin_add,
        f_gst_bin_get_by_name,
        f_gst_bin_get_type,
        f_gst_buffer_map,
        f_gst_buffer_new_allocate,
        f_gst_buffer_new_memdup,
        f_gst_buffer_unmap,
        f_gst_caps_from_string,
        f_gst_caps_get_structure,
        f_gst_device_monitor_add_filter,
        f_gst_device_monitor_get_devices,
        f_gst_device_monitor_new,
        f_gst_element_factory_find,
        f_gst_element_factory_make,
        f_gst_element_get_static_pad,
        f_gst_element_get_type,
        f_gst_element_request_pad_simple,
        f_gst_element_set_state,
        f_gst_element_sync_state_with_parent,
        f_gst_init_check,
        f_gst_mini_object_unref,
        f_gst_object_ref,
        f_gst_object_unref,
        f_gst_pad_add_probe,
        f_gst_pad_get_current_caps,
        f_gst_pad_link,
        f_gst_parse_bin_from_description,
        f_gst_parse_launch,
        f_gst_pipeline_new,
        f_gst_promise_get_reply,
        f_gst_promise_new,
        f_gst_promise_new_with_change_func,
        f_gst_promise_wait,
        f_gst_sample_get_buffer,
        f_gst_sample_get_caps,
        f_gst_sdp_message_as_text,
        f_gst_sdp_message_free,
        f_gst_sdp_message_medias_len,
        f_gst_sdp_message_new,
        f_gst_sdp_message_parse_buffer,
        f_gst_structure_get_string,
        f_gst_structure_has_field,
        f_gst_video_frame_map,
        f_gst_video_frame_unmap,
        f_gst_video_info_from_caps,
        f_gst_webrtc_session_description_free,
        f_gst_webrtc_session_description_get_type,
        f_gst_webrtc_session_description_new,
        f_gst_structure_get_valist,
        f_gst_pad_send_event,
        f_gst_video_event_new_upstream_force_key_unit,
        f_gst_element_link,
        f_gst_element_link_pads,
        f_gst_app_src_end_of_stream,
        f_gst_element_get_bus,
        f_gst_bus_timed_pop_filtered,
        f_gst_buffer_fill,
        functionCount
    };

    // The function of the opened libraries; null when they could not be opened (gst_init_check never is:
    // it then fails).
    void* address(Function function);

    template <Function F, typename Pointer> struct Forward;
    template <Function F, typename R, typename... A> struct Forward<F, R (*)(A...)> {
        static R call(A... arguments) { return reinterpret_cast<R (*)(A...)>(address(F))(arguments...); }
    };

    // gst_structure_get, through gst_structure_get_valist.
    gboolean structureGet(const GstStructure* structure, const char* firstField, ...);

} // namespace gstload
} // namespace zovwebrtc

// GLib's attributes on a function (warn_unused_result and the like) do not carry into the pointer type the
// call goes through, and need not: GCC would say so at every call.
#pragma GCC diagnostic ignored "-Wignored-attributes"
// In parentheses: the comma between the template arguments must not split a macro argument it ends up in.
#define ZOV_GST_CALL(name) (::zovwebrtc::gstload::Forward<::zovwebrtc::gstload::f_##name, decltype(&::name)>::call)
#define gst_app_sink_get_type(...) ZOV_GST_CALL(gst_app_sink_get_type)(__VA_ARGS__)
#define gst_app_sink_pull_sample(...) ZOV_GST_CALL(gst_app_sink_pull_sample)(__VA_ARGS__)
#define gst_app_sink_set_callbacks(...) ZOV_GST_CALL(gst_app_sink_set_callbacks)(__VA_ARGS__)
#define gst_app_src_get_type(...) ZOV_GST_CALL(gst_app_src_get_type)(__VA_ARGS__)
#define gst_app_src_push_buffer(...) ZOV_GST_CALL(gst_app_src_push_buffer)(__VA_ARGS__)
#define gst_bin_add(...) ZOV_GST_CALL(gst_bin_add)(__VA_ARGS__)
#define gst_bin_get_by_name(...) ZOV_GST_CALL(gst_bin_get_by_name)(__VA_ARGS__)
#define gst_bin_get_type(...) ZOV_GST_CALL(gst_bin_get_type)(__VA_ARGS__)
#define gst_buffer_map(...) ZOV_GST_CALL(gst_buffer_map)(__VA_ARGS__)
#define gst_buffer_new_allocate(...) ZOV_GST_CALL(gst_buffer_new_allocate)(__VA_ARGS__)
#define gst_buffer_new_memdup(...) ZOV_GST_CALL(gst_buffer_new_memdup)(__VA_ARGS__)
#define gst_buffer_unmap(...) ZOV_GST_CALL(gst_buffer_unmap)(__VA_ARGS__)
#define gst_caps_from_string(...) ZOV_GST_CALL(gst_caps_from_string)(__VA_ARGS__)
#define gst_caps_get_structure(...) ZOV_GST_CALL(gst_caps_get_structure)(__VA_ARGS__)
#define gst_device_monitor_add_filter(...) ZOV_GST_CALL(gst_device_monitor_add_filter)(__VA_ARGS__)
#define gst_device_monitor_get_devices(...) ZOV_GST_CALL(gst_device_monitor_get_devices)(__VA_ARGS__)
#define gst_device_monitor_new(...) ZOV_GST_CALL(gst_device_monitor_new)(__VA_ARGS__)
#define gst_element_factory_find(...) ZOV_GST_CALL(gst_element_factory_find)(__VA_ARGS__)
#define gst_element_factory_make(...) ZOV_GST_CALL(gst_element_factory_make)(__VA_ARGS__)
#define gst_element_get_static_pad(...) ZOV_GST_CALL(gst_element_get_static_pad)(__VA_ARGS__)
#define gst_element_get_type(...) ZOV_GST_CALL(gst_element_get_type)(__VA_ARGS__)
#define gst_element_request_pad_simple(...) ZOV_GST_CALL(gst_element_request_pad_simple)(__VA_ARGS__)
#define gst_element_set_state(...) ZOV_GST_CALL(gst_element_set_state)(__VA_ARGS__)
#define gst_element_sync_state_with_parent(...) ZOV_GST_CALL(gst_element_sync_state_with_parent)(__VA_ARGS__)
#define gst_init_check(...) ZOV_GST_CALL(gst_init_check)(__VA_ARGS__)
#define gst_mini_object_unref(...) ZOV_GST_CALL(gst_mini_object_unref)(__VA_ARGS__)
#define gst_object_ref(...) ZOV_GST_CALL(gst_object_ref)(__VA_ARGS__)
#define gst_object_unref(...) ZOV_GST_CALL(gst_object_unref)(__VA_ARGS__)
#define gst_pad_add_probe(...) ZOV_GST_CALL(gst_pad_add_probe)(__VA_ARGS__)
#define gst_pad_get_current_caps(...) ZOV_GST_CALL(gst_pad_get_current_caps)(__VA_ARGS__)
#define gst_pad_link(...) ZOV_GST_CALL(gst_pad_link)(__VA_ARGS__)
#define gst_parse_bin_from_description(...) ZOV_GST_CALL(gst_parse_bin_from_description)(__VA_ARGS__)
#define gst_parse_launch(...) ZOV_GST_CALL(gst_parse_launch)(__VA_ARGS__)
#define gst_pipeline_new(...) ZOV_GST_CALL(gst_pipeline_new)(__VA_ARGS__)
#define gst_promise_get_reply(...) ZOV_GST_CALL(gst_promise_get_reply)(__VA_ARGS__)
#define gst_promise_new(...) ZOV_GST_CALL(gst_promise_new)(__VA_ARGS__)
#define gst_promise_new_with_change_func(...) ZOV_GST_CALL(gst_promise_new_with_change_func)(__VA_ARGS__)
#define gst_promise_wait(...) ZOV_GST_CALL(gst_promise_wait)(__VA_ARGS__)
#define gst_sample_get_buffer(...) ZOV_GST_CALL(gst_sample_get_buffer)(__VA_ARGS__)
#define gst_sample_get_caps(...) ZOV_GST_CALL(gst_sample_get_caps)(__VA_ARGS__)
#define gst_sdp_message_as_text(...) ZOV_GST_CALL(gst_sdp_message_as_text)(__VA_ARGS__)
#define gst_sdp_message_free(...) ZOV_GST_CALL(gst_sdp_message_free)(__VA_ARGS__)
#define gst_sdp_message_medias_len(...) ZOV_GST_CALL(gst_sdp_message_medias_len)(__VA_ARGS__)
#define gst_sdp_message_new(...) ZOV_GST_CALL(gst_sdp_message_new)(__VA_ARGS__)
#define gst_sdp_message_parse_buffer(...) ZOV_GST_CALL(gst_sdp_message_parse_buffer)(__VA_ARGS__)
#define gst_structure_get_string(...) ZOV_GST_CALL(gst_structure_get_string)(__VA_ARGS__)
#define gst_structure_has_field(...) ZOV_GST_CALL(gst_structure_has_field)(__VA_ARGS__)
#define gst_video_frame_map(...) ZOV_GST_CALL(gst_video_frame_map)(__VA_ARGS__)
#define gst_video_frame_unmap(...) ZOV_GST_CALL(gst_video_frame_unmap)(__VA_ARGS__)
#define gst_video_info_from_caps(...) ZOV_GST_CALL(gst_video_info_from_caps)(__VA_ARGS__)
#define gst_webrtc_session_description_free(...) ZOV_GST_CALL(gst_webrtc_session_description_free)(__VA_ARGS__)
#define gst_webrtc_session_description_get_type(...) ZOV_GST_CALL(gst_webrtc_session_description_get_type)(__VA_ARGS__)
#define gst_webrtc_session_description_new(...) ZOV_GST_CALL(gst_webrtc_session_description_new)(__VA_ARGS__)
#define gst_structure_get_valist(...) ZOV_GST_CALL(gst_structure_get_valist)(__VA_ARGS__)
#define gst_pad_send_event(...) ZOV_GST_CALL(gst_pad_send_event)(__VA_ARGS__)
#define gst_video_event_new_upstream_force_key_unit(...) ZOV_GST_CALL(gst_video_event_new_upstream_force_key_unit)(__VA_ARGS__)
#define gst_element_link(...) ZOV_GST_CALL(gst_element_link)(__VA_ARGS__)
#define gst_element_link_pads(...) ZOV_GST_CALL(gst_element_link_pads)(__VA_ARGS__)
#define gst_app_src_end_of_stream(...) ZOV_GST_CALL(gst_app_src_end_of_stream)(__VA_ARGS__)
#define gst_element_get_bus(...) ZOV_GST_CALL(gst_element_get_bus)(__VA_ARGS__)
#define gst_bus_timed_pop_filtered(...) ZOV_GST_CALL(gst_bus_timed_pop_filtered)(__VA_ARGS__)
#define gst_buffer_fill(...) ZOV_GST_CALL(gst_buffer_fill)(__VA_ARGS__)
#define gst_structure_get(...) ::zovwebrtc::gstload::structureGet(__VA_ARGS__)
// The header's unref helpers are inline over gst_mini_object_unref.
#define gst_caps_unref(caps) gst_mini_object_unref(GST_MINI_OBJECT_CAST(caps))
#define gst_promise_unref(promise) gst_mini_object_unref(GST_MINI_OBJECT_CAST(promise))
#define gst_sample_unref(sample) gst_mini_object_unref(GST_MINI_OBJECT_CAST(sample))
#define gst_message_unref(message) gst_mini_object_unref(GST_MINI_OBJECT_CAST(message))
