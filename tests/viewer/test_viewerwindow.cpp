// The viewer window as a whole against the stand-in over loopback: opening,
// settings, day navigation, list mode, the reception list and its cache, the
// refresh timer, the marks, closing, and the window staying alive while a
// request is slow. Requests are read from the stand-in's log.
#include "app/Startup.h"
#include "core/CoreSource.h"
#include "dialogs/Contact.h"
#include "markcheck/TainMarkCheck.h"
#include "orca/OrcaHttp.h"
#include "tests/support/ScriptedUi.h"
#include "tests/support/StandinServer.h"
#include "tests/support/TestEnv.h"
#include "tests/viewer/ViewerData.h"
#include "tests/viewer/ViewerFixture.h"
#include "viewer/DrugInfo.h"
#include "viewer/StringGrid.h"
#include "viewer/ViewerClock.h"

#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyle>
#include <QTest>
#include <QTimeZone>
#include <QTimer>

using viewerdata::kDoubleCircle;

namespace {

const QString kNotConfigured = QStringLiteral("WebORCAの設定がされていません。設定してください。");

QString dayText(int offset) {
    return QDate::currentDate().addDays(offset).toString(QStringLiteral("yyyy-MM-dd"));
}

// The Acceptance_Date of every reception-list request, in order.
QStringList listRequests(StandinServer &server) {
    static const QRegularExpression date(
        QStringLiteral("<Acceptance_Date type=\"string\">([^<]*)<"));
    QStringList out;
    for (const QJsonValue &v : server.requests()) {
        const QJsonObject r = v.toObject();
        if (r.value(QStringLiteral("path")).toString().endsWith(QStringLiteral("acceptlstv2")))
            out << date.match(r.value(QStringLiteral("body")).toString()).captured(1);
    }
    return out;
}

int countPath(StandinServer &server, const QString &tail) {
    int n = 0;
    for (const QString &p : fixture::RequestPaths(server))
        n += p.startsWith(tail) ? 1 : 0;
    return n;
}

QStringList column(const TfrmDrugInfo &v, int col) {
    QStringList out;
    for (int r = 1; r < v.GridPatient->RowCount(); ++r)
        out << v.GridPatient->Cells(col, r);
    return out;
}

// An error box that stays open for a while, as a user reading it would.
class SlowErrorUi : public ScriptedUi {
public:
    int open = 0;
    int maxOpen = 0;
    int boxes = 0;
    void errorBox(QObject *owner, const QString &text) override {
        ScriptedUi::errorBox(owner, text);
        ++boxes;
        maxOpen = qMax(maxOpen, ++open);
        QEventLoop loop;
        QTimer::singleShot(700, &loop, &QEventLoop::quit);
        loop.exec();
        --open;
    }
};

} // namespace

class TestViewerWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void opensWithoutConnection();
    void opensOnTodaysList();
    void layoutAndControls();
    void refreshSetting_data();
    void refreshSetting();
    void dayButtons();
    void failedDayChangeEmptiesTheList_data();
    void failedDayChangeEmptiesTheList();
    void noAcceptancesThatDay();
    void listModeKeepsTheSelectedPatient();
    void listModeDropsAPatientNoLongerListed();
    void timerConditions();
    void timerTicksWaitForARunningSequence();
    void refreshErrorBoxIsNeverStacked();
    void marksCachedForThirtyMinutes();
    void windowRepaintsWhileARequestIsSlow();
    void closeWaitsForTheRunningSequence();
    void closeWhileAMarkRequestHangs();
    void escapeDoesNotClose();
    void unreadableCacheStopsTheLoadWithAnErrorBox();
    void settingsDialogReloadsSettingsOnly();
    void demoScreenshot();

private:
    void open(TfrmDrugInfo &v, const QMap<QString, QString> &extra = {});
    StandinServer m_server;
    QString m_dir;
};

void TestViewerWindow::initTestCase() {
    OrcaGlobalInit();
    RegisterJapaneseFonts();
    QString error;
    QVERIFY2(m_server.start(StandinOptions(), &error), qPrintable(error));
    QVERIFY(viewerdata::Load(m_server));
}

