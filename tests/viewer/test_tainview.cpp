// The other-institution pane of the viewer against the stand-in: the whole load
// of a patient (its requests and what the grid and the text show), detail and
// overview, the buttons, loads that fail, saved PDFs that cannot be read, and a
// grid too long for its panel.
#include "app/Startup.h"
#include "core/CoreSource.h"
#include "orca/OrcaHttp.h"
#include "tests/support/ScriptedUi.h"
#include "tests/support/StandinServer.h"
#include "tests/support/TestEnv.h"
#include "tests/viewer/ViewerFixture.h"
#include "viewer/DrugInfo.h"
#include "viewer/StringGrid.h"
#include "viewer/TainMonths.h"
#include "viewer/TainText.h"
#include "viewer/ViewerClock.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QTest>
#include <QTimeZone>

namespace {

const QChar W(0x3000);

// Dates of the test data, counted back from today (the stand-in's day too).
QDate Ago(int days) {
    return QDate::currentDate().addDays(-days);
}
QString Iso(const QDate &d) {
    return d.toString(QStringLiteral("yyyy-MM-dd"));
}
QString Caption(const QDate &d) {
    return d.toString(QStringLiteral("yy/MM"));
}
QString Dotted(const QDate &d) {
    return d.toString(QStringLiteral("yyyy.MM.dd"));
}

QJsonObject Item(const QString &name, const QString &qty, const QString &unit, int times) {
    return {{"name", name},
            {"qty", qty},
            {"unit", unit},
            {"times", QString::number(times)},
            {"class", "21"}};
}

QJsonObject Dispensing(const QDate &day, const QString &code, const QString &name,
                       const QString &prescriberCode, const QString &prescriberName,
                       const QJsonArray &items) {
    QJsonObject d{{"date", Iso(day)},
                  {"inout", prescriberCode.isEmpty() ? "2" : "4"},
                  {"institution_code", code},
                  {"institution_name", name},
                  {"items", items}};
    if (!prescriberCode.isEmpty()) {
        d.insert("prescriber_code", prescriberCode);
        d.insert("prescriber_name", prescriberName);
    }
    return d;
}

const QString kMidori = QStringLiteral("みどり台内科クリニック");
const QString kKohoku = QStringLiteral("港北見本総合病院");
const QString kHikari = QStringLiteral("ひかり皮膚科医院");

// A patient with a pharmacy-dispensed prescription of another clinic (twice),
// an in-house dispensing of a hospital, the clinic's own prescription in the
// online data, a medical-only visit and a checkup.
QJsonObject RichPatient() {
    QJsonObject p =
        StandinServer::makePatient("00901", QStringLiteral("見本　他院子"), "1960-04-01");
    p.insert(
        "drugs",
        QJsonArray{
            Dispensing(
                Ago(10), "1340100018", QStringLiteral("あおば見本薬局"), "1310100011", kMidori,
                {Item(QStringLiteral("アムロジピン錠５ｍｇ"), "1", QStringLiteral("錠"), 28),
                 Item(QStringLiteral("ロキソプロフェン錠６０ｍｇ"), "0", QStringLiteral("錠"), 7)}),
            Dispensing(
                Ago(70), "1340100018", QStringLiteral("あおば見本薬局"), "1310100011", kMidori,
                {Item(QStringLiteral("アムロジピン錠５ｍｇ"), "1", QStringLiteral("錠"), 28)}),
            Dispensing(Ago(40), "1311200022", kKohoku, QString(), QString(),
                       {Item(QStringLiteral("ランソプラゾールＯＤ錠１５ｍｇ"), "1",
                             QStringLiteral("錠"), 14)}),
            Dispensing(Ago(20), "1340300030", QStringLiteral("みなと通り薬局"), "1319900011",
                       QStringLiteral("みなと見本クリニック"),
                       {Item(QStringLiteral("自院の薬"), "1", QStringLiteral("錠"), 14)}),
        });
    p.insert("medical", QJsonArray{QJsonObject{{"date", Iso(Ago(100))},
                                               {"inout", "2"},
                                               {"institution_code", "1310400044"},
                                               {"institution_name", kHikari}}});
    p.insert("checkups",
             QJsonArray{QJsonObject{{"date", Iso(Ago(200))},
                                    {"institution_code", "1310800088"},
                                    {"institution_name", QStringLiteral("区民見本健診センター")}}});
    return p;
}

// The request documents the stand-in saw for one API path.
QStringList Bodies(StandinServer &server, const QString &path) {
    QStringList out;
    for (const QJsonValue &v : server.requests()) {
        const QJsonObject r = v.toObject();
        if (r.value("path").toString() == QStringLiteral("/api/") + path)
            out << r.value("body").toString();
    }
    return out;
}

QString Month(const QString &body) {
    const qsizetype at = body.indexOf(QStringLiteral("<MeTrMonth type=\"string\">"));
    if (at < 0)
        return QStringLiteral("-");
    const qsizetype from = at + 25;
    return body.mid(from, body.indexOf(QLatin1Char('<'), from) - from);
}

QStringList GridRow(const TStringGrid *g, int row) {
    QStringList out;
    for (int c = 0; c < g->ColCount(); ++c)
        out << g->Cells(c, row);
    return out;
}

} // namespace

class TainViewTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void wholeLoad();
    void detailAndButtons();
    void failedLoad();
    void incompleteLoad();
    void unreadablePdfs();
    void onlyThisMonth();
    void savedPdfs();
    void injectedToday();
    void longGrid();
    void malformedDrugAnswer();

private:
    void Open(TfrmDrugInfo &viewer);
    void Select(TfrmDrugInfo &viewer, const QString &id);
    QString m_app;
    StandinServer m_server;
};

void TainViewTest::initTestCase() {
    OrcaGlobalInit();
    RegisterJapaneseFonts();
    StandinOptions o;
    o.demo = true;
    QString error;
    QVERIFY2(m_server.start(o, &error), qPrintable(error));
    QVERIFY(m_server.putPatient(RichPatient()));
}

void TainViewTest::init() {
    m_app = MakeTestAppDir(QStringLiteral("tainview"));
    m_server.resetControl();
    auto ini = fixture::StandinSettings(m_server.baseUrl());
    ini.insert("PARAMA/KIKANNAME", QStringLiteral("みなと見本クリニック"));
    ini.insert("PARAMA/SAVETXT", m_app + QStringLiteral("pdf"));
    fixture::WriteIni(ini);
    QDir().mkpath(m_app + QStringLiteral("pdf"));
}

void TainViewTest::cleanup() {
    viewer::ResetClockForTesting();
}

// Opens the viewer and lets its mark worker finish, so that only the
// selection's requests reach the stand-in from then on.
void TainViewTest::Open(TfrmDrugInfo &viewer) {
    fixture::OpenViewer(viewer);
    QVERIFY(fixture::WaitForMarks(viewer, 60000));
    m_server.resetControl();
}

void TainViewTest::Select(TfrmDrugInfo &viewer, const QString &id) {
    viewer.EditSearch->setText(id);
    QTest::mouseClick(viewer.BtnSearch, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!viewer.FRunner.IsBusy(), 30000);
}

