// Where the program keeps its files: beside the executable when this user may
// write there (a portable copy), otherwise in the per-user folder
// $XDG_DATA_HOME/minatori/ (an installed copy). The updater is looked for
// beside the executable either way.
#include "app/Startup.h"
#include "core/CoreSource.h"
#include "orca/OrcaTransport.h"
#include "pdf/SavedPdf.h"
#include "platform/AppPaths.h"
#include "platform/CertStore.h"
#include "platform/SingleInstance.h"
#include "tests/support/ScriptedUi.h"
#include "tests/support/StandinServer.h"
#include "tests/support/TestEnv.h"
#include "viewer/DrugInfo.h"
#include "viewer/TokuteiExport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

int modeOf(const QString &path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

enum class Copy { Portable, Installed, ReadOnly };

} // namespace

Q_DECLARE_METATYPE(Copy)

class TestAppFolder : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void folderChoice_data();
    void folderChoice();
    void everyFileFollowsTheChoice_data();
    void everyFileFollowsTheChoice();
    void perUserFolderIsClosedAndSharedWithTheCertificateStore();

private:
    // Points the program at a copy of the given kind; returns its executable folder.
    QString useCopy(Copy copy);

    QString m_dir;
    QString m_userDir; // $XDG_DATA_HOME/minatori/
    StandinServer m_server;
};

void TestAppFolder::initTestCase() {
    QString error;
    QVERIFY2(m_server.start(StandinOptions{}, &error), qPrintable(error));
}

void TestAppFolder::init() {
    m_dir = MakeTestAppDir(QStringLiteral("appfolder"));
    const QString xdg = m_dir + QStringLiteral("xdg");
    qputenv("XDG_DATA_HOME", QFile::encodeName(xdg));
    m_userDir = xdg + QStringLiteral("/minatori/");
}

