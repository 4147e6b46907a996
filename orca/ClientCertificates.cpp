#include "orca/ClientCertificates.h"

#include "platform/CertStore.h"
#include "platform/OpenSslPtr.h"

#include <QDateTime>

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>
#include <vector>

namespace {

struct StoredCert {
    platform::X509Ptr cert;
    platform::PkeyPtr key; // null when the store holds no key
};

// Index of the TLS context's pointer to its handshake state.
int stateIndex() {
    static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

std::vector<StoredCert> loadPersonalStore() {
    std::vector<StoredCert> out;
    const std::unique_ptr<platform::CertStore> store =
        platform::CertStore::Open(platform::kPersonalStore);
    if (!store)
        return out;
    for (const platform::CertEntry &e : store->entries()) {
        StoredCert s;
        const unsigned char *p = reinterpret_cast<const unsigned char *>(e.certDer.constData());
        s.cert.reset(d2i_X509(nullptr, &p, e.certDer.size()));
        if (!s.cert)
            continue;
        if (!e.keyDer.isEmpty()) {
            p = reinterpret_cast<const unsigned char *>(e.keyDer.constData());
            s.key.reset(d2i_AutoPrivateKey(nullptr, &p, e.keyDer.size()));
        }
        out.push_back(std::move(s));
    }
    ERR_clear_error();
    return out;
}

bool selfSigned(X509 *cert) {
    return X509_check_issued(cert, cert) == X509_V_OK;
}

// The store's certificate that issued `cert`, or null.
X509 *issuerInStore(const std::vector<StoredCert> &all, X509 *cert) {
    for (const StoredCert &s : all) {
        if (s.cert.get() != cert && X509_check_issued(s.cert.get(), cert) == X509_V_OK)
            return s.cert.get();
    }
    return nullptr;
}

constexpr int kMaxChain = 8;

// Whether the server's list names the certificate's issuer or an issuer up its
// chain within the store.
bool chainsToNamedIssuer(const std::vector<StoredCert> &all, X509 *cert,
                         const STACK_OF(X509_NAME) * names) {
    X509 *c = cert;
    for (int depth = 0; c && depth < kMaxChain; ++depth) {
        const X509_NAME *issuer = X509_get_issuer_name(c);
        for (int i = 0; i < sk_X509_NAME_num(names); ++i) {
            if (X509_NAME_cmp(issuer, sk_X509_NAME_value(names, i)) == 0)
                return true;
        }
        if (selfSigned(c))
            break;
        c = issuerInStore(all, c);
    }
    return false;
}

// Offers the server a certificate of the personal store, chosen (and logged)
// by ChooseClientCertificate.
void presentClientCertificate(SSL *ssl, TlsHandshakeState *state) {

    const std::vector<StoredCert> all = loadPersonalStore();
    const STACK_OF(X509_NAME) *names = SSL_get_client_CA_list(ssl);
    const bool anyIssuer = !names || sk_X509_NAME_num(names) == 0;

    std::vector<const StoredCert *> offered;
    QList<TClientCertCandidate> candidates;
    for (const StoredCert &s : all) {
        if (!s.key)
            continue; // a certificate we cannot sign with is no candidate
        if (!anyIssuer && !chainsToNamedIssuer(all, s.cert.get(), names))
            continue;
        offered.push_back(&s);
        candidates << CandidateOf(s.cert.get());
    }

    const int chosen = ChooseClientCertificate(candidates);
    if (chosen < 0 || chosen >= int(offered.size()))
        return; // go on without a certificate

    const StoredCert *pick = offered[size_t(chosen)];
    STACK_OF(X509) *chain = sk_X509_new_null();
    X509 *c = pick->cert.get();
    for (int depth = 0; chain && depth < kMaxChain && !selfSigned(c); ++depth) {
        c = issuerInStore(all, c);
        if (!c || selfSigned(c))
            break;
        sk_X509_push(chain, c);
    }
    if (SSL_use_cert_and_key(ssl, pick->cert.get(), pick->key.get(), chain, 1) == 1)
        state->certPresented = true;
    sk_X509_free(chain); // the certificates themselves belong to `all`
    ERR_clear_error();
}

// Called by OpenSSL when the server requests a client certificate. Nothing
// may unwind through OpenSSL: an error ends the handshake and waits in the
// state for the owner.
int certCallback(SSL *ssl, void *arg) noexcept {
    auto *state = static_cast<TlsHandshakeState *>(arg);
    state->certRequested = true;
    try {
        presentClientCertificate(ssl, state);
        return 1;
    } catch (...) {
        state->error = std::current_exception();
        return 0;
    }
}

void infoCallback(const SSL *ssl, int where, int ret) noexcept {
    if (!(where & SSL_CB_READ_ALERT) || (ret >> 8) != SSL3_AL_FATAL)
        return;
    auto *state =
        static_cast<TlsHandshakeState *>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), stateIndex()));
    if (state)
        state->fatalAlert = ret & 0xff;
}

} // namespace

void InstallTlsHooks(SSL_CTX *ctx, TlsHandshakeState *state) {
    SSL_CTX_set_default_verify_paths(ctx);
    SSL_CTX_set_ex_data(ctx, stateIndex(), state);
    SSL_CTX_set_cert_cb(ctx, certCallback, state);
    SSL_CTX_set_info_callback(ctx, infoCallback);
    ERR_clear_error();
}

QString CertNameText(const X509_NAME *name) {
    BIO *bio = BIO_new(BIO_s_mem());
    if (!bio)
        return {};
    const unsigned long flags = (ASN1_STRFLGS_RFC2253 & ~ASN1_STRFLGS_ESC_MSB) |
                                XN_FLAG_SEP_CPLUS_SPC | XN_FLAG_DN_REV | XN_FLAG_FN_SN;
    X509_NAME_print_ex(bio, name, 0, flags);
    char *data = nullptr;
    const long len = BIO_get_mem_data(bio, &data);
    const QString text = QString::fromUtf8(data, len);
    BIO_free(bio);
    return text;
}

TClientCertCandidate CandidateOf(X509 *cert) {
    TClientCertCandidate c;
    c.Subject = CertNameText(X509_get_subject_name(cert));
    c.Issuer = CertNameText(X509_get_issuer_name(cert));
    struct tm t {};
    if (ASN1_TIME_to_tm(X509_get0_notAfter(cert), &t) == 1) {
        const QDateTime utc(QDate(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday),
                            QTime(t.tm_hour, t.tm_min, t.tm_sec), Qt::UTC);
        c.Expiry = DateTimeToDays(utc.toLocalTime());
    }
    return c;
}
