#pragma once
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <memory>

namespace platform {

// Owning pointers for the OpenSSL objects the certificate code passes around.
struct X509Free {
    void operator()(X509 *x) const { X509_free(x); }
};
struct PkeyFree {
    void operator()(EVP_PKEY *k) const { EVP_PKEY_free(k); }
};
using X509Ptr = std::unique_ptr<X509, X509Free>;
using PkeyPtr = std::unique_ptr<EVP_PKEY, PkeyFree>;

} // namespace platform
