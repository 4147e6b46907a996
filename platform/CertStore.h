#pragma once
#include <QByteArray>
#include <QList>
#include <QString>
#include <memory>

namespace platform {

// The current user's certificate stores. A store is a private folder under
// UserDataDir() + "/certstore/<name>" (mode 0700): one DER file per
// certificate, one PKCS#8 DER file (mode 0600) per private key, and an index
// that fixes the store order. The personal store that the HTTP clients offer
// client certificates from is named "MY".

inline const QString kPersonalStore = QStringLiteral("MY");

struct CertEntry {
    QByteArray certDer; // the certificate, DER
    QByteArray keyDer;  // its private key, PKCS#8 DER; empty when the store has none
};

class CertStore {
public:
    // Opens the named store, creating its folder when needed; null (with the
    // reason in *error) when the folder cannot be made private to the user.
    static std::unique_ptr<CertStore> Open(const QString &name, QString *error = nullptr);

    QString folder() const { return m_folder; }

    // Adds a certificate, with its private key when keyDer is not empty. The same
    // certificate (same DER) added again replaces the stored one in its place;
    // its stored key is kept when the new entry brings none. False, with the
    // reason in *error, when the certificate is not DER, the key does not belong
    // to it, or the files cannot be written.
    bool add(const QByteArray &certDer, const QByteArray &keyDer, QString *error = nullptr);

    // Every certificate in store order, with its key where there is one.
    QList<CertEntry> entries() const;

private:
    explicit CertStore(const QString &folder) : m_folder(folder) {}
    QString m_folder;
};

// Folder of the named store (not created).
QString CertStoreFolder(const QString &name);

// Decodes a PKCS#12 file with its password: every certificate of the file in
// file order, each with its private key when the file holds it. False (and
// nothing in *out) when the data is not PKCS#12 or the password is wrong.
bool ParsePkcs12(const QByteArray &data, const QString &password, QList<CertEntry> *out,
                 QString *error = nullptr);

// Import of a PKCS#12 file into a store: decode, open the store, add every
// certificate (authority certificates too) with replace. Imported only when at
// least one certificate was stored; a file without certificates, or one whose
// every certificate failed to be stored, is NothingImported.
struct Pkcs12ImportResult {
    enum Status { Imported, NothingImported, DecodeFailed, StoreOpenFailed };
    Status status = DecodeFailed;
    int count = 0; // certificates added
    QString error; // the reason of a failure (never holds the password)
};
Pkcs12ImportResult ImportPkcs12(const QString &storeName, const QByteArray &data,
                                const QString &password);

} // namespace platform
