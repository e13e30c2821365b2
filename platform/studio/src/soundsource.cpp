#include "soundsource.h"

#include <gst/gst.h>
// After the GStreamer headers: the calls go through the libraries opened on first use.
#include <zovwebrtc/gstload.h>

bool soundSourceOpens(const std::string& description, std::string* why)
{
    auto fail = [&](const std::string& reason) {
        if (why)
            *why = reason;
        return false;
    };
    if (!gst_init_check(nullptr, nullptr, nullptr))
        return fail("GStreamer cannot start");
    GError* failure = nullptr;
    GstElement* bin = gst_parse_bin_from_description(description.c_str(), FALSE, &failure);
    if (bin)
        g_object_ref_sink(bin); // the parser hands out a floating reference
    if (failure) {
        const std::string reason = failure->message ? failure->message : "the description is not usable";
        g_error_free(failure);
        if (bin)
            gst_object_unref(bin);
        return fail(reason);
    }
    if (!bin)
        return fail("the description is not usable");
    const GstStateChangeReturn opened = gst_element_set_state(bin, GST_STATE_PAUSED);
    gst_element_set_state(bin, GST_STATE_NULL);
    gst_object_unref(bin);
    if (opened == GST_STATE_CHANGE_FAILURE)
        return fail("it does not open");
    return true;
}
