#pragma once
#include "markcheck/MarkRules.h"
#include "orca/OrcaTransport.h"
#include "viewer/RequestRunner.h"
#include "viewer/TainTypes.h"

#include <QDate>
#include <QDialog>
#include <QHash>
#include <QPointer>
#include <QStringList>

#include <functional>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class QWidget;
class TStringGrid;
class TTainMarkThread;
class TPatientCache;
namespace viewer {
struct TReceptionRecord;
}

// The patient viewer: the day's reception list and patient search on the left,
// the institution history grid, the clinic's own medication history and the
// other institutions' information on the right. Shown modally from the main
// menu and destroyed when closed.
//
// The window owns the controls and the working state; each area lives in a
// file of its own:
//   DrugInfo.cpp            lifecycle, settings, day navigation, list mode, refresh timer,
//                           institution grid sizing, event routing
//   DrugInfoLayout.cpp      building the controls
//   DrugInfoReception.cpp   reception list and patient cache
//   DrugInfoSearch.cpp      patient search and selection
//   DrugInfoMarks.cpp       the list marks (viewer side of the mark worker)
//   DrugInfoSavedPdf.cpp    the saved-PDF buttons
//   DrugInfoTain.cpp        other institutions: loaders, grid and text
//   DrugInfoSelf.cpp        the clinic's own history
//   DrugInfoPrint.cpp       notebook printing
//   DrugInfoExport.cpp      checkup CSV export
// Every ORCA request goes through FRunner (OrcaCall / OrcaCallWithIdRetry).
class TfrmDrugInfo : public QDialog {
    Q_OBJECT
public:
    explicit TfrmDrugInfo(QWidget *owner = nullptr);
    ~TfrmDrugInfo() override;

    // ---- controls (objectName = the member's name) ----
    QMenuBar *MainMenu = nullptr;
    QMenu *MenuSetting = nullptr;
    QAction *MenuWebORCA = nullptr;
    QAction *MenuExportTkk = nullptr;
    QAction *MenuVersion = nullptr;

    QWidget *PanelLeft = nullptr;
    QWidget *PanelSearch = nullptr;
    QComboBox *ComboBoxSearch = nullptr;
    QLineEdit *EditSearch = nullptr;
    QPushButton *BtnSearch = nullptr;
    QPushButton *BtnPDFY = nullptr;
    QPushButton *BtnPDFT = nullptr;
    QLabel *LabelDate = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *LabelAge = nullptr;
    QWidget *PanelDateNav = nullptr;
    QLabel *LabelListState = nullptr;
    QPushButton *BtnKaikeiMi = nullptr;
    QPushButton *BtnPrevDay = nullptr;
    QPushButton *BtnNextDay = nullptr;
    QPushButton *BtnToday = nullptr;
    QPushButton *BtnClose = nullptr;
    TStringGrid *GridPatient = nullptr;

    QWidget *PanelMain = nullptr;
    QWidget *PanelTopGrid = nullptr;
    QLabel *LabelJusinreki = nullptr;
    TStringGrid *GridInstitution = nullptr;
    QWidget *PanelBottom = nullptr;
    QWidget *PanelBottomLeft = nullptr;
    QWidget *PanelSelfHeader = nullptr;
    QLabel *LabelSelfTitle = nullptr;
    QLabel *LabelSelfMonth = nullptr;
    QPushButton *BtnSelfPrevMonth = nullptr;
    QPushButton *BtnSelfNextMonth = nullptr;
    QPushButton *BtnSelfAll = nullptr;
    QPushButton *BtnSelfPrint = nullptr;
    QPlainTextEdit *MemoSelf = nullptr;
    QWidget *PanelBottomRight = nullptr;
    QWidget *PanelRightNav = nullptr;
    QPushButton *BtnCopy = nullptr;
    QPushButton *BtnPrint = nullptr;
    QPushButton *BtnBack = nullptr;
    QLabel *LabelTainName = nullptr;
    QPushButton *BtnTainAll = nullptr;
    QLabel *LabelTainMonth = nullptr;
    QPlainTextEdit *MemoTain = nullptr;

    // What the window is loading ("n / m" or the request's name); empty when idle.
    QLabel *LabelStatus = nullptr;

