// Start-up decisions: the one-shot status, the update mode, the updater
// hand-over and the single instance, the last one with the real program.
#include "app/Main.h"
#include "app/Startup.h"
#include "core/CoreSource.h"
#include "platform/AppPaths.h"
#include "platform/SingleInstance.h"
#include "tests/support/ScriptedUi.h"
#include "tests/support/TestEnv.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

class TestStartup : public QObject {
    Q_OBJECT
private slots:
    void init();
    void decisions_data();
    void decisions();
    void unwritableStatusIsReported();
    void secondProcessRaisesTheFirst();
    void lockOfACrashedInstanceIsTakenOver();

private:
    QString copyProgram(const QString &folder);

    QString m_dir;
};

namespace {
QProcessEnvironment programEnvironment() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), qEnvironmentVariable("XDG_RUNTIME_DIR"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return env;
}
} // namespace

// A copy of the program in a folder of its own, as an installed copy would be.
QString TestStartup::copyProgram(const QString &folder) {
    const QString dir = m_dir + folder + QLatin1Char('/');
    QDir().mkpath(dir);
    QFile::copy(BinaryDir() + QStringLiteral("/bin/minatori"), dir + QStringLiteral("minatori"));
    QFile::setPermissions(dir + QStringLiteral("minatori"), QFile::ExeOwner | QFile::ReadOwner);
    return dir;
}

void TestStartup::init() {
    m_dir = MakeTestAppDir(QStringLiteral("startup"));
    qputenv("XDG_RUNTIME_DIR", m_dir.toUtf8());
}

void TestStartup::decisions_data() {
    QTest::addColumn<QString>("status"); // null: key missing
    QTest::addColumn<QString>("mode");
    QTest::addColumn<bool>("updater"); // UpdChk.exe beside the executable
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QString>("statusAfter");

    const int menu = int(StartupOutcome::ShowMainMenu), upd = int(StartupOutcome::HandedToUpdater);
    QTest::newRow("nothing set, no updater") << QString() << QString() << false << menu << "<none>";
    QTest::newRow("automatic, updater present") << QString() << "0" << true << upd << "<none>";
    QTest::newRow("mode missing, updater present")
        << QString() << QString() << true << upd << "<none>";
    QTest::newRow("manual with blanks") << QString() << " 1 " << true << menu << "<none>";
    QTest::newRow("status 1 skips the updater once") << "1"
                                                     << "0" << true << menu << "";
    QTest::newRow("status is compared exactly") << "１"
                                                << "0" << true << upd << "１";
}

void TestStartup::decisions() {
    QFETCH(QString, status);
    QFETCH(QString, mode);
    QFETCH(bool, updater);
    QFETCH(int, outcome);
    QFETCH(QString, statusAfter);

    ScriptedUi ui;
    if (!status.isNull())
        WriteSetting(QStringLiteral("CALL"), QStringLiteral("STATUS"), status);
    if (!mode.isNull())
        WriteSetting(QStringLiteral("UPDATE"), QStringLiteral("MODE"), mode);
    if (updater) {
        QVERIFY(WriteAll(m_dir + QStringLiteral("UpdChk.exe"), QByteArray()));
    }

    platform::SingleInstanceGuard guard(QStringLiteral("startup-test"));
    QCOMPARE(int(RunStartupChecks(guard)), outcome);
    QCOMPARE(
        ReadSetting(QStringLiteral("CALL"), QStringLiteral("STATUS"), QStringLiteral("<none>")),
        statusAfter);

    const QList<ScriptedUi::Call> opened = ui.callsOf(QStringLiteral("shellOpen"));
    if (outcome == int(StartupOutcome::HandedToUpdater)) {
        QCOMPARE(opened.size(), 1);
        QCOMPARE(opened[0].text, m_dir + QStringLiteral("UpdChk.exe"));
        QCOMPARE(opened[0].params,
                 QLatin1Char('"') + platform::ExecutablePath() + QLatin1Char('"'));
    } else {
        QVERIFY(opened.isEmpty());
    }
}

