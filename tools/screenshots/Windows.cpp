#include "tools/screenshots/Windows.h"

#include "app/Main.h"
#include "core/CoreSource.h"
#include "dialogs/Contact.h"
#include "dialogs/Setting.h"
#include "markcheck/TainMarkCheck.h"
#include "platform/AppPaths.h"
#include "viewer/DrugInfo.h"
#include "viewer/StringGrid.h"

#include <QCoreApplication>
#include <QDate>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QThread>

#include <cstdio>
#include <stdexcept>

using platform::MsgButtons;
using platform::MsgIcon;
using platform::MsgResult;

namespace {

// The demo clinic of the stand-in's data set.
const QString kClinicCode = QStringLiteral("9900011");
const QString kClinicName = QStringLiteral("みなと見本クリニック");
// Demo patients: one seen at many other institutions, one with a visit to
// this clinic every month.
const QString kManyInstitutions = QStringLiteral("10001");
const QString kMonthlyVisits = QStringLiteral("00001");

// Waits, handling events, until done() holds; throws after the time-out.
void waitFor(const std::function<bool()> &done, const char *what, int timeoutMs = 60000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            throw std::runtime_error(std::string("timed out waiting for ") + what);
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    QCoreApplication::processEvents();
}

// The stand-in ORCA server with its demo data (relative to today), started
// by the first picture that needs it.
QProcess *g_server = nullptr;
QString g_baseUrl;

QString demoServer() {
    if (g_server)
        return g_baseUrl;
    const QString program =
        QCoreApplication::applicationDirPath() + QStringLiteral("/orca-standin");
    const QString portFile = platform::AppDataDir() + QStringLiteral("standin.port");
    g_server = new QProcess;
    g_server->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    g_server->setStandardOutputFile(QProcess::nullDevice());
    g_server->start(program, {QStringLiteral("--demo"), QStringLiteral("--port"),
                              QStringLiteral("0"), QStringLiteral("--port-file"), portFile});
    if (!g_server->waitForStarted())
        throw std::runtime_error("cannot start " + program.toStdString());
    waitFor([&] { return QFileInfo(portFile).size() > 0; }, "the stand-in server", 20000);
    QFile f(portFile);
    f.open(QIODevice::ReadOnly);
    const QString port = QString::fromLatin1(f.readAll()).section(QLatin1Char(' '), 0, 0);
    g_baseUrl = QStringLiteral("http://127.0.0.1:%1/api/").arg(port);
    return g_baseUrl;
}

// user.ini of a clinic connected to the demo server.
void writeDemoSettings() {
    const QString url = demoServer();
    const auto set = [](const char *section, const char *key, const QString &value) {
        WriteSetting(QLatin1String(section), QLatin1String(key), value);
    };
    set("PARAMA", "URL", url);
    set("PARAMA", "KIKANCD", kClinicCode);
    set("PARAMA", "KIKANNAME", kClinicName);
    set("PARAMA", "REFRESH", QStringLiteral("60"));
    set("COKBN", "CHCK", QStringLiteral("1"));
    set("UPDATE", "MODE", QStringLiteral("1"));
}

bool idle(TfrmDrugInfo &v) {
    return !v.FRunner.IsBusy() && (!v.FMarkThread || v.FMarkThread->isFinished());
}

// The viewer on the demo day's reception list with its marks, the patient's
// row double-clicked and everything loaded.
std::unique_ptr<TfrmDrugInfo> demoViewer(const QString &chartNo) {
    writeDemoSettings();
    auto v = std::make_unique<TfrmDrugInfo>();
    v->show();
    waitFor([&] { return v->IsShownOnce() && v->FCurrentDate.isValid() && idle(*v); },
            "the reception list and its marks");
    int row = -1;
    for (int r = 1; r < v->GridPatient->RowCount(); ++r) {
        if (v->GridPatient->Cells(1, r) == chartNo)
            row = r;
    }
    if (row < 0)
        throw std::runtime_error("demo patient not listed: " + chartNo.toStdString());
    v->GridPatient->SelectRow(row);
    v->GridPatientSelectCell(0, row);
    v->GridPatientDblClick(row);
    waitFor([&] { return v->FPatientID == chartNo && idle(*v); }, "the patient's information");
    return v;
}

std::unique_ptr<QWidget> settingsDialog(bool onPremise) {
    const QString url = demoServer();
    auto d = std::make_unique<TfrmSetting>();
    d->show();
    QCoreApplication::processEvents();
    // A real connection test against the demo server, then the entries as a
    // clinic fills them in.
    d->Edit1->setText(url);
    d->Edit5->setText(QStringLiteral("ormaster"));
    d->Edit6->setText(QStringLiteral("a1b2c3d4e5f6"));
    d->RadioButton1->click();
    d->Button3Click();
    waitFor([&] { return d->Memo1->toPlainText().startsWith(QStringLiteral("ログイン")); },
            "the connection test");
    d->Edit1->setText(kWebOrcaCloudBaseUrl);
    d->Edit9->setText(QStringLiteral("/srv/orca/pdf/"));
    d->Edit11->setText(kClinicCode);
    d->Edit12->setText(QStringLiteral("60"));
    d->RbUpdManual->click();
    if (onPremise) {
        d->RadioButton2->click();
        d->Edit10->setText(QStringLiteral("192.168.1.20"));
        d->Edit6->setText(QStringLiteral("orca-password"));
    }
    return d;
}

} // namespace