void TestViewerWindow::init() {
    m_dir = MakeTestAppDir(QString::fromLatin1(QTest::currentTestFunction()));
    m_server.resetControl();
}

void TestViewerWindow::cleanup() {
    viewer::ResetClockForTesting();
}

void TestViewerWindow::open(TfrmDrugInfo &v, const QMap<QString, QString> &extra) {
    QMap<QString, QString> ini = fixture::StandinSettings(m_server.baseUrl());
    for (auto it = extra.cbegin(); it != extra.cend(); ++it)
        ini[it.key()] = it.value();
    fixture::WriteIni(ini);
    v.SetMarkTimeouts(3000, 3000);
    fixture::OpenViewer(v);
}

void TestViewerWindow::opensWithoutConnection() {
    ScriptedUi ui;
    fixture::WriteIni({{QStringLiteral("PARAMA/URL"), QStringLiteral("   ")}});
    TfrmDrugInfo v;
    fixture::OpenViewer(v);
    QCOMPARE(v.GridPatient->RowCount(), 2);
    QVERIFY(fixture::ListedIds(v).isEmpty());
    QVERIFY(ui.callsOf(QStringLiteral("messageBox")).isEmpty());
    QVERIFY(m_server.requests().isEmpty());

    v.BtnPrevDay->click();
    QCOMPARE(ui.callsOf(QStringLiteral("messageBox")).size(), 1);
    QCOMPARE(ui.callsOf(QStringLiteral("messageBox"))[0].text, kNotConfigured);
    QCOMPARE(ui.callsOf(QStringLiteral("messageBox"))[0].icon, platform::MsgIcon::Warning);
    // The timer stays silent.
    v.TimerRefreshTimer();
    QCOMPARE(ui.callsOf(QStringLiteral("messageBox")).size(), 1);
    QVERIFY(m_server.requests().isEmpty());
}

void TestViewerWindow::opensOnTodaysList() {
    ScriptedUi ui;
    TfrmDrugInfo v;
    open(v);
    QCOMPARE(listRequests(m_server), QStringList{dayText(0)});
    QCOMPARE(v.LabelDate->text(), viewer::Today().toString(QStringLiteral("yyyy年MM月dd日")));
    QCOMPARE(v.LabelListState->text(), QStringLiteral("全て"));
    QCOMPARE(v.BtnKaikeiMi->text(), QStringLiteral("受付中"));
    // Accepted twice: listed once, with the first record's name; a blank name stays blank.
    QCOMPARE(fixture::ListedIds(v), QStringList({"00001", "00003", "00002", "00004"}));
    QCOMPARE(column(v, 0), QStringList({"1", "2", "3", "4"}));
    QCOMPARE(column(v, 2), QStringList({"見本 太郎", "架空 一郎", "見本 花子", ""}));

    QVERIFY(fixture::WaitForMarks(v));
    QCOMPARE(column(v, 3), QStringList({kDoubleCircle, "", "T", ""}));
    // Each listed patient was checked once.
    QCOMPARE(countPath(m_server, QStringLiteral("api01rv2/onlinespecgetv2")), 4);

    // Every record went into the cache once, with its first name; the blank name did not.
    QFile cache(m_dir + QStringLiteral("PatientCache.csv"));
    QVERIFY(cache.open(QIODevice::ReadOnly));
    QCOMPARE(cache.readAll(),
             QByteArray("\xEF\xBB\xBF"
                        "00001,見本 太郎\r\n00003,架空 一郎\r\n00002,見本 花子\r\n"));
    QVERIFY(ui.callsOf(QStringLiteral("messageBox")).isEmpty());
}

