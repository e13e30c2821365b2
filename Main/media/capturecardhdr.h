#pragma once

// Tone mapping and HDR detection of HDMI capture cards, through the cards' kernel-streaming properties
// (AVerMedia, AVerMedia GC553, Elgato 4K60 Pro MK.2) and, for the Elgato HD60 S+, a HID output report.
// Every switch is best effort: a device that is not such a card fails each attempt quietly. Called from
// the capture graph's threads.

#include <capture/interfaces.h>

// Card property accessor: a card type (1 tone mapper, 2 HDMI InfoFrame) and its property set.
struct CardPropertySet {
    int type = 0;
    GUID set {};
    ComPtr<IKsPropertySet> properties;
};

CardPropertySet ksPropertySetGuid(int type, IKsPropertySet* properties);

// Reads the HDMI InfoFrame the card receives; hdr tells whether it announces an HDR transfer function.
HRESULT readHdmiInfoFrame(const CardPropertySet& accessor, bool& hdr);

void setCardTonemapper(IBaseFilter* filter, bool enable);
bool isHdrSignal(IKsPropertySet* properties);

void setTonemapperAVerMedia(IKsPropertySet* properties, bool enable);
bool setTonemapperAVerMediaGC553(IUnknown* filter, bool enable);
void setTonemapperElgato(IKsPropertySet* properties, bool enable);
