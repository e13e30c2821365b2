#pragma once

#include <string>

namespace capture {

// UTF-8 to wide text; a broken sequence becomes U+FFFD.
std::wstring widenUtf8(const std::string& text);

} // namespace capture