void TestViewerWindow::layoutAndControls() {
    ScriptedUi ui;
    fixture::WriteIni({});
    TfrmDrugInfo v;
    fixture::OpenViewer(v);
    QCOMPARE(v.windowTitle(), QStringLiteral("ミナトリ"));
    for (const char *name :
         {"PanelLeft",        "PanelSearch",      "ComboBoxSearch",  "EditSearch",
          "BtnSearch",        "BtnPDFY",          "BtnPDFT",         "LabelDate",
          "Label1",           "Label2",           "LabelAge",        "PanelDateNav",
          "LabelListState",   "BtnKaikeiMi",      "BtnPrevDay",      "BtnNextDay",
          "BtnToday",         "BtnClose",         "GridPatient",     "PanelMain",
          "PanelTopGrid",     "LabelJusinreki",   "GridInstitution", "PanelBottom",
          "PanelBottomLeft",  "PanelSelfHeader",  "LabelSelfTitle",  "LabelSelfMonth",
          "BtnSelfPrevMonth", "BtnSelfNextMonth", "BtnSelfAll",      "BtnSelfPrint",
          "MemoSelf",         "PanelBottomRight", "PanelRightNav",   "BtnCopy",
          "BtnPrint",         "BtnBack",          "LabelTainName",   "BtnTainAll",
          "LabelTainMonth",   "MemoTain",         "MenuWebORCA",     "MenuExportTkk",
          "MenuVersion",      "TimerRefresh"})
        QVERIFY2(v.findChild<QObject *>(QLatin1String(name)), name);
    QCOMPARE(v.PanelLeft->width(), v.ScaleToDpi(350));
    QCOMPARE(v.PanelSearch->height(), v.ScaleToDpi(90));
    QCOMPARE(v.PanelBottomLeft->width(), v.ScaleToDpi(400));
    QCOMPARE(v.BtnSearch->geometry(), QRect(220, 8, 60, 25));
    // The own-clinic pane's header (96 dpi offscreen).
    const struct {
        QWidget *control;
        QRect geometry; // an empty size: the position alone
    } header[] = {
        {v.LabelSelfTitle, QRect(8, 9, 0, 0)},       {v.LabelSelfMonth, QRect(100, 9, 0, 0)},
        {v.BtnSelfPrevMonth, QRect(176, 3, 40, 25)}, {v.BtnSelfNextMonth, QRect(220, 3, 40, 25)},
        {v.BtnSelfAll, QRect(268, 3, 50, 25)},       {v.BtnSelfPrint, QRect(322, 3, 50, 25)},
    };
    for (const auto &h : header) {
        if (h.geometry.width() > 0)
            QCOMPARE(h.control->geometry(), h.geometry);
        else
            QCOMPARE(h.control->pos(), h.geometry.topLeft());
    }
    QVERIFY(v.LabelSelfMonth->geometry().right() < v.BtnSelfPrevMonth->x());
    QVERIFY(!v.BtnBack->isVisible());
    QVERIFY(v.MemoSelf->isReadOnly() && v.MemoTain->isReadOnly());
    QCOMPARE(v.GridPatient->Cells(1, 0), QStringLiteral("カルテ番号"));
    QCOMPARE(v.GridPatient->Cells(2, 0), QStringLiteral("患者氏名"));
    QCOMPARE(v.GridPatient->Cells(3, 0), QStringLiteral("マイナ"));
    QCOMPARE(v.GridInstitution->Cells(0, 0), QStringLiteral("医療機関名"));
    QCOMPARE(v.GridInstitution->ColWidth(0), v.ScaleToDpi(160));
    QVERIFY(v.GridRowHeight(v.GridPatient) >= v.ScaleToDpi(20));

    // 25 institution rows: the panel is sized for 10 and the grid scrolls.
    v.GridInstitution->SetRowCount(25);
    v.FitInstitutionGrid();
    const int h = v.GridRowHeight(v.GridInstitution);
    QCOMPARE(v.PanelTopGrid->height(), 1 + 10 * (h + 1) +
                                           v.style()->pixelMetric(QStyle::PM_ScrollBarExtent) +
                                           v.ScaleToDpi(8) + v.ScaleToDpi(30));
    QCOMPARE(v.GridInstitution->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    v.InitInstitutionGrid();
    QCOMPARE(v.GridInstitution->RowCount(), 2);
    QCOMPARE(v.GridInstitution->ColCount(), 2);
}

void TestViewerWindow::refreshSetting_data() {
    QTest::addColumn<QString>("setting");
    QTest::addColumn<int>("ms");
    QTest::newRow("5") << "5" << 10000;
    QTest::newRow("99999") << "99999" << 3600000;
    QTest::newRow("abc") << "abc" << 60000;
    QTest::newRow("blanks") << " 30 " << 30000;
}

void TestViewerWindow::refreshSetting() {
    QFETCH(QString, setting);
    QFETCH(int, ms);
    ScriptedUi ui;
    fixture::WriteIni({{QStringLiteral("PARAMA/REFRESH"), setting}});
    TfrmDrugInfo v;
    fixture::OpenViewer(v);
    QCOMPARE(v.TimerRefresh->interval(), ms);
    QVERIFY(v.TimerRefresh->isActive());
}

void TestViewerWindow::dayButtons() {
    ScriptedUi ui;
    TfrmDrugInfo v;
    open(v);
    QVERIFY(fixture::WaitForMarks(v));
    v.EditSearch->setText(QStringLiteral("123"));
    v.FSearchActive = true;
    v.BtnPrevDay->click();
    QVERIFY(v.EditSearch->text().isEmpty());
    QVERIFY(!v.FSearchActive);
    QCOMPARE(v.LabelDate->text(),
             QDate::currentDate().addDays(-1).toString(QStringLiteral("yyyy年MM月dd日")));
    QCOMPARE(fixture::ListedIds(v), QStringList{"00123"});
    QVERIFY(fixture::WaitForMarks(v));
    QCOMPARE(v.GridPatient->Cells(3, 1), kDoubleCircle + QStringLiteral("T"));
    v.BtnNextDay->click();
    v.BtnNextDay->click(); // tomorrow: an empty list
    QCOMPARE(fixture::ListedIds(v), QStringList());
    QCOMPARE(v.GridPatient->RowCount(), 2);
    v.BtnToday->click();
    QCOMPARE(listRequests(m_server),
             QStringList({dayText(0), dayText(-1), dayText(0), dayText(1), dayText(0)}));
    QCOMPARE(fixture::ListedIds(v), QStringList({"00001", "00003", "00002", "00004"}));
}

void TestViewerWindow::failedDayChangeEmptiesTheList_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("result");
    QTest::newRow("no answer") << "status" << 500 << "";
    // ORCA busy with another terminal: an answer, but no list.
    QTest::newRow("error answer") << "result" << 0 << "90";
}

