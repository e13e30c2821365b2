#pragma once

#include <string>

// Built-in addresses of the operator's services. They are deployment values: the environment variable
// TAVICAST_SERVICE_URL (scheme://host:port) replaces scheme, host and port of each and keeps the path.
namespace servicehosts {

// The operator's service domain: the application's organization, also handed to the HTTP layer.
inline constexpr char kServiceDomain[] = "example.com";

// The meeting API of the account requests.
inline constexpr char kMeetingApiBase[] = "https://meeting.example.com/meetingapi/";
// The membership service: the version check's base, and the API base published as the application-info
// property "host" (the plug-in and the application-configuration request append their paths to it).
inline constexpr char kMembershipBase[] = "https://vip.example.com/vip/";
inline constexpr char kMembershipApiBase[] = "https://vip.example.com/goapi";
// The command API, preset as the room service until the host types one of its own.
inline constexpr char kCommandApiBase[] = "https://room.example.com:4433/cmdApi";

// The operator's website: the about page's links and the help's "咨询客服" link. Its pages are reached over
// the secure scheme; the home page is shown and linked with the plain one.
inline constexpr char kWebsiteBase[] = "https://www.example.com";
inline constexpr char kWebsiteHome[] = "http://www.example.com";

// `builtIn` with scheme, host and port taken from TAVICAST_SERVICE_URL when that is set (read at each call);
// `builtIn` unchanged otherwise. A trailing "/" of the variable is dropped, so the path is never doubled.
std::string deploymentUrl(const std::string& builtIn);

} // namespace servicehosts