void TestStartup::unwritableStatusIsReported() {
    // The one-shot status cannot be cleared (here no file may grow): the
    // error is nobody's to handle. It is shown in the application's standard
    // error box and the program ends, neither running nor handing over.
    ScriptedUi ui;
    WriteSetting(QStringLiteral("CALL"), QStringLiteral("STATUS"), QStringLiteral("1"));
    QVERIFY(WriteAll(m_dir + QStringLiteral("UpdChk.exe"), QByteArray()));
    platform::SingleInstanceGuard guard(QStringLiteral("startup-test"));

    struct rlimit old {};
    getrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit none = old;
    none.rlim_cur = 0;
    setrlimit(RLIMIT_FSIZE, &none);
    StartupOutcome outcome = StartupOutcome::ShowMainMenu;
    bool escaped = false;
    try {
        outcome = RunStartupChecks(guard);
    } catch (...) {
        escaped = true;
    }
    setrlimit(RLIMIT_FSIZE, &old);

    QVERIFY2(!escaped, "the error left the start-up checks");
    QCOMPARE(int(outcome), int(StartupOutcome::Failed));
    const QList<ScriptedUi::Call> boxes = ui.callsOf(QStringLiteral("errorBox"));
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text, UserIniPath() + QStringLiteral(" に書き込めません"));
    QVERIFY(ui.callsOf(QStringLiteral("shellOpen")).isEmpty());
}

void TestStartup::secondProcessRaisesTheFirst() {
    // This test is the first instance: it holds the guard and shows its main
    // menu minimised. The real program, started second with [CALL] STATUS = "1",
    // clears the status, asks this instance to come forward and exits 0.
    ScriptedUi ui;
    platform::SingleInstanceGuard guard(kSingleInstanceName);
    QCOMPARE(guard.claim(), platform::SingleInstanceGuard::Claim::Owner);
    connect(&guard, &platform::SingleInstanceGuard::activationRequested, &BringMainWindowForward);
    QSignalSpy asked(&guard, &platform::SingleInstanceGuard::activationRequested);
    auto *menu = new TfrmMain;
    menu->showMinimized();
    QVERIFY(menu->isMinimized());

    const QString second = copyProgram(QStringLiteral("second"));
    QVERIFY(WriteAll(second + QStringLiteral("user.ini"), "[CALL]\r\nSTATUS=1\r\n"));
    // must not be started either
    QVERIFY(WriteAll(second + QStringLiteral("UpdChk.exe"), QByteArray()));

    QProcess proc;
    proc.setProcessEnvironment(programEnvironment());
    QSignalSpy finished(&proc, &QProcess::finished);
    proc.start(second + QStringLiteral("minatori"));
    QVERIFY(finished.wait(20000));
    QCOMPARE(proc.exitStatus(), QProcess::NormalExit);
    QCOMPARE(proc.exitCode(), 0);
    QTRY_COMPARE(asked.size(), 1);
    QVERIFY(!menu->isMinimized());
    QVERIFY(menu->isVisible());
    QCOMPARE(ReadAll(second + QStringLiteral("user.ini")), QByteArray("[CALL]\r\nSTATUS=\r\n"));
    delete menu;
}

void TestStartup::lockOfACrashedInstanceIsTakenOver() {
    // The real program holds the lock and is then killed outright.
    const QString dir = copyProgram(QStringLiteral("crash"));
    QProcess proc;
    proc.setProcessEnvironment(programEnvironment());
    proc.start(dir + QStringLiteral("minatori"));
    QVERIFY(proc.waitForStarted());
    platform::SingleInstanceGuard probe(kSingleInstanceName);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(probe.lockPath()) && QFile::exists(probe.socketName()),
                             20000);
    QCOMPARE(probe.claim(), platform::SingleInstanceGuard::Claim::AlreadyRunning);
    proc.kill();
    QVERIFY(proc.waitForFinished());

    platform::SingleInstanceGuard next(kSingleInstanceName);
    QCOMPARE(next.claim(), platform::SingleInstanceGuard::Claim::Owner);
}

QTEST_MAIN(TestStartup)
#include "test_startup.moc"
