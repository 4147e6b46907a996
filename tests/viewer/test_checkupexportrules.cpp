// The checkup export's widget-free rules: dates and ages, the 180-day offer,
// the checkup cache file, the patient list, the result codes that count as an
// answer, reading real answers, and the CSV rows (order and quoting).
#include "core/CoreSource.h"
#include "tests/support/TestEnv.h"
#include "viewer/TokuteiExport.h"
#include "viewer/ViewerRules.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace viewer;

namespace {

QStringList fixture(const QString &name) {
    return ReadAnswerLines(SourceDir() + QStringLiteral("/tests/data/orca/") + name);
}

int fileMode(const QString &path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
}

} // namespace

class TestCheckupExportRules : public QObject {
    Q_OBJECT
private slots:
    void parseYmd_data();
    void parseYmd();
    void ageOn_data();
    void ageOn();
    void differentialOffer_data();
    void differentialOffer();
    void cachedDates();
    void cacheReading();
    void cacheFileRoundTrip();
    void unreadableCacheIsAnError();
    void patientList();
    void answeredResults_data();
    void answeredResults();
    void realAnswers();
    void sortKeys_data();
    void sortKeys();
    void csvFieldQuoting_data();
    void csvFieldQuoting();
    void exportRows();
    void csvFileOrderAndForm();
    void atomicWriteKeepsTheOldFileOnFailure();
};

void TestCheckupExportRules::parseYmd_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDate>("date"); // invalid: not a date
    QTest::newRow("plain") << "2024-05-10" << QDate(2024, 5, 10);
    QTest::newRow("separators not looked at") << "2024/05/10" << QDate(2024, 5, 10);
    QTest::newRow("after the tenth ignored") << "2024-05-10T09:00" << QDate(2024, 5, 10);
    QTest::newRow("leap day") << "2024-02-29" << QDate(2024, 2, 29);
    QTest::newRow("no leap day") << "2023-02-29" << QDate();
    QTest::newRow("month 13") << "2024-13-01" << QDate();
    QTest::newRow("too short") << "2024-05-1" << QDate();
    QTest::newRow("empty") << "" << QDate();
    QTest::newRow("letters") << "2024-0A-10" << QDate();
    QTest::newRow("blank in a part") << "2024- 5-10" << QDate();
    QTest::newRow("signed part") << "2024-+5-10" << QDate();
    QTest::newRow("full-width digits") << "２０２４-05-10" << QDate();
    QTest::newRow("year zero") << "0000-01-01" << QDate();
}

void TestCheckupExportRules::parseYmd() {
    QFETCH(QString, text);
    QFETCH(QDate, date);
    QDate parsed;
    QCOMPARE(ParseYmd(text, &parsed), date.isValid());
    if (date.isValid())
        QCOMPARE(parsed, date);
}

void TestCheckupExportRules::ageOn_data() {
    QTest::addColumn<QString>("birth");
    QTest::addColumn<QDate>("day");
    QTest::addColumn<QString>("age");
    QTest::newRow("day before the birthday") << "1950-05-11" << QDate(2024, 5, 10) << "73";
    QTest::newRow("on the birthday") << "1950-05-11" << QDate(2024, 5, 11) << "74";
    QTest::newRow("exact boundary") << "2000-05-10" << QDate(2024, 5, 10) << "24";
    QTest::newRow("first year of life") << "2024-01-01" << QDate(2024, 12, 31) << "0";
    QTest::newRow("born that day") << "2024-05-10" << QDate(2024, 5, 10) << "0";
    QTest::newRow("leap-day birth, 28 Feb") << "2000-02-29" << QDate(2023, 2, 28) << "22";
    QTest::newRow("leap-day birth, 1 Mar") << "2000-02-29" << QDate(2023, 3, 1) << "23";
    QTest::newRow("birth after the day") << "2024-05-11" << QDate(2024, 5, 10) << "";
    QTest::newRow("unreadable birth") << "1950/5/11" << QDate(2024, 5, 10) << "";
    QTest::newRow("no birth") << "" << QDate(2024, 5, 10) << "";
}

void TestCheckupExportRules::ageOn() {
    QFETCH(QString, birth);
    QFETCH(QDate, day);
    QFETCH(QString, age);
    QCOMPARE(AgeOn(birth, day), age);
}

