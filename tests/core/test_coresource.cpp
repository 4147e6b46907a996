// Settings store, log file and timestamps.
#include "core/CoreSource.h"
#include "platform/AppPaths.h"
#include "tests/support/TestEnv.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QTest>
#include <QThread>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray utf16le(const QString &s) {
    QByteArray out("\xFF\xFE", 2);
    for (QChar c : s) {
        out.append(char(c.unicode() & 0xFF));
        out.append(char(c.unicode() >> 8));
    }
    return out;
}

// The text in the Windows Japanese code page (CP932).
QByteArray cp932(const QString &s) {
    QStringEncoder encoder("windows-31j");
    return encoder(s);
}

} // namespace

class TestCoreSource : public QObject {
    Q_OBJECT
private slots:
    void readSetting_data();
    void readSetting();
    void writeKeepsEveryOtherLine();
    void writeCreatesFileSectionAndKey();
    void emptyValueStaysAKey();
    void utf16FileStaysUtf16();
    void writeKeepsTheFileEncoding_data();
    void writeKeepsTheFileEncoding();
    void lineBreakInValueCannotInjectKeys();
    void refusedWriteRaisesAndKeepsFile();
    void logLineFormat();
    void logRotation_data();
    void logRotation();
    void twoThreadsWriteWholeLines();
    void logWriteErrorReachesTheCaller();
    void newFilesAreOwnerOnly();
    void logPathFromSetting_data();
    void logPathFromSetting();
    void trimKeepsIdeographicSpace();
};

void TestCoreSource::readSetting_data() {
    QTest::addColumn<QByteArray>("file"); // empty: no user.ini at all
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    QTest::newRow("no file gives default") << QByteArray() << "PARAMA"
                                           << "REFRESH"
                                           << "60";
    QTest::newRow("names ignore case") << QByteArray("[parama]\r\nRefresh=30\r\n") << "PARAMA"
                                       << "REFRESH"
                                       << "30";
    QTest::newRow("missing key gives default") << QByteArray("[PARAMA]\r\nURL=x\r\n") << "PARAMA"
                                               << "REFRESH"
                                               << "60";
    QTest::newRow("missing section gives default")
        << QByteArray("[OTHER]\r\nREFRESH=5\r\n") << "PARAMA"
        << "REFRESH"
        << "60";
    QTest::newRow("blanks around name and value")
        << QByteArray("  [ PARAMA ]\n REFRESH  =  45  \n") << "PARAMA"
        << "REFRESH"
        << "45";
    QTest::newRow("key of another section is not seen")
        << QByteArray("[A]\nREFRESH=1\n[PARAMA]\nURL=u\n") << "PARAMA"
        << "REFRESH"
        << "60";
    QTest::newRow("utf-8 japanese value")
        << QByteArray("[PARAMA]\nKIKANNAME=みなと　内科\n") << "PARAMA"
        << "KIKANNAME" << QStringLiteral("みなと　内科");
    QTest::newRow("utf-8 with byte-order mark")
        << QByteArray("\xEF\xBB\xBF[PARAMA]\r\nREFRESH=20\r\n") << "PARAMA"
        << "REFRESH"
        << "20";
    QTest::newRow("long value is cut to 2047")
        << (QByteArray("[PARAMA]\r\nURL=") + QByteArray(3000, 'a') + "\r\n") << "PARAMA"
        << "URL" << QString(2047, QLatin1Char('a'));
}

void TestCoreSource::readSetting() {
    QFETCH(QByteArray, file);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    MakeTestAppDir(QStringLiteral("read"));
    if (!file.isEmpty())
        QVERIFY(WriteAll(UserIniPath(), file));
    const QString def = key == QStringLiteral("REFRESH") ? QStringLiteral("60") : QString();
    QCOMPARE(ReadSetting(section, key, def), expected);
}

