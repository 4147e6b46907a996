// The other-institution text: which prescriptions it shows in the overview and
// the detail, in which order, and how every line is laid out.
#include "viewer/TainText.h"

#include <QtTest>

using namespace viewer;

Q_DECLARE_METATYPE(QList<TPrescription>)

namespace {

const QString W = QStringLiteral("　"); // U+3000

TDrugItem D(const QString &name, const QString &suryo, const QString &tani, int kai) {
    return TDrugItem{name, suryo, tani, kai, QStringLiteral("21")};
}

TPrescription P(const QString &name, const QString &code, const QString &date,
                const QList<TDrugItem> &drugs = {}) {
    return TPrescription{name, code, date, drugs};
}

// One drug each, to tell prescriptions apart.
TPrescription P1(const QString &name, const QString &date, const QString &drug) {
    return P(name, QStringLiteral("1310000001"), date, {D(drug, "1", QStringLiteral("錠"), 1)});
}

QString Text(const QStringList &lines) {
    QString t;
    for (const QString &l : lines)
        t += l + QStringLiteral("\r\n");
    return t;
}

const QString kSelf = QStringLiteral("9900011");

enum Mode { Overview, OverviewAll, Detail };

} // namespace

class TainTextTest : public QObject {
    Q_OBJECT

private slots:
    void format_data();
    void format();
    void noQuantity_data();
    void noQuantity();
};

void TainTextTest::format_data() {
    QTest::addColumn<QList<TPrescription>>("list");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("filter"); // detail only
    QTest::addColumn<QDate>("today");
    QTest::addColumn<QStringList>("lines");

    const QDate may20(2024, 5, 20);

    QTest::newRow("nothing") << QList<TPrescription>{} << int(Overview) << QString() << may20
                             << QStringList{};

    QTest::newRow("one institution's day, largest day count first")
        << QList<TPrescription>{P(
               QStringLiteral("山田内科"), "1310000001", "20240501",
               {D(QStringLiteral("ロキソプロフェン錠"), "3", QStringLiteral("錠"), 7),
                D(QStringLiteral("アムロジピン錠"), "1", QStringLiteral(" 錠 "), 28),
                D(QStringLiteral("湿布"), "14", QStringLiteral("枚"), 1)})}
        << int(Overview) << QString() << may20
        << QStringList{"2024.05.01" + W + QStringLiteral("山田内科"),
                       QStringLiteral("アムロジピン錠") + W + QStringLiteral("1錠"),
                       W + W + QStringLiteral("28日分"),
                       QStringLiteral("ロキソプロフェン錠") + W + QStringLiteral("3錠"),
                       W + W + QStringLiteral("7日分"),
                       QStringLiteral("湿布") + W + QStringLiteral("14枚")};

    QTest::newRow("day counts 14, 28, 14")
        << QList<TPrescription>{P(
               "A", "1310000001", "20240501",
               {D("a14", "1", "T", 14), D("b28", "1", "T", 28), D("c14", "2", "T", 14)})}
        << int(Overview) << QString() << may20
        << QStringList{"2024.05.01" + W + "A", "b28" + W + "1T", W + W + QStringLiteral("28日分"),
                       "a14" + W + "1T",       "c14" + W + "2T", W + W + QStringLiteral("14日分")};

    QTest::newRow("day counts 0 and 1 have no day line")
        << QList<TPrescription>{P("A", "1310000001", "20240501",
                                  {D("zero", "1", "T", 0), D("one", "1", "T", 1)})}
        << int(Overview) << QString() << may20
        << QStringList{"2024.05.01" + W + "A", "one" + W + "1T", "zero" + W + "1T"};

    QTest::newRow("no quantity: blank or zero")
        << QList<TPrescription>{P("A", "1310000001", "20240501",
                                  {D("blank", " ", QStringLiteral("錠"), 1),
                                   D("empty", "", QStringLiteral("錠"), 1),
                                   D("zero", "0", QStringLiteral("錠"), 1),
                                   D("zero point", "0.0", QStringLiteral("錠"), 1),
                                   D("half", "0.5", QStringLiteral("包"), 1)})}
        << int(Overview) << QString() << may20
        << QStringList{"2024.05.01" + W + "A",
                       "blank",
                       "empty",
                       "zero",
                       "zero point",
                       "half" + W + QStringLiteral("0.5包")};

    QTest::newRow("a prescription without drugs")
        << QList<TPrescription>{P("A", "1310000001", "20240501")} << int(Overview) << QString()
        << may20 << QStringList{"2024.05.01" + W + "A"};

    QTest::newRow("institutions newest first, latest day only")
        << QList<TPrescription>{P1("B", "20240420", "b0420"), P1("A", "20240401", "a0401"),
                                P1("A", "20240510", "a0510"), P1("B", "20240301", "b0301")}
        << int(Overview) << QString() << may20
        << QStringList{"2024.05.10" + W + "A", "a0510" + W + QStringLiteral("1錠"), "",
                       "2024.04.20" + W + "B", "b0420" + W + QStringLiteral("1錠")};

    const QList<TPrescription> halfYear = {
        P1("Old", "20231130", "old"), P1("Edge", "20231201", "edge"), P1("New", "20240520", "new")};
    QTest::newRow("half year leaves out 2023-11-30 on 2024-05-20")
        << halfYear << int(Overview) << QString() << may20
        << QStringList{"2024.05.20" + W + "New", "new" + W + QStringLiteral("1錠"), "",
                       "2023.12.01" + W + "Edge", "edge" + W + QStringLiteral("1錠")};
    QTest::newRow("all periods show it")
        << halfYear << int(OverviewAll) << QString() << may20
        << QStringList{"2024.05.20" + W + "New",  "new" + W + QStringLiteral("1錠"),  "",
                       "2023.12.01" + W + "Edge", "edge" + W + QStringLiteral("1錠"), "",
                       "2023.11.30" + W + "Old",  "old" + W + QStringLiteral("1錠")};
    QTest::newRow("half year counted by months from the 31st")
        << QList<TPrescription>{P1("Feb", "20240201", "feb"), P1("Jan", "20240131", "jan")}
        << int(Overview) << QString() << QDate(2024, 7, 31)
        << QStringList{"2024.02.01" + W + "Feb", "feb" + W + QStringLiteral("1錠")};

    QTest::newRow("same institution and day, adjacent: one heading with the name")
        << QList<TPrescription>{P1("A", "20240501", "first"), P1("A", "20240501", "second")}
        << int(Overview) << QString() << may20
        << QStringList{"2024.05.01" + W + "A", "first" + W + QStringLiteral("1錠"), "2024.05.01",
                       "second" + W + QStringLiteral("1錠")};

    QTest::newRow("another institution's day between them: the name again")
        << QList<TPrescription>{P1("A", "20240501", "first"), P1("B", "20240501", "other"),
                                P1("A", "20240501", "second")}
        << int(Overview) << QString() << may20
        << QStringList{"2024.05.01" + W + "A", "first" + W + QStringLiteral("1錠"), "",
                       "2024.05.01" + W + "B", "other" + W + QStringLiteral("1錠"), "",
                       "2024.05.01" + W + "A", "second" + W + QStringLiteral("1錠")};

    QTest::newRow("latest day per name, letter case ignored")
        << QList<TPrescription>{P1("abc", "20240501", "lower"), P1("ABC", "20240401", "upper")}
        << int(Overview) << QString() << may20
        << QStringList{"2024.05.01" + W + "abc", "lower" + W + QStringLiteral("1錠")};

    QTest::newRow("own and pharmacy prescriptions never in the overview")
        << QList<TPrescription>{P("Own", "1319900011", "20240510", {D("own", "1", "T", 1)}),
                                P("Pharmacy", "1340987654", "20240509", {D("ph", "1", "T", 1)}),
                                P1("A", "20240501", "a")}
        << int(Overview) << QString() << may20
        << QStringList{"2024.05.01" + W + "A", "a" + W + QStringLiteral("1錠")};

    QTest::newRow("detail: every day, newest first, dates alone")
        << QList<TPrescription>{P1("A", "20240401", "april"), P1("B", "20240415", "other"),
                                P1("A", "20240501", "may")}
        << int(Detail) << QStringLiteral("A") << may20
        << QStringList{"2024.05.01", "may" + W + QStringLiteral("1錠"), "", "2024.04.01",
                       "april" + W + QStringLiteral("1錠")};

    QTest::newRow("detail: equal dates as the exchange sort leaves them")
        << QList<TPrescription>{P1("K", "20240401", "p"), P1("K", "20240401", "q"),
                                P1("K", "20240501", "r")}
        << int(Detail) << QStringLiteral("K") << may20
        << QStringList{"2024.05.01",
                       "r" + W + QStringLiteral("1錠"),
                       "",
                       "2024.04.01",
                       "q" + W + QStringLiteral("1錠"),
                       "2024.04.01",
                       "p" + W + QStringLiteral("1錠")};

    QTest::newRow("detail: the clinic's own days shown, pharmacy codes not, names trimmed")
        << QList<TPrescription>{P("Own ", "1319900011", "20240510", {D("own", "1", "T", 1)}),
                                P("Own", "1340987654", "20240509", {D("ph", "1", "T", 1)})}
        << int(Detail) << QStringLiteral(" Own") << may20
        << QStringList{"2024.05.10", "own" + W + "1T"};

    QTest::newRow("a one-digit day stays one character")
        << QList<TPrescription>{P("A", "1310000001", "2024035")} << int(Detail)
        << QStringLiteral("A") << may20 << QStringList{"2024.03.5"};
}

