#include "tests/support/TestCerts.h"

#include "platform/OpenSslPtr.h"

#include <QFile>
#include <QSaveFile>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/provider.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>

namespace {

using platform::PkeyPtr;
using platform::X509Ptr;

X509Ptr certOf(const QByteArray &der) {
    const unsigned char *p = reinterpret_cast<const unsigned char *>(der.constData());
    return X509Ptr(d2i_X509(nullptr, &p, der.size()));
}

PkeyPtr keyOf(const QByteArray &der) {
    const unsigned char *p = reinterpret_cast<const unsigned char *>(der.constData());
    return PkeyPtr(d2i_AutoPrivateKey(nullptr, &p, der.size()));
}

QByteArray derOf(X509 *x) {
    QByteArray out(i2d_X509(x, nullptr), Qt::Uninitialized);
    unsigned char *p = reinterpret_cast<unsigned char *>(out.data());
    i2d_X509(x, &p);
    return out;
}

QByteArray derOf(EVP_PKEY *k) {
    PKCS8_PRIV_KEY_INFO *p8 = EVP_PKEY2PKCS8(k);
    QByteArray out(i2d_PKCS8_PRIV_KEY_INFO(p8, nullptr), Qt::Uninitialized);
    unsigned char *p = reinterpret_cast<unsigned char *>(out.data());
    i2d_PKCS8_PRIV_KEY_INFO(p8, &p);
    PKCS8_PRIV_KEY_INFO_free(p8);
    return out;
}

QByteArray bioText(BIO *bio) {
    char *data = nullptr;
    const long len = BIO_get_mem_data(bio, &data);
    QByteArray out(data, int(len));
    BIO_free(bio);
    return out;
}

bool addExtension(X509 *cert, X509 *issuer, int nid, const QByteArray &value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION *ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.constData());
    if (!ext)
        return false;
    const bool ok = X509_add_ext(cert, ext, -1) == 1;
    X509_EXTENSION_free(ext);
    return ok;
}

} // namespace

QByteArray TestCert::certPem() const {
    X509Ptr x = certOf(certDer);
    BIO *bio = BIO_new(BIO_s_mem());
    PEM_write_bio_X509(bio, x.get());
    return bioText(bio);
}

QByteArray TestCert::keyPem() const {
    PkeyPtr k = keyOf(keyDer);
    BIO *bio = BIO_new(BIO_s_mem());
    PEM_write_bio_PrivateKey(bio, k.get(), nullptr, nullptr, 0, nullptr, nullptr);
    return bioText(bio);
}

QDateTime TestCert::notAfter() const {
    X509Ptr x = certOf(certDer);
    struct tm t {};
    if (!x || ASN1_TIME_to_tm(X509_get0_notAfter(x.get()), &t) != 1)
        return {};
    return QDateTime(QDate(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday),
                     QTime(t.tm_hour, t.tm_min, t.tm_sec), Qt::UTC);
}

bool TestCert::writePem(const QString &certPath, const QString &keyPath) const {
    for (const auto &[path, data] :
         {std::pair{certPath, certPem()}, std::pair{keyPath, keyPem()}}) {
        QSaveFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(data) != data.size() || !f.commit())
            return false;
    }
    return true;
}

