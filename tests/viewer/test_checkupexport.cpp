// The checkup CSV export from the viewer's menu, against the stand-in: full
// and differential runs, a reception list that cannot be read, failed
// patients (error answers included), the dialogs and their cancellation, a
// CSV that cannot be written, escaping of chart numbers, and the window
// during the export (nothing else runs, the close waits).
#include "app/Startup.h"
#include "core/CoreSource.h"
#include "orca/OrcaHttp.h"
#include "platform/UiSeam.h"
#include "tests/support/ScriptedUi.h"
#include "tests/support/StandinServer.h"
#include "tests/support/TestEnv.h"
#include "tests/viewer/ViewerFixture.h"
#include "viewer/DrugInfo.h"
#include "viewer/StringGrid.h"
#include "viewer/TokuteiExport.h"
#include "viewer/ViewerClock.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <QTimer>

#include <sys/stat.h>

using platform::MsgButtons;
using platform::MsgIcon;
using platform::MsgResult;

namespace {

const QByteArray kBom("\xEF\xBB\xBF");

QByteArray lines(const QStringList &list) {
    QByteArray out;
    for (const QString &l : list)
        out += l.toUtf8() + "\r\n";
    return out;
}

QByteArray csv(const QStringList &rows) {
    return kBom + lines(QStringList{viewer::kTkkCsvHeader} + rows);
}

QJsonObject checkup(const QString &date) {
    return QJsonObject{
        {QStringLiteral("date"), date},
        {QStringLiteral("institution_code"), QStringLiteral("1310800088")},
        {QStringLiteral("institution_name"), QStringLiteral("区民見本健診センター")}};
}

QJsonObject patient(const QString &id, const QString &name, const QString &birth,
                    const QStringList &checkups = {}) {
    QJsonObject p = StandinServer::makePatient(id, name, birth);
    QJsonArray list;
    for (const QString &d : checkups)
        list << checkup(d);
    if (!list.isEmpty())
        p.insert(QStringLiteral("checkups"), list);
    return p;
}

QJsonArray visits(const QStringList &ids) {
    QJsonArray out;
    for (const QString &id : ids)
        out << QJsonObject{{QStringLiteral("id"), id}, {QStringLiteral("time"), "09:00:00"}};
    return out;
}

int fileMode(const QString &path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
}

// The patient and the API the request was about: "patientgetv2 9",
// "onlinespecgetv2 00012", "acceptlstv2 2024-06-09".
QStringList exportRequests(StandinServer &server) {
    QStringList out;
    for (const QJsonValue &v : server.requests()) {
        const QJsonObject r = v.toObject();
        const QString path =
            r.value(QStringLiteral("path")).toString().section(QLatin1Char('/'), -1);
        const QString body = r.value(QStringLiteral("body")).toString();
        const auto leaf = [&](const QString &tag) {
            const QString open = QLatin1Char('<') + tag + QStringLiteral(" type=\"string\">");
            const qsizetype a = body.indexOf(open);
            const qsizetype b = body.indexOf(QStringLiteral("</") + tag + QLatin1Char('>'));
            return a < 0 || b < 0 ? QString() : body.mid(a + open.size(), b - a - open.size());
        };
        if (path == QLatin1String("patientgetv2"))
            out << path + QLatin1Char(' ') + r.value(QStringLiteral("query")).toString().mid(3);
        else if (path == QLatin1String("onlinespecgetv2"))
            out << path + QLatin1Char(' ') + leaf(QStringLiteral("Patient_ID"));
        else if (path == QLatin1String("acceptlstv2"))
            out << path + QLatin1Char(' ') + leaf(QStringLiteral("Acceptance_Date"));
        else
            out << path;
    }
    return out;
}

} // namespace

class TestCheckupExport : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void fullRun();
    void differentialRun();
    void receptionListFailureSwitchesToFull_data();
    void receptionListFailureSwitchesToFull();
    void failedPatientKeepsItsCachedValues_data();
    void failedPatientKeepsItsCachedValues();
    void runAfterAFailureIsFull();
    void askFallsBackToAQuestionBox();
    void cancelledDialogsWriteNothing();
    void noPatientCache();
    void unwritableCsvLeavesCacheAndLastFetch();
    void chartNumbersAreEscaped();
    void nothingElseRunsDuringTheExport();
    void exportFromTheDemoClinic();

private:
    // Opens the viewer on the fixed day with the given patient cache lines.
    void open(TfrmDrugInfo &viewer, const QStringList &patientCache);
    // Runs the export from the menu (the dialogs answered by ui) and waits until it is over.
    void runExport(TfrmDrugInfo &viewer);

    StandinServer m_server;
    QTemporaryDir m_data;
    QString m_dir;
    QString m_out;
};