    QTimer *TimerRefresh = nullptr;

    // ---- state ----
    QDate FCurrentDate;
    QString FSelfMonth;
    bool FSelfAllMode = false;
    QString FTainMonth;
    int FPatientRow = -1;
    int FInstRow = -1;
    QString FPatientID;
    QString FPatientName;
    QString FBirthDate;
    int FListMode = 0;
    bool FTainDetailMode = false;
    QString FSelectedInst;
    QStringList FMonthList;
    QList<TPrescription> FPrescList;
    QString FSelfInstCd;
    QString FAuthUser;
    QString FAuthPass;
    QStringList FInstMonthMap;
    QStringList FTkkDates;
    QStringList FMedInstMonths;
    bool FSearchActive = false;
    bool FTainAllMode = false;
    QHash<QString, TTainMark> FTainMarkCache;
    bool FDrug01HasMonth = false;
    bool FDrugLoadOK = false;
    TTainMarkThread *FMarkThread = nullptr;
    QString stURL;
    QString stAPIKEY;
    QString stAPIUSER;

    // The transport of every viewer request (owns the HTTP client) and the
    // runner that calls it off the user-interface thread.
    TOrcaTransport FTransport;
    TRequestRunner FRunner;

    // ---- requests (through the runner) ----
    // CallOrcaApi / CallOrcaApiWithIdRetry run off the user-interface thread;
    // what is the status text (empty: named after the API path; with a count,
    // TRequestRunner::Progress).
    QString OrcaCall(const QString &path, const QString &body, const QString &what = QString());
    QString OrcaCallWithIdRetry(const QString &path, const QString &bodyTemplate,
                                const QString &patientId, const QString &what = QString());
    // One call of the transport on the runner's thread, with the window's
    // connection values; FAuthUser / FAuthPass follow the transport's.
    QString RunOnTransport(const QString &path, const QString &what,
                           const std::function<QString(TOrcaTransport &)> &call);

    // ---- window (DrugInfo.cpp) ----
    void FormShow();
    void FormClose();
    void InitViewer();
    void LoadSettings();
    void ShowCurrentDate();
    void ShowListMode();
    int ScaleToDpi(int pixels) const;
    int GridRowHeight(const TStringGrid *grid) const;
    void InitInstitutionGrid();
    void FitInstitutionGrid();
    void MenuWebORCAClick();
    void MenuVersionClick();
    // The day buttons: the reception list of the day, search hits given up.
    void ShowDay(const QDate &day);
    void BtnPrevDayClick();
    void BtnNextDayClick();
    void BtnTodayClick();
    void BtnCloseClick();
    void BtnKaikeiMiClick();
    void GridPatientSelectCell(int ACol, int ARow);
    void TimerRefreshTimer();

    // ---- reception list and patient cache (DrugInfoReception.cpp) ----
    void LoadReceptionList();
    bool ParseReceptionList(const QString &path);
    // The list from the answer's lines (ParseReceptionList of a file read).
    void FillReceptionList(const QStringList &lines);
    // Closes one record of the answer: caches the patient and lists it when
    // the list mode shows it and it is not listed yet.
    void AddReceptionRow(const viewer::TReceptionRecord &record, TPatientCache &cache,
                         QStringList &shown, int &count);
    void InitPatientGrid();
    static QString PatientCachePath();
    static void AddToPatientCache(const QString &chartNo, const QString &name);

    // ---- search and selection (DrugInfoSearch.cpp) ----
    void BtnSearchClick();
    void ComboBoxSearchChange();
    // The data row double-clicked (the row under the pointer); anything else does nothing.
    void GridPatientDblClick(int ARow);
    void SearchByChartNo(const QString &chartNo);
    void SearchByName(const QString &text);
    // Steps 1 to 8 of choosing a patient.
    void SelectPatient(const QString &chartNo, const QString &name);
    // Empties the chosen patient's panes and labels.
    void ClearPatientPanes();

    // ---- marks (DrugInfoMarks.cpp) ----
    void StartMarkCheck();
    void ApplyMarkResult(const QString &APtID, const QString &AMark, bool AOK);
    void StoreOwnMark();
    void StopMarkCheck();