void TestAppFolder::cleanup() {
    QFile::setPermissions(m_dir + QStringLiteral("readonly"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ResetLogPathForTesting();
}

QString TestAppFolder::useCopy(Copy copy) {
    QString exeDir;
    switch (copy) {
    case Copy::Portable:
        exeDir = m_dir + QStringLiteral("portable/");
        QDir().mkpath(exeDir);
        break;
    case Copy::Installed:
        // The folder the package puts the program in; root could write there,
        // but it is never the place of the program's files.
        exeDir = QStringLiteral(MINATORI_INSTALL_BINDIR "/");
        break;
    case Copy::ReadOnly:
        exeDir = m_dir + QStringLiteral("readonly/");
        QDir().mkpath(exeDir);
        QFile::setPermissions(exeDir, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup |
                                          QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
        break;
    }
    platform::SetExecutableDirOverride(exeDir);
    ResetLogPathForTesting();
    return platform::ExecutableDir();
}

void TestAppFolder::folderChoice_data() {
    QTest::addColumn<Copy>("copy");
    QTest::addColumn<bool>("portable");
    QTest::newRow("writable folder") << Copy::Portable << true;
    QTest::newRow("the package's folder") << Copy::Installed << false;
    QTest::newRow("folder this user cannot write") << Copy::ReadOnly << false;
}

void TestAppFolder::folderChoice() {
    QFETCH(Copy, copy);
    QFETCH(bool, portable);
    if (copy == Copy::ReadOnly && ::geteuid() == 0)
        QSKIP("root writes every folder");

    const QString exeDir = useCopy(copy);
    QVERIFY(!QFileInfo::exists(m_userDir));
    if (portable) {
        QCOMPARE(platform::AppDataDir(), exeDir);
        QVERIFY(!QFileInfo::exists(m_userDir)); // a portable copy makes no per-user folder
    } else {
        QCOMPARE(platform::AppDataDir(), m_userDir);
        QVERIFY(QFileInfo(m_userDir).isDir());
        QCOMPARE(modeOf(m_userDir), 0700);
        // Gone while the program runs (someone tidied up): made again.
        QVERIFY(QDir(m_userDir).removeRecursively());
        QCOMPARE(platform::AppDataDir(), m_userDir);
        QVERIFY(QFileInfo(m_userDir).isDir());
    }
}

void TestAppFolder::everyFileFollowsTheChoice_data() {
    QTest::addColumn<Copy>("copy");
    QTest::newRow("portable") << Copy::Portable;
    QTest::newRow("installed") << Copy::Installed;
}

void TestAppFolder::everyFileFollowsTheChoice() {
    QFETCH(Copy, copy);
    ScriptedUi ui;
    const QString exeDir = useCopy(copy);
    const QString home = copy == Copy::Portable ? exeDir : m_userDir;

    WriteSetting(QStringLiteral("PARAMA"), QStringLiteral("KIKANCD"), QStringLiteral("9900011"));
    QCOMPARE(UserIniPath(), home + QStringLiteral("user.ini"));
    QVERIFY(ReadAll(home + QStringLiteral("user.ini")).contains("KIKANCD=9900011"));
    QCOMPARE(ReadSetting(QStringLiteral("PARAMA"), QStringLiteral("KIKANCD"), QString()),
             QStringLiteral("9900011"));

    Log(QStringLiteral("app folder test"));
    QCOMPARE(LogFilePath(), home + QStringLiteral("Log.txt"));
    QCOMPARE(ReadLogMessages(home + QStringLiteral("Log.txt")).value(0),
             QStringLiteral("app folder test"));

    TOrcaTransport transport;
    transport.stURL = m_server.baseUrl();
    const QString answer =
        transport.CallOrcaApi(QStringLiteral("api01rv2/patientgetv2?id=00001"), QString());
    QCOMPARE(answer, home + QStringLiteral("Res_api01rv2_patientgetv2_id_00001.txt"));
    QVERIFY(QFileInfo(answer).isFile());

    QCOMPARE(TfrmDrugInfo::PatientCachePath(), home + QStringLiteral("PatientCache.csv"));
    TfrmDrugInfo::AddToPatientCache(QStringLiteral("00012"), QStringLiteral("架空　一郎"));
    QVERIFY(QFileInfo(home + QStringLiteral("PatientCache.csv")).isFile());

    QCOMPARE(viewer::TokuteiCachePath(), home + QStringLiteral("TokuteiCacheORCA.txt"));

    // A blank PDF folder setting means the program's own folder.
    QCOMPARE(SavedPdfFolder(), home);

    // The updater belongs to the installation: one in the per-user folder is
    // never started, one beside the executable is.
    QVERIFY(WriteAll(home + QStringLiteral("UpdChk.exe"), QByteArray()));
    {
        platform::SingleInstanceGuard guard(QStringLiteral("appfolder-test"));
        QCOMPARE(RunStartupChecks(guard), copy == Copy::Portable ? StartupOutcome::HandedToUpdater
                                                                 : StartupOutcome::ShowMainMenu);
    }

    // Nothing of the program's lands in the other place.
    const QString other = copy == Copy::Portable ? m_userDir : exeDir;
    for (const char *name :
         {"user.ini", "Log.txt", "PatientCache.csv", "Res_api01rv2_patientgetv2_id_00001.txt"})
        QVERIFY2(!QFileInfo::exists(other + QLatin1String(name)), name);
    if (copy == Copy::Portable)
        QVERIFY(!QFileInfo::exists(m_userDir));
}

void TestAppFolder::perUserFolderIsClosedAndSharedWithTheCertificateStore() {
    // A folder made open by an earlier run (or by hand) is closed to others
    // when the program takes it; the certificate store lives in it beside the
    // program's files, whichever of the two comes first.
    QVERIFY(QDir().mkpath(m_userDir));
    QVERIFY(::chmod(QFile::encodeName(m_userDir).constData(), 0755) == 0);
    QString error;
    const auto store = platform::CertStore::Open(QStringLiteral("MY"), &error);
    QVERIFY2(store, qPrintable(error));
    QCOMPARE(modeOf(m_userDir), 0700);

    useCopy(Copy::Installed);
    QCOMPARE(platform::AppDataDir(), m_userDir);
    WriteSetting(QStringLiteral("UPDATE"), QStringLiteral("MODE"), QStringLiteral("1"));
    QCOMPARE(modeOf(m_userDir + QStringLiteral("user.ini")), 0600);
    QCOMPARE(store->folder(), m_userDir + QStringLiteral("certstore/MY"));
    QCOMPARE(modeOf(m_userDir + QStringLiteral("certstore")), 0700);
    QVERIFY(QDir(m_userDir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot) ==
            QStringList({QStringLiteral("certstore"), QStringLiteral("user.ini")}));
}

QTEST_MAIN(TestAppFolder)
#include "test_appfolder.moc"
