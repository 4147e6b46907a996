// Reading the online answers (drug "01" and "02", medical, checkup), the
// classification of institution codes and names, the result codes that count
// as an answer, and the month arithmetic of the loaders.
#include "tests/support/TestEnv.h"
#include "viewer/TainMonths.h"
#include "viewer/TainParse.h"
#include "viewer/TainRules.h"

#include <QFile>
#include <QtTest>

using namespace viewer;

namespace {

QByteArray Fixture(const QString &name) {
    QFile f(SourceDir() + QStringLiteral("/tests/data/orca/") + name);
    if (!f.open(QIODevice::ReadOnly))
        qFatal("missing fixture %s", qPrintable(name));
    return f.readAll();
}

QStringList Lines(const QByteArray &bytes) {
    return QString::fromUtf8(bytes).split(QLatin1Char('\n'));
}

// One leaf line as ORCA writes it.
QString Leaf(const QString &tag, const QString &value) {
    return QStringLiteral("          <%1 type=\"string\">%2</%1>").arg(tag, value);
}

// A "01" answer of the drug or medical API: months, each with entries of
// (tag, value) lines in the order given, every entry a record of its own.
using Entry = QList<QPair<QString, QString>>;
QStringList Answer01(const QString &record, const QList<QPair<QString, QList<Entry>>> &months) {
    QStringList lines = {QStringLiteral("<xmlio2>"),
                         QStringLiteral("  <%1 type=\"record\">").arg(record),
                         Leaf(QStringLiteral("Api_Result"), QStringLiteral("000"))};
    for (const auto &m : months) {
        lines << QStringLiteral("      <MeTrMonth_Information_child type=\"record\">")
              << Leaf(QStringLiteral("MeTrMonth"), m.first)
              << QStringLiteral("        <MeTrD_Inf type=\"array\">");
        for (const Entry &e : m.second) {
            lines << QStringLiteral("          <MeTrD_Inf_child type=\"record\">");
            for (const auto &field : e)
                lines << Leaf(field.first, field.second);
            lines << QStringLiteral("          </MeTrD_Inf_child>");
        }
        lines << QStringLiteral("        </MeTrD_Inf>")
              << QStringLiteral("      </MeTrMonth_Information_child>");
    }
    lines << QStringLiteral("  </%1>").arg(record) << QStringLiteral("</xmlio2>");
    return lines;
}

QStringList Drug01(const QList<QPair<QString, QList<Entry>>> &months) {
    return Answer01(QStringLiteral("onlinedruggetres"), months);
}

const QString kSelf = QStringLiteral("9900011");

} // namespace

class TainParseTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { MakeTestAppDir(QStringLiteral("tain_parse")); }

    void institutionName_data();
    void institutionName();
    void codes_data();
    void codes();
    void answerUsable_data();
    void answerUsable();

    void drug01RealAnswer();
    void drug01EntryOrder_data();
    void drug01EntryOrder();
    void drug01Classification();

    void drug02RealAnswer();
    void drug02Records();
    void drug02Broken_data();
    void drug02Broken();
    void timesValue_data();
    void timesValue();

    void checkupDates();
    void medicalRealAnswer();
    void medicalRecords();

    void months_data();
    void months();
    void drugRequestMonths();
};

void TainParseTest::institutionName_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("expected");
    QTest::newRow("科") << QStringLiteral("山田内科") << true;
    QTest::newRow("contains 薬局") << QStringLiteral("さくら病院前薬局") << false;
    QTest::newRow("begins with 診療") << QStringLiteral("診療所やまだ") << false;
    QTest::newRow("診療所 at the end") << QStringLiteral("やまだ診療所") << true;
    QTest::newRow("no kind") << QStringLiteral("やまだ") << false;
    QTest::newRow("病院") << QStringLiteral("東都中央病院") << true;
    QTest::newRow("クリニック") << QStringLiteral("やまびこ内科クリニック") << true;
    QTest::newRow("センター") << QStringLiteral("区民健診センター") << true;
    QTest::newRow("醫院") << QStringLiteral("舊字醫院") << true;
    QTest::newRow("half-width kana is not クリニック") << QStringLiteral("ｸﾘﾆｯｸ") << false;
    QTest::newRow("empty") << QString() << false;
}