void TestCoreSource::writeKeepsEveryOtherLine() {
    MakeTestAppDir(QStringLiteral("inplace"));
    QVERIFY(WriteAll(UserIniPath(), "; clinic settings\r\n[PARAMA]\r\nURL=https://a/api/\r\n"
                                    "refresh = 60\r\nIPADR=\r\n\r\n[COKBN]\r\nCHCK=1\r\n"));
    WriteSetting(QStringLiteral("parama"), QStringLiteral("REFRESH"), QStringLiteral("120"));
    QCOMPARE(ReadAll(UserIniPath()),
             QByteArray("; clinic settings\r\n[PARAMA]\r\nURL=https://a/api/\r\n"
                        "REFRESH=120\r\nIPADR=\r\n\r\n[COKBN]\r\nCHCK=1\r\n"));
    // Nothing is cached: a change made by hand is seen at the next read.
    QVERIFY(WriteAll(UserIniPath(), "[PARAMA]\r\nREFRESH=15\r\n"));
    QCOMPARE(ReadSetting(QStringLiteral("PARAMA"), QStringLiteral("REFRESH"), QStringLiteral("60")),
             QStringLiteral("15"));
}

void TestCoreSource::writeCreatesFileSectionAndKey() {
    MakeTestAppDir(QStringLiteral("create"));
    WriteSetting(QStringLiteral("PARAMA"), QStringLiteral("URL"), QStringLiteral("https://h/api/"));
    WriteSetting(QStringLiteral("COKBN"), QStringLiteral("CHCK"), QStringLiteral("1"));
    WriteSetting(QStringLiteral("PARAMA"), QStringLiteral("APIUSER"), QStringLiteral("ormaster"));
    QCOMPARE(ReadAll(UserIniPath()),
             QByteArray("[PARAMA]\r\nURL=https://h/api/\r\nAPIUSER=ormaster\r\n"
                        "[COKBN]\r\nCHCK=1\r\n"));
    QVERIFY(!QFile::exists(UserIniPath() + QStringLiteral(".tmp")));
}

void TestCoreSource::emptyValueStaysAKey() {
    MakeTestAppDir(QStringLiteral("empty"));
    WriteSetting(QStringLiteral("CALL"), QStringLiteral("STATUS"), QStringLiteral("1"));
    WriteSetting(QStringLiteral("CALL"), QStringLiteral("STATUS"), QString());
    QCOMPARE(ReadAll(UserIniPath()), QByteArray("[CALL]\r\nSTATUS=\r\n"));
    QCOMPARE(ReadSetting(QStringLiteral("CALL"), QStringLiteral("STATUS"), QStringLiteral("x")),
             QString());
}

void TestCoreSource::utf16FileStaysUtf16() {
    MakeTestAppDir(QStringLiteral("utf16"));
    QVERIFY(WriteAll(UserIniPath(),
                     utf16le(QStringLiteral("[PARAMA]\r\nKIKANNAME=港町クリニック\r\n"))));
    QCOMPARE(ReadSetting(QStringLiteral("PARAMA"), QStringLiteral("KIKANNAME"), QString()),
             QStringLiteral("港町クリニック"));
    WriteSetting(QStringLiteral("PARAMA"), QStringLiteral("SAVETXT"), QStringLiteral("/srv/保存/"));
    QCOMPARE(
        ReadAll(UserIniPath()),
        utf16le(QStringLiteral("[PARAMA]\r\nKIKANNAME=港町クリニック\r\nSAVETXT=/srv/保存/\r\n")));
}

