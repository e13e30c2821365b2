#pragma once

#include <devservice/routes.h>

#include <cstddef>

namespace devservice {

// How the SDP routes refuse an offer.
namespace rtc {
    inline constexpr int kBadOffer = 4001; // no SDP, not base64, too long, or a stream id that is no integer
    inline constexpr int kNoSuchStream = 4004;
    inline constexpr int kNoAnswer = 5001; // the forwarder could not answer
    inline constexpr int kNoCarriedCodec = 4015; // the offer has neither VP8 video nor Opus audio
    inline constexpr int kFull = 4029; // the forwarder holds as many streams, or players of the stream, as allowed
    inline constexpr size_t kMaxOfferBytes = 64 * 1024;
} // namespace rtc

// The meeting client's paths (room service, meeting API, membership version check and application
// configuration, chat-room administration, signalling) with demo answers that carry what the client reads.
// Paths are those of the built-in bases with TAVICAST_SERVICE_URL pointing at this service.
void addMeetingRoutes(RouteTable& routes);

} // namespace devservice
