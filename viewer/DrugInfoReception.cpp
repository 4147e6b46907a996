// The reception list of the shown day and the patient cache.
#include "viewer/DrugInfo.h"

#include "core/CoreSource.h"
#include "orca/OrcaTemplates.h"
#include "platform/AppPaths.h"
#include "platform/Trim.h"
#include "platform/UiSeam.h"
#include "viewer/PatientCache.h"
#include "viewer/StringGrid.h"
#include "viewer/ViewerRules.h"

#include <QFileInfo>

using platform::Ui;

void TfrmDrugInfo::LoadReceptionList() {
    if (platform::TrimText(stURL).isEmpty()) {
        Ui().messageBox(this, QString(),
                        QStringLiteral("WebORCAの設定がされていません。設定してください。"),
                        platform::MsgIcon::Warning, platform::MsgButtons::Ok);
        return;
    }
    TBusyScope busy(FRunner);
    const QString body = FillPlaceholder(kAcceptListTemplate, kPlaceholderDate,
                                         FCurrentDate.toString(QStringLiteral("yyyy-MM-dd")));
    const QString path = OrcaCall(kPathAcceptList, body);
    // An answer with an error code (ORCA busy with another terminal, a bad
    // date) says nothing about who came: it fails as no answer does.
    const QStringList lines = path.isEmpty() ? QStringList() : viewer::ReadAnswerLines(path);
    const QString code = viewer::AnswerResultCode(lines);
    const bool answered =
        !path.isEmpty() && viewer::IsAnsweredResult(viewer::TOrcaAnswerKind::AcceptList, code);
    if (!path.isEmpty() && !answered)
        Log(QStringLiteral("受付一覧: Api_Result=") + code);
    if (!answered) {
        // The list never shows another day's (or another mode's) patients under
        // this day's label; a failed refresh of what is shown keeps it.
        if (m_listDate != FCurrentDate || m_listMode != FListMode) {
            InitPatientGrid();
            FPatientRow = -1;
        }
        return;
    }
    FillReceptionList(lines);
    StartMarkCheck();
}

void TfrmDrugInfo::InitPatientGrid() {
    TStringGrid *g = GridPatient;
    g->BeginUpdate();
    struct Resume {
        TStringGrid *grid;
        ~Resume() { grid->EndUpdate(); }
    } resume{g};
    g->SelectRow(-1);
    g->SetColCount(4);
    g->SetRowCount(2);
    g->ClearRow(1);
    g->SetCell(0, 0, QString());
    g->SetCell(1, 0, QStringLiteral("カルテ番号"));
    g->SetCell(2, 0, QStringLiteral("患者氏名"));
    g->SetCell(3, 0, QStringLiteral("マイナ"));
    g->SetFixedCols(0);
    g->SetColWidth(0, ScaleToDpi(32));
    g->SetColWidth(1, ScaleToDpi(96));
    g->SetColWidth(2, ScaleToDpi(140));
    g->SetColWidth(3, ScaleToDpi(56));
    g->SetDefaultRowHeight(GridRowHeight(g));
    // The list no longer shows a reception list (until a parse fills it).
    m_listDate = QDate();
    m_listMode = -1;
}

bool TfrmDrugInfo::ParseReceptionList(const QString &path) {
    if (!QFileInfo::exists(path))
        return false;
    FillReceptionList(viewer::ReadAnswerLines(path));
    return true;
}

void TfrmDrugInfo::FillReceptionList(const QStringList &lines) {
    InitPatientGrid();
    FPatientRow = -1;
    m_listDate = FCurrentDate;
    m_listMode = FListMode;

    // The cache is read once per list; new patients are appended to it.
    TPatientCache cache(PatientCachePath());
    QStringList shown;
    int count = 0;
    for (const viewer::TReceptionRecord &record : viewer::ReadReceptionRecords(lines))
        AddReceptionRow(record, cache, shown, count);
    if (count > 0)
        GridPatient->SetRowCount(count + 1);
}

void TfrmDrugInfo::AddReceptionRow(const viewer::TReceptionRecord &record, TPatientCache &cache,
                                   QStringList &shown, int &count) {
    cache.Add(record.PatientID, record.Name); // whatever the list mode
    if (!viewer::IsShownInListMode(record, FListMode))
        return;
    // A patient accepted more than once that day is listed once, as first shown.
    if (shown.contains(record.PatientID))
        return;
    shown << record.PatientID;
    ++count;
    if (count >= GridPatient->RowCount())
        GridPatient->SetRowCount(count + 1);
    GridPatient->SetCell(0, count, QString::number(count));
    GridPatient->SetCell(1, count, record.PatientID);
    GridPatient->SetCell(2, count, record.Name);
    GridPatient->SetCell(3, count, QString());
}

QString TfrmDrugInfo::PatientCachePath() {
    return platform::AppDataDir() + QStringLiteral("PatientCache.csv");
}

void TfrmDrugInfo::AddToPatientCache(const QString &chartNo, const QString &name) {
    if (platform::TrimText(chartNo).isEmpty() || platform::TrimText(name).isEmpty())
        return;
    TPatientCache cache(PatientCachePath(), TPatientCache::Lookups::One);
    cache.Add(chartNo, name);
}
