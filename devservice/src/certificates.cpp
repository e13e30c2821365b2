#include <devservice/certificates.h>

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>

namespace devservice {

namespace {

    template <typename T, void (*Free)(T*)> struct Deleter {
        void operator()(T* p) const { Free(p); }
    };
    using KeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
    using CertPtr = std::unique_ptr<X509, Deleter<X509, X509_free>>;
    using BioPtr = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;

    bool addExtension(X509* cert, X509* issuer, int nid, const char* value)
    {
        X509V3_CTX context;
        X509V3_set_ctx_nodb(&context);
        X509V3_set_ctx(&context, issuer, cert, nullptr, nullptr, 0);
        X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
        if (!extension)
            return false;
        const bool added = X509_add_ext(cert, extension, -1) == 1;
        X509_EXTENSION_free(extension);
        return added;
    }

    CertPtr newCertificate(EVP_PKEY* key, const char* commonName)
    {
        CertPtr cert(X509_new());
        unsigned char serial[16];
        if (!cert || RAND_bytes(serial, sizeof serial) != 1)
            return nullptr;
        serial[0] &= 0x7f; // a positive serial number
        BIGNUM* number = BN_bin2bn(serial, sizeof serial, nullptr);
        const bool ok = number && BN_to_ASN1_INTEGER(number, X509_get_serialNumber(cert.get()));
        BN_free(number);
        X509_NAME* name = X509_get_subject_name(cert.get());
        if (!ok || X509_set_version(cert.get(), 2) != 1
            || !X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600)
            || !X509_gmtime_adj(X509_getm_notAfter(cert.get()), 30L * 24 * 3600)
            || X509_NAME_add_entry_by_txt(
                   name, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(commonName), -1, -1, 0)
                != 1
            || X509_set_pubkey(cert.get(), key) != 1)
            return nullptr;
        return cert;
    }

    std::string pemOf(X509* cert)
    {
        BioPtr bio(BIO_new(BIO_s_mem()));
        if (!bio || PEM_write_bio_X509(bio.get(), cert) != 1)
            return std::string();
        char* data = nullptr;
        const long size = BIO_get_mem_data(bio.get(), &data);
        return std::string(data, static_cast<size_t>(size));
    }

    std::string pemOf(EVP_PKEY* key)
    {
        BioPtr bio(BIO_new(BIO_s_mem()));
        if (!bio || PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr) != 1)
            return std::string();
        char* data = nullptr;
        const long size = BIO_get_mem_data(bio.get(), &data);
        return std::string(data, static_cast<size_t>(size));
    }

} // namespace

bool makeCertificates(Certificates& out, std::string& error)
{
    KeyPtr authorityKey(EVP_EC_gen("P-256"));
    KeyPtr serverKey(EVP_EC_gen("P-256"));
    if (!authorityKey || !serverKey) {
        error = "cannot generate the key pairs";
        return false;
    }

    CertPtr authority = newCertificate(authorityKey.get(), "Tavicast local service CA");
    if (!authority || X509_set_issuer_name(authority.get(), X509_get_subject_name(authority.get())) != 1
        || !addExtension(authority.get(), authority.get(), NID_basic_constraints, "critical,CA:TRUE")
        || !addExtension(authority.get(), authority.get(), NID_key_usage, "critical,keyCertSign,cRLSign")
        || !addExtension(authority.get(), authority.get(), NID_subject_key_identifier, "hash")
        || X509_sign(authority.get(), authorityKey.get(), EVP_sha256()) == 0) {
        error = "cannot make the certificate authority";
        return false;
    }

    CertPtr server = newCertificate(serverKey.get(), "127.0.0.1");
    if (!server || X509_set_issuer_name(server.get(), X509_get_subject_name(authority.get())) != 1
        || !addExtension(server.get(), authority.get(), NID_basic_constraints, "critical,CA:FALSE")
        || !addExtension(server.get(), authority.get(), NID_key_usage, "critical,digitalSignature")
        || !addExtension(server.get(), authority.get(), NID_ext_key_usage, "serverAuth")
        || !addExtension(server.get(), authority.get(), NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost")
        || !addExtension(server.get(), authority.get(), NID_authority_key_identifier, "keyid:always")
        || X509_sign(server.get(), authorityKey.get(), EVP_sha256()) == 0) {
        error = "cannot issue the server certificate";
        return false;
    }

    out.authorityPem = pemOf(authority.get());
    out.serverPem = pemOf(server.get());
    out.serverKeyPem = pemOf(serverKey.get());
    if (out.authorityPem.empty() || out.serverPem.empty() || out.serverKeyPem.empty()) {
        error = "cannot write the certificates as PEM";
        return false;
    }
    return true;
}

} // namespace devservice
