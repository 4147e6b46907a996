// The user's certificate store and the PKCS#12 import into it.
#include "platform/AppPaths.h"
#include "platform/CertStore.h"
#include "tests/support/TestCerts.h"
#include "tests/support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <sys/stat.h>

using platform::CertEntry;
using platform::CertStore;
using platform::Pkcs12ImportResult;

namespace {

int modeOf(const QString &path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return int(st.st_mode & 0777);
}

QList<QByteArray> certsOf(const QList<CertEntry> &entries) {
    QList<QByteArray> out;
    for (const CertEntry &e : entries)
        out << e.certDer;
    return out;
}

} // namespace

class TestCertStore : public QObject {
    Q_OBJECT
private slots:
    void init();
    void addKeepsOrderAndReplacesInPlace();
    void keysArePrivate();
    void refusesWhatDoesNotFit();
    void pkcs12Import_data();
    void pkcs12Import();
    void pkcs12WrongPasswordOrNotPkcs12();
    void pkcs12NothingStoredIsNoSuccess();
    void storeThatCannotBeOpened();

private:
    TestCert m_root;
    TestCert m_sub;
};

void TestCertStore::init() {
    // A fresh user data folder per test function.
    const QString home =
        MakeTestAppDir(QStringLiteral("certstore-%1").arg(QTest::currentTestFunction())) +
        QStringLiteral("xdg");
    qputenv("XDG_DATA_HOME", QFile::encodeName(home));
    if (m_root.isNull()) {
        m_root = MakeTestCa(QStringLiteral("Test Root CA"));
        m_sub = MakeTestCa(QStringLiteral("Test Sub CA"), &m_root);
    }
    QVERIFY(!m_root.isNull() && !m_sub.isNull());
}

void TestCertStore::addKeepsOrderAndReplacesInPlace() {
    const TestCert a = MakeTestClient(m_sub, QStringLiteral("a"));
    const TestCert b = MakeTestClient(m_sub, QStringLiteral("b"));
    QString error;
    std::unique_ptr<CertStore> store = CertStore::Open(platform::kPersonalStore, &error);
    QVERIFY2(store, qPrintable(error));
    QVERIFY(store->add(b.certDer, b.keyDer));
    QVERIFY(store->add(m_root.certDer, QByteArray()));
    QVERIFY(store->add(a.certDer, a.keyDer));
    // b again, this time without key: same place, key kept.
    QVERIFY(store->add(b.certDer, QByteArray()));

    // A second opening (another process, a later run) sees the same store.
    std::unique_ptr<CertStore> again = CertStore::Open(platform::kPersonalStore);
    QVERIFY(again);
    const QList<CertEntry> entries = again->entries();
    QCOMPARE(certsOf(entries), (QList<QByteArray>{b.certDer, m_root.certDer, a.certDer}));
    QCOMPARE(entries[0].keyDer, b.keyDer);
    QVERIFY(entries[1].keyDer.isEmpty());
    QCOMPARE(entries[2].keyDer, a.keyDer);
}

void TestCertStore::keysArePrivate() {
    const TestCert a = MakeTestClient(m_sub, QStringLiteral("a"));
    std::unique_ptr<CertStore> store = CertStore::Open(platform::kPersonalStore);
    QVERIFY(store);
    QVERIFY(store->add(a.certDer, a.keyDer));
    QCOMPARE(store->folder(), platform::UserDataDir() + QStringLiteral("/certstore/MY"));
    QCOMPARE(modeOf(store->folder()), 0700);
    QCOMPARE(modeOf(platform::UserDataDir() + QStringLiteral("/certstore")), 0700);
    const QStringList keys =
        QDir(store->folder()).entryList({QStringLiteral("*.key")}, QDir::Files);
    QCOMPARE(keys.size(), 1);
    QCOMPARE(modeOf(store->folder() + QLatin1Char('/') + keys.first()), 0600);

    // A folder opened up by someone is made private again.
    QVERIFY(::chmod(QFile::encodeName(store->folder()).constData(), 0755) == 0);
    QVERIFY(CertStore::Open(platform::kPersonalStore));
    QCOMPARE(modeOf(store->folder()), 0700);
}

void TestCertStore::refusesWhatDoesNotFit() {
    const TestCert a = MakeTestClient(m_sub, QStringLiteral("a"));
    const TestCert b = MakeTestClient(m_sub, QStringLiteral("b"));
    std::unique_ptr<CertStore> store = CertStore::Open(platform::kPersonalStore);
    QVERIFY(store);
    QString error;
    QVERIFY(!store->add(a.certDer, b.keyDer, &error)); // someone else's key
    QVERIFY(!error.isEmpty());
    QVERIFY(!store->add(a.certPem(), QByteArray()));                 // PEM is not DER
    QVERIFY(!store->add(a.certDer + QByteArray("x"), QByteArray())); // trailing bytes
    QVERIFY(store->entries().isEmpty());
    QVERIFY(!CertStore::Open(QStringLiteral("../MY")));
}

