// Patient search (chart number through ORCA, name through the patient cache)
// and choosing a patient.
#include "viewer/DrugInfo.h"

#include "platform/Trim.h"
#include "platform/UiSeam.h"
#include "viewer/PatientCache.h"
#include "viewer/StringGrid.h"
#include "viewer/ViewerClock.h"
#include "viewer/ViewerRules.h"

#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

using platform::MsgButtons;
using platform::MsgIcon;
using platform::Ui;

namespace {

const QString kNotConfigured = QStringLiteral("WebORCAの設定がされていません。設定してください。");
const QString kNotFound = QStringLiteral("該当する患者が見つかりませんでした。");

} // namespace

void TfrmDrugInfo::BtnSearchClick() {
    const QString text = platform::TrimText(EditSearch->text());
    if (text.isEmpty())
        return;
    if (ComboBoxSearch->currentIndex() == 0)
        SearchByChartNo(text);
    else if (ComboBoxSearch->currentIndex() == 1)
        SearchByName(text);
}

void TfrmDrugInfo::ComboBoxSearchChange() {
    EditSearch->clear();
    // Chart numbers without the input method, names with it (kana input).
    const bool names = ComboBoxSearch->currentIndex() == 1;
    EditSearch->setAttribute(Qt::WA_InputMethodEnabled, names);
    EditSearch->setInputMethodHints(names ? Qt::ImhNone
                                          : Qt::ImhPreferNumbers | Qt::ImhPreferLatin);
    EditSearch->setFocus();
}

void TfrmDrugInfo::GridPatientDblClick(int ARow) {
    // The row under the pointer, and only a data row of the list.
    if (ARow < 1 || ARow >= GridPatient->RowCount())
        return;
    FPatientRow = ARow;
    SelectPatient(GridPatient->Cells(1, ARow), GridPatient->Cells(2, ARow));
}

void TfrmDrugInfo::SelectPatient(const QString &chartNo, const QString &name) {
    TBusyScope busy(FRunner);
    // 1-2
    FPatientID = chartNo;
    FPatientName = name;
    FBirthDate.clear();
    Label1->setText(chartNo);
    Label2->setText(name);
    LabelAge->clear();
    // 3-4
    FSelfMonth.clear();
    FSelfAllMode = false;
    LoadSettings();
    // 5-7
    LoadTainInfo();
    LoadSelfHistory();
    StoreOwnMark();
    // 8
    LabelAge->setText(viewer::AgeText(FBirthDate, viewer::Today()));
}

void TfrmDrugInfo::SearchByChartNo(const QString &chartNo) {
    if (platform::TrimText(stURL).isEmpty()) {
        Ui().messageBox(this, QString(), kNotConfigured, MsgIcon::Warning, MsgButtons::Ok);
        return;
    }
    TBusyScope busy(FRunner);
    const QString path = OrcaCall(viewer::PatientGetPath(chartNo), QString());
    if (path.isEmpty()) {
        Ui().messageBox(this, QString(), QStringLiteral("患者情報を取得できませんでした。"),
                        MsgIcon::Warning, MsgButtons::Ok);
        return;
    }
    const viewer::TPatientLookup found = viewer::ReadPatientLookup(viewer::ReadAnswerLines(path));
    if (found.Name.isEmpty()) {
        Ui().messageBox(this, QString(), kNotFound, MsgIcon::Information, MsgButtons::Ok);
        return;
    }
    // The number as ORCA keeps it ("00123" for "123"), so that the cache, the
    // marks and the saved PDFs all see one number.
    const QString id = found.PatientID.isEmpty() ? chartNo : found.PatientID;

    InitPatientGrid();
    GridPatient->SetCell(0, 1, QStringLiteral("1"));
    GridPatient->SetCell(1, 1, id);
    GridPatient->SetCell(2, 1, found.Name);
    GridPatient->SetCell(3, 1, QString());
    GridPatient->SelectRow(1);
    FPatientRow = 1;
    FSearchActive = true;

    FPatientID = id;
    FPatientName = found.Name;
    FBirthDate.clear();
    AddToPatientCache(id, found.Name);

    FTainMonth.clear();
    SelectPatient(id, found.Name);

    if (!FMonthList.isEmpty()) {
        FTainMonth = FMonthList.last();
        LabelTainMonth->setText(viewer::MonthCaption(FTainMonth));
    }
}

void TfrmDrugInfo::SearchByName(const QString &text) {
    const QString cachePath = PatientCachePath();
    if (!QFileInfo::exists(cachePath)) {
        Ui().messageBox(this, QString(),
                        QStringLiteral("患者キャッシュがありません。\r\n"
                                       "受付一覧を読み込むと自動的に蓄積されます。"),
                        MsgIcon::Information, MsgButtons::Ok);
        return;
    }
    const QList<TCacheHit> hits = SearchPatientCache(cachePath, text);
    if (hits.isEmpty()) {
        Ui().messageBox(this, QString(), kNotFound, MsgIcon::Information, MsgButtons::Ok);
        return;
    }
    if (hits.size() == 1) {
        SearchByChartNo(hits.first().PatientID);
        return;
    }
    InitPatientGrid();
    FPatientRow = -1;
    GridPatient->SetRowCount(hits.size() + 1);
    for (int i = 0; i < hits.size(); ++i) {
        GridPatient->SetCell(0, i + 1, QString::number(i + 1));
        GridPatient->SetCell(1, i + 1, hits.at(i).PatientID);
        GridPatient->SetCell(2, i + 1, hits.at(i).Name);
        GridPatient->SetCell(3, i + 1, QString());
    }
    FSearchActive = true;
    StartMarkCheck();
}

void TfrmDrugInfo::ClearPatientPanes() {
    FPatientID.clear();
    FPatientName.clear();
    FBirthDate.clear();
    ForgetTainData();
    FInstRow = -1;
    Label1->setText(QStringLiteral("カルテ番号"));
    Label2->setText(QStringLiteral("漢字氏名"));
    LabelAge->clear();
    LabelTainMonth->clear();
    InitInstitutionGrid();
    MemoSelf->clear();
    MemoTain->clear();
}
