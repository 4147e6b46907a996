#include "platform/CertStore.h"

#include "platform/AppPaths.h"
#include "platform/OpenSslPtr.h"
#include "platform/PrivateFile.h"
#include "platform/Trim.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLockFile>

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pkcs12.h>
#include <openssl/provider.h>
#include <openssl/x509.h>

#include <vector>

namespace platform {

namespace {

const QString kIndexName = QStringLiteral("index.txt");

using platform::PkeyPtr;
using platform::X509Ptr;

void setError(QString *error, const QString &text) {
    if (error)
        *error = text;
}

QString opensslError() {
    const unsigned long e = ERR_get_error();
    ERR_clear_error();
    if (e == 0)
        return QStringLiteral("unknown error");
    char buf[256];
    ERR_error_string_n(e, buf, sizeof buf);
    return QString::fromLatin1(buf);
}

bool validStoreName(const QString &name) {
    if (name.isEmpty())
        return false;
    for (const QChar c : name) {
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != QLatin1Char('_') &&
            c != QLatin1Char('-'))
            return false;
    }
    return true;
}

bool isEntryId(const QString &s) {
    if (s.size() != 64)
        return false;
    for (const QChar c : s) {
        if (!((c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
              (c >= QLatin1Char('a') && c <= QLatin1Char('f'))))
            return false;
    }
    return true;
}

QStringList readIndex(const QString &folder) {
    QFile f(folder + QLatin1Char('/') + kIndexName);
    QStringList ids;
    if (!f.open(QIODevice::ReadOnly))
        return ids;
    const QList<QByteArray> lines = f.readAll().split('\n');
    for (const QByteArray &line : lines) {
        const QString id = TrimText(QString::fromLatin1(line));
        if (isEntryId(id) && !ids.contains(id))
            ids << id;
    }
    return ids;
}

// Everything in the store is written owner-only (the keys are secrets) and
// replaced atomically.
bool writeFile(const QString &path, const QByteArray &data, QString *error) {
    QString why;
    if (SavePrivateFile(path, data, &why))
        return true;
    setError(error, QStringLiteral("%1: %2").arg(path, why));
    return false;
}

QByteArray readFile(const QString &path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

X509Ptr certFromDer(const QByteArray &der) {
    const unsigned char *p = reinterpret_cast<const unsigned char *>(der.constData());
    X509Ptr x(d2i_X509(nullptr, &p, der.size()));
    if (x && p != reinterpret_cast<const unsigned char *>(der.constData()) + der.size())
        x.reset(); // trailing bytes: not one certificate
    return x;
}

QByteArray certToDer(X509 *x) {
    const int len = i2d_X509(x, nullptr);
    if (len <= 0)
        return {};
    QByteArray der(len, Qt::Uninitialized);
    unsigned char *p = reinterpret_cast<unsigned char *>(der.data());
    i2d_X509(x, &p);
    return der;
}

QByteArray keyToPkcs8Der(EVP_PKEY *key) {
    PKCS8_PRIV_KEY_INFO *p8 = EVP_PKEY2PKCS8(key);
    if (!p8)
        return {};
    QByteArray der;
    const int len = i2d_PKCS8_PRIV_KEY_INFO(p8, nullptr);
    if (len > 0) {
        der.resize(len);
        unsigned char *p = reinterpret_cast<unsigned char *>(der.data());
        i2d_PKCS8_PRIV_KEY_INFO(p8, &p);
    }
    PKCS8_PRIV_KEY_INFO_free(p8);
    return der;
}

PkeyPtr keyFromDer(const QByteArray &der) {
    const unsigned char *p = reinterpret_cast<const unsigned char *>(der.constData());
    return PkeyPtr(d2i_AutoPrivateKey(nullptr, &p, der.size()));
}

} // namespace

QString CertStoreFolder(const QString &name) {
    return UserDataDir() + QStringLiteral("/certstore/") + name;
}

std::unique_ptr<CertStore> CertStore::Open(const QString &name, QString *error) {
    if (!validStoreName(name)) {
        setError(error, QStringLiteral("invalid store name: %1").arg(name));
        return nullptr;
    }
    // The store shares the per-user folder with an installed copy's files
    // (AppDataDir); either may create it first, both for this user alone.
    const QString base = UserDataDir();
    if (!MakeUserDataDir(error))
        return nullptr;
    if (!MakePrivateFolder(base + QStringLiteral("/certstore"), error))
        return nullptr;
    const QString folder = CertStoreFolder(name);
    if (!MakePrivateFolder(folder, error))
        return nullptr;
    return std::unique_ptr<CertStore>(new CertStore(folder));
}

bool CertStore::add(const QByteArray &certDer, const QByteArray &keyDer, QString *error) {
    X509Ptr cert = certFromDer(certDer);
    if (!cert) {
        ERR_clear_error();
        setError(error, QStringLiteral("not a DER certificate"));
        return false;
    }
    const QByteArray der = certToDer(cert.get());
    QByteArray pkcs8;
    if (!keyDer.isEmpty()) {
        PkeyPtr key = keyFromDer(keyDer);
        if (!key || X509_check_private_key(cert.get(), key.get()) != 1) {
            ERR_clear_error();
            setError(error, QStringLiteral("the private key does not belong to the certificate"));
            return false;
        }
        pkcs8 = keyToPkcs8Der(key.get());
        if (pkcs8.isEmpty()) {
            setError(error, opensslError());
            return false;
        }
    }

    const QString id =
        QString::fromLatin1(QCryptographicHash::hash(der, QCryptographicHash::Sha256).toHex());
    const QString stem = m_folder + QLatin1Char('/') + id;

    // One writer at a time: the index is read, extended and rewritten.
    QLockFile lock(m_folder + QStringLiteral("/.lock"));
    lock.setStaleLockTime(30000);
    if (!lock.tryLock(10000)) {
        setError(error, QStringLiteral("%1: store is locked").arg(m_folder));
        return false;
    }
    if (!writeFile(stem + QStringLiteral(".cer"), der, error))
        return false;
    if (!pkcs8.isEmpty() && !writeFile(stem + QStringLiteral(".key"), pkcs8, error))
        return false;
    QStringList ids = readIndex(m_folder);
    if (!ids.contains(id)) {
        ids << id;
        if (!writeFile(m_folder + QLatin1Char('/') + kIndexName,
                       ids.join(QLatin1Char('\n')).toLatin1() + '\n', error))
            return false;
    }
    return true;
}

QList<CertEntry> CertStore::entries() const {
    QList<CertEntry> out;
    for (const QString &id : readIndex(m_folder)) {
        const QString stem = m_folder + QLatin1Char('/') + id;
        CertEntry e;
        e.certDer = readFile(stem + QStringLiteral(".cer"));
        if (e.certDer.isEmpty())
            continue;
        e.keyDer = readFile(stem + QStringLiteral(".key"));
        out << e;
    }
    return out;
}

namespace {

struct Pkcs12Bags {
    std::vector<X509Ptr> certs;
    std::vector<PkeyPtr> keys;
};

bool collectBags(const STACK_OF(PKCS12_SAFEBAG) * bags, const char *pass, int passLen,
                 Pkcs12Bags &out) {
    for (int i = 0; i < sk_PKCS12_SAFEBAG_num(bags); ++i) {
        const PKCS12_SAFEBAG *bag = sk_PKCS12_SAFEBAG_value(bags, i);
        switch (PKCS12_SAFEBAG_get_nid(bag)) {
        case NID_keyBag: {
            const PKCS8_PRIV_KEY_INFO *p8 = PKCS12_SAFEBAG_get0_p8inf(bag);
            PkeyPtr key(p8 ? EVP_PKCS82PKEY(p8) : nullptr);
            if (!key)
                return false;
            out.keys.push_back(std::move(key));
            break;
        }
        case NID_pkcs8ShroudedKeyBag: {
            PKCS8_PRIV_KEY_INFO *p8 = PKCS12_decrypt_skey(bag, pass, passLen);
            if (!p8)
                return false;
            PkeyPtr key(EVP_PKCS82PKEY(p8));
            PKCS8_PRIV_KEY_INFO_free(p8);
            if (!key)
                return false;
            out.keys.push_back(std::move(key));
            break;
        }
        case NID_certBag: {
            if (PKCS12_SAFEBAG_get_bag_nid(bag) != NID_x509Certificate)
                break;
            X509Ptr cert(PKCS12_SAFEBAG_get1_cert(bag));
            if (!cert)
                return false;
            out.certs.push_back(std::move(cert));
            break;
        }
        case NID_safeContentsBag:
            if (!collectBags(PKCS12_SAFEBAG_get0_safes(bag), pass, passLen, out))
                return false;
            break;
        default:
            break; // CRLs, secrets: not kept
        }
    }
    return true;
}

} // namespace

bool ParsePkcs12(const QByteArray &data, const QString &password, QList<CertEntry> *out,
                 QString *error) {
    out->clear();
    // Files exported by older systems protect their certificates with RC2 or
    // 3DES; the legacy algorithms come with OpenSSL's legacy provider.
    static const bool legacyLoaded = OSSL_PROVIDER_try_load(nullptr, "legacy", 1) != nullptr;
    Q_UNUSED(legacyLoaded);

    const unsigned char *p = reinterpret_cast<const unsigned char *>(data.constData());
    PKCS12 *p12 = d2i_PKCS12(nullptr, &p, data.size());
    if (!p12) {
        setError(error, QStringLiteral("not a PKCS#12 file: ") + opensslError());
        return false;
    }
    const QByteArray utf8 = password.toUtf8();
    const char *pass = utf8.constData();
    int passLen = utf8.size();
    if (PKCS12_mac_present(p12)) {
        if (PKCS12_verify_mac(p12, pass, passLen) != 1) {
            // An empty password may have been written as "no password".
            if (!utf8.isEmpty() || PKCS12_verify_mac(p12, nullptr, 0) != 1) {
                ERR_clear_error();
                PKCS12_free(p12);
                setError(error, QStringLiteral("wrong password"));
                return false;
            }
            pass = nullptr;
            passLen = 0;
        }
    }

    Pkcs12Bags bags;
    bool ok = true;
    STACK_OF(PKCS7) *safes = PKCS12_unpack_authsafes(p12);
    if (!safes)
        ok = false;
    for (int i = 0; ok && i < sk_PKCS7_num(safes); ++i) {
        PKCS7 *p7 = sk_PKCS7_value(safes, i);
        STACK_OF(PKCS12_SAFEBAG) *content = nullptr;
        const int nid = OBJ_obj2nid(p7->type);
        if (nid == NID_pkcs7_data)
            content = PKCS12_unpack_p7data(p7);
        else if (nid == NID_pkcs7_encrypted)
            content = PKCS12_unpack_p7encdata(p7, pass, passLen);
        else
            continue;
        ok = content && collectBags(content, pass, passLen, bags);
        sk_PKCS12_SAFEBAG_pop_free(content, PKCS12_SAFEBAG_free);
    }
    sk_PKCS7_pop_free(safes, PKCS7_free);
    PKCS12_free(p12);
    if (!ok) {
        setError(error, QStringLiteral("cannot decode PKCS#12 contents: ") + opensslError());
        return false;
    }

    for (const X509Ptr &cert : bags.certs) {
        CertEntry e;
        e.certDer = certToDer(cert.get());
        for (const PkeyPtr &key : bags.keys) {
            if (X509_check_private_key(cert.get(), key.get()) == 1) {
                e.keyDer = keyToPkcs8Der(key.get());
                break;
            }
        }
        ERR_clear_error();
        out->append(e);
    }
    return true;
}

Pkcs12ImportResult ImportPkcs12(const QString &storeName, const QByteArray &data,
                                const QString &password) {
    Pkcs12ImportResult r;
    QList<CertEntry> entries;
    if (!ParsePkcs12(data, password, &entries, &r.error)) {
        r.status = Pkcs12ImportResult::DecodeFailed;
        return r;
    }
    std::unique_ptr<CertStore> store = CertStore::Open(storeName, &r.error);
    if (!store) {
        r.status = Pkcs12ImportResult::StoreOpenFailed;
        return r;
    }
    for (const CertEntry &e : entries) {
        if (store->add(e.certDer, e.keyDer, &r.error))
            ++r.count;
    }
    if (r.count > 0) {
        r.status = Pkcs12ImportResult::Imported;
    } else {
        r.status = Pkcs12ImportResult::NothingImported;
        if (entries.isEmpty())
            r.error = QStringLiteral("the file holds no certificate");
    }
    return r;
}

} // namespace platform