void TainParseTest::institutionName() {
    QFETCH(QString, name);
    QFETCH(bool, expected);
    QCOMPARE(IsInstitutionName(name), expected);
}

void TainParseTest::codes_data() {
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("self");
    QTest::addColumn<bool>("own");
    QTest::addColumn<bool>("pharmacy");
    QTest::newRow("clinic's full code") << "1319900011"
                                        << "9900011" << true << false;
    QTest::newRow("other clinic") << "1310123456"
                                  << "9900011" << false << false;
    QTest::newRow("pharmacy") << "1340987654"
                              << "9900011" << false << true;
    QTest::newRow("shorter than the clinic's code") << "900011"
                                                    << "9900011" << false << false;
    QTest::newRow("empty code") << ""
                                << "9900011" << false << false;
    QTest::newRow("no clinic code") << "1319900011"
                                    << "" << false << false;
    QTest::newRow("two characters") << "14"
                                    << "9900011" << false << false;
    QTest::newRow("third is 4 in a short code") << "134"
                                                << "" << false << true;
}

void TainParseTest::codes() {
    QFETCH(QString, code);
    QFETCH(QString, self);
    QFETCH(bool, own);
    QFETCH(bool, pharmacy);
    QCOMPARE(IsOwnInstitutionCode(code, self), own);
    QCOMPARE(IsPharmacyCode(code), pharmacy);
}

void TainParseTest::answerUsable_data() {
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("usable");
    QTest::newRow("success") << "000" << true;
    QTest::newRow("no data") << "E50" << true;
    QTest::newRow("more than fits, drug") << "W52" << true;
    QTest::newRow("more than fits, checkup") << "E51" << true;
    QTest::newRow("unknown patient") << "E10" << true;
    QTest::newRow("unknown patient, longer code") << "E100" << true;
    QTest::newRow("bad month") << "E11" << false;
    QTest::newRow("malformed request") << "E99" << false;
    QTest::newRow("other error") << "E90" << false;
    QTest::newRow("no result code") << "" << false;
}

void TainParseTest::answerUsable() {
    QFETCH(QString, code);
    QFETCH(bool, usable);
    QStringList lines = {QStringLiteral("<xmlio2>")};
    if (!code.isEmpty())
        lines << Leaf(QStringLiteral("Api_Result"), code);
    QCOMPARE(IsOnlineAnswerUsable(lines), usable);
}

void TainParseTest::drug01RealAnswer() {
    // Entries write the dispensing institution first and the prescriber after
    // it; each prescriber belongs to its own entry and month.
    const TDrug01Answer a = ParseDrugGet01Lines(Lines(Fixture("onlinedruggetv2_01.xml")), kSelf);
    QVERIFY(a.HasBirthDate);
    QCOMPARE(a.BirthDate, QStringLiteral("1958-03-14"));
    QCOMPARE(a.Months, QStringList({"2024-05", "2024-04", "2024-02"}));
    QCOMPARE(a.InstMonthMap, QStringList({
                                 QStringLiteral("みどり整形外科医院|2024-05"),
                                 QStringLiteral("やまびこ内科クリニック|2024-05"),
                                 QStringLiteral("やまびこ内科クリニック|2024-04"),
                                 QStringLiteral("みどり整形外科医院|2024-02"),
                                 QStringLiteral("やまびこ内科クリニック|2024-02"),
                             }));
}

void TainParseTest::drug01EntryOrder_data() {
    QTest::addColumn<QStringList>("order");
    QTest::newRow("ORCA's order") << QStringList{"MeTrDiHCd", "MeTrDiHNm", "PrlsHCd", "PrlsHNm"};
    QTest::newRow("codes first, dispenser's name last")
        << QStringList{"MeTrDiHCd", "PrlsHCd", "PrlsHNm", "MeTrDiHNm"};
    QTest::newRow("prescriber first")
        << QStringList{"PrlsHNm", "PrlsHCd", "MeTrDiHNm", "MeTrDiHCd"};
}