void TestCheckupExport::initTestCase() {
    OrcaGlobalInit();
    RegisterJapaneseFonts();
    StandinOptions o;
    o.dataDir = m_data.path();
    o.extraArgs = {QStringLiteral("--match"), QStringLiteral("padded")};
    QString error;
    QVERIFY2(m_server.start(o, &error), qPrintable(error));
    QVERIFY(m_server.putPatient(
        patient(QStringLiteral("00012"), QStringLiteral("架空 一郎"), QStringLiteral("1950-05-11"),
                {QStringLiteral("2024-05-10"), QStringLiteral("2023-06-01")})));
    QVERIFY(m_server.putPatient(patient(QStringLiteral("00009"), QStringLiteral("見本 次郎"),
                                        QStringLiteral("1980-01-01"))));
    QVERIFY(m_server.putPatient(
        patient(QStringLiteral("00045"), QStringLiteral("山田,花子"), QStringLiteral("1962-04-01"),
                {QStringLiteral("2023-10-12"), QStringLiteral("2023-10-12")})));
    QVERIFY(
        m_server.putPatient(patient(QStringLiteral("00103"), QStringLiteral("新規 三郎"),
                                    QStringLiteral("1970-07-07"), {QStringLiteral("2022-02-02")})));
}

void TestCheckupExport::init() {
    m_dir = MakeTestAppDir(QStringLiteral("checkupexport"));
    m_out = m_dir + QStringLiteral("out/特定健診.csv");
    QDir().mkpath(m_dir + QStringLiteral("out"));
    m_server.resetControl();
    for (const char *day : {"2024-06-06", "2024-06-07", "2024-06-08", "2024-06-09", "2024-06-10"})
        QVERIFY(m_server.putReception(QString::fromLatin1(day), QJsonArray()));
    // Today is 10 June 2024, in Tokyo.
    const QTimeZone tokyo("Asia/Tokyo");
    viewer::SetClockForTesting(QDateTime(QDate(2024, 6, 10), QTime(10, 0), tokyo), tokyo);
}

void TestCheckupExport::cleanup() {
    viewer::ResetClockForTesting();
}

void TestCheckupExport::open(TfrmDrugInfo &viewer, const QStringList &patientCache) {
    fixture::WriteIni(fixture::StandinSettings(m_server.baseUrl()));
    if (!patientCache.isEmpty())
        QVERIFY(WriteAll(TfrmDrugInfo::PatientCachePath(), kBom + lines(patientCache)));
    fixture::OpenViewer(viewer);
    QVERIFY(fixture::WaitForMarks(viewer));
    m_server.resetControl();
}

void TestCheckupExport::runExport(TfrmDrugInfo &viewer) {
    viewer.MenuExportTkk->trigger();
    QTRY_VERIFY(!viewer.FRunner.IsBusy());
    QCoreApplication::processEvents();
}

