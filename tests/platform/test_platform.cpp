// Version stamp reader and the single-instance guard.
#include "platform/AppPaths.h"
#include "platform/SingleInstance.h"
#include "platform/VersionInfo.h"
#include "tests/support/TestEnv.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>

class TestPlatform : public QObject {
    Q_OBJECT
private slots:
    void init();
    void versionStamp_data();
    void versionStamp();
    void secondClaimSeesTheFirst();
    void runtimeFolderWithoutXdg();

private:
    QString m_dir;
};

void TestPlatform::init() {
    m_dir = MakeTestAppDir(QStringLiteral("platform"));
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
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    f.close();
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

QTEST_GUILESS_MAIN(TestPlatform)
#include "test_platform.moc"