void TainTextTest::format() {
    QFETCH(QList<TPrescription>, list);
    QFETCH(int, mode);
    QFETCH(QString, filter);
    QFETCH(QDate, today);
    QFETCH(QStringList, lines);
    const QString text =
        mode == Detail
            ? FormatTainText(list, filter, QString(), false, false, true, today)
            : FormatTainText(list, QString(), kSelf, true, mode == Overview, false, today);
    QCOMPARE(text.split(QStringLiteral("\r\n")), (Text(lines)).split(QStringLiteral("\r\n")));
    QCOMPARE(text, Text(lines));
}

void TainTextTest::noQuantity_data() {
    QTest::addColumn<QString>("suryo");
    QTest::addColumn<bool>("none");
    QTest::newRow("empty") << "" << true;
    QTest::newRow("blanks") << "  " << true;
    QTest::newRow("0") << "0" << true;
    QTest::newRow("0.000") << "0.000" << true;
    QTest::newRow("blank-padded 0") << " 0" << true;
    QTest::newRow("1") << "1" << false;
    QTest::newRow("0.25") << "0.25" << false;
    QTest::newRow("not a number") << QStringLiteral("適量") << false;
    QTest::newRow("full-width space") << QStringLiteral("　") << false;
}

void TainTextTest::noQuantity() {
    QFETCH(QString, suryo);
    QFETCH(bool, none);
    QCOMPARE(IsNoQuantity(suryo), none);
}

QTEST_APPLESS_MAIN(TainTextTest)
#include "test_taintext.moc"
