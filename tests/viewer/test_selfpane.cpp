// The own-clinic pane of the viewer against the stand-in, and printing either
// pane as a notebook column into a PDF file: month view with its look-back,
// navigation, the 24-month mode, the department of each day, a failed load,
// and what the printed pages hold.
#include "app/Startup.h"
#include "orca/OrcaHttp.h"
#include "platform/Trim.h"
#include "tests/support/ScriptedUi.h"
#include "tests/support/StandinServer.h"
#include "tests/support/TestEnv.h"
#include "tests/viewer/ViewerFixture.h"
#include "viewer/DrugInfo.h"
#include "viewer/Notebook.h"
#include "viewer/SelfHistory.h"
#include "viewer/ViewerClock.h"
#include "viewer/ViewerRules.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTest>

namespace {

// A patient of the clinic: two departments in December 2023 (on different
// days), one visit in November, one in May 2022 and one in March 2022.
const char *const kPatientA = R"({
  "id": "70001", "name": "自院 一郎", "birth": "1950-04-01",
  "visits": [
    {"date": "2022-03-15", "department": "01", "department_name": "内科",
     "orders": [{"class": "21", "class_name": "内服", "count": "28",
                 "items": [{"code": "620000001", "name": "アムロジピン錠5mg", "qty": "1", "unit": "錠"}]}]},
    {"date": "2022-05-10", "department": "01", "department_name": "内科",
     "orders": [{"class": "21", "class_name": "内服", "count": "28",
                 "items": [{"code": "620000001", "name": "アムロジピン錠5mg", "qty": "1", "unit": "錠"}]}]},
    {"date": "2023-11-07", "department": "01", "department_name": "内科",
     "orders": [{"class": "21", "class_name": "内服", "count": "14",
                 "items": [{"code": "620000201", "name": "ランソプラゾールOD錠15mg", "qty": "1", "unit": "錠"}]}]},
    {"date": "2023-12-05", "department": "01", "department_name": "内科",
     "orders": [{"class": "12", "class_name": "再診",
                 "items": [{"code": "112007410", "name": "再診料"}]},
                {"class": "21", "class_name": "内服", "count": "28",
                 "items": [{"code": "620000001", "name": "アムロジピン錠5mg", "qty": "1", "unit": "錠"}]}]},
    {"date": "2023-12-19", "department": "11", "department_name": "整形外科",
     "orders": [{"class": "23", "class_name": "外用", "count": "1",
                 "items": [{"code": "620000101", "name": "ロキソプロフェンNaテープ100mg", "qty": "14", "unit": "枚"}]},
                {"class": "21", "class_name": "内服", "count": "7",
                 "items": [{"code": "620000102", "name": "セレコキシブ錠100mg", "qty": "2", "unit": "錠"}]}]}
  ]})";

const QString kDecember = QStringLiteral("2023.12.19\n"
                                         "セレコキシブ錠100mg　2錠\n"
                                         "　　7日分\n"
                                         "ロキソプロフェンNaテープ100mg　14枚\n"
                                         "\n"
                                         "2023.12.05\n"
                                         "アムロジピン錠5mg　1錠\n"
                                         "　　28日分");

const QString kFailed = QStringLiteral("自院薬歴を取得できませんでした。");

void setToday(const QDate &day) {
    const QTimeZone tokyo("Asia/Tokyo");
    viewer::SetClockForTesting(QDateTime(day, QTime(10, 0), tokyo), tokyo);
}

// The medicalgetv2 requests of one class, each as its Perform_Date (and
// Department_Code when the request names one: "2023-12-19/11").
QStringList medicalRequests(StandinServer &server, const QString &cls) {
    static const QRegularExpression date(QStringLiteral("<Perform_Date type=\"string\">([^<]*)<"));
    static const QRegularExpression dept(
        QStringLiteral("<Department_Code type=\"string\">([^<]*)<"));
    QStringList out;
    for (const QJsonValue &v : server.requests()) {
        const QJsonObject r = v.toObject();
        if (!r.value(QStringLiteral("path")).toString().endsWith(QStringLiteral("medicalgetv2")) ||
            r.value(QStringLiteral("query")).toString() != QStringLiteral("class=") + cls)
            continue;
        const QString body = r.value(QStringLiteral("body")).toString();
        QString entry = date.match(body).captured(1);
        const QString department = dept.match(body).captured(1);
        if (!department.isEmpty())
            entry += QLatin1Char('/') + department;
        out << entry;
    }
    return out;
}

