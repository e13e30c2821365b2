#include "global/servicehosts.h"

#include <cstdlib>

namespace servicehosts {

std::string deploymentUrl(const std::string& builtIn)
{
    const char* variable = std::getenv("TAVICAST_SERVICE_URL");
    if (!variable || !*variable)
        return builtIn;
    std::string origin = variable;
    while (!origin.empty() && origin.back() == '/')
        origin.pop_back();
    const std::string::size_type scheme = builtIn.find("://");
    if (scheme == std::string::npos)
        return builtIn;
    const std::string::size_type path = builtIn.find('/', scheme + 3);
    return path == std::string::npos ? origin : origin + builtIn.substr(path);
}

} // namespace servicehosts
