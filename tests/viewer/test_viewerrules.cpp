// The viewer's widget-free rules: REFRESH, captions, the age, reading the
// reception and patient answers (real ORCA form), the patient cache and the
// escaping of values that go into requests.
#include "core/CoreSource.h"
#include "orca/OrcaTemplates.h"
#include "tests/support/TestEnv.h"
#include "viewer/PatientCache.h"
#include "viewer/ViewerClock.h"
#include "viewer/ViewerRules.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <QUrlQuery>
#include <QXmlStreamReader>

#include <sys/stat.h>

using namespace viewer;

namespace {

QStringList fixture(const QString &name) {
    return ReadAnswerLines(SourceDir() + QStringLiteral("/tests/data/orca/") + name);
}

} // namespace

class TestViewerRules : public QObject {
    Q_OBJECT
private slots:
    void refreshInterval_data();
    void refreshInterval();
    void captions();
    void age_data();
    void age();
    void todayIsTheLocalDateOfTheInjectedZone();
    void receptionRecordsOfARealAnswer();
    void receptionRecordRules();
    void patientLookup();
    void patientGetPathIsPercentEncoded();
    void requestValuesAreEscaped();
    // The cache rules hold for a list load (an index of the numbers) and for
    // one patient recorded (a read through the file) alike.
    void cacheAppendsAndKeepsTheFirstName_data() { lookupRows(); }
    void cacheAppendsAndKeepsTheFirstName();
    void cacheKeepsForeignBytesAndAddsMissingLineEnd_data() { lookupRows(); }
    void cacheKeepsForeignBytesAndAddsMissingLineEnd();
    void cacheLineWithoutCommaNeverMatches_data() { lookupRows(); }
    void cacheLineWithoutCommaNeverMatches();
    void cacheIsOwnerOnly();
    void cacheSearch();
    void unreadableCacheIsAnError();

private:
    static void lookupRows() {
        QTest::addColumn<TPatientCache::Lookups>("lookups");
        QTest::newRow("many") << TPatientCache::Lookups::Many;
        QTest::newRow("one") << TPatientCache::Lookups::One;
    }
};

void TestViewerRules::refreshInterval_data() {
    QTest::addColumn<QString>("setting");
    QTest::addColumn<int>("seconds");
    QTest::newRow("plain") << "60" << 60;
    QTest::newRow("blanks around") << " 30 " << 30;
    QTest::newRow("below minimum") << "5" << 10;
    QTest::newRow("zero") << "0" << 10;
    QTest::newRow("negative") << "-5" << 10;
    QTest::newRow("above maximum") << "99999" << 3600;
    QTest::newRow("not a number") << "abc" << 60;
    QTest::newRow("empty") << "" << 60;
    QTest::newRow("hexadecimal") << "0x1F" << 60;
    QTest::newRow("delphi hexadecimal") << "$1F" << 60;
    QTest::newRow("beyond 32 bits") << "99999999999" << 60;
    QTest::newRow("sign only") << "-" << 60;
    QTest::newRow("inner blank") << "3 0" << 60;
    QTest::newRow("full-width digits") << "３０" << 60;
}

void TestViewerRules::refreshInterval() {
    QFETCH(QString, setting);
    QFETCH(int, seconds);
    QCOMPARE(RefreshIntervalSeconds(setting), seconds);
}

void TestViewerRules::captions() {
    QCOMPARE(DateLabelText(QDate(2025, 10, 26)), QStringLiteral("2025年10月26日"));
    QCOMPARE(DateLabelText(QDate(2024, 1, 5)), QStringLiteral("2024年01月05日"));
    QCOMPARE(MonthCaption(QStringLiteral("2023-06")), QStringLiteral("2023年06月"));
}