void TainViewTest::wholeLoad() {
    ScriptedUi ui;
    TfrmDrugInfo viewer;
    Open(viewer);
    Select(viewer, "00901");
    QVERIFY(ui.callsOf("messageBox").isEmpty());
    QVERIFY(ui.callsOf("errorBox").isEmpty());

    // One "01" without month, then "02" for this month and the eleven before it.
    const QStringList drug = Bodies(m_server, "api01rv2/onlinedruggetv2");
    QStringList months;
    for (int i = 0; i <= 11; ++i)
        months << viewer::MonthBefore(QDate::currentDate(), i);
    QCOMPARE(drug.size(), 13);
    QVERIFY(drug[0].contains("<Request_Number type=\"string\">01</Request_Number>"));
    QCOMPARE(Month(drug[0]), QString());
    for (int i = 0; i < 12; ++i) {
        QVERIFY(drug[i + 1].contains("<Request_Number type=\"string\">02</Request_Number>"));
        QCOMPARE(Month(drug[i + 1]), months[i]);
    }
    QCOMPARE(Bodies(m_server, "api01rv2/onlinespecgetv2").size(), 1);
    const QStringList med = Bodies(m_server, "api01rv2/onlinemedgetv2");
    QCOMPARE(med.size(), 2);
    QCOMPARE(Month(med[0]), QString());
    QCOMPARE(Month(med[1]), viewer::MonthBefore(QDate::currentDate(), 6));
    // The loads come in that order, before the clinic's own history.
    const QStringList paths = fixture::RequestPaths(m_server);
    QCOMPARE(paths.indexOf("api01rv2/onlinespecgetv2"), 14);
    QCOMPARE(paths.indexOf("api01rv2/onlinemedgetv2"), 15);

    QVERIFY(viewer.FDrugLoadOK);
    QVERIFY(viewer.FDrug01HasMonth);
    QCOMPARE(viewer.FBirthDate, QStringLiteral("1960-04-01"));
    QCOMPARE(viewer.LabelTainName->text(), QStringLiteral("他院"));
    QVERIFY(viewer.BtnBack->isHidden());
    QCOMPARE(viewer.BtnTainAll->text(), QStringLiteral("全て"));

    // The grid: months newest first; ○ for dispensed prescriptions (the
    // pharmacy's under the prescribing clinic), * for the medical-only visit,
    // T for the checkup; the clinic's own prescription nowhere.
    const TStringGrid *g = viewer.GridInstitution;
    QList<QDate> days = {Ago(10), Ago(40), Ago(70), Ago(100), Ago(200)};
    QStringList header = {QStringLiteral("医療機関名")};
    QStringList seen;
    for (const QDate &d : days) {
        if (!seen.contains(Caption(d)))
            header << Caption(d);
        seen << Caption(d);
    }
    QCOMPARE(GridRow(g, 0), header);
    QCOMPARE(g->RowCount(), 5);
    QCOMPARE(g->FixedCols(), 1);
    const auto row = [&](const QString &name, const QList<QPair<QDate, QString>> &marks) {
        QStringList r(header.size());
        r[0] = name;
        for (const auto &m : marks)
            r[header.indexOf(Caption(m.first))] = m.second;
        return r;
    };
    QCOMPARE(GridRow(g, 1), row(kMidori, {{Ago(10), "○"}, {Ago(70), "○"}}));
    QCOMPARE(GridRow(g, 2), row(kKohoku, {{Ago(40), "○"}}));
    QCOMPARE(GridRow(g, 3), row(kHikari, {{Ago(100), "*"}}));
    QCOMPARE(GridRow(g, 4), row(QStringLiteral("特定健診"), {{Ago(200), "T"}}));

    // The text: each institution's latest day, newest first; a quantity "0"
    // is no quantity.
    const QStringList text = {
        Dotted(Ago(10)) + W + kMidori,
        QStringLiteral("アムロジピン錠５ｍｇ") + W + QStringLiteral("1錠"),
        QString(2, W) + QStringLiteral("28日分"),
        QStringLiteral("ロキソプロフェン錠６０ｍｇ"),
        QString(2, W) + QStringLiteral("7日分"),
        QString(),
        Dotted(Ago(40)) + W + kKohoku,
        QStringLiteral("ランソプラゾールＯＤ錠１５ｍｇ") + W + QStringLiteral("1錠"),
        QString(2, W) + QStringLiteral("14日分"),
    };
    QCOMPARE(viewer.MemoTain->toPlainText().split('\n'), text);

    // The patient's mark comes from the load.
    QCOMPARE(viewer.FTainMarkCache.value("00901").Mark, QStringLiteral("◎T"));
    QTest::qWait(50); // the layout follows the grid's new height
    fixture::Grab(&viewer, "tain-overview");
}