void TestCheckupExportRules::differentialOffer_data() {
    QTest::addColumn<bool>("cache");
    QTest::addColumn<QString>("lastFetch");
    QTest::addColumn<bool>("offered");
    // today is 2024-06-10
    QTest::newRow("today") << true << "2024-06-10" << true;
    QTest::newRow("180 days back") << true << "2023-12-13" << true;
    QTest::newRow("181 days back") << true << "2023-12-12" << false;
    QTest::newRow("in the future") << true << "2024-06-11" << false;
    QTest::newRow("unreadable") << true << "2024/6/1" << false;
    QTest::newRow("empty") << true << "" << false;
    QTest::newRow("no cached patient") << false << "2024-06-01" << false;
}

void TestCheckupExportRules::differentialOffer() {
    QFETCH(bool, cache);
    QFETCH(QString, lastFetch);
    QFETCH(bool, offered);
    const QDate today(2024, 6, 10);
    QDate last;
    QCOMPARE(MayOfferDifferential(cache, lastFetch, today, &last), offered);
    if (offered)
        QCOMPARE(last.toString(QStringLiteral("yyyy-MM-dd")), lastFetch);
}

void TestCheckupExportRules::cachedDates() {
    QCOMPARE(SplitCachedDates(QStringLiteral(" 2024-05-10 ;;2023-06-01; ;2024-05-10")),
             QStringList({QStringLiteral("2023-06-01"), QStringLiteral("2024-05-10")}));
    QCOMPARE(SplitCachedDates(QString()), QStringList());
    QStringList dates;
    for (const char *d : {"2024-05-10", "2021-01-01", "2024-05-10", "2022-07-07"})
        AddCheckupDate(dates, QString::fromLatin1(d));
    QCOMPARE(dates, QStringList({QStringLiteral("2021-01-01"), QStringLiteral("2022-07-07"),
                                 QStringLiteral("2024-05-10")}));
}

void TestCheckupExportRules::cacheReading() {
    const TCheckupCache cache = ParseCheckupCache({
        QStringLiteral("00012\t1950-05-11\t2023-06-01;2024-05-10"),
        QStringLiteral("00045\t1962-04-01"),          // two fields: no dates
        QStringLiteral("00099"),                      // one field: ignored
        QStringLiteral("  \t1970-01-01\t2020-01-01"), // blank number: ignored
        QStringLiteral(" 00103 \t 1980-02-02 \t 2022-02-02 \textra"),
        QStringLiteral("00012\t1950-05-11\t2024-05-10"), // a later line replaces
        QString(),
    });
    QCOMPARE(cache.Birth.size(), 3);
    QCOMPARE(cache.Dates.value(QStringLiteral("00012")), QStringLiteral("2024-05-10"));
    QVERIFY(cache.Dates.contains(QStringLiteral("00045")));
    QCOMPARE(cache.Dates.value(QStringLiteral("00045")), QString());
    QCOMPARE(cache.Birth.value(QStringLiteral("00103")), QStringLiteral("1980-02-02"));
    QCOMPARE(cache.Dates.value(QStringLiteral("00103")), QStringLiteral("2022-02-02"));
    QVERIFY(!cache.Birth.contains(QStringLiteral("00099")));
}

void TestCheckupExportRules::cacheFileRoundTrip() {
    const QString dir = MakeTestAppDir(QStringLiteral("checkupexportrules-cache"));
    QCOMPARE(TokuteiCachePath(), dir + QStringLiteral("TokuteiCacheORCA.txt"));
    QCOMPARE(LoadCheckupCache(TokuteiCachePath()).Birth.size(), 0); // missing: empty

    TCheckupCache cache;
    cache.Birth.insert(QStringLiteral("00200"), QStringLiteral("1970-01-01"));
    cache.Birth.insert(QStringLiteral("00012"), QString());
    cache.Dates.insert(QStringLiteral("00200"), QStringLiteral("2023-06-01;2024-05-10"));
    cache.Birth.insert(QStringLiteral("00045"), QStringLiteral("1962-04-01"));
    SaveCheckupCache(TokuteiCachePath(), cache);

    // Sorted, every line with three fields, BOM, CR LF after the last line too.
    QCOMPARE(ReadAll(TokuteiCachePath()),
             QByteArray("\xEF\xBB\xBF"
                        "00012\t\t\r\n"
                        "00045\t1962-04-01\t\r\n"
                        "00200\t1970-01-01\t2023-06-01;2024-05-10\r\n"));
    QCOMPARE(fileMode(TokuteiCachePath()), 0600);

    const TCheckupCache back = LoadCheckupCache(TokuteiCachePath());
    QCOMPARE(back.Birth, cache.Birth);
    QCOMPARE(back.Dates.value(QStringLiteral("00200")), cache.Dates.value(QStringLiteral("00200")));
    QCOMPARE(back.Dates.value(QStringLiteral("00045")), QString());
}