QStringList dateLines(const QString &text) {
    QStringList out;
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        if (viewer::IsNotebookDateLine(line))
            out << line;
    }
    return out;
}

QString scratchFile(const QString &name) {
    QString root = qEnvironmentVariable("MINATORI_TEST_SCRATCH");
    if (root.isEmpty())
        root = QDir::tempPath();
    QDir().mkpath(root);
    return root + QLatin1Char('/') + name;
}

// The text of a printed PDF, one entry per page, each page's lines in order.
QList<QStringList> pdfPages(const QString &pdf) {
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-raw"), QStringLiteral("-enc"),
                                          QStringLiteral("UTF-8"), pdf, QStringLiteral("-")});
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return {};
    QList<QStringList> pages;
    QStringList pageTexts = QString::fromUtf8(p.readAllStandardOutput()).split(QChar(0x0C));
    if (!pageTexts.isEmpty() && platform::TrimText(pageTexts.last()).isEmpty())
        pageTexts.removeLast();
    for (const QString &page : pageTexts) {
        QStringList lines = page.split(QLatin1Char('\n'));
        lines.removeAll(QString());
        pages << lines;
    }
    return pages;
}

// Lines as text extraction gives them back: the ideographic space comes out
// as a blank, and blanks at the start of a line are dropped.
QStringList asExtracted(const QStringList &lines) {
    QStringList out;
    for (QString line : lines) {
        line.replace(QChar(0x3000), QLatin1Char(' '));
        while (line.startsWith(QLatin1Char(' ')))
            line.remove(0, 1);
        if (!line.isEmpty())
            out << line;
    }
    return out;
}

// The left edge (in points) of each printed line of the first page.
QList<double> lineLefts(const QString &pdf) {
    QProcess p;
    p.start(QStringLiteral("pdftotext"),
            {QStringLiteral("-bbox-layout"), QStringLiteral("-f"), QStringLiteral("1"),
             QStringLiteral("-l"), QStringLiteral("1"), pdf, QStringLiteral("-")});
    if (!p.waitForFinished(30000))
        return {};
    static const QRegularExpression line(QStringLiteral("<line xMin=\"([0-9.]+)\""));
    QList<double> out;
    auto it = line.globalMatch(QString::fromUtf8(p.readAllStandardOutput()));
    while (it.hasNext())
        out << it.next().captured(1).toDouble();
    return out;
}

// Renders the first page of a PDF to a PNG beside it; returns its path.
QString renderFirstPage(const QString &pdf) {
    const QString base = pdf.chopped(4);
    QProcess::execute(QStringLiteral("pdftoppm"),
                      {QStringLiteral("-png"), QStringLiteral("-r"), QStringLiteral("200"),
                       QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"),
                       QStringLiteral("1"), QStringLiteral("-singlefile"), pdf, base});
    return base + QStringLiteral(".png");
}

} // namespace

class TestSelfPane : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void monthLookBackAndNavigation();
    void allMonthsMode();
    void sixEmptyMonths();
    void failedLoadSaysSo_data();
    void failedLoadSaysSo();
    void demoPatient();
    void printOwnHistory();
    void printNarrowPages();
    void printNothingOrNoPrinter();
    void printOtherInstitutionPane();

private:
    void openWithPatientA(TfrmDrugInfo &viewer);
    StandinServer m_server;
};

void TestSelfPane::initTestCase() {
    OrcaGlobalInit();
    RegisterJapaneseFonts();
    StandinOptions o;
    o.demo = true;
    QString error;
    QVERIFY2(m_server.start(o, &error), qPrintable(error));
    QJsonParseError parseError;
    const QJsonDocument a = QJsonDocument::fromJson(kPatientA, &parseError);
    QVERIFY2(a.isObject(), qPrintable(parseError.errorString()));
    QVERIFY(m_server.putPatient(a.object()));
    QVERIFY(m_server.putPatient(StandinServer::makePatient("70002", "自院 二郎")));
}

void TestSelfPane::init() {
    MakeTestAppDir(QStringLiteral("selfpane"));
    fixture::WriteIni(fixture::StandinSettings(m_server.baseUrl()));
    m_server.resetControl();
}

void TestSelfPane::cleanup() {
    viewer::ResetClockForTesting();
}