void TestCoreSource::writeKeepsTheFileEncoding_data() {
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("key"); // in [PARAMA]
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("after");
    // A user.ini carried over from a Windows PC is in CP932; ① and ～ are
    // characters of its NEC and IBM extensions.
    const QString windows = QStringLiteral("; 設定\r\n[PARAMA]\r\nKIKANNAME=①みなと～内科\r\n");
    QTest::newRow("CP932: other lines stay byte for byte")
        << cp932(windows + "REFRESH=60\r\n") << "REFRESH"
        << "30" << cp932(windows + "REFRESH=30\r\n");
    QTest::newRow("CP932: a Japanese value is written in CP932")
        << cp932(windows) << "SAVETXT" << QStringLiteral("/srv/保存/")
        << cp932(windows + QStringLiteral("SAVETXT=/srv/保存/\r\n"));
    QTest::newRow("bytes of no code page in an untouched line stay")
        << (cp932(windows) + "; \x80\xFF\xFD\r\nURL=x\r\n") << "URL"
        << "y" << (cp932(windows) + "; \x80\xFF\xFD\r\nURL=y\r\n");
    // 𠮷 has no CP932 code: rather than lose it the file turns to UTF-8.
    QTest::newRow("CP932: a value beyond the code page turns the file to UTF-8")
        << cp932(windows) << "APIUSER" << QStringLiteral("𠮷田")
        << (QByteArray("\xEF\xBB\xBF") + (windows + QStringLiteral("APIUSER=𠮷田\r\n")).toUtf8());
    QTest::newRow("UTF-8 stays UTF-8, line ends as they were")
        << QStringLiteral("[PARAMA]\nKIKANNAME=みなと\nURL=x").toUtf8() << "SAVETXT"
        << QStringLiteral("/srv/保存/")
        << QStringLiteral("[PARAMA]\nKIKANNAME=みなと\nURL=x\r\nSAVETXT=/srv/保存/\r\n").toUtf8();
}

void TestCoreSource::writeKeepsTheFileEncoding() {
    QFETCH(QByteArray, before);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QByteArray, after);
    MakeTestAppDir(QStringLiteral("encoding"));
    QVERIFY(WriteAll(UserIniPath(), before));
    WriteSetting(QStringLiteral("PARAMA"), key, value);
    QCOMPARE(ReadAll(UserIniPath()), after);
    QCOMPARE(ReadSetting(QStringLiteral("PARAMA"), key, QString()), value);
    QCOMPARE(ReadSetting(QStringLiteral("PARAMA"), QStringLiteral("KIKANNAME"), QString()),
             before.startsWith("[PARAMA]") ? QStringLiteral("みなと")
                                           : QStringLiteral("①みなと～内科"));
}

void TestCoreSource::lineBreakInValueCannotInjectKeys() {
    MakeTestAppDir(QStringLiteral("inject"));
    WriteSetting(QStringLiteral("PARAMA"), QStringLiteral("APIUSER"),
                 QStringLiteral("x\r\n[UPDATE]\r\nMODE=1"));
    QCOMPARE(ReadSetting(QStringLiteral("UPDATE"), QStringLiteral("MODE"), QStringLiteral("none")),
             QStringLiteral("none"));
}