void TestViewerWindow::failedDayChangeEmptiesTheList() {
    QFETCH(QString, kind);
    QFETCH(int, status);
    QFETCH(QString, result);
    ScriptedUi ui;
    TfrmDrugInfo v;
    open(v);
    QVERIFY(fixture::WaitForMarks(v));
    v.GridPatientDblClick(3); // 00002 on show
    QCOMPARE(v.FPatientID, QStringLiteral("00002"));
    m_server.resetControl();
    QVERIFY(m_server.addFault(QStringLiteral("api01rv2/acceptlstv2"), kind, -1, status, 0, result));
    // A failed refresh of the shown day keeps the list and the patient on show.
    v.TimerRefreshTimer();
    QCOMPARE(fixture::ListedIds(v).size(), 4);
    QCOMPARE(v.FPatientRow, 3);
    QCOMPARE(v.FPatientID, QStringLiteral("00002"));
    QCOMPARE(v.Label2->text(), QStringLiteral("見本 花子"));
    // A failed load of another day never shows this day's patients under it.
    v.BtnNextDay->click();
    QCOMPARE(v.LabelDate->text(),
             QDate::currentDate().addDays(1).toString(QStringLiteral("yyyy年MM月dd日")));
    QCOMPARE(fixture::ListedIds(v), QStringList());
    QCOMPARE(v.FPatientRow, -1);
    QCOMPARE(countPath(m_server, QStringLiteral("api01rv2/online")), 0); // no mark check
    QVERIFY(ui.callsOf(QStringLiteral("messageBox")).isEmpty());
    // An error answer leaves its code in the log (no answer: the transport's line).
    QCOMPARE(ReadLogMessages(LogFilePath()).filter(QStringLiteral("受付一覧: Api_Result=")),
             result.isEmpty() ? QStringList()
                              : QStringList(2, QStringLiteral("受付一覧: Api_Result=") + result));
}

