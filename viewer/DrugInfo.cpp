// The viewer window as a whole: lifecycle, settings, day navigation, list
// mode, refresh timer, institution grid sizing, and the routing of events to
// the files of their areas.
#include "viewer/DrugInfo.h"

#include "core/CoreSource.h"
#include "dialogs/Contact.h"
#include "dialogs/Setting.h"
#include "markcheck/TainMarkCheck.h"
#include "orca/OrcaTemplates.h"
#include "platform/Dpi.h"
#include "platform/Trim.h"
#include "platform/UiSeam.h"
#include "viewer/StringGrid.h"
#include "viewer/ViewerClock.h"
#include "viewer/ViewerRules.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>

#include <exception>
#include <memory>

using platform::Ui;

namespace {

// What the status line says while a request of this API path runs.
QString RequestName(const QString &path) {
    static const struct {
        const char *path;
        const char *name;
    } names[] = {
        {"api01rv2/acceptlstv2", "受付一覧"},         {"api01rv2/patientgetv2", "患者情報"},
        {"api01rv2/onlinedruggetv2", "他院薬剤情報"}, {"api01rv2/onlinemedgetv2", "他院診療情報"},
        {"api01rv2/onlinespecgetv2", "特定健診情報"}, {"api01rv2/medicalgetv2", "自院診療履歴"},
    };
    for (const auto &n : names) {
        if (path.startsWith(QLatin1String(n.path)))
            return QString::fromUtf8(n.name) + QStringLiteral("を取得しています…");
    }
    return path + QStringLiteral(" を取得しています…");
}

} // namespace

TfrmDrugInfo::TfrmDrugInfo(QWidget *owner) : QDialog(owner) {
    setObjectName(QStringLiteral("frmDrugInfo"));
    setWindowTitle(QStringLiteral("ミナトリ"));
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);
    setSizeGripEnabled(true);

    TimerRefresh = new QTimer(this);
    TimerRefresh->setObjectName(QStringLiteral("TimerRefresh"));
    TimerRefresh->setInterval(60000);
    TimerRefresh->start();

    BuildControls();
    ConnectEvents();

    FRunner.SetStatusSink([this](const QString &text) {
        if (LabelStatus)
            LabelStatus->setText(text);
    });
    connect(&FRunner, &TRequestRunner::Idle, this, [this] {
        QMetaObject::invokeMethod(this, &TfrmDrugInfo::OnRunnerIdle, Qt::QueuedConnection);
    });

    m_settingFactory = [](QWidget *owner) { return new TfrmSetting(owner); };

    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
}

TfrmDrugInfo::~TfrmDrugInfo() {
    if (!m_formClosed)
        FormClose();
}

