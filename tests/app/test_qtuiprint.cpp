// The real print job of the UI seam where no printer can be reached: nothing
// is drawn, the caller learns that nothing was printed, and the log says why.
#include "app/QtUi.h"
#include "core/CoreSource.h"
#include "tests/support/TestEnv.h"

#include <QTest>

class TestQtUiPrint : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void noDefaultPrinter();
};

void TestQtUiPrint::initTestCase() {
    // A print system that cannot be reached has no default printer; this
    // test never reaches a real one.
    qputenv("CUPS_SERVER", QFile::encodeName(QDir::tempPath()) + "/minatori-no-cups.sock");
    MakeTestAppDir(QStringLiteral("qtuiprint"));
    ResetLogPathForTesting();
}

void TestQtUiPrint::noDefaultPrinter() {
    QtUi ui;
    int painted = 0;
    const bool printed = ui.printJob(QStringLiteral("お薬手帳"), [&painted](QPaintDevice *) {
        ++painted;
        return true;
    });
    QVERIFY(!printed);
    QCOMPARE(painted, 0);
    QVERIFY(ReadLogMessages(LogFilePath()).contains(QStringLiteral("Print: no default printer")));
}

QTEST_MAIN(TestQtUiPrint)
#include "test_qtuiprint.moc"
