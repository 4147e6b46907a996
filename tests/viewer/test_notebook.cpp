// The notebook printout without a printer: date lines and their completion,
// the clinic's own name, the page geometry, wrapping and page breaks. Widths
// come from a measuring rule of 10 pixels per UTF-16 unit.
#include "viewer/Notebook.h"
#include "viewer/TainTypes.h"

#include <QTest>

namespace {

int tenPerUnit(const QString &s) {
    return 10 * static_cast<int>(s.size());
}

viewer::TNotebookGeometry columnOf(int textWidth, int indent = 10) {
    viewer::TNotebookGeometry g;
    g.margin = 5;
    g.textWidth = textWidth;
    g.indent = indent;
    g.lineHeight = 10;
    g.bottom = 1000;
    return g;
}

} // namespace

class TestNotebook : public QObject {
    Q_OBJECT
private slots:
    void dateLine_data();
    void dateLine();
    void completion();
    void nothingToPrint();
    void selfInstitutionName();
    void geometry();
    void wrap_data();
    void wrap();
    void pages();
};

void TestNotebook::dateLine_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("isDate");
    QTest::newRow("date") << "2024.05.20" << true;
    QTest::newRow("blanks around") << "  2024.05.20\t" << true;
    QTest::newRow("hyphens") << "2024-05-20" << false;
    QTest::newRow("short month") << "2024.5.20" << false;
    QTest::newRow("letter") << "2024.05.2a" << false;
    QTest::newRow("full-width digits") << "２０２４.05.20" << false;
    QTest::newRow("ideographic space is kept") << "2024.05.20　" << false;
    QTest::newRow("with a name") << "2024.05.20　みなと見本クリニック" << false;
    QTest::newRow("days line") << "　　14日分" << false;
}

void TestNotebook::dateLine() {
    QFETCH(QString, line);
    QFETCH(bool, isDate);
    QCOMPARE(viewer::IsNotebookDateLine(line), isDate);
}

void TestNotebook::completion() {
    const QStringList text{" 2024.05.20 ", "アムロジピン錠５ｍｇ　1錠", "　　28日分", "",
                           "2024.04.22"};
    QCOMPARE(viewer::NotebookPrintLines(text, QStringLiteral("みなと見本クリニック")),
             (QStringList{"2024.05.20　みなと見本クリニック", "アムロジピン錠５ｍｇ　1錠",
                          "　　28日分", "", "2024.04.22　みなと見本クリニック"}));
    // Without a name every line stays as it is, blanks included.
    QCOMPARE(viewer::NotebookPrintLines(text, QString()), text);
}

void TestNotebook::nothingToPrint() {
    QVERIFY(viewer::IsNothingToPrint({}));
    QVERIFY(viewer::IsNothingToPrint({"", " ", "\t", ""}));
    QVERIFY(!viewer::IsNothingToPrint({"", "2024.05.20"}));
    // The system's trim keeps U+3000: such a text is printed.
    QVERIFY(!viewer::IsNothingToPrint({"　"}));
}

void TestNotebook::selfInstitutionName() {
    auto presc = [](const QString &name, const QString &code) {
        TPrescription p;
        p.InstitutionName = name;
        p.InstitutionCd = code;
        return p;
    };
    const QList<TPrescription> list{
        presc("あおば見本薬局", "1340100018"), presc("みどり台内科クリニック", "1310100011"),
        presc(" ", "1319900011"), presc(" みなと見本クリニック", "1319900011"),
        presc("別の名", "1319900011")};
    // The first one of this clinic with a name, untrimmed.
    QCOMPARE(viewer::SelfInstitutionName(list, "9900011"), QStringLiteral(" みなと見本クリニック"));
    QCOMPARE(viewer::SelfInstitutionName(list, "1319900011"),
             QStringLiteral(" みなと見本クリニック"));
    // A code shorter than the clinic's never matches; no clinic code, no name.
    QCOMPARE(viewer::SelfInstitutionName({presc("名", "9900011")}, "139900011"), QString());
    QCOMPARE(viewer::SelfInstitutionName(list, QString()), QString());
    QCOMPARE(viewer::SelfInstitutionName(list, "7777777"), QString());
}

