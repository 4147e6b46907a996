// Printing either text pane as a medication-notebook column: straight to the
// default printer, at most 80 mm wide, date lines completed with the name of
// the institution the entries belong to.
#include "viewer/DrugInfo.h"

#include "core/CoreSource.h"
#include "platform/UiSeam.h"
#include "viewer/Notebook.h"

#include <QFont>
#include <QFontMetrics>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPlainTextEdit>

using platform::MsgButtons;
using platform::MsgIcon;
using platform::Ui;

namespace {

const QString kJobName = QStringLiteral("お薬手帳");

QStringList paneLines(const QPlainTextEdit *memo) {
    if (memo->document()->isEmpty())
        return {};
    return memo->toPlainText().split(QLatin1Char('\n'));
}

// Draws the lines onto the device, page by page; false when the device
// refused (the job is then abandoned).
bool paintNotebook(QPaintDevice *device, const QStringList &lines) {
    QPainter painter;
    if (!painter.begin(device))
        return false;
    QFont font(QStringLiteral("ＭＳ ゴシック"));
    font.setStyleHint(QFont::TypeWriter);
    font.setPointSize(9);
    font.setBold(false);
    font.setItalic(false);
    font.setUnderline(false);
    painter.setFont(font);
    painter.setPen(Qt::black);
    const QFontMetrics fm = painter.fontMetrics();

    const viewer::TNotebookGeometry geometry =
        viewer::NotebookGeometry(device->logicalDpiX(), device->width(), device->height(),
                                 fm.horizontalAdvance(QChar(0x3000)), fm.height());
    const auto measure = [&fm](const QString &text) { return fm.horizontalAdvance(text); };

    auto *paged = dynamic_cast<QPagedPaintDevice *>(device);
    int page = 0;
    for (const viewer::TNotebookPiece &piece : viewer::LayoutNotebook(lines, geometry, measure)) {
        if (piece.page > page && !paged)
            break; // a single sheet: what fits on it
        for (; page < piece.page; ++page) {
            if (!paged->newPage())
                return false;
        }
        painter.drawText(piece.x, piece.y + fm.ascent(), piece.text);
    }
    return painter.end();
}

} // namespace

void TfrmDrugInfo::BtnSelfPrintClick() {
    PrintNotebook(paneLines(MemoSelf), GetSelfInstName());
}

void TfrmDrugInfo::BtnPrintClick() {
    PrintNotebook(paneLines(MemoTain), FTainDetailMode ? FSelectedInst : QString());
}

QString TfrmDrugInfo::GetSelfInstName() const {
    return viewer::SelfInstitutionName(FPrescList, FSelfInstCd);
}

void TfrmDrugInfo::PrintNotebook(const QStringList &lines, const QString &institutionName) {
    if (viewer::IsNothingToPrint(lines)) {
        Ui().messageBox(this, QString(), QStringLiteral("印刷する内容がありません。"),
                        MsgIcon::Information, MsgButtons::Ok);
        return;
    }
    const QStringList printed = viewer::NotebookPrintLines(lines, institutionName);
    if (Ui().printJob(kJobName,
                      [&printed](QPaintDevice *device) { return paintNotebook(device, printed); }))
        return;
    Log(QStringLiteral("Print: ") + kJobName + QStringLiteral(" not printed"));
    Ui().messageBox(this, QString(),
                    QStringLiteral("印刷できませんでした。\r\n"
                                   "通常使うプリンターが設定されているか、"
                                   "プリンターの状態を確認してください。"),
                    MsgIcon::Warning, MsgButtons::Ok);
}