void TestCheckupExport::fullRun() {
    ScriptedUi ui;
    ui.fileAnswers << m_out;
    TfrmDrugInfo viewer;
    // Lines without a patient give no row but count in the progress.
    open(viewer,
         {QStringLiteral("00012,架空 一郎"), QStringLiteral("00077, "), QStringLiteral(" ,名無し"),
          QStringLiteral("9,見本 次郎"), QStringLiteral("00045,山田,花子")});
    QVERIFY(viewer.TimerRefresh->isActive());
    QStringList titles;
    connect(&viewer, &QWidget::windowTitleChanged, this, [&](const QString &t) { titles << t; });
    ui.calls.clear();

    runExport(viewer);

    // No cache yet: no choice, straight to the save dialog.
    QVERIFY(ui.callsOf(QStringLiteral("taskDialog")).isEmpty());
    const auto saves = ui.callsOf(QStringLiteral("saveFile"));
    QCOMPARE(saves.size(), 1);
    QCOMPARE(saves.at(0).file.title, QStringLiteral("特定健診CSVの保存先"));
    QCOMPARE(saves.at(0).file.filter, QStringLiteral("CSVファイル (*.csv)|*.csv"));
    QCOMPARE(saves.at(0).file.defaultExt, QStringLiteral("csv"));
    QCOMPARE(saves.at(0).file.fileName, QStringLiteral("特定健診受診年月_20240610.csv"));
    QVERIFY(saves.at(0).file.confirmOverwrite);

    // 9 before 12 by number; two checkups of 00012 with their own ages; the
    // repeated date once; the comma in a name quoted.
    QCOMPARE(ReadAll(m_out), csv({
                                 QStringLiteral("9,見本 次郎,1980-01-01,,,44"),
                                 QStringLiteral("00012,架空 一郎,1950-05-11,202306,73,74"),
                                 QStringLiteral("00012,架空 一郎,1950-05-11,202405,73,74"),
                                 QStringLiteral("00045,\"山田,花子\",1962-04-01,202310,61,62"),
                             }));
    QCOMPARE(fileMode(m_out), 0600);
    QCOMPARE(ReadAll(viewer::TokuteiCachePath()),
             kBom + lines({QStringLiteral("00012\t1950-05-11\t2023-06-01;2024-05-10"),
                           QStringLiteral("00045\t1962-04-01\t2023-10-12"),
                           QStringLiteral("9\t1980-01-01\t")}));
    QCOMPARE(fileMode(viewer::TokuteiCachePath()), 0600);
    QCOMPARE(ReadSetting(QStringLiteral("TOKUTEI"), QStringLiteral("LASTFETCH"), QString()),
             QStringLiteral("2024-06-10"));

    QCOMPARE(exportRequests(m_server),
             QStringList({QStringLiteral("patientgetv2 00012"),
                          QStringLiteral("onlinespecgetv2 00012"), QStringLiteral("patientgetv2 9"),
                          QStringLiteral("onlinespecgetv2 9"), QStringLiteral("patientgetv2 00045"),
                          QStringLiteral("onlinespecgetv2 00045")}));
    QCOMPARE(titles,
             QStringList({QStringLiteral("特定健診取得中... (1/5)"),
                          QStringLiteral("特定健診取得中... (4/5)"),
                          QStringLiteral("特定健診取得中... (5/5)"), QStringLiteral("ミナトリ")}));
    QVERIFY(
        ReadLogMessages(m_dir + QStringLiteral("Log.txt"))
            .contains(QStringLiteral("特定健診CSV出力: 全件 3人・4件 (問い合わせ 3人, 失敗 0人)")));
    const auto boxes = ui.callsOf(QStringLiteral("messageBox"));
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.at(0).icon, MsgIcon::Information);
    QCOMPARE(boxes.at(0).text, QStringLiteral("3人・4件を書き出しました。\r\n") + m_out);
    // Everything given back.
    QCOMPARE(viewer.windowTitle(), QStringLiteral("ミナトリ"));
    QVERIFY(viewer.TimerRefresh->isActive());
    QCOMPARE(ui.cursor, platform::CursorKind::Default);
    QVERIFY(ui.callsOf(QStringLiteral("errorBox")).isEmpty());
}

