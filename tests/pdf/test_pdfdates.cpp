// The checkup month and the visit months read from extracted text, and both
// readers on documents made by a real PDF producer.

#include "pdf/PdfDateExtract.h"
#include "pdf/PdfDateExtractInternal.h"
#include "tests/pdf/PdfBuilder.h"
#include "tests/support/TestEnv.h"

#include <QtTest>

namespace {

// A drug document's text: a first 受診歴 (the table of contents), the second
// one, then the section.
QString Drug(const QString &section) {
    return u"目次２受診歴処方２受診歴"_qs + section;
}

QString Fixture(const QString &name) {
    return SourceDir() + u"/tests/data/pdf/"_qs + name;
}

} // namespace

class PdfDatesTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { MakeTestAppDir(QStringLiteral("pdf_dates")); }

    void checkupDate_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("first date after 実施")
            << u"発行2024/05/20健診実施日2024/06/03次回2024/07/01"_qs << "2024-06";
        QTest::newRow("without 実施 the latest")
            << u"発行2024/05/20健診日2024/06/03次回2024/07/01"_qs << "2024-07";
        QTest::newRow("実施 after every date: the latest")
            << u"2024/07/01 2024/06/03 実施"_qs << "2024-07";
        QTest::newRow("only the first 実施 counts")
            << u"実施予定2024.09.01 健診実施2024-06-03"_qs << "2024-09";
        QTest::newRow("separators mixed") << u"実施2024/06.03"_qs << "2024-06";
        QTest::newRow("matches do not overlap") << u"2024/05/2025/06/01"_qs << "2024-05";
        QTest::newRow("years 2000 to 2099 only") << u"実施1999/06/03 2100/01/01"_qs << "";
        QTest::newRow("two-digit day needed") << u"実施2024/06/3"_qs << "";
        QTest::newRow("full-width digits are not digits") << u"実施20２４/０６/０３"_qs << "";
        QTest::newRow("no text") << QString() << "";
        // A ToUnicode entry may map to half of a surrogate pair: the text is
        // then no valid UTF-16, and the search must still find the dates.
        const QString high(QChar(0xD842)), low(QChar(0xDFB7));
        QTest::newRow("lone high surrogate before the date")
            << u"発行2024/05/20健診実施"_qs + high + u"2024/06/03"_qs << "2024-06";
        QTest::newRow("lone low surrogate before 実施")
            << low + u"2024/07/01健診実施2024/06/03"_qs << "2024-06";
        QTest::newRow("lone surrogates, no 実施")
            << u"2024/05/20"_qs + high + low + low + u"2024/06/03"_qs + high << "2024-06";
    }
    void checkupDate() {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(pdf::CheckupDateFromText(text), expected);
    }

    void drugDates_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QStringList>("expected");
        const QStringList none;
        QTest::newRow("two-digit year")
            << Drug(u"みなと医院24年4月"_qs) << none << QStringList{u"みなと医院=2024-04"_qs};
        QTest::newRow("four-digit year")
            << Drug(u"みなと医院2024年4月"_qs) << none << QStringList{u"みなと医院=2024-04"_qs};
        QTest::newRow("era year: no date, era in the name")
            << Drug(u"みなと医院令和6年4月"_qs) << none << none;
        QTest::newRow("blanks before the year stay in the name")
            << Drug(u"みなと医院 　24年4月"_qs) << none << QStringList{u"みなと医院 　=2024-04"_qs};
        QTest::newRow("digits not before 年 belong to the name")
            << Drug(u"第2みなと医院24年12月"_qs) << none
            << QStringList{u"第2みなと医院=2024-12"_qs};
        QTest::newRow("names after a month, months in a row")
            << Drug(u"みなと医院24年4月2024年5月北病院2024年6月"_qs) << none
            << QStringList{u"みなと医院=2024-04"_qs, u"みなと医院=2024-05"_qs,
                           u"北病院=2024-06"_qs};
        QTest::newRow("month read as a number")
            << Drug(u"みなと医院24年007月北病院24年13月"_qs) << none
            << QStringList{u"みなと医院=2024-07"_qs, u"北病院=2024-13"_qs};
        QTest::newRow("month 0 or missing: no entry")
            << Drug(u"みなと医院24年0月24年月"_qs) << none << none;
        QTest::newRow("three-digit year: no date")
            << Drug(u"みなと医院124年4月"_qs) << none << none;
        QTest::newRow("、 starts no name")
            << Drug(u"みなと医院24年4月、北病院24年5月"_qs) << none
            << QStringList{u"みなと医院=2024-04"_qs, u"みなと医院=2024-05"_qs};
        QTest::newRow("only one 受診歴") << u"受診歴みなと医院24年4月"_qs << none << none;
        QTest::newRow("name without a following year ends the scan")
            << Drug(u"みなと医院24年4月北病院"_qs) << none << QStringList{u"みなと医院=2024-04"_qs};
        QTest::newRow("診療 stops") << Drug(u"みなと医院24年4月診療24年5月"_qs) << none
                                    << QStringList{u"みなと医院=2024-04"_qs};
        QTest::newRow("年月日 stops") << Drug(u"みなと医院24年4月年月日24年5月"_qs) << none
                                      << QStringList{u"みなと医院=2024-04"_qs};
        QTest::newRow("*1 stops") << Drug(u"みなと医院24年4月*124年5月"_qs) << none
                                  << QStringList{u"みなと医院=2024-04"_qs};
        QTest::newRow("診 and a blank stop once an entry exists")
            << Drug(u"みなと医院24年4月診 24年5月"_qs) << none
            << QStringList{u"みなと医院=2024-04"_qs};
        QTest::newRow("診 and a blank before any entry")
            << Drug(u"x診 24年4月みなと医院24年5月"_qs) << none
            << QStringList{u"みなと医院=2024-05"_qs};
        QTest::newRow("50 idle characters go on")
            << Drug(u"みなと医院24年4月"_qs + QString(50, u'x') + u"24年5月"_qs) << none
            << QStringList{u"みなと医院=2024-04"_qs, u"みなと医院=2024-05"_qs};
        QTest::newRow("51 idle characters stop")
            << Drug(u"みなと医院24年4月"_qs + QString(51, u'x') + u"24年5月"_qs) << none
            << QStringList{u"みなと医院=2024-04"_qs};
        QTest::newRow("idle digits count once per run")
            << Drug(u"みなと医院24年4月"_qs + QStringLiteral("12x").repeated(25) + u"24年5月"_qs)
            << none << QStringList{u"みなと医院=2024-04"_qs, u"みなと医院=2024-05"_qs};
        const QString late = QString(80, u'x') + u"24年4月みなと医院24年5月"_qs;
        QTest::newRow("no idle stop while the list is empty")
            << Drug(late) << none << QStringList{u"みなと医院=2024-05"_qs};
        QTest::newRow("an entry already in the list allows idle stops")
            << Drug(late) << QStringList{"x"} << QStringList{"x"};
        // The units stay as the document has them, also in the names.
        QTest::newRow("lone surrogates in names")
            << Drug(u"みなと"_qs + QChar(0xD842) + u"医院24年4月"_qs + QChar(0xDFB7) +
                    u"北病院24年5月"_qs)
            << none
            << QStringList{u"みなと"_qs + QChar(0xD842) + u"医院=2024-04"_qs,
                           QChar(0xDFB7) + u"北病院=2024-05"_qs};
        QTest::newRow("kept, not cleared, not sorted; duplicates ignoring case")
            << Drug(u"東京Clinic24年4月24年4月東京clinic24年5月"_qs)
            << QStringList{"zz", u"東京CLINIC=2024-04"_qs, "aa"}
            << QStringList{"zz", u"東京CLINIC=2024-04"_qs, "aa", u"東京clinic=2024-05"_qs};
    }
    void drugDates() {
        QFETCH(QString, text);
        QFETCH(QStringList, before);
        QFETCH(QStringList, expected);
        QStringList list = before;
        pdf::DrugDatesFromText(text, list);
        QCOMPARE(list, expected);
    }

    void halfSurrogateFromTheMap() {
        // <0005> maps to the first half of a pair only; the document still
        // gives its month.
        const QString path = MakeTestAppDir(QStringLiteral("pdf_dates_half")) + u"TKK_1X.pdf"_qs;
        QVERIFY(
            PdfBuilder()
                .toUnicode("4 beginbfchar\n<0001> <5B9F>\n<0002> <65BD>\n<0003> <002F>\n"
                           "<0005> <D842>\nendbfchar\n1 beginbfrange\n<0010> <0019> <0030>\n"
                           "endbfrange")
                .content("BT\n<00010002000500120010001200140003001000160003001000130005> Tj\nET")
                .write(path));
        QCOMPARE(PdfExtractText(path),
                 u"実施"_qs + QChar(0xD842) + u"2024/06/03"_qs + QChar(0xD842));
        QCOMPARE(PdfCheckupDate(path), u"2024-06"_qs);
    }

    void missingFile() {
        QStringList list{"kept"};
        PdfDrugDates(u"/nonexistent/YZK_1X.pdf"_qs, list);
        QCOMPARE(list, QStringList{"kept"});
        QCOMPARE(PdfCheckupDate(u"/nonexistent/TKK_1X.pdf"_qs), QString());
    }

    // Documents written by cairo with an IPA font. The .txt beside each holds
    // what a person reads on its pages; here is what the extractor returns. The
    // leading "?" come from the one-byte string the fixture script shows in
    // white before anything else (see make_fixtures.py).
    void drugDocument() {
        const QString path = Fixture(u"YZK_12345X_20240801.pdf"_qs);
        QCOMPARE(PdfExtractText(path),
                 u"??????薬剤情報患者氏名𠮷田　太郎患者番号12345作成日2024/08/01目次"
                 u"１　処方・調剤情報２　受診歴１　処方・調剤情報"
                 u"2024年5月10日みなと内科クリニックアムロジピン錠５ｍｇ1錠28日分"
                 u"2024年5月10日みなと内科クリニックロスバスタチン錠２．５ｍｇ1錠28日分"
                 u"2024年6月21日中央総合病院ランソプラゾールＯＤ錠１５ｍｇ1錠14日分1/2"
                 u"２　受診歴みなと内科クリニック2024年4月2024年5月さくら調剤薬局24年5月"
                 u"中央総合病院2024年6月2024年7月*1受診歴は医療機関の請求による。2/2"_qs);
        QStringList list;
        PdfDrugDates(path, list);
        QCOMPARE(list,
                 (QStringList{u"みなと内科クリニック=2024-04"_qs,
                              u"みなと内科クリニック=2024-05"_qs, u"さくら調剤薬局=2024-05"_qs,
                              u"中央総合病院=2024-06"_qs, u"中央総合病院=2024-07"_qs}));
    }

    void checkupDocument() {
        const QString path = Fixture(u"TKK_12345X_20240801.pdf"_qs);
        QCOMPARE(PdfExtractText(path),
                 u"???????????特定健康診査結果通知表発行日2024/08/01受診者𠮷田　太郎"
                 u"受診者番号12345健診実施日2024/06/03健診実施機関みなと健診センター"
                 u"前回受診日2023/06/05身長170.2cm体重65.0kg腹囲84.5cmBMI22.5"
                 u"収縮期血圧128mmHg拡張期血圧82mmHgHbA1c5.6%次回健診予定2025/06/01"_qs);
        // The issue date 2024/08/01 is the latest, but the month is the first
        // date after 実施.
        QCOMPARE(PdfCheckupDate(path), u"2024-06"_qs);
        QStringList list;
        PdfDrugDates(path, list);
        QCOMPARE(list, QStringList());
    }
};

QTEST_GUILESS_MAIN(PdfDatesTest)
#include "test_pdfdates.moc"