void TestCertStore::pkcs12Import_data() {
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("legacy");
    QTest::newRow("modern") << QStringLiteral("pass word") << false;
    QTest::newRow("3DES/RC2 as older systems export") << QStringLiteral("secret") << true;
    QTest::newRow("empty password") << QString() << false;
    QTest::newRow("non-ASCII password") << QStringLiteral("パスワード") << false;
}

void TestCertStore::pkcs12Import() {
    QFETCH(QString, password);
    QFETCH(bool, legacy);
    const TestCert leaf = MakeTestClient(m_sub, QStringLiteral("clinic"));
    const QByteArray pfx = MakeTestPkcs12(leaf, {m_sub, m_root}, password, legacy);
    QVERIFY(!pfx.isEmpty());

    for (int round = 0; round < 2; ++round) { // importing again gives the same count
        const Pkcs12ImportResult r =
            platform::ImportPkcs12(platform::kPersonalStore, pfx, password);
        QVERIFY2(r.status == Pkcs12ImportResult::Imported, qPrintable(r.error));
        QCOMPARE(r.count, 3);
    }
    const QList<CertEntry> entries = CertStore::Open(platform::kPersonalStore)->entries();
    QCOMPARE(entries.size(), 3);
    const QList<QByteArray> certs = certsOf(entries);
    QVERIFY(certs.contains(leaf.certDer) && certs.contains(m_sub.certDer) &&
            certs.contains(m_root.certDer));
    for (const CertEntry &e : entries)
        QCOMPARE(e.keyDer.isEmpty(), e.certDer != leaf.certDer);
    QCOMPARE(entries[certs.indexOf(leaf.certDer)].keyDer, leaf.keyDer);
}

void TestCertStore::pkcs12WrongPasswordOrNotPkcs12() {
    const TestCert leaf = MakeTestClient(m_sub, QStringLiteral("clinic"));
    const QByteArray pfx = MakeTestPkcs12(leaf, {m_sub}, QStringLiteral("right"));
    for (const auto &[data, password] :
         {std::pair{pfx, QStringLiteral("wrong")}, std::pair{pfx, QString()},
          std::pair{leaf.certDer, QStringLiteral("right")},
          std::pair{pfx.left(pfx.size() / 2), QStringLiteral("right")}}) {
        const Pkcs12ImportResult r =
            platform::ImportPkcs12(platform::kPersonalStore, data, password);
        QCOMPARE(r.status, Pkcs12ImportResult::DecodeFailed);
        QCOMPARE(r.count, 0);
    }
    QVERIFY(!QFileInfo::exists(platform::CertStoreFolder(platform::kPersonalStore)));
}

void TestCertStore::pkcs12NothingStoredIsNoSuccess() {
    const TestCert leaf = MakeTestClient(m_sub, QStringLiteral("clinic"));

    // A file holding only a private key decodes, but brings no certificate.
    const TestCert keyOnly{QByteArray(), leaf.keyDer};
    const QByteArray noCerts = MakeTestPkcs12(keyOnly, {}, QStringLiteral("p"));
    QVERIFY(!noCerts.isEmpty());
    Pkcs12ImportResult r =
        platform::ImportPkcs12(platform::kPersonalStore, noCerts, QStringLiteral("p"));
    QCOMPARE(r.status, Pkcs12ImportResult::NothingImported);
    QCOMPARE(r.count, 0);

    // Every certificate of the file fails to be stored: the store's index
    // cannot be written.
    std::unique_ptr<CertStore> store = CertStore::Open(platform::kPersonalStore);
    QVERIFY(store);
    QVERIFY(QDir().mkpath(store->folder() + QStringLiteral("/index.txt")));
    r = platform::ImportPkcs12(platform::kPersonalStore,
                               MakeTestPkcs12(leaf, {m_sub}, QStringLiteral("p")),
                               QStringLiteral("p"));
    QCOMPARE(r.status, Pkcs12ImportResult::NothingImported);
    QCOMPARE(r.count, 0);
    QVERIFY(!r.error.isEmpty());
    QVERIFY(store->entries().isEmpty());
}

void TestCertStore::storeThatCannotBeOpened() {
    // The user's data folder is taken by a file: the store cannot be made.
    const QString blocked = qEnvironmentVariable("XDG_DATA_HOME");
    QDir().mkpath(blocked);
    QVERIFY(WriteAll(blocked + QStringLiteral("/minatori"), QByteArray()));
    const TestCert leaf = MakeTestClient(m_sub, QStringLiteral("clinic"));
    const Pkcs12ImportResult r =
        platform::ImportPkcs12(platform::kPersonalStore,
                               MakeTestPkcs12(leaf, {}, QStringLiteral("p")), QStringLiteral("p"));
    QCOMPARE(r.status, Pkcs12ImportResult::StoreOpenFailed);
    QCOMPARE(r.count, 0);
}

QTEST_GUILESS_MAIN(TestCertStore)
#include "test_certstore.moc"
