// The real program killed (SIGKILL) while it writes each file it replaces or
// appends to: the file is then whole, with its old content or its new one.
// The program is a test build: MINATORI_TEST_PAUSE makes the file writer stop
// at the named point of that file's writing and report it, and the test kills
// the program right there. The stops of a replaced file: the temporary file
// just opened, half of the new content written to it, all of it written
// (before the rename), and the rename done; of an append: the file opened
// (before the one write) and the write done.
#include "tests/app/DemoToday.h"
#include "tests/support/ProgramProcess.h"
#include "tests/support/StandinServer.h"
#include "tests/support/TestEnv.h"

#include <QCryptographicHash>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kWaitMs = 60000;
const QByteArray kBom("\xEF\xBB\xBF");
const char *const kPoints[] = {"open", "half", "commit", "done"};

QByteArray Sha1(const QByteArray &data) {
    return QCryptographicHash::hash(data, QCryptographicHash::Sha1).toHex();
}

// The sizes of the files in the folder that the program holds open, but for
// the ones named: where the writer stands in its temporary file.
QList<qint64> OpenFileSizes(qint64 pid, const QString &dir, const QStringList &except) {
    QList<qint64> sizes;
    const QString fds = QStringLiteral("/proc/%1/fd").arg(pid);
    for (const QString &fd :
         QDir(fds).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        const QByteArray link = QFile::encodeName(fds + u'/' + fd);
        char target[4096];
        const ssize_t n = ::readlink(link.constData(), target, sizeof target - 1);
        if (n <= 0)
            continue;
        const QString path = QFile::decodeName(QByteArray(target, n));
        if (!path.startsWith(dir) || except.contains(QFileInfo(path).fileName()))
            continue;
        struct stat st {};
        if (::stat(link.constData(), &st) == 0)
            sizes << qint64(st.st_size);
    }
    return sizes;
}

// What the writer's temporary file holds at each stop (none after the rename).
QList<qint64> TemporaryAt(const QString &point, qint64 size) {
    if (point == QLatin1String("open"))
        return {0};
    if (point == QLatin1String("half"))
        return {size / 2};
    if (point == QLatin1String("commit"))
        return {size};
    return {};
}

} // namespace

class TestCrashSafety : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void settingsFile();
    void responseFile();
    void patientCacheAppend();
    void checkupExport();

private:
    // Waits for the main menu and clicks its viewer button.
    static bool clickViewerButton(ProgramProcess &program, QString *error);
    // Opens the viewer on today's list and waits until it and the marks are in.
    bool openViewer(ProgramProcess &program, QString *error);

    StandinServer m_server;
};

void TestCrashSafety::initTestCase() {
    StandinOptions o;
    o.demo = true;
    o.user = QStringLiteral("demo");
    o.key = QStringLiteral("demo-key");
    QString error;
    QVERIFY2(m_server.start(o, &error), qPrintable(error));
}

bool TestCrashSafety::clickViewerButton(ProgramProcess &program, QString *error) {
    return program.waitForWindow(QStringLiteral("frmMain"), kWaitMs, error) &&
           program.command(QStringLiteral("click frmMain/Button1"), nullptr, error);
}

bool TestCrashSafety::openViewer(ProgramProcess &program, QString *error) {
    return clickViewerButton(program, error) &&
           program.waitForWindow(QStringLiteral("frmDrugInfo"), kWaitMs, error) &&
           program.waitFor(
               QStringLiteral("grid GridPatient"),
               [](const QJsonValue &v) { return v.toArray().size() == 1 + kDemoTodayCount; },
               kWaitMs, error) &&
           program.waitIdle(kWaitMs, error);
}