void TainViewTest::detailAndButtons() {
    ScriptedUi ui;
    TfrmDrugInfo viewer;
    Open(viewer);
    Select(viewer, "00901");

    // A double-click on a row's name opens its detail: every day, dates alone.
    TStringGrid *g = viewer.GridInstitution;
    const int section = 0; // row 1 is the first data row (section 0)
    const QPoint at(g->verticalHeader()->width() / 2,
                    g->verticalHeader()->sectionViewportPosition(section) +
                        g->verticalHeader()->sectionSize(section) / 2);
    QTest::mouseDClick(g->verticalHeader()->viewport(), Qt::LeftButton, {}, at);
    QTRY_VERIFY(viewer.FTainDetailMode);
    QCOMPARE(viewer.FSelectedInst, kMidori);
    QCOMPARE(viewer.LabelTainName->text(), kMidori);
    QVERIFY(!viewer.BtnBack->isHidden());
    QVERIFY(viewer.BtnTainAll->isHidden());
    QVERIFY(viewer.LabelTainMonth->text().isEmpty());
    const QStringList detail = {
        Dotted(Ago(10)),
        QStringLiteral("アムロジピン錠５ｍｇ") + W + QStringLiteral("1錠"),
        QString(2, W) + QStringLiteral("28日分"),
        QStringLiteral("ロキソプロフェン錠６０ｍｇ"),
        QString(2, W) + QStringLiteral("7日分"),
        QString(),
        Dotted(Ago(70)),
        QStringLiteral("アムロジピン錠５ｍｇ") + W + QStringLiteral("1錠"),
        QString(2, W) + QStringLiteral("28日分"),
    };
    QCOMPARE(viewer.MemoTain->toPlainText().split('\n'), detail);
    QTest::qWait(50);
    fixture::Grab(&viewer, "tain-detail");

    // COPY: the pane's lines, each ended by CR LF.
    QTest::mouseClick(viewer.BtnCopy, Qt::LeftButton);
    QCOMPARE(QGuiApplication::clipboard()->text(), detail.join("\r\n") + "\r\n");

    // The checkup row opens an empty detail.
    emit g->DblClickCell(0, 4);
    QCOMPARE(viewer.LabelTainName->text(), QStringLiteral("特定健診"));
    QCOMPARE(viewer.MemoTain->toPlainText(), QString());

    // 戻る: the overview again; 全て / 半年間 switch the period.
    QTest::mouseClick(viewer.BtnBack, Qt::LeftButton);
    QVERIFY(!viewer.FTainDetailMode);
    QVERIFY(viewer.BtnBack->isHidden());
    QVERIFY(!viewer.BtnTainAll->isHidden());
    QCOMPARE(viewer.LabelTainName->text(), QStringLiteral("他院"));
    QCOMPARE(viewer.BtnTainAll->text(), QStringLiteral("全て"));
    QTest::mouseClick(viewer.BtnTainAll, Qt::LeftButton);
    QVERIFY(viewer.FTainAllMode);
    QCOMPARE(viewer.BtnTainAll->text(), QStringLiteral("半年間"));
    QTest::mouseClick(viewer.BtnTainAll, Qt::LeftButton);
    QCOMPARE(viewer.BtnTainAll->text(), QStringLiteral("全て"));

    // A new load starts in the overview with "全て" whatever was shown before.
    QTest::mouseClick(viewer.BtnTainAll, Qt::LeftButton);
    emit g->DblClickCell(0, 2);
    QVERIFY(viewer.FTainDetailMode);
    Select(viewer, "00901");
    QVERIFY(!viewer.FTainDetailMode);
    QVERIFY(!viewer.FTainAllMode);
    QCOMPARE(viewer.BtnTainAll->text(), QStringLiteral("全て"));
    QVERIFY(viewer.BtnBack->isHidden());
}

void TainViewTest::failedLoad() {
    // When "01" gets no answer, nothing of the patient before stays: the lists
    // are empty, the grid is reset and the pane says the load failed.
    ScriptedUi ui;
    TfrmDrugInfo viewer;
    Open(viewer);
    Select(viewer, "00901");
    QVERIFY(!viewer.FPrescList.isEmpty());
    emit viewer.GridInstitution->DblClickCell(0, 1);
    QVERIFY(viewer.FTainDetailMode);

    m_server.resetControl();
    QVERIFY(m_server.addFault("api01rv2/onlinedruggetv2", "status", -1, 500));
    Select(viewer, "00901");
    QVERIFY(ui.callsOf("messageBox").isEmpty());
    QVERIFY(!viewer.FDrugLoadOK);
    QVERIFY(viewer.FPrescList.isEmpty());
    QVERIFY(viewer.FInstMonthMap.isEmpty());
    QVERIFY(viewer.FMedInstMonths.isEmpty());
    QVERIFY(viewer.FTkkDates.isEmpty());
    QVERIFY(viewer.FMonthList.isEmpty());
    QCOMPARE(viewer.MemoTain->toPlainText(), QStringLiteral("他院情報を取得できませんでした。"));
    QCOMPARE(viewer.GridInstitution->RowCount(), 2);
    QCOMPARE(GridRow(viewer.GridInstitution, 1), QStringList({"", ""}));
    QVERIFY(!viewer.FTainDetailMode);
    QCOMPARE(viewer.LabelTainName->text(), QStringLiteral("他院"));
    // No other request of the load went out.
    QCOMPARE(Bodies(m_server, "api01rv2/onlinespecgetv2").size(), 0);

    // "全て" and "戻る" rebuild from the empty lists: still nothing of the
    // patient before.
    QTest::mouseClick(viewer.BtnTainAll, Qt::LeftButton);
    QCOMPARE(viewer.GridInstitution->RowCount(), 1);
    QCOMPARE(viewer.MemoTain->toPlainText(), QStringLiteral("他院情報を取得できませんでした。"));

    // Only the patient's own number gets no answer; its padded forms are
    // answered E10. That says nothing about the patient: the load failed.
    m_server.resetControl();
    QVERIFY(m_server.addFault("api01rv2/onlinedruggetv2", "status", 1, 500));
    Select(viewer, "00901");
    QCOMPARE(Bodies(m_server, "api01rv2/onlinedruggetv2").size(), 3);
    QVERIFY(!viewer.FDrugLoadOK);
    QCOMPARE(viewer.MemoTain->toPlainText(), QStringLiteral("他院情報を取得できませんでした。"));
}