void TestCheckupExportRules::unreadableCacheIsAnError() {
    // A cache that is there but cannot be read must never pass for an empty one:
    // the export would then replace it with what one run learned.
    MakeTestAppDir(QStringLiteral("checkupexportrules-unreadable"));
    QVERIFY(QDir().mkpath(TokuteiCachePath()));
    QVERIFY_THROWS_EXCEPTION(EAppError, LoadCheckupCache(TokuteiCachePath()));
}

void TestCheckupExportRules::patientList() {
    // Positions count every line; lines without a patient give none.
    const TExportPatientList list = ParseExportPatientList({
        QStringLiteral("00012,架空 一郎"),
        QStringLiteral("00045, "),
        QStringLiteral(" ,名無し"),
        QStringLiteral("no comma"),
        QStringLiteral(" 00103 , 山田,花子 "),
        QStringLiteral("00210,\t"),
    });
    QCOMPARE(list.LineCount, 6);
    QCOMPARE(list.Patients.size(), 2);
    QCOMPARE(list.Patients.at(0).Position, 1);
    QCOMPARE(list.Patients.at(1).Position, 5);
    QCOMPARE(list.Patients.at(1).PatientID, QStringLiteral("00103"));
    QCOMPARE(list.Patients.at(1).Name, QStringLiteral("山田,花子"));

    const QString dir = MakeTestAppDir(QStringLiteral("checkupexportrules-list"));
    QVERIFY(WriteAll(dir + QStringLiteral("p.csv"), "\xEF\xBB\xBF"
                                                    "1,a\r\n2,b\n\r\n3,c\r\n"));
    QCOMPARE(ReadTextFileLines(dir + QStringLiteral("p.csv")),
             QStringList(
                 {QStringLiteral("1,a"), QStringLiteral("2,b"), QString(), QStringLiteral("3,c")}));
    QVERIFY(WriteAll(dir + QStringLiteral("q.csv"), "\xEF\xBB\xBF"));
    QCOMPARE(ReadTextFileLines(dir + QStringLiteral("q.csv")), QStringList());
}

void TestCheckupExportRules::answeredResults_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("answered");
    const int accept = int(TOrcaAnswerKind::AcceptList);
    const int patient = int(TOrcaAnswerKind::PatientGet);
    const int spec = int(TOrcaAnswerKind::OnlineSpec);
    QTest::newRow("accept 00") << accept << "00" << true;
    QTest::newRow("accept 21 none that day") << accept << "21" << true;
    QTest::newRow("accept 11 bad date") << accept << "11" << false;
    QTest::newRow("accept 90") << accept << "90" << false;
    QTest::newRow("accept 000") << accept << "000" << false;
    QTest::newRow("patient 00") << patient << "00" << true;
    QTest::newRow("patient 10 not found") << patient << "10" << true;
    QTest::newRow("patient 01") << patient << "01" << false;
    QTest::newRow("patient 99") << patient << "99" << false;
    QTest::newRow("spec 000") << spec << "000" << true;
    QTest::newRow("spec E50 no data") << spec << "E50" << true;
    QTest::newRow("spec E10 not found") << spec << "E10" << true;
    QTest::newRow("spec E51 overflow") << spec << "E51" << true;
    QTest::newRow("spec E52 overflow") << spec << "E52" << true;
    QTest::newRow("spec E100") << spec << "E100" << false;
    QTest::newRow("spec E11 bad date") << spec << "E11" << false;
    QTest::newRow("spec E99") << spec << "E99" << false;
    QTest::newRow("spec 00") << spec << "00" << false;
    QTest::newRow("spec no code") << spec << "" << false;
}

void TestCheckupExportRules::answeredResults() {
    QFETCH(int, kind);
    QFETCH(QString, code);
    QFETCH(bool, answered);
    QCOMPARE(IsAnsweredResult(TOrcaAnswerKind(kind), code), answered);
}