void TainParseTest::drug01EntryOrder() {
    // Whatever the order of the lines inside an entry, each entry stands for
    // its prescriber, or for itself without one.
    QFETCH(QStringList, order);
    const QHash<QString, QString> dispensed = {
        {"MeTrDiHCd", "1340987654"},
        {"MeTrDiHNm", QStringLiteral("さくら調剤薬局")},
        {"PrlsHCd", "1310123456"},
        {"PrlsHNm", QStringLiteral("やまびこ内科クリニック")}};
    Entry pharmacy, inHouse;
    for (const QString &tag : order) {
        pharmacy << qMakePair(tag, dispensed.value(tag));
        if (tag.startsWith(QLatin1String("MeTrDiH")))
            inHouse << qMakePair(tag, tag == QLatin1String("MeTrDiHCd")
                                          ? QStringLiteral("1310765432")
                                          : QStringLiteral("みどり整形外科医院"));
    }
    const QStringList lines = Drug01({{"2024-05", {pharmacy, inHouse}}, {"2024-04", {inHouse}}});
    const TDrug01Answer a = ParseDrugGet01Lines(lines, kSelf);
    QCOMPARE(a.InstMonthMap, QStringList({
                                 QStringLiteral("やまびこ内科クリニック|2024-05"),
                                 QStringLiteral("みどり整形外科医院|2024-05"),
                                 QStringLiteral("みどり整形外科医院|2024-04"),
                             }));
}

void TainParseTest::drug01Classification() {
    const auto entry = [](const QString &code, const QString &name) {
        return Entry{{"MeTrDiHCd", code}, {"MeTrDiHNm", name}};
    };
    const QStringList lines = Drug01({
        {"2024-05",
         {
             entry("1319900011", QStringLiteral("みなと見本クリニック")), // the clinic itself
             entry("1340555512", QStringLiteral("ひまわり薬局")),         // a pharmacy
             entry("13", QStringLiteral("短い番号医院")),                 // two characters
             entry("1310765432", QStringLiteral("みどり整形外科医院")),
             entry("1310000001", QStringLiteral("ABC内科")),
             entry("1310000001", QStringLiteral("abc内科")), // the same, letter case aside
         }},
        {"2024-05", {entry("1310765432", QStringLiteral("みどり整形外科医院"))}},
        {"2023-01", {}},
    });
    const TDrug01Answer a = ParseDrugGet01Lines(lines, kSelf);
    QVERIFY(!a.HasBirthDate);
    QCOMPARE(a.Months, QStringList({"2024-05", "2023-01"}));
    QCOMPARE(a.InstMonthMap, QStringList({
                                 QStringLiteral("短い番号医院|2024-05"),
                                 QStringLiteral("みどり整形外科医院|2024-05"),
                                 QStringLiteral("ABC内科|2024-05"),
                             }));
    // Without the clinic's code its own entries count as another institution's.
    QVERIFY(ParseDrugGet01Lines(lines, QString())
                .InstMonthMap.contains(QStringLiteral("みなと見本クリニック|2024-05")));
}