void TestCoreSource::refusedWriteRaisesAndKeepsFile() {
    // A user.ini that cannot be written (here a folder holds its name): the
    // error names the full path.
    const QString dir = MakeTestAppDir(QStringLiteral("refused"));
    QVERIFY(QDir().mkpath(dir + QStringLiteral("user.ini/blocker")));
    try {
        WriteSetting(QStringLiteral("CALL"), QStringLiteral("STATUS"), QString());
        QFAIL("no error raised");
    } catch (const EAppError &e) {
        QCOMPARE(e.message(), dir + QStringLiteral("user.ini に書き込めません"));
    }

    // A write that runs out of room half-way (here: a file-size limit) leaves
    // the old file exactly as it was.
    MakeTestAppDir(QStringLiteral("full"));
    const QByteArray before("[PARAMA]\r\nURL=https://old/api/\r\n");
    QVERIFY(WriteAll(UserIniPath(), before));
    struct rlimit old {};
    getrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    setrlimit(RLIMIT_FSIZE, &small);
    bool raised = false;
    try {
        WriteSetting(QStringLiteral("PARAMA"), QStringLiteral("URL"),
                     QString(20000, QLatin1Char('u')));
    } catch (const EAppError &) {
        raised = true;
    }
    setrlimit(RLIMIT_FSIZE, &old);
    QVERIFY(raised);
    QCOMPARE(ReadAll(UserIniPath()), before);

    // A read-only user.ini is refused as well (root may write anything, so
    // only an ordinary user can see this).
    if (::getuid() != 0) {
        QFile::setPermissions(UserIniPath(), QFile::ReadOwner);
        QVERIFY_THROWS_EXCEPTION(
            EAppError, WriteSetting(QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")));
        QCOMPARE(ReadAll(UserIniPath()), before);
    }
}

void TestCoreSource::logLineFormat() {
    const QString dir = MakeTestAppDir(QStringLiteral("logformat"));
    QCOMPARE(LogFilePath(), dir + QStringLiteral("Log.txt"));
    WriteLog(LogFilePath(), QStringLiteral("API: api01rv2/acceptlstv2?class=03 -> 200 (12ms)"));
    WriteLog(LogFilePath(), QStringLiteral("日本語\r\n二行目"));
    const QString text = QString::fromUtf8(ReadAll(dir + QStringLiteral("Log.txt")));
    static const QRegularExpression re(QStringLiteral(
        "^\\d{4}/\\d{2}/\\d{2} \\d{1,2}:\\d{2}:\\d{2} API: api01rv2/acceptlstv2\\?class=03 -> 200 "
        "\\(12ms\\)\r\n\\d{4}/\\d{2}/\\d{2} \\d{1,2}:\\d{2}:\\d{2} 日本語\r\n二行目\r\n$"));
    QVERIFY2(re.match(text).hasMatch(), qPrintable(text));

    QCOMPARE(LogTimestamp(QDateTime(QDate(2025, 10, 26), QTime(9, 5, 7))),
             QStringLiteral("2025/10/26 9:05:07"));
    QVERIFY(QRegularExpression(QStringLiteral("^\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}$"))
                .match(NowText())
                .hasMatch());
}

void TestCoreSource::logRotation_data() {
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("rotates");
    QTest::newRow("exactly 2 MiB stays") << qint64(2097152) << false;
    QTest::newRow("one byte more rotates") << qint64(2097153) << true;
}

void TestCoreSource::logRotation() {
    QFETCH(qint64, size);
    QFETCH(bool, rotates);
    const QString dir = MakeTestAppDir(QStringLiteral("rotate"));
    const QString log = dir + QStringLiteral("Log.txt"), old = dir + QStringLiteral("Log_old.txt");
    QVERIFY(WriteAll(log, QByteArray(size, 'x')));
    QVERIFY(WriteAll(old, "older generation"));
    WriteLog(log, QStringLiteral("next"));
    if (rotates) {
        QCOMPARE(QFileInfo(old).size(), size); // the older Log_old.txt was replaced
        QCOMPARE(ReadLogMessages(log), QStringList{QStringLiteral("next")});
    } else {
        QCOMPARE(ReadAll(old), QByteArray("older generation"));
        QVERIFY(QFileInfo(log).size() > size);
        QVERIFY(ReadAll(log).endsWith(" next\r\n"));
    }
}

void TestCoreSource::twoThreadsWriteWholeLines() {
    const QString dir = MakeTestAppDir(QStringLiteral("threads"));
    const QString log = LogFilePath();
    constexpr int perThread = 3000;
    auto writer = [&](QChar tag) {
        return QThread::create([=] {
            for (int i = 0; i < perThread; ++i)
                WriteLog(log, QString(60, tag) + QString::number(i));
        });
    };
    std::unique_ptr<QThread> a(writer(QLatin1Char('a'))), b(writer(QLatin1Char('b')));
    a->start();
    b->start();
    a->wait();
    b->wait();
    const QStringList lines = ReadLogMessages(log);
    QCOMPARE(lines.size(), 2 * perThread);
    static const QRegularExpression whole(QStringLiteral("^(a{60}|b{60})\\d+$"));
    for (const QString &l : lines)
        QVERIFY2(whole.match(l).hasMatch(), qPrintable(l));
}

void TestCoreSource::logWriteErrorReachesTheCaller() {
    // /dev/full opens but takes no byte: like a full disk.
    const QString dir = MakeTestAppDir(QStringLiteral("logfull"));
    try {
        WriteLog(QStringLiteral("/dev/full"), QStringLiteral("lost"));
        QFAIL("no error raised");
    } catch (const EAppError &e) {
        QCOMPARE(e.className(), QStringLiteral("EInOutError"));
        QVERIFY2(e.message().startsWith(QStringLiteral("/dev/full: ")), qPrintable(e.message()));
    }
    // The lock was released: the next line is written.
    WriteLog(LogFilePath(), QStringLiteral("next"));
    QCOMPARE(ReadLogMessages(dir + QStringLiteral("Log.txt")), QStringList{QStringLiteral("next")});
}

void TestCoreSource::newFilesAreOwnerOnly() {
    // user.ini holds the API key and the log patient numbers: a file the
    // program creates is the user's alone, whatever the umask; a file that
    // exists keeps the mode someone gave it.
    const mode_t oldMask = ::umask(022);
    const QString dir = MakeTestAppDir(QStringLiteral("private"));
    const QString ini = UserIniPath(), log = dir + QStringLiteral("Log.txt");
    const auto mode = [](const QString &path) {
        return QFileInfo(path).permissions() & 0x0777; // owner, group, others
    };
    const QFile::Permissions ownerOnly = QFile::ReadUser | QFile::WriteUser;
    WriteSetting(QStringLiteral("PARAMA"), QStringLiteral("APIKEY"), QStringLiteral("secret"));
    WriteLog(log, QStringLiteral("first"));
    QCOMPARE(mode(ini), ownerOnly);
    QCOMPARE(mode(log), ownerOnly);

    const QFile::Permissions shared = ownerOnly | QFile::ReadGroup;
    QVERIFY(QFile::setPermissions(ini, shared | QFile::ReadOwner | QFile::WriteOwner));
    QVERIFY(QFile::setPermissions(log, shared | QFile::ReadOwner | QFile::WriteOwner));
    WriteSetting(QStringLiteral("PARAMA"), QStringLiteral("APIKEY"), QStringLiteral("other"));
    WriteLog(log, QStringLiteral("second"));
    QCOMPARE(mode(ini), shared);
    QCOMPARE(mode(log), shared);

    // After a rotation the new Log.txt is a new file.
    QVERIFY(WriteAll(log, QByteArray(2097153, 'x')));
    WriteLog(log, QStringLiteral("third"));
    QCOMPARE(mode(log), ownerOnly);
    ::umask(oldMask);
}

void TestCoreSource::logPathFromSetting_data() {
    QTest::addColumn<QString>("configured"); // "<dir>" stands for the test folder
    QTest::addColumn<bool>("used");
    QTest::newRow("existing folder") << "<dir>logs/Log.txt" << true;
    QTest::newRow("any case of Log.txt") << "<dir>logs/LOG.TXT" << true;
    QTest::newRow("missing folder") << "<dir>nowhere/Log.txt" << false;
    QTest::newRow("relative path") << "logs/Log.txt" << false;
    QTest::newRow("empty") << "" << false;
}

void TestCoreSource::logPathFromSetting() {
    QFETCH(QString, configured);
    QFETCH(bool, used);
    const QString dir = MakeTestAppDir(QStringLiteral("logpath"));
    QDir(dir).mkpath(QStringLiteral("logs"));
    configured.replace(QStringLiteral("<dir>"), dir);
    WriteSetting(QStringLiteral("FIRST"), QStringLiteral("LOG"), configured);
    const QString path = LogFilePath();
    QCOMPARE(path, used ? configured : dir + QStringLiteral("Log.txt"));
    // Resolved once per run: a later change has no effect.
    WriteSetting(QStringLiteral("FIRST"), QStringLiteral("LOG"), dir + QStringLiteral("Log.txt"));
    QCOMPARE(LogFilePath(), path);
}

void TestCoreSource::trimKeepsIdeographicSpace() {
    QCOMPARE(platform::TrimText(QStringLiteral(" \t\r\n　薬　\x01 ")), QStringLiteral("　薬　"));
    QCOMPARE(platform::TrimText(QStringLiteral("   ")), QString());
}

QTEST_GUILESS_MAIN(TestCoreSource)
#include "test_coresource.moc"
