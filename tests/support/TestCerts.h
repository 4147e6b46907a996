#pragma once
// Test helper: certificates made at test time with OpenSSL (EC P-256 keys):
// authorities, TLS servers, TLS clients and PKCS#12 files.
#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

struct TestCert {
    QByteArray certDer; // DER
    QByteArray keyDer;  // PKCS#8 DER

    bool isNull() const { return certDer.isEmpty(); }
    QByteArray certPem() const;
    QByteArray keyPem() const;
    QDateTime notAfter() const; // end of validity (UTC)
    // Writes the certificate and the key as PEM files; false on failure.
    bool writePem(const QString &certPath, const QString &keyPath) const;
};

struct TestCertSpec {
    QString commonName;
    QString organization;         // left out when empty
    QStringList dnsNames;         // subjectAltName DNS entries
    QStringList ipAddresses;      // subjectAltName IP entries
    qint64 notBeforeSecs = -3600; // validity relative to now, in seconds
    qint64 notAfterSecs = 365LL * 24 * 3600;
    bool ca = false;         // an authority that may issue certificates
    bool serverAuth = false; // extended key usage for TLS servers
    bool clientAuth = false; // extended key usage for TLS clients
};

// A certificate with a new key, signed by the issuer (self-signed when null).
// Null on failure.
TestCert MakeTestCertificate(const TestCertSpec &spec, const TestCert *issuer = nullptr);

// Shorthands: a root authority; a server for 127.0.0.1 and localhost; a client.
TestCert MakeTestCa(const QString &commonName, const TestCert *issuer = nullptr);
TestCert MakeTestServer(const TestCert &issuer,
                        const QString &commonName = QStringLiteral("localhost"));
TestCert MakeTestClient(const TestCert &issuer, const QString &commonName,
                        qint64 notAfterSecs = 365LL * 24 * 3600);

// A PKCS#12 file holding the leaf with its key and the chain certificates
// (without keys). legacy: 3DES/RC2 protection as older systems export it.
QByteArray MakeTestPkcs12(const TestCert &leaf, const QList<TestCert> &chain,
                          const QString &password, bool legacy = false);