void TainParseTest::drug02RealAnswer() {
    QList<TPrescription> list;
    QString error;
    QVERIFY(ParseDrugGet02Xml(Fixture("onlinedruggetv2_02.xml"), "2024-05", list, &error));
    QVERIFY(error.isEmpty());
    QCOMPARE(list.size(), 3);

    // In-house dispensing: the institution of the record.
    QCOMPARE(list[0].InstitutionCd, QStringLiteral("1310765432"));
    QCOMPARE(list[0].InstitutionName, QStringLiteral("みどり整形外科医院"));
    QCOMPARE(list[0].PrescDate, QStringLiteral("20240508"));
    QCOMPARE(list[0].Drugs.size(), 2);
    QCOMPARE(list[0].Drugs[0].SryName, QStringLiteral("ロキソプロフェンＮａ錠６０ｍｇ「ＯＲＣ」"));
    QCOMPARE(list[0].Drugs[0].Suryo, QStringLiteral("3"));
    QCOMPARE(list[0].Drugs[0].Tani, QStringLiteral("錠"));
    QCOMPARE(list[0].Drugs[0].Kai, 7);
    QCOMPARE(list[0].Drugs[0].SryKbn, QStringLiteral("21"));
    QCOMPARE(list[0].Drugs[1].Kai, 1);

    // A pharmacy's dispensing stands for the prescribing clinic.
    for (int i : {1, 2}) {
        QCOMPARE(list[i].InstitutionCd, QStringLiteral("1310123456"));
        QCOMPARE(list[i].InstitutionName, QStringLiteral("やまびこ内科クリニック"));
    }
    QCOMPARE(list[1].PrescDate, QStringLiteral("20240510"));
    QCOMPARE(list[2].PrescDate, QStringLiteral("20240524"));
    QCOMPARE(list[2].Drugs[1].SryName, QStringLiteral("アセトアミノフェン錠２００ｍｇ「ＯＲＣ」"));
    QCOMPARE(list[2].Drugs[1].Suryo, QStringLiteral("2"));
    QCOMPARE(list[2].Drugs[1].Kai, 5);
}

void TainParseTest::drug02Records() {
    const QByteArray xml = R"(<?xml version="1.0" encoding="UTF-8"?>
<xmlio2><onlinedruggetres type="record">
  <MeTrMonthInf type="array">
    <MeTrMonthInf_child type="record">
      <DiDateInfs type="record"><DiDateInf type="array">
        <DiDateInf_child type="record">
          <DiDay type="string">5</DiDay>
          <MeTrDiHCd type="string">1310765432</MeTrDiHCd>
          <MeTrDiHNm type="string">みどり整形外科医院</MeTrDiHNm>
          <PrlsHCd type="string">   </PrlsHCd>
          <PrlsHNm type="string">使われない名前</PrlsHNm>
        </DiDateInf_child>
        <DiDateInf_child type="record">
          <DiDay type="string">12</DiDay>
          <PrlsHCd type="string"> 1310123456</PrlsHCd>
          <PrlsHNm type="string">やまびこ内科クリニック </PrlsHNm>
          <DrugInfs type="record"><DrugInf type="array">
            <DrugInf_child type="record"><DrugN type="string">A錠</DrugN><Times type="string">7日</Times></DrugInf_child>
            <DrugInf_child type="record"><DrugN type="string">B錠</DrugN><Qua1 type="string">0</Qua1><Times type="string"> 14</Times></DrugInf_child>
          </DrugInf></DrugInfs>
        </DiDateInf_child>
      </DiDateInf></DiDateInfs>
    </MeTrMonthInf_child>
    <MeTrMonthInf_child type="record"><InOut type="string">1</InOut></MeTrMonthInf_child>
  </MeTrMonthInf>
</onlinedruggetres></xmlio2>)";
    QList<TPrescription> list = {TPrescription{QStringLiteral("前の月"), "1", "20240401", {}}};
    QVERIFY(ParseDrugGet02Xml(xml, "2024-03", list));
    QCOMPARE(list.size(), 3);
    // A blank prescriber code: the record's own institution.
    QCOMPARE(list[1].InstitutionCd, QStringLiteral("1310765432"));
    QCOMPARE(list[1].InstitutionName, QStringLiteral("みどり整形外科医院"));
    QCOMPARE(list[1].PrescDate, QStringLiteral("2024035")); // the day as answered
    QVERIFY(list[1].Drugs.isEmpty());
    // Values are kept as answered.
    QCOMPARE(list[2].InstitutionCd, QStringLiteral(" 1310123456"));
    QCOMPARE(list[2].InstitutionName, QStringLiteral("やまびこ内科クリニック "));
    QCOMPARE(list[2].Drugs.size(), 2);
    QCOMPARE(list[2].Drugs[0].Kai, 0);
    QCOMPARE(list[2].Drugs[0].Suryo, QString());
    QCOMPARE(list[2].Drugs[1].Suryo, QStringLiteral("0"));
    QCOMPARE(list[2].Drugs[1].Kai, 14);
}