// user.ini, rewritten at start-up when [CALL] STATUS asks to skip the updater once.
void TestCrashSafety::settingsFile() {
    const QByteArray old = DemoSettings(m_server.baseUrl(), "[CALL]\r\nSTATUS=1\r\n");
    QByteArray now = old;
    now.replace("STATUS=1\r\n", "STATUS=\r\n");
    for (const char *point : kPoints) {
        const QString dir = MakeTestAppDir(QStringLiteral("settings-") + QLatin1String(point));
        const QString ini = dir + QStringLiteral("user.ini");
        QVERIFY(WriteAll(ini, old));
        ProgramProcess program(dir);
        program.setEnv(QStringLiteral("MINATORI_TEST_PAUSE"),
                       QStringLiteral("user.ini@") + QLatin1String(point));
        QString error;
        QVERIFY2(program.start(&error), qPrintable(error));
        ProgramProcess::Pause pause;
        QVERIFY2(program.waitForPause(&pause, kWaitMs, &error), qPrintable(error));
        QCOMPARE(pause.path, ini);
        QCOMPARE(pause.sha1, Sha1(now));
        QCOMPARE(OpenFileSizes(program.pid(), dir, {QStringLiteral("user.ini")}),
                 TemporaryAt(pause.point, now.size()));
        program.kill();
        QCOMPARE(ReadAll(ini), pause.point == QLatin1String("done") ? now : old);
    }
}

// A response file, replaced by every answer to its path without waiting for
// the disk: the reception list's, written as the viewer opens.
void TestCrashSafety::responseFile() {
    const QString name = QStringLiteral("Res_api01rv2_acceptlstv2_class_03.txt");
    const QByteArray old = kBom + "older answer\r\n";
    for (const char *point : kPoints) {
        const QString dir = MakeTestAppDir(QStringLiteral("response-") + QLatin1String(point));
        const QString res = dir + name;
        QVERIFY(WriteAll(dir + QStringLiteral("user.ini"), DemoSettings(m_server.baseUrl())));
        QVERIFY(WriteAll(res, old));

        ProgramProcess program(dir);
        program.setEnv(QStringLiteral("MINATORI_TEST_PAUSE"), name + u'@' + QLatin1String(point));
        QString error;
        QVERIFY2(program.start(&error), qPrintable(error));
        QVERIFY2(clickViewerButton(program, &error), qPrintable(error));
        ProgramProcess::Pause pause;
        QVERIFY2(program.waitForPause(&pause, kWaitMs, &error), qPrintable(error));
        QCOMPARE(pause.path, res);
        QCOMPARE(OpenFileSizes(program.pid(), dir, {name}), TemporaryAt(pause.point, pause.size));
        program.kill();

        const QByteArray now = ReadAll(res);
        if (pause.point == QLatin1String("done")) {
            QCOMPARE(Sha1(now), pause.sha1);
            QVERIFY(now.startsWith(kBom + "<?xml"));
            QCOMPARE(QFileInfo(res).permissions() & 0x0777, QFile::ReadUser | QFile::WriteUser);
        } else {
            QCOMPARE(now, old);
        }
    }
}

// PatientCache.csv only grows: each new patient is one append, made with one
// write call. Killed just before or just after that call, the file holds its
// old lines, or those and the new line whole; the next start completes the
// cache with every patient whole, in order, and keeps what was there.
void TestCrashSafety::patientCacheAppend() {
    for (const char *point : {"open", "done"}) {
        const QString dir = MakeTestAppDir(QStringLiteral("patientcache-") + QLatin1String(point));
        const QString cache = dir + QStringLiteral("PatientCache.csv");
        QVERIFY(WriteAll(dir + QStringLiteral("user.ini"), DemoSettings(m_server.baseUrl())));
        const QByteArray old = kBom + "00001,見本　太郎\r\n";
        QVERIFY(WriteAll(cache, old));

        ProgramProcess program(dir);
        program.setEnv(QStringLiteral("MINATORI_TEST_PAUSE"),
                       QStringLiteral("PatientCache.csv@") + QLatin1String(point));
        QString error;
        QVERIFY2(program.start(&error), qPrintable(error));
        QVERIFY2(clickViewerButton(program, &error), qPrintable(error));
        ProgramProcess::Pause pause;
        QVERIFY2(program.waitForPause(&pause, kWaitMs, &error), qPrintable(error));
        // The next patient of the list.
        const QByteArray line = "00012,架空　一郎\r\n";
        QCOMPARE(pause.path, cache);
        QCOMPARE(pause.sha1, Sha1(line));
        const QByteArray expected = pause.point == QLatin1String("done") ? old + line : old;
        QCOMPARE(ReadAll(cache), expected);
        program.kill();
        QCOMPARE(ReadAll(cache), expected);

        // The next start reads the list again: every patient lands whole, in order.
        program.setEnv(QStringLiteral("MINATORI_TEST_PAUSE"), QString());
        QVERIFY2(program.start(&error), qPrintable(error));
        QVERIFY2(openViewer(program, &error), qPrintable(error));
        QCOMPARE(ReadAll(cache), DemoPatientCache());
    }
}