void TestViewerRules::age_data() {
    QTest::addColumn<QString>("birth");
    QTest::addColumn<QDate>("today");
    QTest::addColumn<QString>("age");
    // 365.25-day years: one day before the calendar birthday in short spans.
    QTest::newRow("365 days") << "2022-05-10" << QDate(2023, 5, 10) << "0歳";
    QTest::newRow("366 days") << "2022-05-10" << QDate(2023, 5, 11) << "1歳";
    QTest::newRow("day before 24th birthday") << "2000-05-10" << QDate(2024, 5, 9) << "23歳";
    // 8766 days are exactly 24 years of 365.25 days.
    QTest::newRow("exact boundary") << "2000-05-10" << QDate(2024, 5, 10) << "24歳";
    QTest::newRow("born today") << "2024-05-10" << QDate(2024, 5, 10) << "0歳";
    QTest::newRow("leap day birth") << "2000-02-29" << QDate(2024, 2, 28) << "23歳";
    QTest::newRow("born tomorrow") << "2024-05-11" << QDate(2024, 5, 10) << "";
    QTest::newRow("slashes") << "2000/5/1" << QDate(2024, 5, 10) << "";
    QTest::newRow("invalid date") << "2000-02-30" << QDate(2024, 5, 10) << "";
    QTest::newRow("empty") << "" << QDate(2024, 5, 10) << "";
    QTest::newRow("signs") << "+200-05-10" << QDate(2024, 5, 10) << "";
    QTest::newRow("time appended") << "1958-03-14T00:00" << QDate(2024, 6, 10) << "66歳";
}

void TestViewerRules::age() {
    QFETCH(QString, birth);
    QFETCH(QDate, today);
    QFETCH(QString, age);
    QCOMPARE(AgeText(birth, today), age);
}

void TestViewerRules::todayIsTheLocalDateOfTheInjectedZone() {
    // 2024-05-09 16:30 UTC is already the 10th in Tokyo.
    const QDateTime instant(QDate(2024, 5, 9), QTime(16, 30), QTimeZone::utc());
    SetClockForTesting(instant, QTimeZone("Asia/Tokyo"));
    QCOMPARE(Today(), QDate(2024, 5, 10));
    SetClockForTesting(instant, QTimeZone("Europe/Berlin"));
    QCOMPARE(Today(), QDate(2024, 5, 9));
    ResetClockForTesting();
    QCOMPARE(Today(), QDate::currentDate());
}

void TestViewerRules::receptionRecordsOfARealAnswer() {
    const QList<TReceptionRecord> records =
        ReadReceptionRecords(fixture("acceptlstv2_class03.xml"));
    QCOMPARE(records.size(), 3);
    QCOMPARE(records[0].PatientID, QStringLiteral("00123"));
    // Names keep ORCA's full-width space; the insured person's and the
    // physician's names are other elements.
    QCOMPARE(records[0].Name, QStringLiteral("山田　花子"));
    QCOMPARE(records[0].AccountTime, QStringLiteral("09:41:30"));
    QCOMPARE(records[2].PatientID, QStringLiteral("00210"));
    QCOMPARE(records[2].AccountTime, QString());
    QVERIFY(IsShownInListMode(records[2], 1));
    QVERIFY(!IsShownInListMode(records[0], 1));
    QVERIFY(IsShownInListMode(records[0], 0));
}

void TestViewerRules::receptionRecordRules() {
    auto leaf = [](const char *tag, const QString &v) {
        return QStringLiteral("  <%1 type=\"string\">%2</%1>").arg(QLatin1String(tag), v);
    };
    const QStringList lines{
        leaf("Acceptance_Id", "1"),    leaf("Patient_ID", "00001"),
        leaf("Patient_ID", " 00002 "), // the last one counts, trimmed
        leaf("WholeName", "  "),       // blank: the next one counts
        leaf("WholeName", "見本　一"), leaf("WholeName", "別名"),
        leaf("Acceptance_Id", "2"),    leaf("WholeName", "番号なし"), // no chart number: left out
        leaf("Acceptance_Id", "3"),    leaf("Patient_ID", "00003"),
    };
    const QList<TReceptionRecord> r = ReadReceptionRecords(lines);
    QCOMPARE(r.size(), 2);
    QCOMPARE(r[0].PatientID, QStringLiteral("00002"));
    QCOMPARE(r[0].Name, QStringLiteral("見本　一"));
    QCOMPARE(r[1].PatientID, QStringLiteral("00003"));
    QCOMPARE(r[1].Name, QString());
}