void TainParseTest::drug02Broken_data() {
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<bool>("error");
    QTest::newRow("no data (E50)")
        << QByteArray("<xmlio2><onlinedruggetres type=\"record\"><Api_Result "
                      "type=\"string\">E50</Api_Result></onlinedruggetres></xmlio2>")
        << false;
    QTest::newRow("another record")
        << QByteArray("<xmlio2><onlinemedgetres><MeTrMonthInf/></onlinemedgetres></xmlio2>")
        << false;
    QTest::newRow("cut off") << Fixture("onlinedruggetv2_02.xml").left(3000) << true;
    QTest::newRow("not XML") << QByteArray("<html><body>502 Bad Gateway</html>") << true;
    QTest::newRow("empty") << QByteArray() << true;
    QTest::newRow("nested without end") << QByteArray("<a>").repeated(100000) << true;
}

void TainParseTest::drug02Broken() {
    // Nothing of a broken answer is appended; what the list held stays.
    QFETCH(QByteArray, xml);
    QFETCH(bool, error);
    QList<TPrescription> list = {TPrescription{QStringLiteral("前の月"), "1", "20240401", {}}};
    QString message;
    QVERIFY(!ParseDrugGet02Xml(xml, "2024-05", list, &message));
    QCOMPARE(list.size(), 1);
    QCOMPARE(!message.isEmpty(), error);
}

void TainParseTest::timesValue_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    QTest::newRow("7") << "7" << 7;
    QTest::newRow("blanks around") << " 28 " << 28;
    QTest::newRow("unit after it") << QStringLiteral("7日") << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("hexadecimal") << "0x1F" << 0;
    QTest::newRow("too large") << "99999999999" << 0;
}

void TainParseTest::timesValue() {
    QFETCH(QString, text);
    QFETCH(int, value);
    QCOMPARE(TimesValue(text), value);
}

void TainParseTest::checkupDates() {
    QStringList dates;
    ParseSpecGetLines(Lines(Fixture("onlinespecgetv2_01.xml")), dates);
    QCOMPARE(dates, QStringList({"2023-10-12", "2022-09-30", "2021-10-05"}));

    ParseSpecGetLines({Leaf("EffectiveTime", ""), Leaf("EffectiveTime", "20230615"),
                       Leaf("EffectiveTime", "2023-10-12"), Leaf("EffectiveTime", "2023-06-15"),
                       Leaf("Req_EffectiveTime", "2020-01-01")},
                      dates);
    QCOMPARE(dates, QStringList({"2023-10-12", "2022-09-30", "2021-10-05", "2023-06-15"}));
}

void TainParseTest::medicalRealAnswer() {
    QStringList entries;
    const QStringList added =
        ParseMedGetLines(Lines(Fixture("onlinemedgetv2_01.xml")), kSelf, entries);
    const QStringList expected = {QStringLiteral("やまびこ内科クリニック=2024-05"),
                                  QStringLiteral("みどり整形外科医院=2024-05"),
                                  QStringLiteral("東都中央病院=2024-03"),
                                  QStringLiteral("やまびこ内科クリニック=2024-03")};
    QCOMPARE(entries, expected);
    QCOMPARE(added, expected);

    // The second answer adds only what is new.
    QCOMPARE(ParseMedGetLines(Lines(Fixture("onlinemedgetv2_01.xml")), kSelf, entries),
             QStringList());
    QCOMPARE(entries, expected);

    // The clinic's own code (a suffix of やまびこ's here) keeps its records out.
    QStringList own;
    ParseMedGetLines(Lines(Fixture("onlinemedgetv2_01.xml")), "0123456", own);
    QCOMPARE(own, QStringList({QStringLiteral("みどり整形外科医院=2024-05"),
                               QStringLiteral("東都中央病院=2024-03")}));
}