void TestSelfPane::openWithPatientA(TfrmDrugInfo &viewer) {
    setToday(QDate(2024, 3, 31));
    fixture::OpenViewer(viewer);
    m_server.resetControl();
    viewer.SelectPatient(QStringLiteral("70001"), QStringLiteral("自院 一郎"));
}

void TestSelfPane::monthLookBackAndNavigation() {
    ScriptedUi ui;
    TfrmDrugInfo viewer;
    openWithPatientA(viewer);

    // March to January are empty: the pane moves back to December.
    QCOMPARE(viewer.FSelfMonth, QStringLiteral("2023-12"));
    QCOMPARE(viewer.LabelSelfMonth->text(), QStringLiteral("2023年12月"));
    QCOMPARE(viewer.MemoSelf->toPlainText(), kDecember);
    QCOMPARE(medicalRequests(m_server, "03"),
             (QStringList{"2024-03", "2024-02", "2024-01", "2023-12"}));
    // Each day asks class 02 for the department of that day's visit.
    QCOMPARE(medicalRequests(m_server, "01"), (QStringList{"2023-12-19", "2023-12-05"}));
    QCOMPARE(medicalRequests(m_server, "02"), (QStringList{"2023-12-19/11", "2023-12-05/01"}));
    fixture::Grab(&viewer, QStringLiteral("selfpane-month"));

    viewer.BtnSelfPrevMonth->click();
    QCOMPARE(viewer.LabelSelfMonth->text(), QStringLiteral("2023年11月"));
    QCOMPARE(viewer.MemoSelf->toPlainText(),
             QStringLiteral("2023.11.07\nランソプラゾールOD錠15mg　1錠\n　　14日分"));

    viewer.BtnSelfNextMonth->click();
    QCOMPARE(viewer.FSelfMonth, QStringLiteral("2023-12"));
    QCOMPARE(viewer.MemoSelf->toPlainText(), kDecember);

    // January is empty; the look-back brings the pane back to December.
    viewer.BtnSelfNextMonth->click();
    QCOMPARE(viewer.FSelfMonth, QStringLiteral("2023-12"));
    QCOMPARE(viewer.MemoSelf->toPlainText(), kDecember);
    QVERIFY(ui.callsOf("messageBox").isEmpty());
}

void TestSelfPane::allMonthsMode() {
    ScriptedUi ui;
    TfrmDrugInfo viewer;
    openWithPatientA(viewer);
    m_server.resetControl();

    viewer.BtnSelfAll->click();
    QVERIFY(viewer.FSelfAllMode);
    QCOMPARE(viewer.LabelSelfMonth->text(), QStringLiteral("全て"));
    QCOMPARE(viewer.BtnSelfAll->text(), QStringLiteral("当月"));
    QVERIFY(!viewer.BtnSelfPrevMonth->isEnabled());
    QVERIFY(!viewer.BtnSelfNextMonth->isEnabled());
    // The 24 months from March 2024 back to April 2022, newest first: March
    // 2022 lies outside.
    const QStringList months = medicalRequests(m_server, "03");
    QCOMPARE(months.size(), 24);
    QCOMPARE(months.first(), QStringLiteral("2024-03"));
    QCOMPARE(months.last(), QStringLiteral("2022-04"));
    QCOMPARE(dateLines(viewer.MemoSelf->toPlainText()),
             (QStringList{"2023.12.19", "2023.12.05", "2023.11.07", "2022.05.10"}));
    QVERIFY(viewer.MemoSelf->toPlainText().startsWith(kDecember + QStringLiteral("\n\n")));
    QCOMPARE(viewer.FSelfMonth, QStringLiteral("2023-12"));
    fixture::Grab(&viewer, QStringLiteral("selfpane-all"));

    // Back to the month shown before.
    viewer.BtnSelfAll->click();
    QVERIFY(!viewer.FSelfAllMode);
    QCOMPARE(viewer.BtnSelfAll->text(), QStringLiteral("全て"));
    QVERIFY(viewer.BtnSelfPrevMonth->isEnabled());
    QVERIFY(viewer.BtnSelfNextMonth->isEnabled());
    QCOMPARE(viewer.LabelSelfMonth->text(), QStringLiteral("2023年12月"));
    QCOMPARE(viewer.MemoSelf->toPlainText(), kDecember);
}

