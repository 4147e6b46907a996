// Other institutions' information: the drug, medical and checkup loaders, the
// institution history grid and the other-institution text. The rules live in
// the viewer logic library (TainParse, TainMonths, TainGrid, TainText,
// TainPdf); this file moves their results between the window's fields and
// controls.
#include "viewer/DrugInfo.h"

#include "core/CoreSource.h"
#include "orca/OrcaTemplates.h"
#include "pdf/SavedPdf.h"
#include "platform/Trim.h"
#include "viewer/StringGrid.h"
#include "viewer/TainGrid.h"
#include "viewer/TainMonths.h"
#include "viewer/TainParse.h"
#include "viewer/TainPdf.h"
#include "viewer/TainRules.h"
#include "viewer/TainText.h"
#include "viewer/ViewerClock.h"
#include "viewer/ViewerRules.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

namespace {

const QString kLoadFailed = QStringLiteral("他院情報を取得できませんでした。");
const QString kLoadIncomplete = QStringLiteral("他院情報の一部を取得できませんでした。");

QString drugRequest(const QString &number, const QString &month) {
    return FillPlaceholder(FillPlaceholder(kDrugInfoTemplate, kPlaceholderRequestNumber, number),
                           kPlaceholderMonth, month);
}

QString medRequest(const QString &month) {
    return FillPlaceholder(
        FillPlaceholder(kMedInfoTemplate, kPlaceholderRequestNumber, QStringLiteral("01")),
        kPlaceholderMonth, month);
}

// Whether an answer file holds an answer the viewer can rely on.
bool usable(const QString &file) {
    return !file.isEmpty() && viewer::IsOnlineAnswerUsable(viewer::ReadAnswerLines(file));
}

// Reads a drug "02" answer into the prescription list. *malformed (when
// given) tells whether the file could not be read as a document at all.
bool parseDrug02File(QList<TPrescription> &list, const QString &file, const QString &month,
                     bool *malformed) {
    if (malformed)
        *malformed = false;
    QFile f(file);
    if (!f.exists())
        return false;
    QString error;
    bool ok = false;
    if (!f.open(QIODevice::ReadOnly)) {
        error = f.errorString();
    } else {
        const QByteArray xml = f.readAll();
        if (f.error() != QFileDevice::NoError)
            error = f.errorString();
        else
            ok = viewer::ParseDrugGet02Xml(xml, month, list, &error);
    }
    if (!error.isEmpty()) {
        Log(QStringLiteral("ParseOnlineDrugGet02 Error: ") + error);
        if (malformed)
            *malformed = true;
    }
    return ok;
}

// The pane's text: the load's note (if any) above the composed text, whose
// CR LF line ends become the pane's lines.
void showTainText(TfrmDrugInfo *w, const QString &text) {
    QStringList lines = text.split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    if (!w->FTainLoadNote.isEmpty()) {
        if (!lines.isEmpty())
            lines.prepend(QString());
        lines.prepend(w->FTainLoadNote);
    }
    w->MemoTain->setPlainText(lines.join(QLatin1Char('\n')));
}

} // namespace

// ---- loading ----

void TfrmDrugInfo::ForgetTainData() {
    FDrugLoadOK = false;
    FDrug01HasMonth = false;
    FMonthList.clear();
    FPrescList.clear();
    FInstMonthMap.clear();
    FTkkDates.clear();
    FMedInstMonths.clear();
    FTainDetailMode = false;
    FSelectedInst.clear();
}

