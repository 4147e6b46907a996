// The clinic's own history without a window: month arithmetic, the class 03
// calendar, the department of a day from class 01, the drug lines of class 02
// and the text block of one day. Answers are cut from real ORCA answers.
#include "tests/support/TestEnv.h"
#include "viewer/SelfHistory.h"
#include "viewer/ViewerRules.h"

#include <QTest>

Q_DECLARE_METATYPE(QList<TSelfDrug>)

namespace {

QStringList fixture(const QString &name) {
    const QStringList lines =
        viewer::ReadAnswerLines(SourceDir() + QStringLiteral("/tests/data/self/") + name);
    if (lines.isEmpty())
        qFatal("missing fixture %s", qPrintable(name));
    return lines;
}

QString leaf(const QString &tag, const QString &value, int indent = 8) {
    return QString(indent, QLatin1Char(' ')) + QLatin1Char('<') + tag +
           QStringLiteral(" type=\"string\">") + value + QStringLiteral("</") + tag +
           QLatin1Char('>');
}

} // namespace

class TestSelfHistory : public QObject {
    Q_OBJECT
private slots:
    void shiftMonth_data();
    void shiftMonth();
    void monthOfAndCaption();
    void calendarDays_data();
    void calendarDays();
    void dayDepartment_data();
    void dayDepartment();
    void drugsOfRealAnswer();
    void drugLineRules();
    void dayBlock_data();
    void dayBlock();
};

void TestSelfHistory::shiftMonth_data() {
    QTest::addColumn<QString>("month");
    QTest::addColumn<int>("delta");
    QTest::addColumn<QString>("expected");
    QTest::newRow("back over the year") << "2024-01" << -1 << "2023-12";
    QTest::newRow("forward over the year") << "2024-12" << 1 << "2025-01";
    QTest::newRow("into February") << "2024-03" << -1 << "2024-02";
    QTest::newRow("23 back") << "2024-05" << -23 << "2022-06";
    QTest::newRow("whole years") << "2024-05" << -24 << "2022-05";
    QTest::newRow("unchanged") << "2024-05" << 0 << "2024-05";
    QTest::newRow("month without zero") << "2024-5" << -1 << "";
    QTest::newRow("month 13") << "2024-13" << -1 << "";
    QTest::newRow("not a month") << "abcd-ef" << 1 << "";
    QTest::newRow("empty") << "" << 1 << "";
}

void TestSelfHistory::shiftMonth() {
    QFETCH(QString, month);
    QFETCH(int, delta);
    QFETCH(QString, expected);
    QCOMPARE(viewer::ShiftMonth(month, delta), expected);
}

void TestSelfHistory::monthOfAndCaption() {
    // The month of the last day of a long month, and one month back from it.
    QCOMPARE(viewer::MonthOf(QDate(2024, 3, 31)), QStringLiteral("2024-03"));
    QCOMPARE(viewer::ShiftMonth(viewer::MonthOf(QDate(2024, 3, 31)), -1),
             QStringLiteral("2024-02"));
    QCOMPARE(viewer::MonthCaption(QStringLiteral("2024-05")), QStringLiteral("2024年05月"));
}

void TestSelfHistory::calendarDays_data() {
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("month");
    QTest::addColumn<QStringList>("days");
    const QString tag = QStringLiteral("Perform_Calendar");
    // Five entries of the real answer name days 10 and 24; each day comes once.
    QTest::newRow("real answer") << fixture(QStringLiteral("medicalgetv2_class03.xml")) << "2024-05"
                                 << QStringList{"2024-05-24", "2024-05-10"};
    QTest::newRow("0100001") << QStringList{leaf(tag, "0100001")} << "2024-05"
                             << QStringList{"2024-05-07", "2024-05-02"};
    QTest::newRow("two lines, one day twice")
        << QStringList{leaf(tag, "0100000000000000000000000000000"),
                       leaf(tag, "0100000000000000000000000000001")}
        << "2024-05" << QStringList{"2024-05-31", "2024-05-02"};
    QTest::newRow("February has 29 days")
        << QStringList{leaf(tag, QString(31, QLatin1Char('1')))} << "2024-02" << [] {
               QStringList d;
               for (int i = 29; i >= 1; --i)
                   d << QStringLiteral("2024-02-%1").arg(i, 2, 10, QLatin1Char('0'));
               return d;
           }();
    QTest::newRow("a hostile calendar stays within the month")
        << QStringList{leaf(tag, QString(5000, QLatin1Char('1')))} << "2024-04" << [] {
               QStringList d;
               for (int i = 30; i >= 1; --i)
                   d << QStringLiteral("2024-04-%1").arg(i, 2, 10, QLatin1Char('0'));
               return d;
           }();
    QTest::newRow("no calendar") << QStringList{leaf("Api_Result", "15", 4)} << "2024-05"
                                 << QStringList{};
}

void TestSelfHistory::calendarDays() {
    QFETCH(QStringList, lines);
    QFETCH(QString, month);
    QFETCH(QStringList, days);
    QCOMPARE(viewer::ReadCalendarDays(lines, month), days);
}

void TestSelfHistory::dayDepartment_data() {
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("day");
    QTest::addColumn<QString>("department");
    const QStringList one = fixture(QStringLiteral("medicalgetv2_class01.xml"));
    const QStringList two = fixture(QStringLiteral("medicalgetv2_class01_two_departments.xml"));
    // ORCA lists the whole month: the department is the visit's of that day.
    QTest::newRow("same department") << one << "2024-05-24"
                                     << "01";
    QTest::newRow("first visit's day") << two << "2024-05-10"
                                       << "01";
    QTest::newRow("second visit in another department") << two << "2024-05-24"
                                                        << "11";
    QTest::newRow("day without a visit: the first") << two << "2024-05-17"
                                                    << "01";
    QTest::newRow("no visits") << QStringList{leaf("Api_Result", "15", 4)} << "2024-05-10"
                               << "";
}