void TestViewerWindow::noAcceptancesThatDay() {
    ScriptedUi ui;
    TfrmDrugInfo v;
    open(v);
    QVERIFY(fixture::WaitForMarks(v));
    v.BtnPrevDay->click();
    QVERIFY(fixture::WaitForMarks(v));
    const TTainMarkThread *before = v.FMarkThread;
    m_server.resetControl();
    v.BtnPrevDay->click(); // two days ago: ORCA answers code 21
    QCOMPARE(v.GridPatient->RowCount(), 2);
    QCOMPARE(column(v, 1), QStringList{QString()});
    QCOMPARE(v.FMarkThread, before); // no chart number, so no worker was made
    QCOMPARE(fixture::RequestPaths(m_server), QStringList{"api01rv2/acceptlstv2?class=03"});
    QVERIFY(ui.callsOf(QStringLiteral("messageBox")).isEmpty());
}

void TestViewerWindow::listModeKeepsTheSelectedPatient() {
    ScriptedUi ui;
    TfrmDrugInfo v;
    open(v);
    QVERIFY(fixture::WaitForMarks(v));
    // 00003 is selected; its second reception is still open.
    v.GridPatient->SelectRow(2);
    v.GridPatientSelectCell(0, 2);
    v.BtnKaikeiMi->click();
    QCOMPARE(v.LabelListState->text(), QStringLiteral("受付中"));
    QCOMPARE(v.BtnKaikeiMi->text(), QStringLiteral("全て"));
    // Mode 1: the patient accepted twice comes from the open (second) record.
    QCOMPARE(fixture::ListedIds(v), QStringList({"00002", "00003", "00004"}));
    QCOMPARE(column(v, 2), QStringList({"見本 花子", "架空 イチロウ", ""}));
    QCOMPARE(v.FPatientRow, 2);
    QCOMPARE(v.GridPatient->Row(), 2);
    // Marks known from the first load are painted at once from the cache.
    QCOMPARE(column(v, 3), QStringList({"T", "", ""}));

    v.BtnKaikeiMi->click();
    QCOMPARE(fixture::ListedIds(v), QStringList({"00001", "00003", "00002", "00004"}));
    QCOMPARE(v.FPatientRow, 2);
    QCOMPARE(v.GridPatient->Row(), 2);
}

void TestViewerWindow::listModeDropsAPatientNoLongerListed() {
    ScriptedUi ui;
    TfrmDrugInfo v;
    open(v);
    QVERIFY(fixture::WaitForMarks(v));
    // 00001 (settled) is on show.
    v.GridPatientDblClick(1);
    QCOMPARE(v.FPatientID, QStringLiteral("00001"));
    QCOMPARE(v.Label2->text(), QStringLiteral("見本 太郎"));
    v.BtnKaikeiMi->click();
    QCOMPARE(v.FPatientRow, -1);
    QCOMPARE(v.GridPatient->Row(), -1);
    // The panes no longer show the patient who left the list.
    QVERIFY(v.FPatientID.isEmpty());
    QCOMPARE(v.Label1->text(), QStringLiteral("カルテ番号"));
    QCOMPARE(v.Label2->text(), QStringLiteral("漢字氏名"));
}

void TestViewerWindow::timerConditions() {
    ScriptedUi ui;
    TfrmDrugInfo v;
    open(v);
    QVERIFY(fixture::WaitForMarks(v));
    m_server.resetControl();
    v.GridPatient->SelectRow(3);
    v.GridPatientSelectCell(0, 3);

    v.TimerRefreshTimer(); // today, no search: reloads and keeps the selection
    QCOMPARE(listRequests(m_server).size(), 1);
    QCOMPARE(v.GridPatient->Row(), 3);
    QCOMPARE(v.FPatientRow, 3);

    v.FSearchActive = true; // search hits on show: left alone
    v.TimerRefreshTimer();
    v.FSearchActive = false;
    v.BtnPrevDay->click(); // yesterday: not reloaded
    v.TimerRefreshTimer();
    QCOMPARE(listRequests(m_server).size(), 2);
    v.BtnToday->click();
    v.TimerRefreshTimer();
    QCOMPARE(listRequests(m_server).size(), 4);

    // "Today" is the local date: at 23:59:30 the list of today is refreshed;
    // once the clock passes midnight the shown day is yesterday.
    const QDateTime lateToday(QDate::currentDate(), QTime(23, 59, 30));
    viewer::SetClockForTesting(lateToday, QTimeZone::systemTimeZone());
    v.TimerRefreshTimer();
    QCOMPARE(listRequests(m_server).size(), 5);
    viewer::SetClockForTesting(lateToday.addSecs(60), QTimeZone::systemTimeZone());
    v.TimerRefreshTimer();
    QCOMPARE(listRequests(m_server).size(), 5);
    QVERIFY(ui.callsOf(QStringLiteral("messageBox")).isEmpty());
}