void TainViewTest::incompleteLoad() {
    // A checkup request that fails: what came is shown under a plain line that
    // says something is missing, and no mark is derived from the gap.
    ScriptedUi ui;
    TfrmDrugInfo viewer;
    Open(viewer);
    QVERIFY(m_server.addFault("api01rv2/onlinespecgetv2", "status", -1, 500));
    Select(viewer, "00901");
    QVERIFY(ui.callsOf("messageBox").isEmpty());
    QVERIFY(!viewer.FDrugLoadOK);
    QVERIFY(!viewer.FTainMarkCache.contains("00901"));
    const QStringList lines = viewer.MemoTain->toPlainText().split('\n');
    QCOMPARE(lines.value(0), QStringLiteral("他院情報の一部を取得できませんでした。"));
    QCOMPARE(lines.value(1), QString());
    QCOMPARE(lines.value(2), Dotted(Ago(10)) + W + kMidori);
    QCOMPARE(viewer.GridInstitution->Cells(0, 4), QString()); // no checkup row
    QCOMPARE(viewer.GridInstitution->RowCount(), 4);

    // One month of "02" answering with an error code counts as missing too;
    // the mark rests on the other answers and is stored. (The first request,
    // "01", passes through a plain delay.)
    m_server.resetControl();
    QVERIFY(m_server.addFault("api01rv2/onlinedruggetv2", "delay", 1, 0, 1));
    QVERIFY(m_server.addFault("api01rv2/onlinedruggetv2", "result", 1, 0, 0, "E90"));
    Select(viewer, "00901");
    QVERIFY(viewer.FDrugLoadOK);
    QCOMPARE(viewer.FTainMarkCache.value("00901").Mark, QStringLiteral("◎T"));
    QCOMPARE(viewer.MemoTain->toPlainText().split('\n').value(0),
             QStringLiteral("他院情報の一部を取得できませんでした。"));
}

void TainViewTest::unreadablePdfs() {
    // Things named like the patient's saved documents that cannot be read:
    // the selection runs to its end, the load completes, no checkup row comes
    // from them.
    ScriptedUi ui;
    const QString folder = m_app + QStringLiteral("pdf/");
    QVERIFY(QDir(folder).mkdir("YZK_00902X_20240801.pdf"));
    QVERIFY(QDir(folder).mkdir("TKK_00902X_20240801.pdf"));
    QVERIFY(QFile::link(folder + "gone.pdf", folder + "TKK_00902X_2.pdf"));
    QJsonObject p = StandinServer::makePatient("00902", QStringLiteral("見本　読子"), "1970-01-01");
    p.insert("drugs", QJsonArray{Dispensing(Ago(40), "1311200022", kKohoku, QString(), QString(),
                                            {Item(QStringLiteral("薬"), "1", "T", 3)})});
    QVERIFY(m_server.putPatient(p));

    TfrmDrugInfo viewer;
    Open(viewer);
    Select(viewer, "00902");
    QVERIFY(ui.callsOf("errorBox").isEmpty());
    QVERIFY(viewer.FDrugLoadOK);
    QCOMPARE(viewer.GridInstitution->RowCount(), 2);
    QCOMPARE(viewer.GridInstitution->Cells(0, 1), kKohoku);
    QVERIFY(!viewer.LabelAge->text().isEmpty()); // the selection's last step ran
    QCOMPARE(viewer.FTainMarkCache.value("00902").Mark, QStringLiteral("◎"));
}

