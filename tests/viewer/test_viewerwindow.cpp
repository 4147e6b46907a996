// The viewer window as a whole against the stand-in: opening, settings, day
// navigation, list mode, the refresh timer, closing, and the window staying
// alive while a request is slow.
#include "app/Startup.h"
#include "core/CoreSource.h"
#include "orca/OrcaHttp.h"
#include "tests/support/ScriptedUi.h"
#include "tests/support/StandinServer.h"
#include "tests/support/TestEnv.h"
#include "tests/viewer/ViewerFixture.h"
#include "viewer/DrugInfo.h"
#include "viewer/StringGrid.h"
#include "viewer/ViewerClock.h"

#include <QLabel>
#include <QTest>

class TestViewerWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void opensOnTodaysList();

private:
    StandinServer m_server;
};

void TestViewerWindow::initTestCase() {
    OrcaGlobalInit();
    RegisterJapaneseFonts();
    StandinOptions o;
    o.demo = true;
    QString error;
    QVERIFY2(m_server.start(o, &error), qPrintable(error));
}

void TestViewerWindow::init() {
    MakeTestAppDir(QStringLiteral("viewerwindow"));
    m_server.resetControl();
}

void TestViewerWindow::cleanup() {
    viewer::ResetClockForTesting();
}

void TestViewerWindow::opensOnTodaysList() {
    ScriptedUi ui;
    fixture::WriteIni(fixture::StandinSettings(m_server.baseUrl()));
    TfrmDrugInfo viewer;
    fixture::OpenViewer(viewer);
    QVERIFY(fixture::WaitForMarks(viewer));
    QVERIFY(fixture::ListedIds(viewer).size() > 5);
    fixture::Grab(&viewer, QStringLiteral("viewer-open"));
}

QTEST_MAIN(TestViewerWindow)
#include "test_viewerwindow.moc"
