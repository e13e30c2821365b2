#pragma once

#include <string>
#include <string_view>

// Log lines never carry credentials. In `text`, the values of the JSON members "token", "meeting_token",
// "vip_token", "auto_login_token", "auto_token", "user_pwd", "password" and "sign" become "***", wherever they
// appear: in a JSON text, or escaped inside a JSON string (a reply's "result", a request logged as text). The
// text need not parse: a value cut short is hidden up to the end. Everything else stays as it is.
//
// One forward pass over the text, without recursion: its time and stack do not grow with the length of a
// value or with nesting. Pure function, callable from any thread.
std::string maskSecrets(std::string_view text);