void TainViewTest::onlyThisMonth() {
    // ORCA's "01" answers start at last month: a patient whose only other-
    // institution data is from this month has no month there. The month list
    // still asks "02" for this month, so the dispensing shows in the grid and
    // the text; the medical information of this month shows nowhere, and no
    // mark comes from the drug or medical months.
    ScriptedUi ui;
    QJsonObject p =
        StandinServer::makePatient("00904", QStringLiteral("見本　今月子"), "1980-01-01");
    p.insert("drugs", QJsonArray{Dispensing(QDate::currentDate(), "1340100018",
                                            QStringLiteral("あおば見本薬局"), "1310100011", kMidori,
                                            {Item(QStringLiteral("薬"), "1", "T", 5)})});
    p.insert("medical", QJsonArray{QJsonObject{{"date", Iso(QDate::currentDate())},
                                               {"inout", "2"},
                                               {"institution_code", "1310400044"},
                                               {"institution_name", kHikari}}});
    QVERIFY(m_server.putPatient(p));

    TfrmDrugInfo viewer;
    Open(viewer);
    Select(viewer, "00904");
    QVERIFY(viewer.FDrugLoadOK);
    QVERIFY(!viewer.FDrug01HasMonth);
    QVERIFY(viewer.FInstMonthMap.isEmpty());
    QVERIFY(viewer.FMedInstMonths.isEmpty());
    const TStringGrid *g = viewer.GridInstitution;
    QCOMPARE(GridRow(g, 0),
             QStringList({QStringLiteral("医療機関名"), Caption(QDate::currentDate())}));
    QCOMPARE(GridRow(g, 1), QStringList({kMidori, QStringLiteral("○")}));
    QCOMPARE(g->RowCount(), 2);
    QCOMPARE(viewer.MemoTain->toPlainText().split('\n').value(0),
             Dotted(QDate::currentDate()) + W + kMidori);
    QCOMPARE(viewer.FTainMarkCache.value("00904").Mark, QString());
    QCOMPARE(viewer.GridPatient->Cells(3, 1), QString());
}

void TainViewTest::savedPdfs() {
    // The patient's saved documents, made by a real PDF producer: the drug
    // document's visit history adds medical months (the clinic's own name
    // left out), the checkup document gives the checkup row when ORCA has no
    // checkup dates.
    ScriptedUi ui;
    auto ini = fixture::StandinSettings(m_server.baseUrl());
    ini.insert("PARAMA/KIKANNAME", QStringLiteral("みなと内科クリニック"));
    ini.insert("PARAMA/SAVETXT", m_app + QStringLiteral("pdf"));
    fixture::WriteIni(ini);
    const QString folder = m_app + QStringLiteral("pdf/");
    const QString data = SourceDir() + QStringLiteral("/tests/data/pdf/");
    QVERIFY(QFile::copy(data + "YZK_12345X_20240801.pdf", folder + "YZK_00905X_20240801.pdf"));
    QVERIFY(QFile::copy(data + "TKK_12345X_20240801.pdf", folder + "TKK_00905X_20240801.pdf"));
    QJsonObject p = StandinServer::makePatient("00905", QStringLiteral("𠮷田　太郎"), "1965-06-01");
    QVERIFY(m_server.putPatient(p));

    TfrmDrugInfo viewer;
    Open(viewer);
    Select(viewer, "00905");
    QVERIFY(viewer.FDrugLoadOK);
    QCOMPARE(viewer.FMedInstMonths, QStringList({QStringLiteral("中央総合病院=2024-06"),
                                                 QStringLiteral("中央総合病院=2024-07")}));
    const TStringGrid *g = viewer.GridInstitution;
    QCOMPARE(GridRow(g, 0), QStringList({QStringLiteral("医療機関名"), "24/07", "24/06"}));
    QCOMPARE(GridRow(g, 1), QStringList({QStringLiteral("中央総合病院"), "*", "*"}));
    QCOMPARE(GridRow(g, 2), QStringList({QStringLiteral("特定健診"), "", "T"}));
    // The documents' months count for the patient's mark.
    QCOMPARE(viewer.FTainMarkCache.value("00905").Mark, QStringLiteral("◎"));
    QVERIFY(ReadLogMessages(m_app + QStringLiteral("Log.txt"))
                .contains(QStringLiteral("PDF患者名一致: YZK_00905X_20240801.pdf")));
}