void TfrmDrugInfo::LoadTainInfo() {
    // The previous patient's data and view go first, whatever this load meets.
    ForgetTainData();
    FTainLoadNote.clear();
    FTainAllMode = false;
    BtnBack->hide();
    LabelTainName->setText(QStringLiteral("他院"));
    UpdateTainAllButton();
    InitInstitutionGrid();
    FitInstitutionGrid();
    MemoTain->clear();

    if (platform::TrimText(FPatientID).isEmpty())
        return;

    const QString file01 =
        OrcaCallWithIdRetry(kPathOnlineDrug, drugRequest(QStringLiteral("01"), QString()),
                            FPatientID, QStringLiteral("他院薬剤情報を取得しています…"));
    if (file01.isEmpty()) {
        FTainLoadNote = kLoadFailed;
        showTainText(this, QString());
        return;
    }
    ParseOnlineDrugGet01(file01);
    bool markAnswers = usable(file01); // what the patient's mark rests on
    bool drugMonths = true;

    FMonthList = viewer::DrugRequestMonths(FMonthList, viewer::Today());
    Log(QStringLiteral("DrugGet02 months: ") + FMonthList.join(QLatin1Char(',')));

    for (qsizetype i = 0; i < FMonthList.size(); ++i) {
        const QString month = FMonthList.at(i);
        const QString file = OrcaCallWithIdRetry(
            kPathOnlineDrug, drugRequest(QStringLiteral("02"), month), FPatientID,
            QStringLiteral("他院薬剤情報 %1 を取得しています…（%2/%3）")
                .arg(month)
                .arg(i + 1)
                .arg(FMonthList.size()));
        if (file.isEmpty()) {
            drugMonths = false;
            continue;
        }
        bool malformed = false;
        parseDrug02File(FPrescList, file, month, &malformed);
        if (malformed || !usable(file))
            drugMonths = false;
    }

    markAnswers = LoadOnlineSpec() && markAnswers;
    markAnswers = LoadOnlineMed() && markAnswers;

    // Visit months from the patient's saved drug documents.
    viewer::TPdfSupplementInput pdf;
    pdf.Folder = SavedPdfFolder();
    pdf.PatientID = FPatientID;
    pdf.PatientName = FPatientName;
    pdf.SelfInstCd = FSelfInstCd;
    pdf.KikanName = ReadSetting(QStringLiteral("PARAMA"), QStringLiteral("KIKANNAME"), QString());
    pdf.OwnNames = viewer::OwnPrescriptionNames(FPrescList, FSelfInstCd);
    QStringList medMonths = FMedInstMonths;
    FMedInstMonths = FRunner.Call<QStringList>(QStringLiteral("保存PDFを読んでいます…"), [&] {
        viewer::CollectPdfMedMonths(pdf, medMonths);
        return medMonths;
    });

    FDrugLoadOK = markAnswers;
    if (!markAnswers || !drugMonths)
        FTainLoadNote = kLoadIncomplete;
    ShowTainOverview();
}

bool TfrmDrugInfo::ParseOnlineDrugGet01(const QString &file) {
    if (!QFile::exists(file))
        return false;
    const viewer::TDrug01Answer answer =
        viewer::ParseDrugGet01Lines(viewer::ReadAnswerLines(file), FSelfInstCd);
    FMonthList = answer.Months;
    FInstMonthMap = answer.InstMonthMap;
    if (answer.HasBirthDate)
        FBirthDate = answer.BirthDate;
    FDrug01HasMonth = !FMonthList.isEmpty();
    Log(QStringLiteral("DrugGet01 months: ") + FMonthList.join(QLatin1Char(',')));
    return true;
}

bool TfrmDrugInfo::ParseOnlineDrugGet02(const QString &file, const QString &month) {
    return parseDrug02File(FPrescList, file, month, nullptr);
}

bool TfrmDrugInfo::LoadOnlineSpec() {
    if (platform::TrimText(FPatientID).isEmpty())
        return true;
    FTkkDates.clear();
    const QString body =
        FillPlaceholder(kCheckupTemplate, kPlaceholderRequestNumber, QStringLiteral("01"));
    const QString file = OrcaCallWithIdRetry(kPathOnlineSpec, body, FPatientID);
    if (file.isEmpty())
        return false;
    const QStringList lines = viewer::ReadAnswerLines(file);
    viewer::ParseSpecGetLines(lines, FTkkDates);
    return viewer::IsOnlineAnswerUsable(lines);
}

bool TfrmDrugInfo::LoadOnlineMed() {
    if (platform::TrimText(FPatientID).isEmpty())
        return true;
    FMedInstMonths.clear();
    bool answered = true;
    const QStringList months = {QString(), viewer::MedSecondRequestMonth(viewer::Today())};
    for (const QString &month : months) {
        const QString file = OrcaCallWithIdRetry(kPathOnlineMed, medRequest(month), FPatientID);
        if (file.isEmpty()) {
            answered = false;
            continue;
        }
        const QStringList lines = viewer::ReadAnswerLines(file);
        const QStringList added = viewer::ParseMedGetLines(lines, FSelfInstCd, FMedInstMonths);
        for (const QString &entry : added)
            Log(QStringLiteral("MedGet: ") + entry);
        if (!viewer::IsOnlineAnswerUsable(lines))
            answered = false;
    }
    return answered;
}

// ---- grid and text ----