void TestSelfPane::sixEmptyMonths() {
    ScriptedUi ui;
    TfrmDrugInfo viewer;
    setToday(QDate(2024, 1, 15));
    fixture::OpenViewer(viewer);
    m_server.resetControl();
    viewer.SelectPatient(QStringLiteral("70002"), QStringLiteral("自院 二郎"));
    QCOMPARE(viewer.MemoSelf->toPlainText(), QString());
    QCOMPARE(viewer.LabelSelfMonth->text(), QStringLiteral("2024年01月"));
    QCOMPARE(
        medicalRequests(m_server, "03"),
        (QStringList{"2024-01", "2023-12", "2023-11", "2023-10", "2023-09", "2023-08", "2023-07"}));

    // One month back from January is December of the year before.
    m_server.resetControl();
    viewer.BtnSelfPrevMonth->click();
    QCOMPARE(viewer.FSelfMonth, QStringLiteral("2023-12"));
    QCOMPARE(viewer.LabelSelfMonth->text(), QStringLiteral("2023年12月"));
    QCOMPARE(medicalRequests(m_server, "03").value(0), QStringLiteral("2023-12"));
    QVERIFY(ui.callsOf("messageBox").isEmpty());
}

void TestSelfPane::failedLoadSaysSo_data() {
    QTest::addColumn<QString>("failing");
    QTest::addColumn<QString>("result"); // empty: no answer (status 500)
    QTest::addColumn<QStringList>("calendars");
    const QStringList lookBack{"2024-03", "2024-02", "2024-01", "2023-12"};
    // The calendar request tries the zero-padded numbers too (70001, 070001, 0070001).
    QTest::newRow("calendar") << "api01rv2/medicalgetv2?class=03" << ""
                              << QStringList{"2024-03", "2024-03", "2024-03"};
    QTest::newRow("visits of the day") << "api01rv2/medicalgetv2?class=01" << "" << lookBack;
    QTest::newRow("treatment of the day") << "api01rv2/medicalgetv2?class=02" << "" << lookBack;
    // An answer whose code says ORCA could not answer (busy with another terminal).
    QTest::newRow("calendar error answer")
        << "api01rv2/medicalgetv2?class=03" << "90" << QStringList{"2024-03"};
    QTest::newRow("visits error answer") << "api01rv2/medicalgetv2?class=01" << "90" << lookBack;
    QTest::newRow("treatment error answer")
        << "api01rv2/medicalgetv2?class=02" << "90" << lookBack;
}

void TestSelfPane::failedLoadSaysSo() {
    QFETCH(QString, failing);
    QFETCH(QString, result);
    QFETCH(QStringList, calendars);
    ScriptedUi ui;
    TfrmDrugInfo viewer;
    setToday(QDate(2024, 3, 31));
    fixture::OpenViewer(viewer);
    if (result.isEmpty())
        QVERIFY(m_server.addFault(failing, QStringLiteral("status"), -1, 500));
    else
        QVERIFY(m_server.addFault(failing, QStringLiteral("result"), -1, 0, 0, result));
    viewer.SelectPatient(QStringLiteral("70001"), QStringLiteral("自院 一郎"));

    // Not the empty pane of a patient without history, and no box.
    QCOMPARE(viewer.MemoSelf->toPlainText(), kFailed);
    QCOMPARE(viewer.FSelfMonth, QStringLiteral("2024-03"));
    QCOMPARE(viewer.LabelSelfMonth->text(), QStringLiteral("2024年03月"));
    QVERIFY(ui.callsOf("messageBox").isEmpty());
    QVERIFY(ui.callsOf("errorBox").isEmpty());
    // A month that could not be read is no empty month: no look-back past
    // it, and the load stops at the failed request.
    QCOMPARE(medicalRequests(m_server, "03"), calendars);
    QVERIFY(medicalRequests(m_server, "01").size() <= 1);
    QVERIFY(medicalRequests(m_server, "02").size() <= 1);
    m_server.resetControl();

    // Once the server answers again, the same month loads as usual.
    viewer.BtnSelfAll->click();
    viewer.BtnSelfAll->click();
    QCOMPARE(viewer.MemoSelf->toPlainText(), kDecember);
}

