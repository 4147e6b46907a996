// Patient search and selection and the saved-PDF buttons, against the
// stand-in over loopback: the three search paths and their messages, the
// double-click on the row clicked, the chart number as ORCA keeps it, hostile
// chart numbers, the patient's own mark, and which PDF opens.
#include "app/Startup.h"
#include "core/CoreSource.h"
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
#include "viewer/ViewerRules.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using platform::MsgIcon;
using viewerdata::kDoubleCircle;

namespace {

const QString kNotFound = QStringLiteral("該当する患者が見つかりませんでした。");

void writeCache(const QString &dir, const QByteArray &lines) {
    QFile f(dir + QStringLiteral("PatientCache.csv"));
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("\xEF\xBB\xBF" + lines);
}

QByteArray readCache(const QString &dir) {
    QFile f(dir + QStringLiteral("PatientCache.csv"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList messages(const ScriptedUi &ui) {
    QStringList out;
    for (const ScriptedUi::Call &c : ui.callsOf(QStringLiteral("messageBox")))
        out << c.text;
    return out;
}

void touch(const QString &path) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("%PDF-1.4\n");
}

} // namespace

class TestPatientSelection : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();

    void enterRunsTheSearch();
    void blankSearchDoesNothing();
    void kindChangeEmptiesTheField();
    void chartNumberSearchSelectsOrcasNumber();
    void chartNumberSearchMessages();
    void hostileChartNumberStaysOneValue();
    void nameSearchPaths();
    void nameSearchShowsHitsAndMarksThem();
    void doubleClickActsOnTheRowClicked();
    void doubleClickOutsideDataRowsDoesNothing();
    void selectionSequenceOrder();
    void ownMarkGoesOnlyToThePatientsRow();
    void pdfButtons_data();
    void pdfButtons();
    void pdfButtonsWithoutFolderOrPatient();

private:
    void open(TfrmDrugInfo &v);
    StandinServer m_server;
    QString m_dir;
};

void TestPatientSelection::initTestCase() {
    OrcaGlobalInit();
    RegisterJapaneseFonts();
    QString error;
    StandinOptions o;
    o.extraArgs = QStringList{QStringLiteral("--match"), QStringLiteral("padded")};
    QVERIFY2(m_server.start(o, &error), qPrintable(error));
    QVERIFY(viewerdata::Load(m_server));
}

void TestPatientSelection::init() {
    m_dir = MakeTestAppDir(QString::fromLatin1(QTest::currentTestFunction()));
    m_server.resetControl();
}

void TestPatientSelection::open(TfrmDrugInfo &v) {
    fixture::WriteIni(fixture::StandinSettings(m_server.baseUrl()));
    v.SetMarkTimeouts(3000, 3000);
    fixture::OpenViewer(v);
    QVERIFY(fixture::WaitForMarks(v));
    m_server.resetControl();
}

void TestPatientSelection::enterRunsTheSearch() {
    ScriptedUi ui;
    TfrmDrugInfo v;
    open(v);
    v.EditSearch->setText(QStringLiteral("123"));
    QTest::keyClick(v.EditSearch, Qt::Key_Return);
    QCOMPARE(v.EditSearch->text(), QStringLiteral("123")); // nothing inserted
    QCOMPARE(fixture::RequestPaths(m_server).value(0),
             QStringLiteral("api01rv2/patientgetv2?id=123"));
}

void TestPatientSelection::blankSearchDoesNothing() {
    ScriptedUi ui;
    TfrmDrugInfo v;
    open(v);
    for (int kind : {0, 1}) {
        v.ComboBoxSearch->setCurrentIndex(kind);
        v.EditSearch->setText(QStringLiteral(" \t "));
        v.BtnSearch->click();
    }
    QVERIFY(m_server.requests().isEmpty());
    QVERIFY(messages(ui).isEmpty());
    QCOMPARE(fixture::ListedIds(v).size(), 4);
}

void TestPatientSelection::kindChangeEmptiesTheField() {
    ScriptedUi ui;
    TfrmDrugInfo v;
    open(v);
    v.EditSearch->setText(QStringLiteral("山田"));
    v.ComboBoxSearch->setCurrentIndex(1);
    v.ComboBoxSearchChange();
    QVERIFY(v.EditSearch->text().isEmpty());
    QVERIFY(v.EditSearch->testAttribute(Qt::WA_InputMethodEnabled));
    v.ComboBoxSearch->setCurrentIndex(0);
    v.ComboBoxSearchChange();
    QVERIFY(!v.EditSearch->testAttribute(Qt::WA_InputMethodEnabled));
}

void TestPatientSelection::chartNumberSearchSelectsOrcasNumber() {
    ScriptedUi ui;
    TfrmDrugInfo v;
    open(v);
    v.LabelTainMonth->setText(QStringLiteral("前の表示"));
    v.EditSearch->setText(QStringLiteral(" 123 "));
    v.BtnSearch->click();
    QCOMPARE(fixture::RequestPaths(m_server).value(0),
             QStringLiteral("api01rv2/patientgetv2?id=123"));
    // ORCA keeps the patient as 00123: that number is listed, cached and chosen.
    QCOMPARE(fixture::ListedIds(v), QStringList{"00123"});
    QCOMPARE(v.GridPatient->Cells(0, 1), QStringLiteral("1"));
    QCOMPARE(v.GridPatient->Cells(2, 1), QStringLiteral("山田　花子"));
    QCOMPARE(v.FPatientID, QStringLiteral("00123"));
    QCOMPARE(v.FPatientName, QStringLiteral("山田　花子"));
    QCOMPARE(v.Label1->text(), QStringLiteral("00123"));
    QCOMPARE(v.Label2->text(), QStringLiteral("山田　花子"));
    QCOMPARE(v.FPatientRow, 1);
    QCOMPARE(v.GridPatient->Row(), 1);
    QVERIFY(v.FSearchActive);
    QVERIFY(readCache(m_dir).contains("00123,山田　花子\r\n"));
    QVERIFY(!readCache(m_dir).contains("\n123,"));
    QVERIFY(messages(ui).isEmpty());

    // The search hits stay while the timer ticks.
    m_server.resetControl();
    v.TimerRefreshTimer();
    QVERIFY(m_server.requests().isEmpty());
    QCOMPARE(fixture::ListedIds(v), QStringList{"00123"});
}

void TestPatientSelection::chartNumberSearchMessages() {
    ScriptedUi ui;
    TfrmDrugInfo v;
    open(v);
    // Unknown number: code 10 without a patient record.
    v.EditSearch->setText(QStringLiteral("77777"));
    v.BtnSearch->click();
    QCOMPARE(messages(ui), QStringList{kNotFound});
    QCOMPARE(ui.callsOf(QStringLiteral("messageBox"))[0].icon, MsgIcon::Information);
    QCOMPARE(fixture::ListedIds(v).size(), 4); // the reception list stays

    // No answer.
    QVERIFY(m_server.addFault(QStringLiteral("api01rv2/patientgetv2"), QStringLiteral("status"), 1,
                              500));
    v.BtnSearch->click();
    QCOMPARE(messages(ui).last(), QStringLiteral("患者情報を取得できませんでした。"));
    QCOMPARE(ui.callsOf(QStringLiteral("messageBox")).last().icon, MsgIcon::Warning);
    QCOMPARE(fixture::ListedIds(v).size(), 4);

    // Not configured.
    v.stURL = QStringLiteral(" ");
    v.BtnSearch->click();
    QCOMPARE(messages(ui).last(),
             QStringLiteral("WebORCAの設定がされていません。設定してください。"));
    QVERIFY(!v.FSearchActive);
}

void TestPatientSelection::hostileChartNumberStaysOneValue() {
    ScriptedUi ui;
    TfrmDrugInfo v;
    open(v);
    v.EditSearch->setText(QStringLiteral("1&format=json"));
    v.BtnSearch->click();
    const QJsonObject r = m_server.requests().first().toObject();
    QCOMPARE(r.value(QStringLiteral("query")).toString(), QStringLiteral("id=1%26format%3Djson"));
    QCOMPARE(messages(ui), QStringList{kNotFound});
}

void TestPatientSelection::nameSearchPaths() {
    ScriptedUi ui;
    TfrmDrugInfo v;
    fixture::WriteIni({{QStringLiteral("PARAMA/URL"), m_server.baseUrl()},
                       {QStringLiteral("COKBN/CHCK"), QStringLiteral("2")}});
    // Opened without a list load so that no cache exists yet.
    v.show();
    QTRY_VERIFY(v.IsShownOnce() && v.FCurrentDate.isValid() && !v.FRunner.IsBusy());
    QVERIFY(fixture::WaitForMarks(v));
    QFile::remove(m_dir + QStringLiteral("PatientCache.csv"));
    m_server.resetControl();

    v.ComboBoxSearch->setCurrentIndex(1);
    v.EditSearch->setText(QStringLiteral("山田"));
    v.BtnSearch->click();
    QCOMPARE(messages(ui).value(0), QStringLiteral("患者キャッシュがありません。\r\n"
                                                   "受付一覧を読み込むと自動的に蓄積されます。"));

    writeCache(m_dir, "00001,見本 太郎\r\n123,山田　花子（旧）\r\n");
    v.EditSearch->setText(QStringLiteral("該当なし"));
    v.BtnSearch->click();
    QCOMPARE(messages(ui).value(1), kNotFound);
    QVERIFY(m_server.requests().isEmpty());

    // One hit: looked up in ORCA, which gives the name shown.
    v.EditSearch->setText(QStringLiteral("山田"));
    v.BtnSearch->click();
    QCOMPARE(fixture::RequestPaths(m_server).value(0),
             QStringLiteral("api01rv2/patientgetv2?id=123"));
    QCOMPARE(v.Label2->text(), QStringLiteral("山田　花子"));
    QCOMPARE(fixture::ListedIds(v), QStringList{"00123"});
    QCOMPARE(messages(ui).size(), 2);
}

void TestPatientSelection::nameSearchShowsHitsAndMarksThem() {
    ScriptedUi ui;
    TfrmDrugInfo v;
    open(v);
    writeCache(m_dir, "00001,見本 太郎\r\n00002,見本 花子\r\n00003,架空 一郎\r\n"
                      "00123,見本　花子\r\n00123,見本　花子\r\n");
    v.ComboBoxSearch->setCurrentIndex(1);
    v.EditSearch->setText(QStringLiteral("見本"));
    v.GridPatient->SelectRow(3);
    v.GridPatientSelectCell(0, 3);
    v.BtnSearch->click();
    QCOMPARE(fixture::ListedIds(v), QStringList({"00001", "00002", "00123", "00123"}));
    QCOMPARE(v.GridPatient->Cells(0, 4), QStringLiteral("4"));
    QCOMPARE(v.GridPatient->Row(), -1); // nobody selected
    QCOMPARE(v.FPatientRow, -1);
    QVERIFY(v.FSearchActive);
    QVERIFY(fixture::WaitForMarks(v));
    // 00001 and 00002 were marked by the first list load and come from the
    // cache; 00123 is checked once and painted on both of its rows.
    QCOMPARE(v.GridPatient->Cells(3, 1), kDoubleCircle);
    QCOMPARE(v.GridPatient->Cells(3, 2), QStringLiteral("T"));
    QCOMPARE(v.GridPatient->Cells(3, 3), kDoubleCircle + QStringLiteral("T"));
    QCOMPARE(v.GridPatient->Cells(3, 4), kDoubleCircle + QStringLiteral("T"));
    int checkups = 0;
    for (const QString &p : fixture::RequestPaths(m_server))
        checkups += p == QStringLiteral("api01rv2/onlinespecgetv2") ? 1 : 0;
    QCOMPARE(checkups, 1);
}

void TestPatientSelection::doubleClickActsOnTheRowClicked() {
    ScriptedUi ui;
    TfrmDrugInfo v;
    open(v);
    // Row 4 was selected before; then the list changes under it.
    v.GridPatient->SelectRow(4);
    v.GridPatientSelectCell(0, 4);
    writeCache(m_dir, "00001,見本 太郎\r\n00002,見本 花子\r\n");
    v.ComboBoxSearch->setCurrentIndex(1);
    v.EditSearch->setText(QStringLiteral("見本"));
    v.BtnSearch->click();
    QCOMPARE(v.GridPatient->RowCount(), 3);

    // A real double-click on hit 1 (the view takes a double-click as a second
    // press on the item it was pressed on).
    v.GridPatient->scrollToTop();
    const QRect cell = v.GridPatient->visualRect(v.GridPatient->model()->index(0, 2));
    QTest::mousePress(v.GridPatient->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(v.GridPatient->viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(v.FPatientRow, 1);
    QCOMPARE(v.FPatientID, QStringLiteral("00001"));
    QCOMPARE(v.FPatientName, QStringLiteral("見本 太郎"));
    QCOMPARE(v.Label1->text(), QStringLiteral("00001"));
    QCOMPARE(v.Label2->text(), QStringLiteral("見本 太郎"));
    QCOMPARE(v.FBirthDate, QStringLiteral("1950-04-01"));
    QCOMPARE(v.LabelAge->text(), viewer::AgeText(v.FBirthDate, viewer::Today()));
    QVERIFY(!v.LabelAge->text().isEmpty());
    QVERIFY(!v.FSelfAllMode);
}

void TestPatientSelection::selectionSequenceOrder() {
    ScriptedUi ui;
    TfrmDrugInfo v;
    open(v);
    v.EditSearch->setText(QStringLiteral("1"));
    v.BtnSearch->click();
    QCOMPARE(v.FPatientID, QStringLiteral("00001"));
    // The requests in order, runs of one path written once.
    QStringList runs;
    for (const QString &p : fixture::RequestPaths(m_server)) {
        if (runs.isEmpty() || runs.last() != p)
            runs << p;
    }
    QCOMPARE(runs, QStringList({"api01rv2/patientgetv2?id=1", "api01rv2/onlinedruggetv2",
                                "api01rv2/onlinespecgetv2", "api01rv2/onlinemedgetv2",
                                "api01rv2/medicalgetv2?class=03"}));
    // Then the patient's own mark, from what the loads found, on its row.
    QCOMPARE(v.GridPatient->Cells(3, 1), kDoubleCircle);
    QCOMPARE(v.FTainMarkCache.value(QStringLiteral("00001")).Mark, kDoubleCircle);
    // And last the age.
    QCOMPARE(v.LabelAge->text(), viewer::AgeText(QStringLiteral("1950-04-01"), viewer::Today()));
    QVERIFY(!v.FTainMonth.isEmpty());
    QCOMPARE(v.LabelTainMonth->text(), viewer::MonthCaption(v.FTainMonth));
    QVERIFY(messages(ui).isEmpty());
}

void TestPatientSelection::doubleClickOutsideDataRowsDoesNothing() {
    ScriptedUi ui;
    TfrmDrugInfo v;
    open(v);
    for (int row : {0, -1, 5, 99})
        v.GridPatientDblClick(row);
    QVERIFY(v.FPatientID.isEmpty());
    QCOMPARE(v.Label1->text(), QStringLiteral("カルテ番号"));
    // Below the last row of the list.
    QTest::mouseDClick(v.GridPatient->viewport(), Qt::LeftButton, {},
                       QPoint(10, v.GridPatient->viewport()->height() - 5));
    QVERIFY(v.FPatientID.isEmpty());
}

void TestPatientSelection::ownMarkGoesOnlyToThePatientsRow() {
    ScriptedUi ui;
    TfrmDrugInfo v;
    open(v);
    // The loaders of the selection report a completed load for 00002 ...
    v.FPatientID = QStringLiteral("00002");
    v.FDrugLoadOK = true;
    v.FDrug01HasMonth = false;
    v.FMedInstMonths = QStringList{QStringLiteral("みどり台内科クリニック=2024-05")};
    v.FTkkDates.clear();
    v.FPatientRow = 3;
    v.StoreOwnMark();
    QCOMPARE(v.GridPatient->Cells(3, 3), kDoubleCircle); // an empty checkup list clears T
    QCOMPARE(v.FTainMarkCache.value(QStringLiteral("00002")).Mark, kDoubleCircle);
    // ... but the row under FPatientRow now holds someone else: left alone.
    v.FPatientRow = 1;
    v.FTkkDates = QStringList{QStringLiteral("2024-01-10")};
    v.StoreOwnMark();
    QCOMPARE(v.GridPatient->Cells(3, 1), kDoubleCircle);
    QCOMPARE(v.FTainMarkCache.value(QStringLiteral("00002")).Mark,
             kDoubleCircle + QStringLiteral("T"));
    // Without a completed load nothing is stored.
    v.FDrugLoadOK = false;
    v.FPatientID = QStringLiteral("00004");
    v.StoreOwnMark();
    QVERIFY(!v.FTainMarkCache.contains(QStringLiteral("00004")) ||
            v.FTainMarkCache.value(QStringLiteral("00004")).Mark.isEmpty());
}

void TestPatientSelection::pdfButtons_data() {
    QTest::addColumn<QString>("patient");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<bool>("drug");
    QTest::addColumn<QString>("opened"); // empty: the not-found message
    QTest::newRow("X ends the number")
        << "123" << QStringList({"YZK_1234X.pdf", "YZK_123X_1.pdf"}) << true << "YZK_123X_1.pdf";
    QTest::newRow("longer number only") << "123" << QStringList({"YZK_1234X.pdf"}) << true << "";
    QTest::newRow("mask ignores case")
        << "123" << QStringList({"yzk_123X.PDF"}) << true << "yzk_123X.PDF";
    QTest::newRow("patient part is exact") << "123" << QStringList({"YZK_123x.pdf"}) << true << "";
    QTest::newRow("subfolder not searched")
        << "123" << QStringList({"sub/YZK_123X.pdf"}) << true << "";
    QTest::newRow("two files: the first by name")
        << "123" << QStringList({"YZK_123X_b.pdf", "YZK_123X_a.pdf"}) << true << "YZK_123X_a.pdf";
    QTest::newRow("checkup") << "00123"
                             << QStringList({"YZK_00123X.pdf", "TKK_00123X_20240801.pdf"}) << false
                             << "TKK_00123X_20240801.pdf";
    QTest::newRow("checkup missing") << "00123" << QStringList({"YZK_00123X.pdf"}) << false << "";
}

void TestPatientSelection::pdfButtons() {
    QFETCH(QString, patient);
    QFETCH(QStringList, files);
    QFETCH(bool, drug);
    QFETCH(QString, opened);
    ScriptedUi ui;
    const QString folder = m_dir + QStringLiteral("pdf/");
    QVERIFY(QDir().mkpath(folder + QStringLiteral("sub")));
    for (const QString &f : files)
        touch(folder + f);
    fixture::WriteIni({{QStringLiteral("PARAMA/SAVETXT"), folder}});
    TfrmDrugInfo v;
    fixture::OpenViewer(v);
    v.FPatientID = patient;
    (drug ? v.BtnPDFY : v.BtnPDFT)->click();
    if (opened.isEmpty()) {
        QVERIFY(ui.callsOf(QStringLiteral("shellOpen")).isEmpty());
        QCOMPARE(
            messages(ui),
            QStringList{drug ? QStringLiteral("該当患者の薬剤PDFが見つかりませんでした。")
                             : QStringLiteral("該当患者の特定健診PDFが見つかりませんでした。")});
        QCOMPARE(ui.callsOf(QStringLiteral("messageBox"))[0].icon, MsgIcon::Information);
    } else {
        QVERIFY(messages(ui).isEmpty());
        QCOMPARE(ui.callsOf(QStringLiteral("shellOpen")).size(), 1);
        QCOMPARE(ui.callsOf(QStringLiteral("shellOpen"))[0].text, folder + opened);
    }
}

void TestPatientSelection::pdfButtonsWithoutFolderOrPatient() {
    ScriptedUi ui;
    // A folder that does not exist: nothing at all, with or without a patient.
    fixture::WriteIni({{QStringLiteral("PARAMA/SAVETXT"), m_dir + QStringLiteral("absent/")}});
    TfrmDrugInfo v;
    fixture::OpenViewer(v);
    v.BtnPDFY->click();
    v.FPatientID = QStringLiteral("123");
    v.BtnPDFT->click();
    QVERIFY(messages(ui).isEmpty());
    QVERIFY(ui.callsOf(QStringLiteral("shellOpen")).isEmpty());

    // Empty SAVETXT: the program's folder; no patient: the warning.
    fixture::WriteIni({{QStringLiteral("PARAMA/SAVETXT"), QStringLiteral(" ")}});
    touch(m_dir + QStringLiteral("YZK_123X.pdf"));
    v.FPatientID = QStringLiteral("  ");
    v.BtnPDFY->click();
    QCOMPARE(messages(ui), QStringList{QStringLiteral("患者を選択してください。")});
    QCOMPARE(ui.callsOf(QStringLiteral("messageBox"))[0].icon, MsgIcon::Warning);
    v.FPatientID = QStringLiteral("123");
    v.BtnPDFY->click();
    QCOMPARE(ui.callsOf(QStringLiteral("shellOpen")).value(0).text,
             m_dir + QStringLiteral("YZK_123X.pdf"));
}

QTEST_MAIN(TestPatientSelection)
#include "test_patientselection.moc"