void TfrmDrugInfo::ShowTainOverview() {
    FTainDetailMode = false;
    BtnBack->hide();
    LabelTainName->setText(QStringLiteral("他院"));
    UpdateTainAllButton();
    InitInstitutionGrid();

    viewer::TTainGridInput in;
    in.Prescriptions = FPrescList;
    in.InstMonthMap = FInstMonthMap;
    in.MedInstMonths = FMedInstMonths;
    in.TkkDates = FTkkDates;
    in.SelfInstCd = FSelfInstCd;
    if (FTkkDates.isEmpty()) {
        const QString folder = SavedPdfFolder();
        const QString id = FPatientID;
        in.CheckupPdf = FRunner.Call<viewer::TCheckupPdfMonth>(
            QStringLiteral("保存PDFを読んでいます…"),
            [folder, id] { return viewer::FindCheckupPdfMonth(folder, id); });
    }
    const viewer::TTainGridContent content = viewer::BuildTainGrid(in);

    TStringGrid *g = GridInstitution;
    const int institutions = int(content.Institutions.size());
    const int months = int(content.Months.size());
    g->BeginUpdate();
    g->SetColCount(qMax(months + 1, 2));
    g->SetRowCount(institutions + 1);
    g->SetFixedCols(institutions > 0 ? 1 : 0);
    g->SetCell(0, 0, QStringLiteral("医療機関名"));
    for (int c = 0; c < months; ++c)
        g->SetCell(c + 1, 0, viewer::MonthColumnCaption(content.Months.at(c)));
    int widest = 0;
    for (int r = 0; r < institutions; ++r) {
        g->SetCell(0, r + 1, content.Institutions.at(r));
        widest = qMax(widest, g->fontMetrics().horizontalAdvance(content.Institutions.at(r)));
    }
    g->SetColWidth(0, qBound(ScaleToDpi(120), widest + ScaleToDpi(16), ScaleToDpi(360)));
    for (int c = 1; c < g->ColCount(); ++c)
        g->SetColWidth(c, ScaleToDpi(56));
    if (content.CheckupRow) {
        g->SetRowCount(institutions + 2);
        g->SetCell(0, institutions + 1, viewer::kCheckupRowName);
    }
    for (int r = 0; r < content.Marks.size(); ++r) {
        for (int c = 0; c < months; ++c) {
            if (!content.Marks.at(r).at(c).isEmpty())
                g->SetCell(c + 1, r + 1, content.Marks.at(r).at(c));
        }
    }
    // Marks and month captions centred in their columns, names to the left.
    for (int c = 0; c < g->ColCount(); ++c) {
        const int column = c - g->FixedCols();
        if (column < 0)
            continue;
        const Qt::Alignment align =
            c == 0 ? Qt::AlignLeft | Qt::AlignVCenter : Qt::Alignment(Qt::AlignCenter);
        if (QTableWidgetItem *h = g->horizontalHeaderItem(column))
            h->setTextAlignment(align);
        for (int r = 1; r < g->RowCount(); ++r) {
            if (QTableWidgetItem *item = g->item(r - 1, column))
                item->setTextAlignment(align);
        }
    }
    g->EndUpdate();
    FitInstitutionGrid();

    showTainText(this, viewer::FormatTainText(FPrescList, QString(), FSelfInstCd, true,
                                              !FTainAllMode, false, viewer::Today()));
}

void TfrmDrugInfo::ShowTainDetail() {
    FTainDetailMode = true;
    BtnBack->show();
    LabelTainName->setText(FSelectedInst);
    LabelTainMonth->clear();
    UpdateTainAllButton();
    showTainText(this, viewer::FormatTainText(FPrescList, FSelectedInst, QString(), false, false,
                                              true, viewer::Today()));
}

void TfrmDrugInfo::UpdateTainAllButton() {
    BtnTainAll->setVisible(!FTainDetailMode);
    BtnTainAll->setText(FTainAllMode ? QStringLiteral("半年間") : QStringLiteral("全て"));
}

void TfrmDrugInfo::BtnTainAllClick() {
    FTainAllMode = !FTainAllMode;
    UpdateTainAllButton();
    if (!platform::TrimText(FPatientID).isEmpty())
        ShowTainOverview();
}

void TfrmDrugInfo::BtnBackClick() {
    ShowTainOverview();
}

void TfrmDrugInfo::BtnCopyClick() {
    const QString text = MemoTain->toPlainText();
    QString out;
    if (!text.isEmpty()) {
        for (const QString &line : text.split(QLatin1Char('\n')))
            out += line + QStringLiteral("\r\n");
    }
    QGuiApplication::clipboard()->setText(out);
}

void TfrmDrugInfo::GridInstitutionSelectCell(int, int ARow, bool &CanSelect) {
    FInstRow = ARow;
    CanSelect = true;
}

void TfrmDrugInfo::GridInstitutionDblClick(int, int ARow) {
    if (ARow < 1 || ARow >= GridInstitution->RowCount())
        return;
    FSelectedInst = platform::TrimText(GridInstitution->Cells(0, ARow));
    if (!FSelectedInst.isEmpty())
        ShowTainDetail();
}
