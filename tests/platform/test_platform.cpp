// Version stamp reader, the single-instance guard and the owner-only files.
#include "platform/AppPaths.h"
#include "platform/PrivateFile.h"
#include "platform/SingleInstance.h"
#include "platform/VersionInfo.h"
#include "tests/support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSignalSpy>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

class TestPlatform : public QObject {
    Q_OBJECT
private slots:
    void init();
    void versionStamp_data();
    void versionStamp();
    void secondClaimSeesTheFirst();
    void runtimeFolderWithoutXdg();
    void runtimeFolderIsNeverShared_data();
    void runtimeFolderIsNeverShared();
    void replacePrivateFile();
    void replacePrivateFileFails_data();
    void replacePrivateFileFails();

private:
    QString m_dir;
};

void TestPlatform::init() {
    m_dir = MakeTestAppDir(QStringLiteral("platform"));
    QFile::setPermissions(m_dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", m_dir.toUtf8());
}

void TestPlatform::versionStamp_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");
    const QByteArray magic = platform::VersionStampMagic();
    QTest::newRow("stamp") << (QByteArray(5000, 'z') + magic +
                               QByteArray("\x01\x00\x02\x00\x03\x00\x09\x01", 8))
                           << "1.2.3.265";
    QTest::newRow("no stamp") << QByteArray(5000, 'z') << "";
    QTest::newRow("cut after marker")
        << (QByteArray("abc") + magic + QByteArray("\x01\x00", 2)) << "";
    // The marker may straddle two read blocks of the reader.
    QTest::newRow("across blocks")
        << (QByteArray((1 << 20) - 7, 'q') + magic + QByteArray(8, '\0')) << "0.0.0.0";
}

void TestPlatform::versionStamp() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    const QString path = m_dir + QStringLiteral("prog");
    QVERIFY(WriteAll(path, bytes));
    QCOMPARE(platform::ReadFileVersion(path), expected);
    QCOMPARE(platform::ReadFileVersion(m_dir + QStringLiteral("missing")), QString());
}

void TestPlatform::secondClaimSeesTheFirst() {
    platform::SingleInstanceGuard first(QStringLiteral("guard-test"));
    QCOMPARE(first.claim(), platform::SingleInstanceGuard::Claim::Owner);
    QSignalSpy shown(&first, &platform::SingleInstanceGuard::activationRequested);

    platform::SingleInstanceGuard second(QStringLiteral("guard-test"));
    QCOMPARE(second.claim(), platform::SingleInstanceGuard::Claim::AlreadyRunning);
    QVERIFY(second.notifyRunningInstance());
    QVERIFY(shown.wait(3000));

    first.release();
    platform::SingleInstanceGuard third(QStringLiteral("guard-test"));
    QCOMPARE(third.claim(), platform::SingleInstanceGuard::Claim::Owner);
}

void TestPlatform::runtimeFolderWithoutXdg() {
    qputenv("XDG_RUNTIME_DIR", "");
    const QString dir = platform::UserRuntimeDir();
    QVERIFY(QFileInfo(dir).isDir());
    QCOMPARE(QFileInfo(dir).permissions() &
                 (QFile::ReadGroup | QFile::ReadOther | QFile::WriteOther),
             QFile::Permissions());
}

void TestPlatform::runtimeFolderIsNeverShared_data() {
    QTest::addColumn<QString>("xdg");      // XDG_RUNTIME_DIR: "", "private" or "open"
    QTest::addColumn<QString>("planted");  // what holds the name in the temporary folder
    QTest::addColumn<QString>("home");     // what holds the name under the home folder
    QTest::addColumn<QString>("expected"); // "xdg", "tmp", "home" or "" (no guard)
    QTest::newRow("session folder") << "private"
                                    << ""
                                    << ""
                                    << "xdg";
    QTest::newRow("session folder open to others") << "open"
                                                   << ""
                                                   << ""
                                                   << "tmp";
    QTest::newRow("own private folder") << ""
                                        << ""
                                        << ""
                                        << "tmp";
    QTest::newRow("own folder, mode repaired") << ""
                                               << "own-open"
                                               << ""
                                               << "tmp";
    QTest::newRow("link planted by someone") << ""
                                             << "link"
                                             << ""
                                             << "home";
    QTest::newRow("file planted by someone") << ""
                                             << "file"
                                             << ""
                                             << "home";
    QTest::newRow("folder of another user") << ""
                                            << "foreign"
                                            << ""
                                            << "home";
    QTest::newRow("both blocked: no guard") << ""
                                            << "link"
                                            << "link"
                                            << "";
}