TestCert MakeTestCertificate(const TestCertSpec &spec, const TestCert *issuer) {
    PkeyPtr key(EVP_EC_gen("P-256"));
    X509Ptr cert(X509_new());
    if (!key || !cert)
        return {};
    X509Ptr issuerCert;
    PkeyPtr issuerKey;
    if (issuer) {
        issuerCert = certOf(issuer->certDer);
        issuerKey = keyOf(issuer->keyDer);
        if (!issuerCert || !issuerKey)
            return {};
    }

    X509_set_version(cert.get(), 2);
    unsigned char serial[16];
    RAND_bytes(serial, sizeof serial);
    serial[0] &= 0x7f;
    BIGNUM *bn = BN_bin2bn(serial, sizeof serial, nullptr);
    BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(cert.get()));
    BN_free(bn);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), long(spec.notBeforeSecs));
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), long(spec.notAfterSecs));
    X509_set_pubkey(cert.get(), key.get());

    X509_NAME *name = X509_get_subject_name(cert.get());
    if (!spec.organization.isEmpty())
        X509_NAME_add_entry_by_txt(
            name, "O", MBSTRING_UTF8,
            reinterpret_cast<const unsigned char *>(spec.organization.toUtf8().constData()), -1, -1,
            0);
    X509_NAME_add_entry_by_txt(
        name, "CN", MBSTRING_UTF8,
        reinterpret_cast<const unsigned char *>(spec.commonName.toUtf8().constData()), -1, -1, 0);
    X509_set_issuer_name(cert.get(), issuerCert ? X509_get_subject_name(issuerCert.get()) : name);

    X509 *signer = issuerCert ? issuerCert.get() : cert.get();
    bool ok = true;
    if (spec.ca) {
        ok &= addExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:TRUE");
        ok &= addExtension(cert.get(), signer, NID_key_usage, "critical,keyCertSign,cRLSign");
    } else {
        ok &= addExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:FALSE");
        ok &= addExtension(cert.get(), signer, NID_key_usage, "critical,digitalSignature");
    }
    QStringList usages;
    if (spec.serverAuth)
        usages << QStringLiteral("serverAuth");
    if (spec.clientAuth)
        usages << QStringLiteral("clientAuth");
    if (!usages.isEmpty())
        ok &= addExtension(cert.get(), signer, NID_ext_key_usage, usages.join(',').toLatin1());
    QStringList alt;
    for (const QString &dns : spec.dnsNames)
        alt << QStringLiteral("DNS:") + dns;
    for (const QString &ip : spec.ipAddresses)
        alt << QStringLiteral("IP:") + ip;
    if (!alt.isEmpty())
        ok &= addExtension(cert.get(), signer, NID_subject_alt_name, alt.join(',').toLatin1());
    ok &= addExtension(cert.get(), signer, NID_subject_key_identifier, "hash");
    if (issuer)
        ok &= addExtension(cert.get(), signer, NID_authority_key_identifier, "keyid:always");
    if (!ok)
        return {};

    if (X509_sign(cert.get(), issuerKey ? issuerKey.get() : key.get(), EVP_sha256()) <= 0)
        return {};
    TestCert out;
    out.certDer = derOf(cert.get());
    out.keyDer = derOf(key.get());
    return out;
}

TestCert MakeTestCa(const QString &commonName, const TestCert *issuer) {
    TestCertSpec spec;
    spec.commonName = commonName;
    spec.ca = true;
    spec.notAfterSecs = 10LL * 365 * 24 * 3600;
    return MakeTestCertificate(spec, issuer);
}

TestCert MakeTestServer(const TestCert &issuer, const QString &commonName) {
    TestCertSpec spec;
    spec.commonName = commonName;
    spec.dnsNames = {QStringLiteral("localhost")};
    spec.ipAddresses = {QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.2")};
    spec.serverAuth = true;
    return MakeTestCertificate(spec, &issuer);
}

TestCert MakeTestClient(const TestCert &issuer, const QString &commonName, qint64 notAfterSecs) {
    TestCertSpec spec;
    spec.commonName = commonName;
    spec.clientAuth = true;
    spec.notAfterSecs = notAfterSecs;
    if (notAfterSecs <= 0)
        spec.notBeforeSecs = notAfterSecs - 30LL * 24 * 3600;
    return MakeTestCertificate(spec, &issuer);
}

QByteArray MakeTestPkcs12(const TestCert &leaf, const QList<TestCert> &chain,
                          const QString &password, bool legacy) {
    if (legacy)
        OSSL_PROVIDER_try_load(nullptr, "legacy", 1);
    X509Ptr cert = certOf(leaf.certDer);
    PkeyPtr key = keyOf(leaf.keyDer);
    STACK_OF(X509) *cas = sk_X509_new_null();
    for (const TestCert &c : chain)
        sk_X509_push(cas, certOf(c.certDer).release());
    const QByteArray pass = password.toUtf8();
    PKCS12 *p12 = PKCS12_create(pass.constData(), "test", key.get(), cert.get(), cas,
                                legacy ? NID_pbe_WithSHA1And3_Key_TripleDES_CBC : 0,
                                legacy ? NID_pbe_WithSHA1And40BitRC2_CBC : 0, 0, 0, 0);
    sk_X509_pop_free(cas, X509_free);
    if (!p12)
        return {};
    QByteArray out(i2d_PKCS12(p12, nullptr), Qt::Uninitialized);
    unsigned char *p = reinterpret_cast<unsigned char *>(out.data());
    i2d_PKCS12(p12, &p);
    PKCS12_free(p12);
    return out;
}
