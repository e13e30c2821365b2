#pragma once

#include <json/value.h>

#include <string>

namespace devservice {

// Whether a member or query item of that name carries a secret: passwords (room and account ones, and their
// digests), owner keys, tokens (session, join, auto sign-in) and authorization codes.
bool isSecretName(const std::string& name);

// `value` with every secret member that is not empty, at any depth, shown as "***"; walked without
// recursion.
Json::Value maskedSecrets(const Json::Value& value);

// A query text ("a=1&token=x") with the value of every secret item shown as "***"; the rest as it stands.
std::string maskedQuery(const std::string& query);

} // namespace devservice