MsgResult ScreenshotUi::messageBox(QObject *, const QString &title, const QString &text,
                                   MsgIcon icon, MsgButtons buttons) {
    messages << Message{title, text, icon, buttons};
    std::fprintf(stderr, "message: %s\n", qPrintable(QString(text).replace("\r\n", " / ")));
    return buttons == MsgButtons::Ok ? MsgResult::Ok : MsgResult::Cancel;
}

void ScreenshotUi::errorBox(QObject *owner, const QString &text) {
    messageBox(owner, QString(), text, MsgIcon::Error, MsgButtons::Ok);
}

bool ScreenshotUi::printJob(const QString &,
                            const std::function<bool(QPaintDevice *device)> &paint) {
    // One A4 sheet, white, at 110 dots per inch: what the printer puts on
    // the first page.
    constexpr int dpi = 110;
    QImage sheet(qRound(210 / 25.4 * dpi), qRound(297 / 25.4 * dpi), QImage::Format_RGB32);
    sheet.setDotsPerMeterX(qRound(dpi / 0.0254));
    sheet.setDotsPerMeterY(qRound(dpi / 0.0254));
    sheet.fill(Qt::white);
    if (!paint(&sheet))
        return false;
    printedPage = sheet;
    return true;
}

QList<ScreenshotWindow> ScreenshotWindows() {
    return {
        {QStringLiteral("main-menu"),
         QStringLiteral("the main menu"),
         [] { return std::unique_ptr<QWidget>(std::make_unique<TfrmMain>()); },
         {}},
        {QStringLiteral("viewer"),
         QStringLiteral("the viewer: a demo patient chosen, other institutions by month"),
         [] { return std::unique_ptr<QWidget>(demoViewer(kManyInstitutions)); },
         {}},
        {QStringLiteral("viewer-tain-detail"),
         QStringLiteral("the viewer: one institution's every day (its row double-clicked)"),
         [] {
             auto v = demoViewer(kManyInstitutions);
             v->GridInstitutionDblClick(0, 1);
             return std::unique_ptr<QWidget>(std::move(v));
         },
         {}},
        {QStringLiteral("own-history"),
         QStringLiteral("the viewer: the clinic's own history, one month"),
         [] { return std::unique_ptr<QWidget>(demoViewer(kMonthlyVisits)); },
         {}},
        {QStringLiteral("own-history-all"),
         QStringLiteral("the viewer: the clinic's own history, the last 24 months"),
         [] {
             auto v = demoViewer(kMonthlyVisits);
             v->BtnSelfAll->click();
             waitFor([&] { return idle(*v); }, "the 24 months");
             return std::unique_ptr<QWidget>(std::move(v));
         },
         {}},
        {QStringLiteral("notebook-print"),
         QStringLiteral("the first printed page of the own history (24 months) for the notebook"),
         {},
         [] {
             auto v = demoViewer(kMonthlyVisits);
             v->BtnSelfAll->click();
             waitFor([&] { return idle(*v); }, "the 24 months");
             ToolUi().printedPage = QImage();
             v->BtnSelfPrint->click();
             return ToolUi().printedPage;
         }},
        {QStringLiteral("export-choice"),
         QStringLiteral("the checkup export's choice between a differential and a full run"),
         [] {
             // A full run first (it makes the cache), then one two weeks
             // later offers the choice.
             auto v = demoViewer(kManyInstitutions);
             ToolUi().saveFolder = platform::AppDataDir();
             ToolUi().messages.clear();
             v->MenuExportTkkClick();
             ToolUi().taskDialogs.clear();
             WriteSetting(QStringLiteral("TOKUTEI"), QStringLiteral("LASTFETCH"),
                          QDate::currentDate().addDays(-14).toString(Qt::ISODate));
             v->MenuExportTkkClick();
             ToolUi().saveFolder.clear();
             if (ToolUi().taskDialogs.isEmpty())
                 throw std::runtime_error("the export offered no choice");
             return std::unique_ptr<QWidget>(
                 MakeTaskDialog(nullptr, ToolUi().taskDialogs.first(), std::make_shared<int>(-1)));
         },
         {}},
        {QStringLiteral("settings"),
         QStringLiteral("the settings dialog, cloud connection"),
         [] { return settingsDialog(false); },
         {}},
        {QStringLiteral("settings-onpremise"),
         QStringLiteral("the settings dialog, on-premise connection"),
         [] { return settingsDialog(true); },
         {}},
        {QStringLiteral("contact"),
         QStringLiteral("the contact dialog"),
         [] { return std::unique_ptr<QWidget>(std::make_unique<TfrmContact>()); },
         {}},
        {QStringLiteral("version"),
         QStringLiteral("the version message of the viewer's menu"),
         [] {
             ToolUi().messages.clear();
             ShowVersionInfo(nullptr);
             const ScreenshotUi::Message m = ToolUi().messages.value(0);
             return std::unique_ptr<QWidget>(
                 MakeMessageBox(nullptr, m.title, m.text, m.icon, m.buttons));
         },
         {}},
    };
}

void StopDemoServer() {
    if (!g_server)
        return;
    g_server->kill();
    g_server->waitForFinished();
    delete g_server;
    g_server = nullptr;
}