void TestCheckupExport::differentialRun() {
    ScriptedUi ui;
    ui.fileAnswers << m_out;
    ui.taskAnswers << 1; // the differential link
    // Cached: 00012 (came on 9 June), 9 and 00045 (did not come); 00103 is new.
    QVERIFY(WriteAll(viewer::TokuteiCachePath(),
                     kBom + lines({QStringLiteral("00012\t1950-05-11\t2023-06-01"),
                                   QStringLiteral("00045\t1962-04-01\t2020-01-01"),
                                   QStringLiteral("9\t1980-01-01\t")})));
    QVERIFY(m_server.putReception(QStringLiteral("2024-06-09"), visits({QStringLiteral("00012")})));
    TfrmDrugInfo viewer;
    open(viewer, {QStringLiteral("00012,架空 一郎"), QStringLiteral("9,見本 次郎"),
                  QStringLiteral("00045,山田,花子"), QStringLiteral("00103,新規 三郎")});
    WriteSetting(QStringLiteral("TOKUTEI"), QStringLiteral("LASTFETCH"),
                 QStringLiteral("2024-06-08"));
    QStringList titles;
    connect(&viewer, &QWidget::windowTitleChanged, this, [&](const QString &t) { titles << t; });

    runExport(viewer);

    const auto tasks = ui.callsOf(QStringLiteral("taskDialog"));
    QCOMPARE(tasks.size(), 1);
    const platform::TaskDialogSpec &spec = tasks.at(0).task;
    QCOMPARE(spec.caption, QStringLiteral("特定健診CSV出力"));
    QCOMPARE(spec.instruction, QStringLiteral("取得のしかたを選んでください"));
    QCOMPARE(spec.content, QStringLiteral("前回ORCAから取得した日： 2024/06/08"));
    QCOMPARE(spec.links.size(), 2);
    QCOMPARE(spec.links.at(0).text, QStringLiteral("差分で取得する（速い・通常はこちら）"));
    QCOMPARE(
        spec.links.at(0).note,
        QStringLiteral("前回以降に受付した患者と、新しく登録された患者だけをORCAに問い合わせます。"
                       "それ以外の患者は前回取得した内容を使います。"));
    QCOMPARE(spec.links.at(1).text, QStringLiteral("全件取り直す"));
    QCOMPARE(spec.links.at(1).note,
             QStringLiteral("登録されている全員（4人）をORCAに問い合わせます。数分かかります。"));
    QCOMPARE(spec.defaultLink, spec.links.at(0).id);
    QVERIFY(spec.cancelButton && spec.allowCancel);

    // The reception lists from the last fetch to today; then only the patient
    // who came (its birth date is cached) and the new one.
    QCOMPARE(
        exportRequests(m_server),
        QStringList(
            {QStringLiteral("acceptlstv2 2024-06-08"), QStringLiteral("acceptlstv2 2024-06-09"),
             QStringLiteral("acceptlstv2 2024-06-10"), QStringLiteral("onlinespecgetv2 00012"),
             QStringLiteral("patientgetv2 00103"), QStringLiteral("onlinespecgetv2 00103")}));
    QCOMPARE(titles.mid(0, 3), QStringList({QStringLiteral("受付一覧を確認中... (2024/06/08)"),
                                            QStringLiteral("受付一覧を確認中... (2024/06/09)"),
                                            QStringLiteral("受付一覧を確認中... (2024/06/10)")}));
    QCOMPARE(titles.mid(3),
             QStringList({QStringLiteral("特定健診取得中... (1/4)"),
                          QStringLiteral("特定健診取得中... (4/4)"), QStringLiteral("ミナトリ")}));

    // 00045 and 9 written from the cache (its old date), the others fresh.
    QCOMPARE(ReadAll(m_out), csv({
                                 QStringLiteral("9,見本 次郎,1980-01-01,,,44"),
                                 QStringLiteral("00012,架空 一郎,1950-05-11,202306,73,74"),
                                 QStringLiteral("00012,架空 一郎,1950-05-11,202405,73,74"),
                                 QStringLiteral("00045,\"山田,花子\",1962-04-01,202001,57,62"),
                                 QStringLiteral("00103,新規 三郎,1970-07-07,202202,51,53"),
                             }));
    QCOMPARE(ReadAll(viewer::TokuteiCachePath()),
             kBom + lines({QStringLiteral("00012\t1950-05-11\t2023-06-01;2024-05-10"),
                           QStringLiteral("00045\t1962-04-01\t2020-01-01"),
                           QStringLiteral("00103\t1970-07-07\t2022-02-02"),
                           QStringLiteral("9\t1980-01-01\t")}));
    QCOMPARE(ReadSetting(QStringLiteral("TOKUTEI"), QStringLiteral("LASTFETCH"), QString()),
             QStringLiteral("2024-06-10"));
    QVERIFY(
        ReadLogMessages(m_dir + QStringLiteral("Log.txt"))
            .contains(QStringLiteral("特定健診CSV出力: 差分 4人・5件 (問い合わせ 2人, 失敗 0人)")));
    QCOMPARE(ui.callsOf(QStringLiteral("messageBox")).at(0).text,
             QStringLiteral("4人・5件を書き出しました。\r\n") + m_out);
}

void TestCheckupExport::receptionListFailureSwitchesToFull_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("result");
    QTest::newRow("server error") << "status" << 500 << "";
    QTest::newRow("error answer") << "result" << 0 << "11";
}

void TestCheckupExport::receptionListFailureSwitchesToFull() {
    QFETCH(QString, kind);
    QFETCH(int, status);
    QFETCH(QString, result);
    ScriptedUi ui;
    ui.fileAnswers << m_out;
    ui.taskAnswers << 1;
    QVERIFY(WriteAll(viewer::TokuteiCachePath(),
                     kBom + lines({QStringLiteral("00012\t1950-05-11\t2023-06-01"),
                                   QStringLiteral("9\t1980-01-01\t")})));
    TfrmDrugInfo viewer;
    open(viewer, {QStringLiteral("00012,架空 一郎"), QStringLiteral("9,見本 次郎")});
    WriteSetting(QStringLiteral("TOKUTEI"), QStringLiteral("LASTFETCH"),
                 QStringLiteral("2024-06-07"));
    // The first two days answer, the third does not.
    QVERIFY(m_server.addFault(QStringLiteral("api01rv2/acceptlstv2"), QStringLiteral("delay"), 2));
    QVERIFY(m_server.addFault(QStringLiteral("api01rv2/acceptlstv2"), kind, 1, status, 0, result));

    runExport(viewer);

    QCOMPARE(
        exportRequests(m_server),
        QStringList({QStringLiteral("acceptlstv2 2024-06-07"),
                     QStringLiteral("acceptlstv2 2024-06-08"),
                     QStringLiteral("acceptlstv2 2024-06-09"), QStringLiteral("patientgetv2 00012"),
                     QStringLiteral("onlinespecgetv2 00012"), QStringLiteral("patientgetv2 9"),
                     QStringLiteral("onlinespecgetv2 9")}));
    const QStringList log = ReadLogMessages(m_dir + QStringLiteral("Log.txt"));
    QVERIFY(log.contains(QStringLiteral("特定健診CSV: 受付一覧を取得できず全件に切替 2024-06-09")));
    QVERIFY(
        log.contains(QStringLiteral("特定健診CSV出力: 全件 2人・3件 (問い合わせ 2人, 失敗 0人)")));
    QCOMPARE(ui.callsOf(QStringLiteral("messageBox")).at(0).text,
             QStringLiteral("2人・3件を書き出しました。\r\n"
                            "受付一覧を確認できなかったため、全件を取り直しました。\r\n") +
                 m_out);
    QCOMPARE(ReadSetting(QStringLiteral("TOKUTEI"), QStringLiteral("LASTFETCH"), QString()),
             QStringLiteral("2024-06-10"));
}