void TestViewerWindow::timerTicksWaitForARunningSequence() {
    ScriptedUi ui;
    TfrmDrugInfo v;
    open(v);
    QVERIFY(fixture::WaitForMarks(v));
    m_server.resetControl();
    QVERIFY(m_server.addFault(QStringLiteral("api01rv2/acceptlstv2"), QStringLiteral("delay"), 1, 0,
                              1200));
    v.TimerRefresh->setInterval(250);
    v.BtnToday->click(); // waits 1.2 s for its answer; ticks come meanwhile
    v.TimerRefresh->stop();
    QCOMPARE(listRequests(m_server).size(), 1);
    // The held ticks run as one refresh after the sequence.
    QTRY_COMPARE_WITH_TIMEOUT(listRequests(m_server).size(), 2, 2000);
    QTest::qWait(500);
    QCOMPARE(listRequests(m_server).size(), 2);
}

void TestViewerWindow::refreshErrorBoxIsNeverStacked() {
    SlowErrorUi ui;
    TfrmDrugInfo v;
    open(v);
    QVERIFY(fixture::WaitForMarks(v));
    // The patient cache cannot be read: every list load ends in an error box.
    QFile::remove(m_dir + QStringLiteral("PatientCache.csv"));
    QVERIFY(QDir().mkpath(m_dir + QStringLiteral("PatientCache.csv")));
    m_server.resetControl();
    v.TimerRefresh->setInterval(100);
    QTest::qWait(1600); // each box stays open 0.7 s while ticks keep coming
    v.TimerRefresh->stop();
    // A tick held under the last box still runs once after it.
    QTRY_COMPARE_WITH_TIMEOUT(ui.open, 0, 5000);
    QTest::qWait(300);
    QTRY_COMPARE_WITH_TIMEOUT(ui.open, 0, 5000);
    QCOMPARE(ui.maxOpen, 1);
    QVERIFY(ui.boxes >= 1);
    // One list request per box: no reload ran under an open box.
    QCOMPARE(listRequests(m_server).size(), ui.boxes);
}

void TestViewerWindow::marksCachedForThirtyMinutes() {
    ScriptedUi ui;
    const QDateTime start = QDateTime::currentDateTime();
    viewer::SetClockForTesting(start, QTimeZone::systemTimeZone());
    TfrmDrugInfo v;
    open(v);
    QVERIFY(fixture::WaitForMarks(v));
    QCOMPARE(countPath(m_server, QStringLiteral("api01rv2/onlinespecgetv2")), 4);

    m_server.resetControl();
    viewer::SetClockForTesting(start.addSecs(29 * 60 + 59), QTimeZone::systemTimeZone());
    v.TimerRefreshTimer();
    QVERIFY(fixture::WaitForMarks(v));
    QCOMPARE(countPath(m_server, QStringLiteral("api01rv2/online")), 0);
    QCOMPARE(column(v, 3), QStringList({kDoubleCircle, "", "T", ""}));

    viewer::SetClockForTesting(start.addSecs(30 * 60), QTimeZone::systemTimeZone());
    v.TimerRefreshTimer();
    QVERIFY(fixture::WaitForMarks(v));
    QCOMPARE(countPath(m_server, QStringLiteral("api01rv2/onlinespecgetv2")), 4);

    // Clock set back: marks stored "in the future" are stale.
    m_server.resetControl();
    viewer::SetClockForTesting(start.addSecs(-3600), QTimeZone::systemTimeZone());
    v.TimerRefreshTimer();
    QVERIFY(fixture::WaitForMarks(v));
    QCOMPARE(countPath(m_server, QStringLiteral("api01rv2/onlinespecgetv2")), 4);
}