void TestSelfPane::demoPatient() {
    ScriptedUi ui;
    TfrmDrugInfo viewer;
    fixture::OpenViewer(viewer);
    viewer.SelectPatient(QStringLiteral("00001"), QStringLiteral("見本 太郎"));
    const QStringList month = dateLines(viewer.MemoSelf->toPlainText());
    QVERIFY(!month.isEmpty());
    QCOMPARE(viewer.LabelSelfMonth->text(), viewer::MonthCaption(viewer.FSelfMonth));
    for (const QString &day : month)
        QVERIFY(day.startsWith(QString(viewer.FSelfMonth).replace('-', '.')));
    fixture::Grab(&viewer, QStringLiteral("selfpane-demo-month"));

    viewer.BtnSelfAll->click();
    const QStringList all = dateLines(viewer.MemoSelf->toPlainText());
    QVERIFY(all.size() > month.size() + 6);
    QStringList sorted = all;
    std::sort(sorted.begin(), sorted.end(), std::greater<QString>());
    QCOMPARE(all, sorted);
    // More than the pane holds: it opens at its top, on the newest day.
    QVERIFY(viewer.MemoSelf->verticalScrollBar()->maximum() > 0);
    QCOMPARE(viewer.MemoSelf->verticalScrollBar()->value(), 0);
    QCOMPARE(viewer.MemoSelf->textCursor().position(), 0);
    fixture::Grab(&viewer, QStringLiteral("selfpane-demo-all"));

    // The printout of the 24 months, with the clinic's name as the online
    // drug information gives it.
    TPrescription own;
    own.InstitutionName = QStringLiteral("みなと見本クリニック");
    own.InstitutionCd = QStringLiteral("1319900011");
    viewer.FPrescList = {own};
    ui.printPdfPath = scratchFile(QStringLiteral("notebook-demo.pdf"));
    viewer.BtnSelfPrint->click();
    const QList<QStringList> pages = pdfPages(ui.printPdfPath);
    QVERIFY(pages.size() >= 2);
    QCOMPARE(pages.at(0).value(0), all.first() + QStringLiteral(" みなと見本クリニック"));
    QVERIFY(QFileInfo(renderFirstPage(ui.printPdfPath)).size() > 0);
}

void TestSelfPane::printOwnHistory() {
    ScriptedUi ui;
    TfrmDrugInfo viewer;
    openWithPatientA(viewer);

    // The patient's online drug information holds no prescription of this
    // clinic: the date lines print as they stand.
    viewer.FPrescList.clear();
    ui.printPdfPath = scratchFile(QStringLiteral("notebook-plain.pdf"));
    viewer.BtnSelfPrint->click();
    QCOMPARE(ui.callsOf("print").size(), 1);
    QCOMPARE(ui.callsOf("print").at(0).title, QStringLiteral("お薬手帳"));
    QList<QStringList> pages = pdfPages(ui.printPdfPath);
    QCOMPARE(pages.size(), 1);
    QCOMPARE(pages.at(0).value(0), QStringLiteral("2023.12.19"));

    // With it, every date line carries the clinic's name.
    TPrescription own;
    own.InstitutionName = QStringLiteral("みなと見本クリニック");
    own.InstitutionCd = QStringLiteral("1319900011");
    TPrescription other;
    other.InstitutionName = QStringLiteral("あおば見本薬局");
    other.InstitutionCd = QStringLiteral("1340100018");
    viewer.FPrescList = {other, own};
    ui.printPdfPath = scratchFile(QStringLiteral("notebook.pdf"));
    viewer.BtnSelfPrint->click();
    pages = pdfPages(ui.printPdfPath);
    QCOMPARE(pages.size(), 1);
    const QStringList expected =
        viewer::NotebookPrintLines(kDecember.split('\n'), own.InstitutionName);
    QCOMPARE(pages.at(0), asExtracted(expected));
    QCOMPARE(expected.value(0), QStringLiteral("2023.12.19　みなと見本クリニック"));
    QVERIFY(QFileInfo(renderFirstPage(ui.printPdfPath)).size() > 0);
    QVERIFY(ui.callsOf("messageBox").isEmpty());
}