void TestViewerRules::patientLookup() {
    const TPatientLookup found = ReadPatientLookup(fixture("patientgetv2.xml"));
    QCOMPARE(found.Name, QStringLiteral("山田　花子"));
    QCOMPARE(found.PatientID, QStringLiteral("00123"));
    // Not found: code 10 and no patient record at all.
    const TPatientLookup none = ReadPatientLookup(fixture("patientgetv2_E10.xml"));
    QVERIFY(none.Name.isEmpty());
    QVERIFY(none.PatientID.isEmpty());
}

void TestViewerRules::patientGetPathIsPercentEncoded() {
    QCOMPARE(PatientGetPath(QStringLiteral("00123")),
             QStringLiteral("api01rv2/patientgetv2?id=00123"));
    const QString hostile = PatientGetPath(QStringLiteral("1&format=json"));
    QCOMPARE(hostile, QStringLiteral("api01rv2/patientgetv2?id=1%26format%3Djson"));
    const QUrlQuery query(hostile.section(QLatin1Char('?'), 1));
    QCOMPARE(query.queryItems().size(), 1);
    QCOMPARE(query.queryItemValue(QStringLiteral("id"), QUrl::FullyDecoded),
             QStringLiteral("1&format=json"));
    // No way into another folder through the response file name either.
    QCOMPARE(PatientGetPath(QStringLiteral("../x")),
             QStringLiteral("api01rv2/patientgetv2?id=..%2Fx"));
}

void TestViewerRules::requestValuesAreEscaped() {
    for (const QString &id :
         {QStringLiteral("a<b"), QStringLiteral("1&2"), QStringLiteral("</Patient_ID><x>")}) {
        const QString body = FillPlaceholder(kDrugInfoTemplate, kPlaceholderPatientId, id);
        QXmlStreamReader xml(body);
        QString value;
        while (!xml.atEnd()) {
            if (xml.readNext() == QXmlStreamReader::StartElement &&
                xml.name() == QLatin1String("Patient_ID"))
                value = xml.readElementText();
        }
        QVERIFY2(!xml.hasError(), qPrintable(id + QStringLiteral(": ") + xml.errorString()));
        QCOMPARE(value, id);
    }
    const QString day = BuildMedicalDayDeptRequest(
        QStringLiteral("1<2"), QStringLiteral("2024-05-20"), QStringLiteral("0&1"));
    QVERIFY(day.contains(QStringLiteral(">1&lt;2</Patient_ID>")));
    QVERIFY(day.contains(QStringLiteral(">0&amp;1</Department_Code>")));
}

void TestViewerRules::cacheAppendsAndKeepsTheFirstName() {
    QFETCH(TPatientCache::Lookups, lookups);
    const QString dir = MakeTestAppDir(QStringLiteral("cache-append"));
    const QString path = dir + QStringLiteral("PatientCache.csv");
    {
        TPatientCache cache(path, lookups);
        cache.Add(QStringLiteral(" 00012 "), QStringLiteral(" 架空　一郎 "));
        cache.Add(QStringLiteral("00012"), QStringLiteral("別の名前"));    // first name stays
        cache.Add(QStringLiteral("00045"), QStringLiteral("  "));          // blank name: nothing
        cache.Add(QStringLiteral(""), QStringLiteral("名前だけ"));         // blank number: nothing
        cache.Add(QStringLiteral("00045"), QStringLiteral("試験,ゆかり")); // comma in the name
    }
    // A later list load reads the file again and still knows both.
    TPatientCache again(path, lookups);
    again.Add(QStringLiteral("00012"), QStringLiteral("三つ目の名前"));
    QVERIFY(again.Contains(QStringLiteral("00045")));
    QVERIFY(!again.Contains(QStringLiteral("0001"))); // a part of a number is none
    QCOMPARE(ReadAll(path), QByteArray("\xEF\xBB\xBF"
                                       "00012,架空　一郎\r\n"
                                       "00045,試験,ゆかり\r\n"));
}

