// The buttons that open the chosen patient's saved PDF documents.
#include "viewer/DrugInfo.h"

#include "pdf/SavedPdf.h"
#include "platform/Trim.h"
#include "platform/UiSeam.h"

#include <QDir>

using platform::Ui;

namespace {

void OpenSavedPdf(TfrmDrugInfo *window, SavedPdfKind kind, const QString &notFound) {
    const QString folder = SavedPdfFolder();
    if (!QDir(folder).exists())
        return;
    if (platform::TrimText(window->FPatientID).isEmpty()) {
        Ui().messageBox(window, QString(), QStringLiteral("患者を選択してください。"),
                        platform::MsgIcon::Warning, platform::MsgButtons::Ok);
        return;
    }
    const QStringList files = FindSavedPdfs(folder, kind, window->FPatientID);
    if (files.isEmpty()) {
        Ui().messageBox(window, QString(), notFound, platform::MsgIcon::Information,
                        platform::MsgButtons::Ok);
        return;
    }
    Ui().shellOpen(window, files.first(), QString());
}

} // namespace

void TfrmDrugInfo::BtnPDFYClick() {
    OpenSavedPdf(this, SavedPdfKind::Drug,
                 QStringLiteral("該当患者の薬剤PDFが見つかりませんでした。"));
}

void TfrmDrugInfo::BtnPDFTClick() {
    OpenSavedPdf(this, SavedPdfKind::Checkup,
                 QStringLiteral("該当患者の特定健診PDFが見つかりませんでした。"));
}