void TestCheckupExport::failedPatientKeepsItsCachedValues_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("result");
    QTest::addColumn<QString>("row");       // 00012's rows in the CSV
    QTest::addColumn<QString>("cacheLine"); // 00012's line in the cache afterwards
    const QString cached = QStringLiteral("00012\t1949-01-01\t2019-01-01");
    // The checkup request answered with an error code: the cached dates are written.
    QTest::newRow("checkup error answer") << "api01rv2/onlinespecgetv2"
                                          << "result" << 0 << "E99"
                                          << "00012,架空 一郎,1950-05-11,201901,68,74" << cached;
    // The birth date request fails: the cached birth date, the fresh checkups.
    QTest::newRow("birth date server error")
        << "api01rv2/patientgetv2?id=00012"
        << "status" << 500 << ""
        << "00012,架空 一郎,1949-01-01,202306,74,75\n00012,架空 一郎,1949-01-01,202405,75,75"
        << cached;
    QTest::newRow("birth date error answer")
        << "api01rv2/patientgetv2?id=00012"
        << "result" << 0 << "99"
        << "00012,架空 一郎,1949-01-01,202306,74,75\n00012,架空 一郎,1949-01-01,202405,75,75"
        << cached;
}

void TestCheckupExport::failedPatientKeepsItsCachedValues() {
    QFETCH(QString, path);
    QFETCH(QString, kind);
    QFETCH(int, status);
    QFETCH(QString, result);
    QFETCH(QString, row);
    QFETCH(QString, cacheLine);
    ScriptedUi ui;
    ui.fileAnswers << m_out;
    QVERIFY(WriteAll(viewer::TokuteiCachePath(),
                     kBom + lines({QStringLiteral("00012\t1949-01-01\t2019-01-01")})));
    TfrmDrugInfo viewer;
    open(viewer, {QStringLiteral("00012,架空 一郎"), QStringLiteral("9,見本 次郎")});
    // 181 days back: no choice, a full run.
    WriteSetting(QStringLiteral("TOKUTEI"), QStringLiteral("LASTFETCH"),
                 QStringLiteral("2023-12-12"));
    QVERIFY(m_server.addFault(path, kind, 1, status, 0, result));

    runExport(viewer);

    QVERIFY(ui.callsOf(QStringLiteral("taskDialog")).isEmpty());
    QCOMPARE(ReadAll(m_out), csv(QStringList{QStringLiteral("9,見本 次郎,1980-01-01,,,44")} +
                                 row.split(QLatin1Char('\n'))));
    QCOMPARE(ReadAll(viewer::TokuteiCachePath()),
             kBom + lines({cacheLine, QStringLiteral("9\t1980-01-01\t")}));
    QCOMPARE(ReadSetting(QStringLiteral("TOKUTEI"), QStringLiteral("LASTFETCH"), QString()),
             QStringLiteral("2023-12-12"));
    const QStringList log = ReadLogMessages(m_dir + QStringLiteral("Log.txt"));
    QVERIFY(log.contains(QStringLiteral("特定健診CSV: 取得失敗 ID=00012")));
    QVERIFY(log.filter(QStringLiteral("特定健診CSV出力: 全件 2人"))
                .first()
                .endsWith(QStringLiteral("(問い合わせ 2人, 失敗 1人)")));
    QCOMPARE(
        ui.callsOf(QStringLiteral("messageBox")).at(0).text.section(QStringLiteral("\r\n"), 1),
        QStringLiteral("ORCAと通信できなかった患者が 1人いました。前回取得した内容で出力しています"
                       "（初めての患者は空欄）。次回の出力で取り直します。\r\n") +
            m_out);
}