void TestViewerRules::cacheKeepsForeignBytesAndAddsMissingLineEnd() {
    QFETCH(TPatientCache::Lookups, lookups);
    const QString dir = MakeTestAppDir(QStringLiteral("cache-bytes"));
    const QString path = dir + QStringLiteral("PatientCache.csv");
    // A line saved by a spreadsheet in Shift_JIS, and no line end at the end.
    const QByteArray before = QByteArray("\xEF\xBB\xBF"
                                         "00001,見本\r\n"
                                         "00002,\x8E\x52\x93\x63"); // 山田 in Shift_JIS
    QVERIFY(WriteAll(path, before));
    TPatientCache cache(path, lookups);
    cache.Add(QStringLiteral("00002"), QStringLiteral("山田")); // known by its number
    cache.Add(QStringLiteral("00003"), QStringLiteral("新規"));
    QCOMPARE(ReadAll(path), before + "\r\n00003,新規\r\n");
}

void TestViewerRules::cacheLineWithoutCommaNeverMatches() {
    QFETCH(TPatientCache::Lookups, lookups);
    const QString dir = MakeTestAppDir(QStringLiteral("cache-nocomma"));
    const QString path = dir + QStringLiteral("PatientCache.csv");
    QVERIFY(WriteAll(path, QByteArray("\xEF\xBB\xBF"
                                      "00007\r\n")));
    TPatientCache cache(path, lookups);
    QVERIFY(!cache.Contains(QStringLiteral("00007")));
    cache.Add(QStringLiteral("00007"), QStringLiteral("七"));
    QCOMPARE(ReadAll(path), QByteArray("\xEF\xBB\xBF"
                                       "00007\r\n00007,七\r\n"));
    QCOMPARE(PatientCacheKey(QStringLiteral("00007")), QString());
    QVERIFY(PatientCacheKey(QStringLiteral("00007")).isNull());
    QCOMPARE(PatientCacheKey(QStringLiteral(",名前")), QString(""));
}

void TestViewerRules::cacheIsOwnerOnly() {
    const QString dir = MakeTestAppDir(QStringLiteral("cache-mode"));
    const QString path = dir + QStringLiteral("PatientCache.csv");
    const mode_t old = ::umask(0022);
    TPatientCache(path).Add(QStringLiteral("1"), QStringLiteral("一"));
    ::umask(old);
    struct stat st {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
    QCOMPARE(st.st_mode & 0777, mode_t(0600));
}

void TestViewerRules::cacheSearch() {
    const QString dir = MakeTestAppDir(QStringLiteral("cache-search"));
    const QString path = dir + QStringLiteral("PatientCache.csv");
    QVERIFY(WriteAll(path, QByteArray("\xEF\xBB\xBF"
                                      "00001,山田　花子\r\n"
                                      "no comma 山田\r\n"
                                      "00002,小山田　一\r\n"
                                      "00001,山田　花子\r\n"
                                      "00003,Yamada\r\n")));
    const QList<TCacheHit> hits = SearchPatientCache(path, QStringLiteral("山田"));
    QCOMPARE(hits.size(), 3); // file order, duplicates kept
    QCOMPARE(hits[0].PatientID, QStringLiteral("00001"));
    QCOMPARE(hits[1].PatientID, QStringLiteral("00002"));
    QCOMPARE(hits[1].Name, QStringLiteral("小山田　一"));
    QCOMPARE(SearchPatientCache(path, QStringLiteral("yamada")).size(), 0); // case-sensitive
}

void TestViewerRules::unreadableCacheIsAnError() {
    const QString dir = MakeTestAppDir(QStringLiteral("cache-folder"));
    const QString path = dir + QStringLiteral("PatientCache.csv");
    QVERIFY(QDir().mkpath(path)); // a folder where the file should be
    QVERIFY_THROWS_EXCEPTION(EAppError, TPatientCache{path});
    QVERIFY_THROWS_EXCEPTION(EAppError, SearchPatientCache(path, QStringLiteral("x")));
}

QTEST_GUILESS_MAIN(TestViewerRules)
#include "test_viewerrules.moc"