void TestPlatform::runtimeFolderIsNeverShared() {
    QFETCH(QString, xdg);
    QFETCH(QString, planted);
    QFETCH(QString, home);
    QFETCH(QString, expected);
    if (planted == QLatin1String("foreign") && ::getuid() != 0)
        QSKIP("only root can give a folder to another user");

    // The temporary folder and the home folder of this test; the shared
    // folder stands for /tmp, where anybody may create names.
    const QString tmp = m_dir + QStringLiteral("tmp"), homeDir = m_dir + QStringLiteral("home");
    const QString shared = m_dir + QStringLiteral("shared");
    QVERIFY(QDir().mkpath(tmp) && QDir().mkpath(homeDir + QStringLiteral("/.cache")) &&
            QDir().mkpath(shared));
    QVERIFY(QFile::setPermissions(shared, QFile::Permissions(0x7777)));
    const QString name = QStringLiteral("/minatori-runtime-%1").arg(::getuid());
    const QString ours = tmp + name,
                  fallback = homeDir + QStringLiteral("/.cache/minatori-runtime");
    const auto plant = [&](const QString &what, const QString &path) {
        if (what == QLatin1String("link"))
            return QFile::link(shared, path);
        if (what == QLatin1String("file"))
            return WriteAll(path, "x");
        if (what == QLatin1String("foreign"))
            return QDir().mkdir(path) &&
                   ::chown(QFile::encodeName(path).constData(), 65534, 65534) == 0;
        if (what == QLatin1String("own-open"))
            return QDir().mkdir(path) && QFile::setPermissions(path, QFile::Permissions(0x7777));
        return true;
    };
    QVERIFY(plant(planted, ours));
    QVERIFY(plant(home, fallback));
    const QString session = m_dir + QStringLiteral("session");
    QVERIFY(QDir().mkpath(session));
    QVERIFY(QFile::setPermissions(session, xdg == QLatin1String("open")
                                               ? QFile::Permissions(0x7755)
                                               : QFile::Permissions(0x7700)));

    const QByteArray savedTmp = qgetenv("TMPDIR"), savedHome = qgetenv("HOME");
    qputenv("TMPDIR", QFile::encodeName(tmp));
    qputenv("HOME", QFile::encodeName(homeDir));
    qputenv("XDG_RUNTIME_DIR", xdg.isEmpty() ? QByteArray() : QFile::encodeName(session));
    const QString dir = platform::UserRuntimeDir();
    platform::SingleInstanceGuard guard(QStringLiteral("shared-test"));
    const platform::SingleInstanceGuard::Claim claim = guard.claim();
    const QString lock = guard.lockPath();
    guard.release();
    qputenv("TMPDIR", savedTmp);
    qputenv("HOME", savedHome);

    const QMap<QString, QString> folders{{QStringLiteral("xdg"), session},
                                         {QStringLiteral("tmp"), ours},
                                         {QStringLiteral("home"), fallback},
                                         {QString(), QString()}};
    QCOMPARE(dir, folders.value(expected));
    if (expected.isEmpty()) {
        QCOMPARE(claim, platform::SingleInstanceGuard::Claim::Unavailable);
        QCOMPARE(QDir(shared).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
        return;
    }
    QCOMPARE(claim, platform::SingleInstanceGuard::Claim::Owner);
    QCOMPARE(QFileInfo(lock).absolutePath(), dir);
    const QFileInfo info(dir);
    QVERIFY(info.isDir() && !info.isSymLink());
    QCOMPARE(info.permissions() & 0x0777, QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
}

void TestPlatform::replacePrivateFile() {
    const mode_t oldMask = ::umask(022);
    const QString path = m_dir + QStringLiteral("Res_answer.txt");
    const auto mode = [&] { return QFileInfo(path).permissions() & 0x0777; };
    const QFile::Permissions ownerOnly = QFile::ReadUser | QFile::WriteUser;

    QString error;
    QVERIFY(platform::ReplacePrivateFile(path, "first", &error));
    QCOMPARE(ReadAll(path), QByteArray("first"));
    QCOMPARE(mode(), ownerOnly);

    // A reader that opened the old file keeps reading the old file: the name
    // moves to a new file, nothing is rewritten in place. A file someone made
    // readable to others becomes owner-only again.
    QVERIFY(QFile::setPermissions(path, ownerOnly | QFile::ReadGroup | QFile::ReadOther));
    QFile reader(path);
    QVERIFY(reader.open(QIODevice::ReadOnly));
    QVERIFY(platform::ReplacePrivateFile(path, QByteArray("second, longer"), &error));
    QCOMPARE(reader.readAll(), QByteArray("first"));
    QCOMPARE(ReadAll(path), QByteArray("second, longer"));
    QCOMPARE(mode(), ownerOnly);
    QVERIFY(platform::ReplacePrivateFile(path, QByteArray(), &error));
    QCOMPARE(QFileInfo(path).size(), 0);

    // No temporary file is left beside it.
    QCOMPARE(QDir(m_dir).entryList({QStringLiteral("Res_*")}, QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("Res_answer.txt")});
    ::umask(oldMask);
}

void TestPlatform::replacePrivateFileFails_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("missing folder") << QStringLiteral("nowhere/Res_answer.txt");
    QTest::newRow("a folder of that name") << QStringLiteral("Res_folder.txt");
}

void TestPlatform::replacePrivateFileFails() {
    QFETCH(QString, name);
    QVERIFY(QDir(m_dir).mkdir(QStringLiteral("Res_folder.txt")));
    QVERIFY(WriteAll(m_dir + QStringLiteral("Res_folder.txt/inside"), "kept"));
    const QStringList before = QDir(m_dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);

    QString error;
    QVERIFY(!platform::ReplacePrivateFile(m_dir + name, "new", &error));
    QVERIFY(!error.isEmpty());
    // What was there stays, and no temporary file is left.
    QCOMPARE(QDir(m_dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
    QCOMPARE(ReadAll(m_dir + QStringLiteral("Res_folder.txt/inside")), QByteArray("kept"));
}

QTEST_GUILESS_MAIN(TestPlatform)
#include "test_platform.moc"