void TestCheckupExport::runAfterAFailureIsFull() {
    ScriptedUi ui;
    ui.fileAnswers << m_out << m_out;
    ui.taskAnswers << 2; // full
    QVERIFY(WriteAll(viewer::TokuteiCachePath(),
                     kBom + lines({QStringLiteral("00012\t1950-05-11\t2019-01-01"),
                                   QStringLiteral("9\t1980-01-01\t")})));
    TfrmDrugInfo viewer;
    open(viewer, {QStringLiteral("00012,架空 一郎"), QStringLiteral("9,見本 次郎")});
    WriteSetting(QStringLiteral("TOKUTEI"), QStringLiteral("LASTFETCH"),
                 QStringLiteral("2024-06-08"));
    QVERIFY(m_server.addFault(QStringLiteral("api01rv2/onlinespecgetv2"), QStringLiteral("result"),
                              1, 0, 0, QStringLiteral("E99")));
    runExport(viewer);
    QCOMPARE(ui.callsOf(QStringLiteral("taskDialog")).size(), 1);
    QCOMPARE(ReadSetting(QStringLiteral("TOKUTEI"), QStringLiteral("LASTFETCH"), QString()),
             QStringLiteral("2024-06-08"));

    // 00012 came on no day since, so a differential run would write its old
    // dates once more: the next run asks everybody, without the choice.
    m_server.resetControl();
    runExport(viewer);
    QCOMPARE(ui.callsOf(QStringLiteral("taskDialog")).size(), 1);
    QCOMPARE(
        exportRequests(m_server),
        QStringList({QStringLiteral("patientgetv2 00012"), QStringLiteral("onlinespecgetv2 00012"),
                     QStringLiteral("patientgetv2 9"), QStringLiteral("onlinespecgetv2 9")}));
    QVERIFY(ReadAll(viewer::TokuteiCachePath())
                .contains("00012\t1950-05-11\t2023-06-01;2024-05-10\r\n"));
    QCOMPARE(ReadSetting(QStringLiteral("TOKUTEI"), QStringLiteral("LASTFETCH"), QString()),
             QStringLiteral("2024-06-10"));
    QCOMPARE(ReadSetting(QStringLiteral("TOKUTEI"), QStringLiteral("FULLNEXT"), QString()),
             QString());

    // And the one after that may be differential again.
    ui.taskAnswers << -1;
    runExport(viewer);
    QCOMPARE(ui.callsOf(QStringLiteral("taskDialog")).size(), 2);
}

void TestCheckupExport::askFallsBackToAQuestionBox() {
    ScriptedUi ui;
    ui.fileAnswers << m_out;
    ui.taskAnswers << platform::kTaskDialogUnavailable;
    ui.messageAnswers << MsgResult::No; // full
    QVERIFY(
        WriteAll(viewer::TokuteiCachePath(), kBom + lines({QStringLiteral("9\t1980-01-01\t")})));
    TfrmDrugInfo viewer;
    open(viewer, {QStringLiteral("9,見本 次郎")});
    WriteSetting(QStringLiteral("TOKUTEI"), QStringLiteral("LASTFETCH"),
                 QStringLiteral("2023-12-13")); // 180 days back: still offered

    runExport(viewer);

    const auto boxes = ui.callsOf(QStringLiteral("messageBox"));
    QCOMPARE(boxes.size(), 2);
    QCOMPARE(boxes.at(0).icon, MsgIcon::Question);
    QCOMPARE(boxes.at(0).buttons, MsgButtons::YesNoCancel);
    QCOMPARE(
        boxes.at(0).text,
        QStringLiteral("前回ORCAから取得した日： 2023/12/13\r\n\r\n"
                       "［はい］差分で取得する（前回以降に受付した患者と新しい患者だけ。速い）\r\n"
                       "［いいえ］全件取り直す（全員1人を問い合わせ。数分かかります）"));
    QCOMPARE(exportRequests(m_server),
             QStringList({QStringLiteral("patientgetv2 9"), QStringLiteral("onlinespecgetv2 9")}));
    QVERIFY(QFileInfo::exists(m_out));
}

void TestCheckupExport::cancelledDialogsWriteNothing() {
    const QByteArray cache = kBom + lines({QStringLiteral("9\t1970-01-01\t")});
    struct Case {
        const char *name;
        QList<int> task;
        QList<MsgResult> boxes;
        QStringList files;
    };
    const QList<Case> cases{
        {"task dialog cancelled", {-1}, {}, {m_out}},
        {"question box cancelled",
         {platform::kTaskDialogUnavailable},
         {MsgResult::Cancel},
         {m_out}},
        {"save dialog cancelled", {2}, {}, {}},
    };
    for (const Case &c : cases) {
        ScriptedUi ui;
        ui.taskAnswers = c.task;
        ui.messageAnswers = c.boxes;
        ui.fileAnswers = c.files;
        QVERIFY(WriteAll(viewer::TokuteiCachePath(), cache));
        TfrmDrugInfo viewer;
        open(viewer, {QStringLiteral("9,見本 次郎")});
        WriteSetting(QStringLiteral("TOKUTEI"), QStringLiteral("LASTFETCH"),
                     QStringLiteral("2024-06-01"));
        ui.calls.clear();

        runExport(viewer);

        QVERIFY2(!QFileInfo::exists(m_out), c.name);
        QCOMPARE(ReadAll(viewer::TokuteiCachePath()), cache);
        QCOMPARE(ReadSetting(QStringLiteral("TOKUTEI"), QStringLiteral("LASTFETCH"), QString()),
                 QStringLiteral("2024-06-01"));
        QVERIFY2(exportRequests(m_server).isEmpty(), c.name);
        QCOMPARE(ui.callsOf(QStringLiteral("messageBox")).size(), c.boxes.size());
        QVERIFY(ui.callsOf(QStringLiteral("errorBox")).isEmpty());
        QVERIFY2(viewer.TimerRefresh->isActive(), c.name);
        QCOMPARE(viewer.windowTitle(), QStringLiteral("ミナトリ"));
    }
}

