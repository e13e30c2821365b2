#pragma once

#include <string>

namespace devservice {

// A certificate authority made for one run of the service and a server certificate it issued for
// 127.0.0.1 and localhost, all as PEM text. Keys are P-256; the certificates are valid from an hour ago for
// 30 days.
struct Certificates {
    std::string authorityPem;
    std::string serverPem;
    std::string serverKeyPem;
};

// Returns false and sets `error` when OpenSSL refuses a step.
bool makeCertificates(Certificates& out, std::string& error);

} // namespace devservice