void TainViewTest::injectedToday() {
    // The load's months follow the viewer's clock, counted by calendar month:
    // on 2024-03-31 (Tokyo; still the 30th in UTC) February is asked once.
    ScriptedUi ui;
    TfrmDrugInfo viewer;
    Open(viewer);
    viewer::SetClockForTesting(QDateTime(QDate(2024, 3, 30), QTime(16, 0), QTimeZone::utc()),
                               QTimeZone("Asia/Tokyo"));
    Select(viewer, "00901");
    QStringList months;
    for (const QString &body : Bodies(m_server, "api01rv2/onlinedruggetv2").mid(1))
        months << Month(body);
    QStringList expected = {"2024-03", "2024-02", "2024-01"};
    for (int m = 12; m >= 4; --m)
        expected << QStringLiteral("2023-%1").arg(m, 2, 10, QLatin1Char('0'));
    // (The stand-in's "01" months, from its own clock, come first.)
    QCOMPARE(months.mid(months.indexOf("2024-03"), 12), expected);
    QCOMPARE(months.count("2024-02"), 1);
    QCOMPARE(Month(Bodies(m_server, "api01rv2/onlinemedgetv2").value(1)),
             QStringLiteral("2023-09"));
}

void TainViewTest::longGrid() {
    // 24 institutions and the header: 25 rows, ten shown, a vertical scroll bar.
    ScriptedUi ui;
    QJsonObject p =
        StandinServer::makePatient("00903", QStringLiteral("見本　多施設"), "1950-01-01");
    QJsonArray drugs;
    for (int i = 0; i < 24; ++i) {
        drugs << Dispensing(Ago(3 + i * 7), QStringLiteral("13112%1").arg(i, 5, 10, QChar('0')),
                            QStringLiteral("見本第%1病院").arg(i + 1), QString(), QString(),
                            {Item(QStringLiteral("薬"), "1", "T", 3)});
    }
    p.insert("drugs", drugs);
    QVERIFY(m_server.putPatient(p));

    TfrmDrugInfo viewer;
    Open(viewer);
    const int before = viewer.PanelTopGrid->height();
    Select(viewer, "00903");
    TStringGrid *g = viewer.GridInstitution;
    QCOMPARE(g->RowCount(), 25);
    QCOMPARE(g->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    const int h = g->DefaultRowHeight();
    const int scrollBar = viewer.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, g);
    QCOMPARE(viewer.PanelTopGrid->height(),
             1 + 10 * (h + 1) + scrollBar + viewer.ScaleToDpi(8) + viewer.ScaleToDpi(30));
    QVERIFY(viewer.PanelTopGrid->height() > before);
    // Column 0 is as wide as the longest name allows, within its bounds.
    QVERIFY(g->ColWidth(0) >= viewer.ScaleToDpi(120) && g->ColWidth(0) <= viewer.ScaleToDpi(360));
    QTest::qWait(50);
    fixture::Grab(&viewer, "tain-long");
}

void TainViewTest::malformedDrugAnswer() {
    // A "02" answer that is not a document: logged, what was appended before stays.
    TfrmDrugInfo viewer;
    viewer.FPrescList = {TPrescription{QStringLiteral("前の月医院"), "1310000001", "20240401", {}}};
    const QString file = m_app + QStringLiteral("broken.txt");
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("\xEF\xBB\xBF<?xml version=\"1.0\"?>\n<xmlio2><onlinedruggetres><MeTrMonthInf>");
    f.close();
    QVERIFY(!viewer.ParseOnlineDrugGet02(file, "2024-05"));
    QCOMPARE(viewer.FPrescList.size(), 1);
    QVERIFY(!viewer.ParseOnlineDrugGet02(m_app + QStringLiteral("missing.txt"), "2024-05"));
    const QStringList log = ReadLogMessages(m_app + QStringLiteral("Log.txt"));
    QCOMPARE(log.filter(QStringLiteral("ParseOnlineDrugGet02 Error: ")).size(), 1);
}

QTEST_MAIN(TainViewTest)
#include "test_tainview.moc"