void TfrmDrugInfo::ConnectEvents() {
    // Every event runs inside a busy bracket: what the window holds back
    // (timer ticks, a close, mark results) waits also while the event shows a
    // message box. An error that leaves the event is shown in the standard
    // error box, still inside the bracket.
    m_routeGuard = [this](const std::function<void()> &fn) {
        TBusyScope busy(FRunner);
        try {
            fn();
        } catch (const EAppError &e) {
            Ui().errorBox(this, e.message());
        } catch (const std::exception &e) {
            Ui().errorBox(this, QString::fromLocal8Bit(e.what()));
        }
    };
    using Handler = void (TfrmDrugInfo::*)();
    auto route = [this](Handler handler) {
        return [this, handler] { m_routeGuard([this, handler] { (this->*handler)(); }); };
    };
    const std::pair<QAction *, Handler> menu[] = {
        {MenuWebORCA, &TfrmDrugInfo::MenuWebORCAClick},
        {MenuExportTkk, &TfrmDrugInfo::MenuExportTkkClick},
        {MenuVersion, &TfrmDrugInfo::MenuVersionClick},
    };
    for (const auto &[action, handler] : menu)
        connect(action, &QAction::triggered, this, route(handler));
    const std::pair<QPushButton *, Handler> buttons[] = {
        {BtnPrevDay, &TfrmDrugInfo::BtnPrevDayClick},
        {BtnNextDay, &TfrmDrugInfo::BtnNextDayClick},
        {BtnToday, &TfrmDrugInfo::BtnTodayClick},
        {BtnClose, &TfrmDrugInfo::BtnCloseClick},
        {BtnKaikeiMi, &TfrmDrugInfo::BtnKaikeiMiClick},
        {BtnSearch, &TfrmDrugInfo::BtnSearchClick},
        {BtnPDFY, &TfrmDrugInfo::BtnPDFYClick},
        {BtnPDFT, &TfrmDrugInfo::BtnPDFTClick},
        {BtnTainAll, &TfrmDrugInfo::BtnTainAllClick},
        {BtnBack, &TfrmDrugInfo::BtnBackClick},
        {BtnCopy, &TfrmDrugInfo::BtnCopyClick},
        {BtnPrint, &TfrmDrugInfo::BtnPrintClick},
        {BtnSelfPrevMonth, &TfrmDrugInfo::BtnSelfPrevMonthClick},
        {BtnSelfNextMonth, &TfrmDrugInfo::BtnSelfNextMonthClick},
        {BtnSelfAll, &TfrmDrugInfo::BtnSelfAllClick},
        {BtnSelfPrint, &TfrmDrugInfo::BtnSelfPrintClick},
    };
    for (const auto &[button, handler] : buttons)
        connect(button, &QPushButton::clicked, this, route(handler));
    connect(ComboBoxSearch, &QComboBox::activated, this,
            route(&TfrmDrugInfo::ComboBoxSearchChange));
    connect(TimerRefresh, &QTimer::timeout, this, [this, route] {
        // A tick while a sequence runs (or a box of one is open) waits for its end.
        if (FRunner.IsBusy()) {
            m_tickHeld = true;
            return;
        }
        route (&TfrmDrugInfo::TimerRefreshTimer)();
    });

    // Cell events carry arguments; they are routed the same way.
    connect(GridPatient, &TStringGrid::SelectCell, this,
            [this](int col, int row) { GridPatientSelectCell(col, row); });
    connect(GridPatient, &TStringGrid::DblClickCell, this,
            [this](int, int row) { m_routeGuard([this, row] { GridPatientDblClick(row); }); });
    connect(GridInstitution, &TStringGrid::SelectCell, this, [this](int col, int row) {
        bool canSelect = true;
        GridInstitutionSelectCell(col, row, canSelect);
    });
    connect(GridInstitution, &TStringGrid::DblClickCell, this, [this](int col, int row) {
        m_routeGuard([this, col, row] { GridInstitutionDblClick(col, row); });
    });
}

// ---- requests ----

QString TfrmDrugInfo::OrcaCall(const QString &path, const QString &body, const QString &what) {
    return RunOnTransport(path, what, [path, body](TOrcaTransport &transport) {
        return transport.CallOrcaApi(path, body);
    });
}

QString TfrmDrugInfo::OrcaCallWithIdRetry(const QString &path, const QString &bodyTemplate,
                                          const QString &patientId, const QString &what) {
    return RunOnTransport(path, what, [path, bodyTemplate, patientId](TOrcaTransport &transport) {
        return transport.CallOrcaApiWithIdRetry(path, bodyTemplate, kPlaceholderPatientId,
                                                patientId);
    });
}

QString TfrmDrugInfo::RunOnTransport(const QString &path, const QString &what,
                                     const std::function<QString(TOrcaTransport &)> &call) {
    // The transport is touched only by the runner's thread; it gets copies of
    // the connection values with each job.
    const QString url = stURL, user = stAPIUSER, key = stAPIKEY;
    const QString result = FRunner.Call<QString>(what.isEmpty() ? RequestName(path) : what,
                                                 [this, url, user, key, &call] {
                                                     FTransport.stURL = url;
                                                     FTransport.stAPIUSER = user;
                                                     FTransport.stAPIKEY = key;
                                                     return call(FTransport);
                                                 });
    FAuthFromTransport();
    return result;
}

void TfrmDrugInfo::FAuthFromTransport() {
    FAuthUser = FTransport.FAuthUser;
    FAuthPass = FTransport.FAuthPass;
}

// ---- lifecycle ----

void TfrmDrugInfo::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    if (!m_formShown) {
        m_formShown = true;
        // After the window is on screen, so that it paints while the list loads.
        QMetaObject::invokeMethod(
            this, [this] { m_routeGuard([this] { FormShow(); }); }, Qt::QueuedConnection);
    }
}

void TfrmDrugInfo::FormShow() {
    // The lists live as long as one viewing: empty at its start and end.
    ForgetTainData();
    FTainMarkCache.clear();
    InitViewer();
}

