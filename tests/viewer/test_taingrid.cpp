// What the institution history grid holds: its rows, month columns and marks.
#include "viewer/TainGrid.h"

#include <QtTest>

using namespace viewer;

namespace {

TPrescription P(const QString &name, const QString &code, const QString &date) {
    return TPrescription{name, code, date, {}};
}

// The grid as text rows: the month captions, then one "name:mark,mark,..."
// per row, so that a table row reads like the grid itself.
QStringList Render(const TTainGridContent &g) {
    QStringList captions;
    for (const QString &m : g.Months)
        captions << MonthColumnCaption(m);
    QStringList out = {captions.join(QLatin1Char(','))};
    QStringList names = g.Institutions;
    if (g.CheckupRow)
        names << kCheckupRowName;
    for (qsizetype r = 0; r < names.size(); ++r)
        out << names.at(r) + QLatin1Char(':') + g.Marks.at(r).join(QLatin1Char(','));
    return out;
}

const QString kSelf = QStringLiteral("9900011");

} // namespace

Q_DECLARE_METATYPE(TTainGridInput)

class TainGridTest : public QObject {
    Q_OBJECT

private slots:
    void grid_data();
    void grid();
    void captions();
};

void TainGridTest::grid_data() {
    QTest::addColumn<TTainGridInput>("input");
    QTest::addColumn<QStringList>("expected");

    TTainGridInput none;
    none.SelfInstCd = kSelf;
    QTest::newRow("no data: no rows, no months") << none << QStringList{""};

    TTainGridInput both = none;
    both.Prescriptions = {P(QStringLiteral("山田内科"), "1310000001", "20240510")};
    both.InstMonthMap = {QStringLiteral("山田内科|2024-05"), QStringLiteral("山田内科|2024-03")};
    QTest::newRow("○ beats *; * alone where no prescription")
        << both << QStringList{"24/05,24/03", QStringLiteral("山田内科:○,*")};

    TTainGridInput med = none;
    med.MedInstMonths = {QStringLiteral("東都中央病院=2024-03"), QStringLiteral("やまだ=2024-04"),
                         QStringLiteral("区民見本歯科=2024-02"), QStringLiteral("区切りなし")};
    med.InstMonthMap = {QStringLiteral("さくら薬局|2024-01")};
    QTest::newRow("named only: the name must look like an institution's")
        << med
        << QStringList{"24/03,24/02", QStringLiteral("東都中央病院:*,"),
                       QStringLiteral("区民見本歯科:,*")};

    TTainGridInput kinds = none;
    kinds.Prescriptions = {P(QStringLiteral("さくら調剤薬局"), "1340987654", "20240509"),
                           P(QStringLiteral("みなと見本クリニック"), "1319900011", "20240601"),
                           P(QStringLiteral("みどり整形外科医院"), "1310765432", "20240415")};
    QTest::newRow("pharmacy code: a row without marks; the clinic's own: nothing")
        << kinds
        << QStringList{"24/05,24/04", QStringLiteral("さくら調剤薬局:,"),
                       QStringLiteral("みどり整形外科医院:,○")};

    TTainGridInput rowOrder = none;
    rowOrder.Prescriptions = {P("B", "1310000002", "20240401"), P("A", "1310000001", "20240501"),
                              P("b", "1310000002", "20240501")};
    rowOrder.InstMonthMap = {QStringLiteral("Ｃ内科|2023-12")};
    QTest::newRow("rows in order of first appearance, names once regardless of case")
        << rowOrder
        << QStringList{"24/05,24/04,23/12", "B:,○,", "A:○,,", QStringLiteral("Ｃ内科:,,*")};

    TTainGridInput tkk = both;
    tkk.TkkDates = {"2023-10-12", "2023-10-30", "2022-09-30"};
    tkk.CheckupPdf = {true, "2021-01"}; // not consulted: ORCA's dates win
    QTest::newRow("checkups from ORCA: one T per month")
        << tkk
        << QStringList{"24/05,24/03,23/10,22/09", QStringLiteral("山田内科:○,*,,"),
                       QStringLiteral("特定健診:,,T,T")};

    TTainGridInput pdf = both;
    pdf.CheckupPdf = {true, "2024-03"};
    QTest::newRow("checkup from the saved PDF")
        << pdf
        << QStringList{"24/05,24/03", QStringLiteral("山田内科:○,*"),
                       QStringLiteral("特定健診:,T")};

    TTainGridInput onlyCheckup = none;
    onlyCheckup.TkkDates = {"2023-06-15"};
    QTest::newRow("a checkup and nothing else")
        << onlyCheckup << QStringList{"23/06", QStringLiteral("特定健診:T")};
}

void TainGridTest::grid() {
    QFETCH(TTainGridInput, input);
    QFETCH(QStringList, expected);
    QCOMPARE(Render(BuildTainGrid(input)), expected);
}

void TainGridTest::captions() {
    QCOMPARE(MonthColumnCaption("2024-05"), QStringLiteral("24/05"));
    QCOMPARE(MonthColumnCaption("2024/05"), QStringLiteral("2024/05"));
    QCOMPARE(MonthColumnCaption("202405"), QStringLiteral("202405"));
    QCOMPARE(MonthColumnCaption(""), QString());
}

QTEST_APPLESS_MAIN(TainGridTest)
#include "test_taingrid.moc"
