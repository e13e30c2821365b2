#pragma once

#include <string>

// `text` with the values of token-like JSON members ("token", "meeting_token", "vip_token", "user_pwd",
// "password") replaced by "***", wherever they appear: in a JSON text, or escaped inside a JSON string.
// Anything that is not such a member is left as it is. Pure function, callable from any thread.
std::string maskSecrets(const std::string& text);