    // ---- saved PDFs (DrugInfoSavedPdf.cpp) ----
    void BtnPDFYClick();
    void BtnPDFTClick();

    // ---- other institutions (DrugInfoTain.cpp) ----
    // Every load starts from empty lists and an empty pane, so nothing of the
    // previous patient survives a load that fails. FDrugLoadOK is set only when
    // the load ran to its end and the answers the patient's mark rests on (the
    // drug months, the checkups and the medical information) all came.
    void LoadTainInfo();
    // Forgets the other-institution data of the patient before: the lists,
    // the load flags and the institution chosen for the detail view.
    void ForgetTainData();
    bool ParseOnlineDrugGet01(const QString &file);
    bool ParseOnlineDrugGet02(const QString &file, const QString &month);
    // Both return whether every request got an answer the viewer can use.
    bool LoadOnlineSpec();
    bool LoadOnlineMed();
    // The line the pane shows above its text when the last load could not get
    // everything ("" when it did).
    QString FTainLoadNote;
    void ShowTainOverview();
    void ShowTainDetail();
    void UpdateTainAllButton();
    void BtnTainAllClick();
    void BtnBackClick();
    void BtnCopyClick();
    void GridInstitutionSelectCell(int ACol, int ARow, bool &CanSelect);
    // The cell double-clicked (under the pointer).
    void GridInstitutionDblClick(int ACol, int ARow);

    // ---- own-clinic history (DrugInfoSelf.cpp) ----
    void LoadSelfHistory();
    void RefreshSelfHistory();
    // Appends the day blocks of one month ("yyyy-mm"); true when it added lines.
    bool LoadSelfMonth(const QString &month);
    // Appends the block of one class 02 answer's lines (nothing for a day
    // without drugs).
    void ParseMedicalGet02(const QStringList &lines, const QString &day);
    void UpdateSelfMonthLabel();
    // The month buttons: the month before (-1) or after (1), the 24 months left.
    void MoveSelfMonth(int delta);
    void BtnSelfPrevMonthClick();
    void BtnSelfNextMonthClick();
    void BtnSelfAllClick();

    // ---- notebook printing (DrugInfoPrint.cpp) ----
    void BtnSelfPrintClick();
    void BtnPrintClick();
    QString GetSelfInstName() const;
    // Prints the lines on the default printer, date lines completed with the name.
    void PrintNotebook(const QStringList &lines, const QString &institutionName);

    // ---- checkup export (DrugInfoExport.cpp) ----
    void MenuExportTkkClick();

    // ---- seams for tests ----
    // Makes the settings dialog that "WebORCA設定" shows (tests replace it).
    using DialogFactory = std::function<QDialog *(QWidget *owner)>;
    void SetSettingFactory(DialogFactory f) { m_settingFactory = std::move(f); }
    // Time-outs of the mark workers this window starts (tests shorten them).
    void SetMarkTimeouts(int connectMs, int responseMs);
    // Whether FormShow has run.
    bool IsShownOnce() const { return m_formShown; }

public slots:
    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void BuildControls();
    void FAuthFromTransport();
    // Runs fn as an event: busy bracket, errors shown in the standard error box.
    std::function<void(const std::function<void()> &)> m_routeGuard;
    void ConnectEvents();
    void OnRunnerIdle();
    // Re-selects the row of a chart number after a rebuild (empty: none).
    QString RememberSelectedChartNo() const;
    void ReselectChartNo(const QString &chartNo);
    void DeliverMarkResult(TTainMarkThread *source, const QString &APtID, const QString &AMark,
                           bool AOK);

    struct THeldMark {
        QPointer<TTainMarkThread> source;
        QString id, mark;
        bool ok = false;
    };
    QList<THeldMark> m_heldMarks;
    // A request of the own-clinic load got no answer (the pane says so).
    bool m_selfLoadFailed = false;
    bool m_tickHeld = false;
    bool m_closeHeld = false;
    bool m_formShown = false;
    bool m_formClosed = false;
    // The reception list the grid shows: its day and list mode (invalid day: none).
    QDate m_listDate;
    int m_listMode = -1;
    DialogFactory m_settingFactory;
    int m_markConnectMs = 0;
    int m_markResponseMs = 0;
};