void TestViewerWindow::windowRepaintsWhileARequestIsSlow() {
    ScriptedUi ui;
    TfrmDrugInfo v;
    open(v);
    QVERIFY(fixture::WaitForMarks(v));
    QVERIFY(m_server.addFault(QStringLiteral("api01rv2/acceptlstv2"), QStringLiteral("delay"), 1, 0,
                              2000));

    struct PaintCounter : QObject {
        int paints = 0;
        bool eventFilter(QObject *, QEvent *e) override {
            if (e->type() == QEvent::Paint)
                ++paints;
            return false;
        }
    } counter;
    v.LabelStatus->installEventFilter(&counter);
    QString statusDuring;
    platform::CursorKind cursorDuring = platform::CursorKind::Default;
    int paintsDuring = -1;
    bool busyDuring = false;
    QTimer::singleShot(700, [&] {
        statusDuring = v.LabelStatus->text();
        cursorDuring = ui.cursor;
        busyDuring = v.FRunner.IsBusy();
        counter.paints = 0;
        v.update();
        fixture::Grab(&v, QStringLiteral("viewer-loading"));
    });
    QTimer::singleShot(1400, [&] { paintsDuring = counter.paints; });
    QElapsedTimer t;
    t.start();
    v.BtnToday->click();
    QVERIFY(t.elapsed() >= 1900);
    QVERIFY(busyDuring);
    QCOMPARE(statusDuring, QStringLiteral("受付一覧を取得しています…"));
    QCOMPARE(cursorDuring, platform::CursorKind::Hourglass);
    QVERIFY2(paintsDuring > 0, "the window did not repaint while waiting");
    QCOMPARE(ui.cursor, platform::CursorKind::Default);
    QVERIFY(v.LabelStatus->text().isEmpty());
}

void TestViewerWindow::closeWaitsForTheRunningSequence() {
    ScriptedUi ui;
    TfrmDrugInfo v;
    open(v);
    QVERIFY(fixture::WaitForMarks(v));
    QVERIFY(m_server.addFault(QStringLiteral("api01rv2/acceptlstv2"), QStringLiteral("delay"), 1, 0,
                              800));
    bool visibleAfterCloseRequest = false;
    QTimer::singleShot(200, [&] {
        v.close(); // as from the title bar
        visibleAfterCloseRequest = v.isVisible();
    });
    v.BtnToday->click();
    QVERIFY(visibleAfterCloseRequest);
    QCOMPARE(fixture::ListedIds(v).size(), 4); // the load ran to its end
    QTRY_VERIFY(!v.isVisible());
    QVERIFY(!v.TimerRefresh->isActive());
    QVERIFY(v.FMarkThread == nullptr);
}

void TestViewerWindow::closeWhileAMarkRequestHangs() {
    ScriptedUi ui;
    QVERIFY(m_server.addFault(QStringLiteral("api01rv2/onlinedruggetv2"), QStringLiteral("delay"),
                              -1, 0, 20000));
    TfrmDrugInfo v;
    fixture::WriteIni(fixture::StandinSettings(m_server.baseUrl()));
    v.SetMarkTimeouts(1000, 1000);
    fixture::OpenViewer(v);
    QVERIFY(v.FMarkThread && v.FMarkThread->isRunning());
    QElapsedTimer t;
    t.start();
    v.close();
    // At most the worker's answer time-out (shortened here), never the server's delay.
    QVERIFY2(t.elapsed() < 4000, qPrintable(QString::number(t.elapsed())));
    QVERIFY(!v.isVisible());
    QVERIFY(v.FMarkThread == nullptr);
    const QStringList log = ReadLogMessages(LogFilePath());
    QVERIFY(!log.filter(QStringLiteral("MarkCheck: 4人 API ")).isEmpty());
    QVERIFY(log.filter(QStringLiteral("MarkCheck: ")).last().endsWith(QStringLiteral(" (中断)")));
    m_server.resetControl();
}