void TestSelfPane::printNarrowPages() {
    ScriptedUi ui;
    TfrmDrugInfo viewer;
    fixture::OpenViewer(viewer);
    // A 58 mm roll cut at 100 mm: the column is the page less both margins.
    ui.printPageSize = QPageSize(QSizeF(58, 100), QPageSize::Millimeter);
    ui.printPdfPath = scratchFile(QStringLiteral("notebook-narrow.pdf"));
    const QString longLine = QStringLiteral(
        "ツムラ大建中湯エキス顆粒（医療用）　7.5g　１日３回毎食前に服用、残りは次回受診時に持参");
    QStringList text{QStringLiteral("2024.05.20"), longLine};
    for (int i = 0; i < 30; ++i)
        text << QString();
    text << QStringLiteral("2024.04.22") << QStringLiteral("最後の行") << QString() << QString();
    viewer.MemoTain->setPlainText(text.join('\n'));
    viewer.BtnPrint->click();

    const QList<QStringList> pages = pdfPages(ui.printPdfPath);
    // The empty lines push the last entry onto the next page; the trailing
    // empty lines print no further page.
    QCOMPARE(pages.size(), 2);
    QCOMPARE(pages.at(0).value(0), QStringLiteral("2024.05.20"));
    QVERIFY(pages.at(0).size() >= 3); // the long line wrapped
    QCOMPARE(pages.at(0).mid(1).join(QString()), asExtracted({longLine}).value(0));
    QCOMPARE(pages.at(1), (QStringList{"2024.04.22", "最後の行"}));
    // Continuation lines start one ideographic space (9 pt) right of the first.
    const QList<double> lefts = lineLefts(ui.printPdfPath);
    QVERIFY(lefts.size() >= 3);
    QVERIFY2(qAbs(lefts.at(1) - lefts.at(0)) < 1.0, "first piece at the margin");
    QVERIFY2(qAbs(lefts.at(2) - lefts.at(1) - 9.0) < 1.5, "continuation one em further right");
    // 3 mm margin: 8.5 pt from the page's left edge.
    QVERIFY(qAbs(lefts.at(0) - 8.5) < 1.0);
}

void TestSelfPane::printNothingOrNoPrinter() {
    ScriptedUi ui;
    TfrmDrugInfo viewer;
    fixture::OpenViewer(viewer);
    viewer.MemoSelf->setPlainText(QStringLiteral("\n \n\t"));
    viewer.BtnSelfPrint->click();
    QVERIFY(ui.callsOf("print").isEmpty());
    QCOMPARE(ui.callsOf("messageBox").size(), 1);
    QCOMPARE(ui.callsOf("messageBox").at(0).text, QStringLiteral("印刷する内容がありません。"));
    QCOMPARE(ui.callsOf("messageBox").at(0).icon, platform::MsgIcon::Information);

    // No printer, or one that refuses the job: the user is told.
    ui.calls.clear();
    ui.printAnswer = false;
    viewer.MemoSelf->setPlainText(QStringLiteral("2024.05.20\nアムロジピン錠5mg　1錠"));
    viewer.BtnSelfPrint->click();
    QCOMPARE(ui.callsOf("print").size(), 1);
    QCOMPARE(ui.callsOf("messageBox").size(), 1);
    QVERIFY(
        ui.callsOf("messageBox").at(0).text.startsWith(QStringLiteral("印刷できませんでした。")));
    QCOMPARE(ui.callsOf("messageBox").at(0).icon, platform::MsgIcon::Warning);
}

void TestSelfPane::printOtherInstitutionPane() {
    ScriptedUi ui;
    TfrmDrugInfo viewer;
    fixture::OpenViewer(viewer);
    viewer.MemoTain->setPlainText(QStringLiteral("2024.05.20\nロキソプロフェン錠60mg　1錠"));
    viewer.FSelectedInst = QStringLiteral("みどり台内科クリニック");

    // All institutions shown: the date lines stay as they are.
    viewer.FTainDetailMode = false;
    ui.printPdfPath = scratchFile(QStringLiteral("tain-all.pdf"));
    viewer.BtnPrint->click();
    QCOMPARE(pdfPages(ui.printPdfPath).value(0),
             asExtracted({"2024.05.20", "ロキソプロフェン錠60mg　1錠"}));

    // One institution's detail: its name completes each date line.
    viewer.FTainDetailMode = true;
    ui.printPdfPath = scratchFile(QStringLiteral("tain-detail.pdf"));
    viewer.BtnPrint->click();
    QCOMPARE(pdfPages(ui.printPdfPath).value(0),
             asExtracted({"2024.05.20　みどり台内科クリニック", "ロキソプロフェン錠60mg　1錠"}));
}

QTEST_MAIN(TestSelfPane)
#include "test_selfpane.moc"
