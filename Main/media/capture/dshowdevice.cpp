#include "media/capture/dshowdevice.h"

#include "media/capture/deviceenum.h"
#include "media/capture/hdevice.h"

namespace DShow {

Device::Device(InitGraph initialize)
    : context(std::make_unique<HDevice>())
{
    if (initialize == InitGraph::True)
        context->CreateGraph();
}

Device::~Device() = default;

bool Device::ResetGraph()
{
    context.reset();
    context = std::make_unique<HDevice>();
    return context->CreateGraph();
}

void Device::ShutdownGraph()
{
    context.reset();
    context = std::make_unique<HDevice>();
}

bool Device::SetVideoConfig(VideoConfig* config) { return context->SetVideoConfig(config); }

bool Device::ConnectFilters() { return context->ConnectFilters(); }

Result Device::Start() { return context->Start(); }

void Device::OpenDialog(void* owner, DialogType type) const { context->OpenDialog(owner, type); }

bool Device::EnumVideoDevices(std::vector<VideoDevice>& devices) { return DShow::EnumVideoDevices(devices); }

} // namespace DShow