void TestCheckupExport::noPatientCache() {
    ScriptedUi ui;
    TfrmDrugInfo viewer;
    open(viewer, {});
    QVERIFY(!QFileInfo::exists(TfrmDrugInfo::PatientCachePath()));
    ui.calls.clear();

    runExport(viewer);

    QCOMPARE(ui.calls.size(), 1);
    QCOMPARE(ui.calls.at(0).kind, QStringLiteral("messageBox"));
    QCOMPARE(ui.calls.at(0).icon, MsgIcon::Information);
    QCOMPARE(ui.calls.at(0).text,
             QStringLiteral(
                 "患者キャッシュがありません。\r\n受付一覧を読み込むと自動的に蓄積されます。"));
    QVERIFY(!QFileInfo::exists(viewer::TokuteiCachePath()));
    QVERIFY(viewer.TimerRefresh->isActive());
}

void TestCheckupExport::unwritableCsvLeavesCacheAndLastFetch() {
    ScriptedUi ui;
    // A folder where the file should go: the write fails.
    QVERIFY(QDir().mkpath(m_out));
    ui.fileAnswers << m_out;
    TfrmDrugInfo viewer;
    open(viewer, {QStringLiteral("9,見本 次郎")});
    WriteSetting(QStringLiteral("TOKUTEI"), QStringLiteral("LASTFETCH"),
                 QStringLiteral("2023-01-01"));

    runExport(viewer);

    const auto errors = ui.callsOf(QStringLiteral("errorBox"));
    QCOMPARE(errors.size(), 1);
    QVERIFY2(errors.at(0).text.startsWith(m_out + QStringLiteral(" に書き込めません")),
             qPrintable(errors.at(0).text));
    QVERIFY(ui.callsOf(QStringLiteral("messageBox")).isEmpty());
    QVERIFY(QFileInfo(m_out).isDir());
    QVERIFY(!QFileInfo::exists(viewer::TokuteiCachePath()));
    QCOMPARE(ReadSetting(QStringLiteral("TOKUTEI"), QStringLiteral("LASTFETCH"), QString()),
             QStringLiteral("2023-01-01"));
    QCOMPARE(viewer.windowTitle(), QStringLiteral("ミナトリ"));
    QVERIFY(viewer.TimerRefresh->isActive());
    QCOMPARE(ui.cursor, platform::CursorKind::Default);
}

void TestCheckupExport::chartNumbersAreEscaped() {
    ScriptedUi ui;
    ui.fileAnswers << m_out;
    TfrmDrugInfo viewer;
    open(viewer, {QStringLiteral("1&format=json,悪意 一"), QStringLiteral("a<b,悪意 二")});

    runExport(viewer);

    // The number stays one query value and one element's text; ORCA knows no
    // such patient, which is an answer, not a failure.
    QCOMPARE(exportRequests(m_server),
             QStringList({QStringLiteral("patientgetv2 1%26format%3Djson"),
                          QStringLiteral("onlinespecgetv2 1&amp;format=json"),
                          QStringLiteral("patientgetv2 a%3Cb"),
                          QStringLiteral("onlinespecgetv2 a&lt;b")}));
    QCOMPARE(ReadAll(m_out),
             csv({QStringLiteral("1&format=json,悪意 一,,,,"), QStringLiteral("a<b,悪意 二,,,,")}));
    QCOMPARE(ReadSetting(QStringLiteral("TOKUTEI"), QStringLiteral("LASTFETCH"), QString()),
             QStringLiteral("2024-06-10"));
}