// The checkup export writes the CSV file the user chose, then its cache
// TokuteiCacheORCA.txt, each replaced as a whole. Driven as a user would: the
// menu item, then the task dialog (a full run) and the save dialog, both
// answered through the hook.
void TestCrashSafety::checkupExport() {
    const QString yesterday = QDate::currentDate().addDays(-1).toString(Qt::ISODate);
    const QByteArray oldCsv = kBom + "old export\r\n";
    const QByteArray oldCache = kBom + "00001\t1948-03-12\t2000-01-01\r\n";
    QByteArray newCsv; // the SHA-1 of the CSV file, as its writer announced it
    for (const char *file : {"checkups.csv", "TokuteiCacheORCA.txt"}) {
        for (const char *point : kPoints) {
            const QString where = QLatin1String(file) + u'@' + QLatin1String(point);
            const QString dir = MakeTestAppDir(QStringLiteral("export-") + where);
            const QString csv = dir + QStringLiteral("checkups.csv");
            const QString checkupCache = dir + QStringLiteral("TokuteiCacheORCA.txt");
            const QByteArray lastFetch = "[TOKUTEI]\r\nLASTFETCH=" + yesterday.toUtf8() + "\r\n";
            QVERIFY(WriteAll(dir + QStringLiteral("user.ini"),
                             DemoSettings(m_server.baseUrl(), lastFetch)));
            QVERIFY(WriteAll(csv, oldCsv));
            QVERIFY(WriteAll(checkupCache, oldCache));

            ProgramProcess program(dir);
            program.setEnv(QStringLiteral("MINATORI_TEST_PAUSE"), where);
            QString error;
            QVERIFY2(program.start(&error), qPrintable(error));
            QVERIFY2(openViewer(program, &error), qPrintable(error));
            QVERIFY2(program.command(QStringLiteral("answer task 2"), nullptr, &error) &&
                         program.command(QStringLiteral("answer save ") + csv, nullptr, &error) &&
                         program.command(QStringLiteral("click frmDrugInfo/MenuExportTkk"), nullptr,
                                         &error),
                     qPrintable(error));
            ProgramProcess::Pause pause;
            QVERIFY2(program.waitForPause(&pause, kWaitMs, &error), qPrintable(error));
            QCOMPARE(pause.path, dir + QLatin1String(file));
            QCOMPARE(OpenFileSizes(program.pid(), dir, {QLatin1String(file)}),
                     TemporaryAt(pause.point, pause.size));
            program.kill();

            const bool done = pause.point == QLatin1String("done");
            if (pause.path == csv) {
                // Every run writes the same CSV file (the same data, the same day).
                if (newCsv.isEmpty())
                    newCsv = pause.sha1;
                QCOMPARE(pause.sha1, newCsv);
                if (done) {
                    QCOMPARE(Sha1(ReadAll(csv)), newCsv);
                    const QByteArray written = ReadAll(csv);
                    QVERIFY(written.startsWith(kBom + "カルテ番号,氏名,"));
                    QVERIFY(written.contains("\r\n00012,架空　一郎,1962-04-01,,,"));
                    QVERIFY(written.endsWith("\r\n"));
                } else {
                    QCOMPARE(ReadAll(csv), oldCsv);
                }
                QCOMPARE(ReadAll(checkupCache), oldCache);
            } else {
                QCOMPARE(Sha1(ReadAll(csv)), newCsv);
                if (done)
                    QCOMPARE(Sha1(ReadAll(checkupCache)), pause.sha1);
                else
                    QCOMPARE(ReadAll(checkupCache), oldCache);
            }
            // The day of the last complete fetch is written only after both.
            QVERIFY(ReadAll(dir + QStringLiteral("user.ini")).contains(lastFetch));
        }
    }
}

QTEST_GUILESS_MAIN(TestCrashSafety)
#include "test_crashsafety.moc"