void TfrmDrugInfo::InitViewer() {
    FCurrentDate = viewer::Today();
    FListMode = 0;
    ShowListMode();
    FTainDetailMode = false;
    FSearchActive = false;
    FTainAllMode = false;
    UpdateTainAllButton();
    FPatientRow = -1;
    FInstRow = -1;
    FSelfMonth = FCurrentDate.toString(QStringLiteral("yyyy-MM"));
    FTainMonth.clear();
    InitPatientGrid();
    InitInstitutionGrid();
    MemoSelf->clear();
    MemoTain->clear();
    ShowCurrentDate();
    UpdateSelfMonthLabel();
    LoadSettings();
    if (!platform::TrimText(stURL).isEmpty())
        LoadReceptionList();
}

void TfrmDrugInfo::done(int result) {
    if (FRunner.IsBusy()) {
        m_closeHeld = true;
        return;
    }
    if (!m_formClosed)
        FormClose();
    QDialog::done(result);
}

void TfrmDrugInfo::closeEvent(QCloseEvent *event) {
    // A close from the title bar while a sequence runs is honoured when it ends.
    if (FRunner.IsBusy()) {
        m_closeHeld = true;
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TfrmDrugInfo::keyPressEvent(QKeyEvent *event) {
    // The window closes by "閉じる" or its title bar, never by Esc (which a
    // dialog takes as cancel): one Esc too many after cancelling a conversion
    // in the search field would lose the list and the patient on show.
    if (event->matches(QKeySequence::Cancel)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TfrmDrugInfo::FormClose() {
    TimerRefresh->stop();
    StopMarkCheck();
    m_heldMarks.clear();
    ForgetTainData();
    FTainMarkCache.clear();
    m_formClosed = true;
}

void TfrmDrugInfo::OnRunnerIdle() {
    if (m_formClosed || FRunner.IsBusy())
        return;
    const QList<THeldMark> held = std::exchange(m_heldMarks, {});
    for (const THeldMark &m : held) {
        if (m.source)
            ApplyMarkResult(m.id, m.mark, m.ok);
    }
    if (m_closeHeld) {
        m_closeHeld = false;
        m_tickHeld = false;
        close();
        return;
    }
    if (m_tickHeld) {
        m_tickHeld = false;
        m_routeGuard([this] { TimerRefreshTimer(); });
    }
}

bool TfrmDrugInfo::eventFilter(QObject *watched, QEvent *event) {
    // EditSearchKeyPress: Enter runs the search and is swallowed.
    if (watched == EditSearch && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            m_routeGuard([this] { BtnSearchClick(); });
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

// ---- settings ----

void TfrmDrugInfo::LoadSettings() {
    stURL = ReadSetting(QStringLiteral("PARAMA"), QStringLiteral("URL"), QString());
    stAPIKEY = ReadSetting(QStringLiteral("PARAMA"), QStringLiteral("APIKEY"), QString());
    stAPIUSER = ReadSetting(QStringLiteral("PARAMA"), QStringLiteral("APIUSER"), QString());
    FSelfInstCd = platform::TrimText(
        ReadSetting(QStringLiteral("PARAMA"), QStringLiteral("KIKANCD"), QString()));
    const int seconds = viewer::RefreshIntervalSeconds(
        ReadSetting(QStringLiteral("PARAMA"), QStringLiteral("REFRESH"), QStringLiteral("60")));
    if (TimerRefresh->interval() != seconds * 1000)
        TimerRefresh->setInterval(seconds * 1000); // restarts the countdown
}

void TfrmDrugInfo::ShowCurrentDate() {
    LabelDate->setText(viewer::DateLabelText(FCurrentDate));
}

void TfrmDrugInfo::ShowListMode() {
    if (FListMode == 0) {
        LabelListState->setText(QStringLiteral("全て"));
        BtnKaikeiMi->setText(QStringLiteral("受付中"));
    } else if (FListMode == 1) {
        LabelListState->setText(QStringLiteral("受付中"));
        BtnKaikeiMi->setText(QStringLiteral("全て"));
    }
}

int TfrmDrugInfo::ScaleToDpi(int pixels) const {
    return platform::ScaleToDpi(pixels, logicalDpiY());
}

int TfrmDrugInfo::GridRowHeight(const TStringGrid *grid) const {
    const int text = grid->fontMetrics().boundingRect(QStringLiteral("Ａｇ")).height();
    return qMax(text + ScaleToDpi(6), ScaleToDpi(20));
}

// ---- day navigation and list mode ----

void TfrmDrugInfo::ShowDay(const QDate &day) {
    EditSearch->clear();
    FSearchActive = false;
    FCurrentDate = day;
    ShowCurrentDate();
    LoadReceptionList();
}

void TfrmDrugInfo::BtnPrevDayClick() {
    ShowDay(FCurrentDate.addDays(-1));
}

void TfrmDrugInfo::BtnNextDayClick() {
    ShowDay(FCurrentDate.addDays(1));
}

void TfrmDrugInfo::BtnTodayClick() {
    ShowDay(viewer::Today());
}

void TfrmDrugInfo::BtnCloseClick() {
    close();
}

QString TfrmDrugInfo::RememberSelectedChartNo() const {
    if (FPatientRow > 0 && FPatientRow < GridPatient->RowCount())
        return GridPatient->Cells(1, FPatientRow);
    return QString();
}

void TfrmDrugInfo::ReselectChartNo(const QString &chartNo) {
    if (chartNo.isEmpty())
        return;
    for (int r = 1; r < GridPatient->RowCount(); ++r) {
        if (GridPatient->Cells(1, r) == chartNo) {
            GridPatient->SelectRow(r);
            FPatientRow = r;
            return;
        }
    }
    // The patient is no longer listed: nothing is selected, and when it is the
    // patient on show, the panes no longer show it either.
    GridPatient->SelectRow(-1);
    FPatientRow = -1;
    if (chartNo == FPatientID)
        ClearPatientPanes();
}

void TfrmDrugInfo::BtnKaikeiMiClick() {
    EditSearch->clear();
    FSearchActive = false;
    FListMode = 1 - FListMode;
    ShowListMode();
    const QString chartNo = RememberSelectedChartNo();
    LoadReceptionList();
    ReselectChartNo(chartNo);
}

void TfrmDrugInfo::GridPatientSelectCell(int, int ARow) {
    FPatientRow = ARow;
}

void TfrmDrugInfo::TimerRefreshTimer() {
    if (platform::TrimText(stURL).isEmpty() || FSearchActive || FCurrentDate != viewer::Today())
        return;
    const QString chartNo = RememberSelectedChartNo();
    GridPatient->BeginUpdate();
    struct Resume {
        TStringGrid *grid;
        ~Resume() {
            grid->EndUpdate();
            grid->repaint();
        }
    } resume{GridPatient};
    LoadReceptionList();
    ReselectChartNo(chartNo);
}

// ---- menu ----

void TfrmDrugInfo::MenuWebORCAClick() {
    std::unique_ptr<QDialog> dialog(m_settingFactory(this));
    dialog->exec();
    dialog.reset();
    LoadSettings();
}

void TfrmDrugInfo::MenuVersionClick() {
    ShowVersionInfo(this);
}

// ---- institution grid ----

void TfrmDrugInfo::InitInstitutionGrid() {
    TStringGrid *g = GridInstitution;
    for (int r = 1; r < g->RowCount(); ++r)
        g->ClearRow(r);
    g->SetColCount(2);
    g->SetRowCount(2);
    g->SetCell(0, 0, QStringLiteral("医療機関名"));
    g->SetCell(1, 0, QString());
    g->SetFixedCols(1);
    g->SetColWidth(0, ScaleToDpi(160));
    g->SetColWidth(1, ScaleToDpi(56));
    g->SetDefaultRowHeight(GridRowHeight(g));
}

void TfrmDrugInfo::FitInstitutionGrid() {
    TStringGrid *g = GridInstitution;
    const int rows = qMax(g->RowCount(), 2);
    const int h = GridRowHeight(g);
    g->SetDefaultRowHeight(h);
    const int line = g->GridLineWidth();
    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, g);
    PanelTopGrid->setFixedHeight(line + qMin(rows, 10) * (h + line) + scrollBar + ScaleToDpi(8) +
                                 ScaleToDpi(30));
    g->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    g->setVerticalScrollBarPolicy(g->RowCount() > 10 ? Qt::ScrollBarAlwaysOn
                                                     : Qt::ScrollBarAlwaysOff);
}

void TfrmDrugInfo::SetMarkTimeouts(int connectMs, int responseMs) {
    m_markConnectMs = connectMs;
    m_markResponseMs = responseMs;
}