void TestNotebook::geometry() {
    // A4 at 300 dpi: 3 mm = 35.4 px, 80 mm = 944.9 px.
    viewer::TNotebookGeometry g = viewer::NotebookGeometry(300, 2480, 3508, 38, 40);
    QCOMPARE(g.margin, 35);
    QCOMPARE(g.textWidth, 945);
    QCOMPARE(g.indent, 38);
    QCOMPARE(g.lineHeight, 46);
    QCOMPARE(g.bottom, 3508 - 35 - 46);
    // A 76 mm roll at 600 dpi: the text width shrinks to the page less both margins.
    g = viewer::NotebookGeometry(600, 1795, 5000, 75, 79);
    QCOMPARE(g.margin, 71);
    QCOMPARE(g.textWidth, 1795 - 2 * 71);
    QCOMPARE(g.lineHeight, 91);
}

void TestNotebook::wrap_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("width");
    QTest::addColumn<QStringList>("pieces");
    QTest::newRow("fits") << "あいうえお" << 50 << QStringList{"あいうえお"};
    // Continuation pieces start one indent further right and end at the column.
    QTest::newRow("continuation is narrower")
        << "あいうえおかきくけこさ" << 50 << QStringList{"あいうえお", "かきく", "けこさ"};
    QTest::newRow("leading blanks stay") << "　　14日分" << 100 << QStringList{"　　14日分"};
    // A surrogate pair is one character: it moves whole to the next piece.
    QTest::newRow("surrogate pair") << "ああああ𠮷い" << 50 << QStringList{"ああああ", "𠮷い"};
    // A base with its ideographic variation selector stays together.
    QTest::newRow("variation selector")
        << QString::fromUtf8("あああ葛\xF3\xA0\x84\x80") << 40
        << QStringList{"あああ", QString::fromUtf8("葛\xF3\xA0\x84\x80")};
    QTest::newRow("emoji variation selector")
        << QString::fromUtf8("あああ\xE2\x9D\xA4\xEF\xB8\x8F") << 40
        << QStringList{"あああ", QString::fromUtf8("\xE2\x9D\xA4\xEF\xB8\x8F")};
    QTest::newRow("combining voiced mark")
        << QString::fromUtf8("あああか\xE3\x82\x99") << 40
        << QStringList{"あああ", QString::fromUtf8("か\xE3\x82\x99")};
    // A character wider than the column still prints, on a piece of its own.
    QTest::newRow("wider than the column") << "ああ" << 5 << QStringList{"あ", "あ"};
}

void TestNotebook::wrap() {
    QFETCH(QString, line);
    QFETCH(int, width);
    QFETCH(QStringList, pieces);
    QCOMPARE(viewer::WrapNotebookLine(line, columnOf(width, 20), tenPerUnit), pieces);
}

void TestNotebook::pages() {
    // Lines 10 apart from y = 5; a line may start at y <= 35, so four per page.
    viewer::TNotebookGeometry g = columnOf(100);
    g.bottom = 35;
    const QStringList lines{"2024.05.20", "", "", "", "", "あいうえおかきくけこさし",
                            "",           "", "", "", ""};
    const QList<viewer::TNotebookPiece> pieces = viewer::LayoutNotebook(lines, g, tenPerUnit);
    QCOMPARE(pieces.size(), 3);
    auto at = [&](int i) {
        const viewer::TNotebookPiece &p = pieces.at(i);
        return QStringLiteral("%1@%2,%3,%4").arg(p.text).arg(p.page).arg(p.x).arg(p.y);
    };
    QCOMPARE(at(0), QStringLiteral("2024.05.20@0,5,5"));
    // Four empty lines: three on the first page, the fourth crosses the break.
    QCOMPARE(at(1), QStringLiteral("あいうえおかきくけこ@1,5,15"));
    QCOMPARE(at(2), QStringLiteral("さし@1,15,25"));
    // The trailing empty lines run past the end of page 1 but print no page.
    for (const viewer::TNotebookPiece &p : pieces)
        QVERIFY(p.page <= 1);
}

QTEST_GUILESS_MAIN(TestNotebook)
#include "test_notebook.moc"