void TainParseTest::medicalRecords() {
    const auto record = [](const QString &code, const QString &name, const QString &inOut,
                           const QString &prlsCode = QString(),
                           const QString &prlsName = QString()) {
        Entry e;
        if (!code.isEmpty())
            e << qMakePair(QStringLiteral("MeTrDiHCd"), code);
        if (!name.isEmpty())
            e << qMakePair(QStringLiteral("MeTrDiHNm"), name);
        e << qMakePair(QStringLiteral("InOut"), inOut);
        // The prescriber's lines after InOut still belong to the record.
        if (!prlsCode.isEmpty())
            e << qMakePair(QStringLiteral("PrlsHCd"), prlsCode);
        if (!prlsName.isEmpty())
            e << qMakePair(QStringLiteral("PrlsHNm"), prlsName);
        return e;
    };
    const QStringList lines = Answer01(
        QStringLiteral("onlinemedgetres"),
        {{"2024-05",
          {
              record("1340987654", QStringLiteral("さくら調剤薬局"), "4", "1310123456",
                     QStringLiteral("やまびこ内科クリニック")),
              record("1340555512", QStringLiteral("ひまわり薬局"), "4"), // pharmacy alone
              record("1310765432", QString(), "2"),                   // no name: none carried over
              record(QString(), QStringLiteral("番号なし医院"), "2"), // no code
              record("1310000001", QStringLiteral("ABC内科"), "2"),
              record("1310000001", QStringLiteral("abc内科"), "2"), // letter case aside, the same
              record("1319900011", QStringLiteral("みなと見本クリニック"), "2"), // the clinic
          }}});
    QStringList entries;
    ParseMedGetLines(lines, kSelf, entries);
    QCOMPARE(entries, QStringList({QStringLiteral("やまびこ内科クリニック=2024-05"),
                                   QStringLiteral("ABC内科=2024-05")}));

    // Without the clinic's code every named, non-pharmacy record counts.
    QStringList all;
    ParseMedGetLines(lines, QString(), all);
    QCOMPARE(all, QStringList({QStringLiteral("やまびこ内科クリニック=2024-05"),
                               QStringLiteral("ABC内科=2024-05"),
                               QStringLiteral("みなと見本クリニック=2024-05")}));
}

void TainParseTest::months_data() {
    QTest::addColumn<QDate>("today");
    QTest::addColumn<QString>("second");   // the second medical request's month
    QTest::addColumn<QString>("halfYear"); // HalfYearStart
    QTest::newRow("2024-05-20") << QDate(2024, 5, 20) << "2023-11"
                                << "20231201";
    QTest::newRow("2024-08-31") << QDate(2024, 8, 31) << "2024-02"
                                << "20240301";
    QTest::newRow("2024-07-31") << QDate(2024, 7, 31) << "2024-01"
                                << "20240201";
    QTest::newRow("2024-01-01") << QDate(2024, 1, 1) << "2023-07"
                                << "20230801";
    QTest::newRow("2024-06-30") << QDate(2024, 6, 30) << "2023-12"
                                << "20240101";
}

void TainParseTest::months() {
    QFETCH(QDate, today);
    QFETCH(QString, second);
    QFETCH(QString, halfYear);
    QCOMPARE(MedSecondRequestMonth(today), second);
    QCOMPARE(HalfYearStart(today), halfYear);
    QCOMPARE(MonthBefore(QDate(2024, 1, 31), 1), QStringLiteral("2023-12"));
}

void TainParseTest::drugRequestMonths() {
    // Twelve months from the current one back, each once, even from the 31st.
    QStringList twelve;
    for (int m = 3; m >= 1; --m)
        twelve << QStringLiteral("2024-%1").arg(m, 2, 10, QLatin1Char('0'));
    for (int m = 12; m >= 4; --m)
        twelve << QStringLiteral("2023-%1").arg(m, 2, 10, QLatin1Char('0'));
    QCOMPARE(DrugRequestMonths({}, QDate(2024, 3, 31)), twelve);

    // Months of the "01" answer join them once; older ones are requested too.
    QCOMPARE(DrugRequestMonths({"2024-02", "2022-11", "2023-05"}, QDate(2024, 3, 31)),
             twelve + QStringList{"2022-11"});
    QCOMPARE(DrugRequestMonths({"2022-11", "2022-12"}, QDate(2024, 3, 31)).size(), 14);
}

QTEST_APPLESS_MAIN(TainParseTest)
#include "test_tainparse.moc"