void TestCheckupExport::nothingElseRunsDuringTheExport() {
    ScriptedUi ui;
    ui.fileAnswers << m_out;
    QVERIFY(m_server.putReception(QStringLiteral("2024-06-10"), visits({QStringLiteral("00012")})));
    TfrmDrugInfo viewer;
    open(viewer, {QStringLiteral("00012,架空 一郎"), QStringLiteral("9,見本 次郎")});
    QCOMPARE(fixture::ListedIds(viewer), QStringList({QStringLiteral("00012")}));
    QVERIFY(m_server.addFault(QStringLiteral("api01rv2/onlinespecgetv2"), QStringLiteral("delay"),
                              1, 0, 800));

    // While the first patient's answer is slow: a close, a double-click on the
    // list, the menu again, the timer.
    bool probed = false;
    bool timerActive = true;
    bool visibleAfterClose = false;
    QString titleDuring;
    QTimer::singleShot(300, &viewer, [&] {
        probed = true;
        titleDuring = viewer.windowTitle();
        timerActive = viewer.TimerRefresh->isActive();
        viewer.close();
        visibleAfterClose = viewer.isVisible();
        const QRect cell = viewer.GridPatient->visualRect(viewer.GridPatient->model()->index(0, 1));
        // (The view takes a double-click as a second press on the item pressed.)
        QTest::mousePress(viewer.GridPatient->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(viewer.GridPatient->viewport(), Qt::LeftButton, {}, cell.center());
        viewer.MenuExportTkk->trigger();
    });

    runExport(viewer);

    QVERIFY(probed);
    QCOMPARE(titleDuring, QStringLiteral("特定健診取得中... (1/2)"));
    QVERIFY(!timerActive);
    QVERIFY(visibleAfterClose);
    // One export, run to its end; no patient was opened; no list reload.
    QCOMPARE(ui.callsOf(QStringLiteral("saveFile")).size(), 1);
    QCOMPARE(
        exportRequests(m_server),
        QStringList({QStringLiteral("patientgetv2 00012"), QStringLiteral("onlinespecgetv2 00012"),
                     QStringLiteral("patientgetv2 9"), QStringLiteral("onlinespecgetv2 9")}));
    QVERIFY(viewer.FPatientID.isEmpty());
    QVERIFY(QFileInfo::exists(m_out));
    QCOMPARE(ui.callsOf(QStringLiteral("messageBox")).size(), 1);
    // The close asked for during the export happens once it is over.
    QTRY_VERIFY(!viewer.isVisible());
    QVERIFY(!viewer.TimerRefresh->isActive());
}

void TestCheckupExport::exportFromTheDemoClinic() {
    // The demo clinic on its own day: the reception list fills the patient
    // cache, the export asks about each of its patients.
    viewer::ResetClockForTesting();
    StandinServer demo;
    StandinOptions o;
    o.demo = true;
    QString error;
    QVERIFY2(demo.start(o, &error), qPrintable(error));
    ScriptedUi ui;
    ui.fileAnswers << m_out;
    fixture::WriteIni(fixture::StandinSettings(demo.baseUrl()));
    TfrmDrugInfo viewer;
    fixture::OpenViewer(viewer);
    QVERIFY(fixture::WaitForMarks(viewer));
    const QStringList listed = fixture::ListedIds(viewer);
    QVERIFY(listed.size() >= 20);

    runExport(viewer);

    QVERIFY(ui.callsOf(QStringLiteral("errorBox")).isEmpty());
    const QStringList rows = QString::fromUtf8(ReadAll(m_out).mid(kBom.size()))
                                 .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    QCOMPARE(rows.value(0), viewer::kTkkCsvHeader);
    QSet<QString> exported;
    int withCheckup = 0;
    for (const QString &row : rows.mid(1)) {
        const QStringList f = row.split(QLatin1Char(','));
        QCOMPARE(f.size(), 6);
        exported.insert(f.at(0));
        QVERIFY2(viewer::ParseYmd(f.at(2)), qPrintable(row)); // every birth date known
        QVERIFY(!f.at(5).isEmpty());
        if (!f.at(3).isEmpty()) {
            ++withCheckup;
            QVERIFY2(!f.at(4).isEmpty() && f.at(4).toInt() <= f.at(5).toInt(), qPrintable(row));
        }
    }
    QCOMPARE(exported, QSet<QString>(listed.cbegin(), listed.cend()));
    QVERIFY(withCheckup >= 10);
    const auto boxes = ui.callsOf(QStringLiteral("messageBox"));
    QCOMPARE(boxes.size(), 1);
    QVERIFY2(boxes.at(0).text.startsWith(QStringLiteral("%1人・%2件を書き出しました。\r\n")
                                             .arg(listed.size())
                                             .arg(rows.size() - 1)),
             qPrintable(boxes.at(0).text));
    QCOMPARE(ReadSetting(QStringLiteral("TOKUTEI"), QStringLiteral("LASTFETCH"), QString()),
             QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")));
}

QTEST_MAIN(TestCheckupExport)
#include "test_checkupexport.moc"