void TestCheckupExportRules::realAnswers() {
    const QStringList patient = fixture(QStringLiteral("patientgetv2.xml"));
    QCOMPARE(AnswerResultCode(patient), QStringLiteral("00"));
    QCOMPARE(ReadBirthDate(patient), QStringLiteral("1958-03-14"));

    const QStringList unknown = fixture(QStringLiteral("patientgetv2_E10.xml"));
    QCOMPARE(AnswerResultCode(unknown), QStringLiteral("10"));
    QVERIFY(IsAnsweredResult(TOrcaAnswerKind::PatientGet, AnswerResultCode(unknown)));
    QCOMPARE(ReadBirthDate(unknown), QString());

    const QStringList spec = fixture(QStringLiteral("onlinespecgetv2_01.xml"));
    QCOMPARE(AnswerResultCode(spec), QStringLiteral("000"));
    QCOMPARE(ReadCheckupDates(spec),
             QStringList({QStringLiteral("2021-10-05"), QStringLiteral("2022-09-30"),
                          QStringLiteral("2023-10-12")}));

    const QStringList accept = fixture(QStringLiteral("acceptlstv2_class03.xml"));
    QCOMPARE(AnswerResultCode(accept), QStringLiteral("00"));
    QCOMPARE(
        ReadReceptionPatientIds(accept),
        QStringList({QStringLiteral("00123"), QStringLiteral("00045"), QStringLiteral("00210")}));

    // Only the first BirthDate counts; a short one gives none. No result line: null.
    const QStringList odd{
        QStringLiteral("    <BirthDate type=\"string\">1958-3-4</BirthDate>"),
        QStringLiteral("    <BirthDate type=\"string\">1960-01-01</BirthDate>"),
        QStringLiteral("    <EffectiveTime type=\"string\">2023-10</EffectiveTime>"),
        QStringLiteral("    <EffectiveTime type=\"string\">2023-10-12</EffectiveTime>"),
        QStringLiteral("    <EffectiveTime type=\"string\">2023-10-12</EffectiveTime>"),
    };
    QCOMPARE(ReadBirthDate(odd), QString());
    QCOMPARE(ReadCheckupDates(odd), QStringList({QStringLiteral("2023-10-12")}));
    QVERIFY(AnswerResultCode(odd).isNull());
}

void TestCheckupExportRules::sortKeys_data() {
    QTest::addColumn<QString>("chartNo");
    QTest::addColumn<QString>("dateKey");
    QTest::addColumn<QString>("key");
    QTest::newRow("padded") << "00012"
                            << "2024-05-10"
                            << "00000000122024-05-10";
    QTest::newRow("no date") << "9"
                             << "0000-00-00"
                             << "00000000090000-00-00";
    QTest::newRow("not a number") << "A12"
                                  << "0000-00-00"
                                  << "00000000000000-00-00";
    QTest::newRow("beyond 32 bits") << "12345678901"
                                    << "x"
                                    << "0000000000x";
    QTest::newRow("largest") << "2147483647"
                             << ""
                             << "2147483647";
}

void TestCheckupExportRules::sortKeys() {
    QFETCH(QString, chartNo);
    QFETCH(QString, dateKey);
    QFETCH(QString, key);
    QCOMPARE(ExportSortKey(chartNo, dateKey), key);
}

void TestCheckupExportRules::csvFieldQuoting_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("written");
    QTest::newRow("plain") << "山田　花子"
                           << "山田　花子";
    QTest::newRow("blanks kept") << " a b "
                                 << " a b ";
    QTest::newRow("comma") << "山田,花子"
                           << "\"山田,花子\"";
    QTest::newRow("quote") << "a\"b"
                           << "\"a\"\"b\"";
    QTest::newRow("line feed") << "a\nb"
                               << "\"a\nb\"";
    QTest::newRow("carriage return") << "a\rb"
                                     << "\"a\rb\"";
    QTest::newRow("semicolon and tab stay") << "a;b\tc"
                                            << "a;b\tc";
    QTest::newRow("empty") << ""
                           << "";
}

void TestCheckupExportRules::csvFieldQuoting() {
    QFETCH(QString, field);
    QFETCH(QString, written);
    QCOMPARE(CsvField(field), written);
}