void TestViewerWindow::escapeDoesNotClose() {
    // The window closes by "閉じる" or its title bar only: an Esc (one too
    // many after cancelling a conversion in the search field) loses nothing.
    ScriptedUi ui;
    TfrmDrugInfo v;
    open(v);
    v.activateWindow();
    v.ComboBoxSearch->setCurrentIndex(1);
    v.EditSearch->setText(QStringLiteral("見本"));
    v.BtnSearch->click();
    QCOMPARE(fixture::ListedIds(v).size(), 2);
    for (QWidget *w : {static_cast<QWidget *>(v.EditSearch), static_cast<QWidget *>(v.GridPatient),
                       static_cast<QWidget *>(v.MemoTain)}) {
        w->setFocus();
        QTest::keyClick(w, Qt::Key_Escape);
        QVERIFY(v.isVisible());
    }
    QVERIFY(v.FSearchActive);
    QCOMPARE(fixture::ListedIds(v).size(), 2);
    v.BtnClose->click();
    QTRY_VERIFY(!v.isVisible());
}

void TestViewerWindow::unreadableCacheStopsTheLoadWithAnErrorBox() {
    ScriptedUi ui;
    QVERIFY(QDir().mkpath(m_dir + QStringLiteral("PatientCache.csv")));
    TfrmDrugInfo v;
    open(v);
    QCOMPARE(ui.callsOf(QStringLiteral("errorBox")).size(), 1);
    QVERIFY(ui.callsOf(QStringLiteral("errorBox"))[0].text.contains(
        QStringLiteral("PatientCache.csv")));
    QVERIFY(v.isVisible());
}

void TestViewerWindow::settingsDialogReloadsSettingsOnly() {
    ScriptedUi ui;
    TfrmDrugInfo v;
    open(v);
    QVERIFY(fixture::WaitForMarks(v));
    m_server.resetControl();
    QString shownBy;
    v.SetSettingFactory([&](QWidget *owner) {
        auto *d = new QDialog(owner);
        QTimer::singleShot(0, d, [d, &shownBy] {
            shownBy = d->parentWidget()->objectName();
            WriteSetting(QStringLiteral("PARAMA"), QStringLiteral("REFRESH"), QStringLiteral("15"));
            WriteSetting(QStringLiteral("PARAMA"), QStringLiteral("KIKANCD"),
                         QStringLiteral(" 1234567 "));
            d->accept();
        });
        return d;
    });
    v.MenuWebORCA->trigger();
    QCOMPARE(shownBy, QStringLiteral("frmDrugInfo"));
    QCOMPARE(v.TimerRefresh->interval(), 15000);
    QCOMPARE(v.FSelfInstCd, QStringLiteral("1234567"));
    QVERIFY(m_server.requests().isEmpty()); // the list is not reloaded

    v.MenuVersion->trigger();
    QCOMPARE(ui.callsOf(QStringLiteral("messageBox")).size(), 1);
    QVERIFY(ui.callsOf(QStringLiteral("messageBox"))[0].text.contains(kMakerNotice));
}

// The demo data set with a patient chosen (the view docs/viewer.png shows).
void TestViewerWindow::demoScreenshot() {
    ScriptedUi ui;
    StandinServer demo;
    StandinOptions o;
    o.demo = true;
    QString error;
    QVERIFY2(demo.start(o, &error), qPrintable(error));
    fixture::WriteIni(
        {{QStringLiteral("PARAMA/URL"), demo.baseUrl()},
         {QStringLiteral("PARAMA/KIKANCD"), QStringLiteral("9900011")},
         {QStringLiteral("PARAMA/KIKANNAME"), QStringLiteral("みなと見本クリニック")}});
    TfrmDrugInfo v;
    fixture::OpenViewer(v);
    QVERIFY(fixture::WaitForMarks(v));
    QVERIFY(fixture::ListedIds(v).size() >= 20);
    v.GridPatient->SelectRow(3);
    v.GridPatientSelectCell(0, 3);
    v.GridPatientDblClick(3);
    QVERIFY(fixture::WaitForMarks(v));
    QCOMPARE(v.FPatientID, v.GridPatient->Cells(1, 3));
    fixture::Grab(&v, QStringLiteral("viewer-selected"));
}

QTEST_MAIN(TestViewerWindow)
#include "test_viewerwindow.moc"