void TestSelfHistory::dayDepartment() {
    QFETCH(QStringList, lines);
    QFETCH(QString, day);
    QFETCH(QString, department);
    QCOMPARE(viewer::ReadDayDepartment(lines, day), department);
}

void TestSelfHistory::drugsOfRealAnswer() {
    // Procedures, the prescription fee and the dosage comment are no drugs.
    const QList<TSelfDrug> drugs =
        viewer::ReadSelfDrugs(fixture(QStringLiteral("medicalgetv2_class02.xml")));
    QCOMPARE(drugs.size(), 1);
    QCOMPARE(drugs.at(0).Name, QStringLiteral("アムロジピン錠５ｍｇ「ＯＲＣ」"));
    QCOMPARE(drugs.at(0).Suryo, QStringLiteral("1"));
    QCOMPARE(drugs.at(0).Tani, QStringLiteral("錠"));
    QCOMPARE(drugs.at(0).Days, 28);
    QCOMPARE(drugs.at(0).MedClass, QStringLiteral("210"));
}

void TestSelfHistory::drugLineRules() {
    const QStringList lines{
        leaf("Medical_Class", " 210 "), leaf("Medical_Class_Number", "14"),
        // a drug: class and number hold for the next codes too
        leaf("Medication_Code", "620000001"), leaf("Medication_Name", "　薬Ａ"),
        leaf("Medication_Number", " 2 "), leaf("Unit_Code_Name", "錠"),
        // no unit line: not listed
        leaf("Medication_Code", "620000002"), leaf("Medication_Name", "薬Ｂ"),
        leaf("Medication_Number", "1"),
        // the name belongs to the code before: a new code without a name is not listed
        leaf("Medication_Code", "620000003"), leaf("Unit_Code_Name", "錠"),
        // not a drug code
        leaf("Medication_Code", "840000001"), leaf("Medication_Name", "コメント"),
        leaf("Unit_Code_Name", "回"),
        // a class number that is no number counts 0 days
        leaf("Medical_Class", "230"), leaf("Medical_Class_Number", "1x"),
        leaf("Medication_Code", "620000004"), leaf("Medication_Name", "薬Ｃ"),
        leaf("Unit_Code_Name", "枚")};
    const QList<TSelfDrug> drugs = viewer::ReadSelfDrugs(lines);
    QCOMPARE(drugs.size(), 2);
    // Trimmed of blanks only: the ideographic space stays.
    QCOMPARE(drugs.at(0).Name, QStringLiteral("　薬Ａ"));
    QCOMPARE(drugs.at(0).Suryo, QStringLiteral("2"));
    QCOMPARE(drugs.at(0).MedClass, QStringLiteral("210"));
    QCOMPARE(drugs.at(0).Days, 14);
    QCOMPARE(drugs.at(1).Name, QStringLiteral("薬Ｃ"));
    QCOMPARE(drugs.at(1).Suryo, QString());
    QCOMPARE(drugs.at(1).Days, 0);
    QCOMPARE(drugs.at(1).MedClass, QStringLiteral("230"));
}

void TestSelfHistory::dayBlock_data() {
    QTest::addColumn<QList<TSelfDrug>>("drugs");
    QTest::addColumn<QStringList>("block");
    QTest::newRow("14, 14 and a single application")
        << QList<TSelfDrug>{{"内服薬", "1", "錠", 14, "210"},
                            {"外用薬", "1", "本", 1, "230"},
                            {"頓服薬", "2", "回", 14, "220"}}
        << QStringList{"2024.05.20", "内服薬　1錠", "頓服薬　2回", "　　14日分", "外用薬　1本"};
    QTest::newRow("internal medicine for one day")
        << QList<TSelfDrug>{{"内服薬", "3", "錠", 1, "210"}}
        << QStringList{"2024.05.20", "内服薬　3錠", "　　1日分"};
    QTest::newRow("blank quantity") << QList<TSelfDrug>{{"塗り薬", " ", "g", 7, "230"}}
                                    << QStringList{"2024.05.20", "塗り薬", "　　7日分"};
    QTest::newRow("most days first, then no days")
        << QList<TSelfDrug>{{"Ａ", "1", "錠", 0, "210"},
                            {"Ｂ", "1", "錠", 7, "210"},
                            {"Ｃ", "1", "錠", 28, "210"}}
        << QStringList{"2024.05.20", "Ｃ　1錠", "　　28日分", "Ｂ　1錠", "　　7日分", "Ａ　1錠"};
    QTest::newRow("a one-character class is not 21")
        << QList<TSelfDrug>{{"Ｄ", "1", "個", 1, "2"}} << QStringList{"2024.05.20", "Ｄ　1個"};
    QTest::newRow("no drugs") << QList<TSelfDrug>{} << QStringList{};
}

void TestSelfHistory::dayBlock() {
    QFETCH(QList<TSelfDrug>, drugs);
    QFETCH(QStringList, block);
    QCOMPARE(viewer::SelfDayBlock(QStringLiteral("2024-05-20"), drugs), block);
}

QTEST_GUILESS_MAIN(TestSelfHistory)
#include "test_selfhistory.moc"
