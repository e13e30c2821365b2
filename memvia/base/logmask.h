#pragma once

#include <string>

// Log lines never carry credentials: in a JSON text, the string values of the members "token",
// "auto_login_token", "auto_token", "password" and "sign" become "***". The text need not parse; everything
// else stays as it is. Pure and thread-safe.
std::string maskSecrets(const std::string& text);