void TestCheckupExportRules::exportRows() {
    // Two checkups: each with its own age; the row without a date has empty
    // year-month and age columns.
    const TExportRow a = MakeExportRow(QStringLiteral("00012"), QStringLiteral("架空 一郎"),
                                       QStringLiteral("1950-05-11"), QStringLiteral("2024-05-10"),
                                       QStringLiteral("74"));
    QCOMPARE(a.Key, QStringLiteral("00000000122024-05-10"));
    QCOMPARE(a.Text, QStringLiteral("00012,架空 一郎,1950-05-11,202405,73,74"));
    const TExportRow b = MakeExportRow(QStringLiteral("00012"), QStringLiteral("架空 一郎"),
                                       QStringLiteral("1950-05-11"), QStringLiteral("2023-06-01"),
                                       QStringLiteral("74"));
    QCOMPARE(b.Text, QStringLiteral("00012,架空 一郎,1950-05-11,202306,73,74"));
    const TExportRow none =
        MakeExportRow(QStringLiteral("9"), QStringLiteral("乙"), QString(), QString(), QString());
    QCOMPARE(none.Key, QStringLiteral("00000000090000-00-00"));
    QCOMPARE(none.Text, QStringLiteral("9,乙,,,,"));
    // A checkup before the birth date, and a date that is not one: no age.
    QCOMPARE(MakeExportRow(QStringLiteral("1"), QStringLiteral("x"), QStringLiteral("2000-01-01"),
                           QStringLiteral("1999-12-31"), QStringLiteral("24"))
                 .Text,
             QStringLiteral("1,x,2000-01-01,199912,,24"));
    QCOMPARE(MakeExportRow(QStringLiteral("1"), QStringLiteral("x"), QStringLiteral("2000-01-01"),
                           QStringLiteral("2024-99-99"), QStringLiteral("24"))
                 .Text,
             QStringLiteral("1,x,2000-01-01,202499,,24"));
    // A name with a comma keeps the columns in place.
    QCOMPARE(MakeExportRow(QStringLiteral("5"), QStringLiteral("山田,花子"),
                           QStringLiteral("1958-03-14"), QString(), QStringLiteral("66"))
                 .Text,
             QStringLiteral("5,\"山田,花子\",1958-03-14,,,66"));
}

void TestCheckupExportRules::csvFileOrderAndForm() {
    QList<TExportRow> rows;
    rows << MakeExportRow(QStringLiteral("12"), QStringLiteral("b"), QString(),
                          QStringLiteral("2024-05-10"), QString())
         << MakeExportRow(QStringLiteral("9"), QStringLiteral("a"), QString(), QString(), QString())
         << MakeExportRow(QStringLiteral("12"), QStringLiteral("b"), QString(),
                          QStringLiteral("2023-06-01"), QString())
         << MakeExportRow(QStringLiteral("A1"), QStringLiteral("z"), QString(), QString(),
                          QString())
         << MakeExportRow(QStringLiteral("a1"), QStringLiteral("y"), QString(), QString(),
                          QString());
    // 9 before 12 (numeric key); equal keys by row text, letter case ignored.
    QCOMPARE(ExportCsvBytes(rows), QByteArray("\xEF\xBB\xBF") + kTkkCsvHeader.toUtf8() +
                                       "\r\n"
                                       "a1,y,,,,\r\n"
                                       "A1,z,,,,\r\n"
                                       "9,a,,,,\r\n"
                                       "12,b,,202306,,\r\n"
                                       "12,b,,202405,,\r\n");
    QCOMPARE(ExportCsvBytes({}), QByteArray("\xEF\xBB\xBF") + kTkkCsvHeader.toUtf8() + "\r\n");
}

void TestCheckupExportRules::atomicWriteKeepsTheOldFileOnFailure() {
    const QString dir = MakeTestAppDir(QStringLiteral("checkupexportrules-atomic"));
    const QString target = dir + QStringLiteral("out.csv");
    WritePrivateFileAtomically(target, "first\r\n");
    QCOMPARE(fileMode(target), 0600);
    WritePrivateFileAtomically(target, "second\r\n");
    QCOMPARE(ReadAll(target), QByteArray("second\r\n"));
    QCOMPARE(QDir(dir).entryList(QDir::Files), QStringList({QStringLiteral("out.csv")}));

    // A folder in the way of the target: an error, nothing replaced, no temporary file left.
    QDir(dir).mkdir(QStringLiteral("taken.csv"));
    QVERIFY_THROWS_EXCEPTION(EAppError,
                             WritePrivateFileAtomically(dir + QStringLiteral("taken.csv"), "x"));
    QVERIFY(QFileInfo(dir + QStringLiteral("taken.csv")).isDir());
    QCOMPARE(QDir(dir).entryList(QDir::Files), QStringList({QStringLiteral("out.csv")}));

    // The disk takes no more than a few bytes: the new content cannot be
    // written in full, and the old file stays as it was.
    struct rlimit old {};
    QVERIFY(::getrlimit(RLIMIT_FSIZE, &old) == 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 4;
    QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);
    bool threw = false;
    try {
        WritePrivateFileAtomically(target, "third, longer than the limit\r\n");
    } catch (const EAppError &) {
        threw = true;
    }
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    QVERIFY(threw);
    QCOMPARE(ReadAll(target), QByteArray("second\r\n"));
    QCOMPARE(QDir(dir).entryList(QDir::Files), QStringList({QStringLiteral("out.csv")}));
}

QTEST_GUILESS_MAIN(TestCheckupExportRules)
#include "test_checkupexportrules.moc"
