#pragma once

#include <QString>

// Built-in addresses of the operator's services. They are deployment values: the environment variable
// TAVICAST_SERVICE_URL (scheme://host:port) replaces scheme, host and port of each and keeps the path.

// The operator's service domain (the application's organization, given to the HTTP layer).
inline constexpr char kServiceDomain[] = "tavicast.example.com";
// The membership service's base.
inline constexpr char kMembershipServiceBase[] = "https://vip.tavicast.example.com/goapi";
// The meeting command API.
inline constexpr char kCommandApiBase[] = "https://cmd.tavicast.example.com:4433/cmdApi";

// `builtin` with scheme, host and port taken from TAVICAST_SERVICE_URL when that holds a valid
// scheme://host:port; otherwise `builtin` unchanged. Any thread.
QString serviceUrl(const char* builtin);
