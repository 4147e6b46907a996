#include "app/QtUi.h"

#include <QApplication>
#include <QCommandLinkButton>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QUrl>
#include <QVBoxLayout>

#include "core/CoreSource.h"
#include "platform/Dpi.h"
#include "platform/Trim.h"

#ifdef Q_OS_LINUX
#include <QLibrary>
#include <QTemporaryDir>
#endif

using namespace platform;

#ifdef Q_OS_LINUX
namespace {
// The two libcups calls used to send a print job (cups/cups.h).
struct CupsOption {
    char *name;
    char *value;
};
using CupsPrintFile = int (*)(const char *name, const char *filename, const char *title,
                              int numOptions, CupsOption *options);
using CupsLastErrorString = const char *(*)();
} // namespace
#endif

namespace {

QWidget *ownerWidget(QObject *owner) {
    if (auto *w = qobject_cast<QWidget *>(owner))
        return w;
    return QApplication::activeWindow();
}

// Message texts carry Windows line breaks; Qt shows "\n".
QString displayText(QString text) {
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

QString defaultTitle(MsgIcon icon) {
    switch (icon) {
    case MsgIcon::Error:
        return QStringLiteral("エラー");
    case MsgIcon::Warning:
        return QStringLiteral("警告");
    case MsgIcon::Information:
        return QStringLiteral("情報");
    case MsgIcon::Question:
        return QStringLiteral("確認");
    case MsgIcon::None:
        break;
    }
    return QApplication::applicationDisplayName();
}

} // namespace

QStringList QtFilterList(const QString &filter) {
    QStringList out;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString name = parts.at(i);
        // "*.*" means every file where the filters come from; here it would
        // hide the names without a dot.
        QStringList patterns = parts.at(i + 1).split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString &p : patterns) {
            if (p == QLatin1String("*.*"))
                p = QStringLiteral("*");
        }
        const qsizetype paren = name.indexOf(QLatin1Char('('));
        if (paren >= 0)
            name = name.left(paren);
        out << TrimText(name) + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
                   QLatin1Char(')');
    }
    return out;
}

std::unique_ptr<QMessageBox> MakeMessageBox(QWidget *parent, const QString &title,
                                            const QString &text, MsgIcon icon, MsgButtons buttons) {
    auto box = std::make_unique<QMessageBox>(parent);
    box->setWindowTitle(title.isEmpty() ? defaultTitle(icon) : title);
    box->setText(displayText(text));
    switch (icon) {
    case MsgIcon::Information:
        box->setIcon(QMessageBox::Information);
        break;
    case MsgIcon::Warning:
        box->setIcon(QMessageBox::Warning);
        break;
    case MsgIcon::Error:
        box->setIcon(QMessageBox::Critical);
        break;
    case MsgIcon::Question:
        box->setIcon(QMessageBox::Question);
        break;
    case MsgIcon::None:
        break;
    }
    switch (buttons) {
    case MsgButtons::Ok:
        box->setStandardButtons(QMessageBox::Ok);
        break;
    case MsgButtons::YesNo:
        box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    case MsgButtons::YesNoCancel:
        box->setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    }
    return box;
}

MsgResult QtUi::messageBox(QObject *owner, const QString &title, const QString &text, MsgIcon icon,
                           MsgButtons buttons) {
    const std::unique_ptr<QMessageBox> box =
        MakeMessageBox(ownerWidget(owner), title, text, icon, buttons);
    switch (box->exec()) {
    case QMessageBox::Yes:
        return MsgResult::Yes;
    case QMessageBox::No:
        return MsgResult::No;
    case QMessageBox::Cancel:
        return MsgResult::Cancel;
    default:
        return buttons == MsgButtons::Ok ? MsgResult::Ok : MsgResult::Cancel;
    }
}

void QtUi::errorBox(QObject *owner, const QString &text) {
    messageBox(owner, QApplication::applicationDisplayName(), text, MsgIcon::Error, MsgButtons::Ok);
}

namespace {
void applyFilter(QFileDialog &dlg, const FileDialogSpec &spec) {
    const QStringList filters = QtFilterList(spec.filter);
    if (!filters.isEmpty()) {
        dlg.setNameFilters(filters);
        dlg.selectNameFilter(filters.value(qMax(0, spec.filterIndex - 1)));
    }
    if (!spec.initialDir.isEmpty())
        dlg.setDirectory(spec.initialDir);
}
} // namespace

QString QtUi::openFileDialog(QObject *owner, const FileDialogSpec &spec) {
    QFileDialog dlg(ownerWidget(owner), spec.title);
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    dlg.setFileMode(QFileDialog::ExistingFile);
    applyFilter(dlg, spec);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return {};
    return dlg.selectedFiles().constFirst();
}

QString QtUi::saveFileDialog(QObject *owner, const FileDialogSpec &spec) {
    QFileDialog dlg(ownerWidget(owner), spec.title);
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setFileMode(QFileDialog::AnyFile);
    dlg.setOption(QFileDialog::DontConfirmOverwrite, !spec.confirmOverwrite);
    applyFilter(dlg, spec);
    if (!spec.defaultExt.isEmpty())
        dlg.setDefaultSuffix(spec.defaultExt);
    if (!spec.fileName.isEmpty())
        dlg.selectFile(spec.fileName);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return {};
    return dlg.selectedFiles().constFirst();
}

QString QtUi::pickFolder(QObject *owner, const QString &title, const QString &startDir) {
    return QFileDialog::getExistingDirectory(ownerWidget(owner), title, startDir);
}

bool QtUi::inputBox(QObject *owner, const QString &title, const QString &prompt, QString &value) {
    bool ok = false;
    const QString typed =
        QInputDialog::getText(ownerWidget(owner), title, prompt, QLineEdit::Normal, value, &ok);
    if (ok)
        value = typed;
    return ok;
}

std::unique_ptr<QDialog> MakeTaskDialog(QWidget *parent, const TaskDialogSpec &spec,
                                        const std::shared_ptr<int> &chosen) {
    auto dlg = std::make_unique<QDialog>(parent);
    QDialog *d = dlg.get();
    d->setWindowTitle(spec.caption);
    // Wide enough that a link's note reads as a sentence, not a column.
    d->setMinimumWidth(platform::ScaleToDpi(460, d->logicalDpiY()));
    auto *layout = new QVBoxLayout(d);
    auto *instruction = new QLabel(displayText(spec.instruction), d);
    QFont big = instruction->font();
    big.setPointSizeF(big.pointSizeF() * 1.3);
    instruction->setFont(big);
    layout->addWidget(instruction);
    if (!spec.content.isEmpty())
        layout->addWidget(new QLabel(displayText(spec.content), d));
    *chosen = -1;
    for (const TaskDialogSpec::Link &link : spec.links) {
        auto *b = new QCommandLinkButton(link.text, link.note, d);
        QObject::connect(b, &QCommandLinkButton::clicked, d, [chosen, d, id = link.id] {
            *chosen = id;
            d->accept();
        });
        if (link.id == spec.defaultLink) {
            b->setDefault(true);
            b->setFocus();
        }
        layout->addWidget(b);
    }
    if (spec.cancelButton) {
        auto *buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, d);
        QObject::connect(buttons, &QDialogButtonBox::rejected, d, &QDialog::reject);
        layout->addWidget(buttons);
    }
    if (!spec.allowCancel)
        d->setWindowFlag(Qt::WindowCloseButtonHint, false);
    return dlg;
}

int QtUi::taskDialog(QObject *owner, const TaskDialogSpec &spec) {
    const auto chosen = std::make_shared<int>(-1);
    const std::unique_ptr<QDialog> dlg = MakeTaskDialog(ownerWidget(owner), spec, chosen);
    dlg->exec();
    return *chosen;
}

namespace {
// Whether the file is a program the system runs itself: executable, and an
// ELF binary or a script. Execute permission alone says little: a Windows
// share is mounted with it on every file, saved PDFs included.
bool isProgram(const QFileInfo &info) {
    if (!info.isFile() || !info.isExecutable())
        return false;
    QFile f(info.absoluteFilePath());
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = f.read(4);
    return head == "\177ELF" || head.startsWith("#!"); // ELF magic, or a script
}
} // namespace

void QtUi::shellOpen(QObject *, const QString &target, const QString &params) {
    const QFileInfo info(target);
    if (isProgram(info)) {
        QProcess::startDetached(target, QProcess::splitCommand(params));
        return;
    }
    const QUrl url = info.exists() ? QUrl::fromLocalFile(info.absoluteFilePath())
                                   : QUrl(target, QUrl::TolerantMode);
    QDesktopServices::openUrl(url);
}

void QtUi::setCursor(CursorKind kind) {
    if (kind == CursorKind::Hourglass) {
        if (!QApplication::overrideCursor())
            QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
    }
}

bool QtUi::printJob(const QString &documentName,
                    const std::function<bool(QPaintDevice *device)> &paint) {
    const QPrinterInfo target = QPrinterInfo::defaultPrinter();
    if (target.isNull()) {
        Log(QStringLiteral("Print: no default printer"));
        return false;
    }
    QPrinter printer(target, QPrinter::HighResolution);
    printer.setDocName(documentName);
#ifdef Q_OS_LINUX
    // Qt hands a finished job to CUPS without looking at the answer, so a
    // destination that refuses jobs would fail unseen. The job is therefore
    // spooled into a file (in the printer's own format and page size) and
    // sent here, where a refusal is seen.
    QLibrary cups(QStringLiteral("cups"), 2);
    const auto printFile = reinterpret_cast<CupsPrintFile>(cups.resolve("cupsPrintFile"));
    const auto lastError =
        reinterpret_cast<CupsLastErrorString>(cups.resolve("cupsLastErrorString"));
    QTemporaryDir spool;
    const bool sendOurselves = printFile && lastError && spool.isValid();
    const QString spoolFile = spool.filePath(QStringLiteral("job")); // no .pdf: stays a printer job
    if (sendOurselves)
        printer.setOutputFileName(spoolFile);
#endif
    if (!paint(&printer)) {
        printer.abort();
        Log(QStringLiteral("Print: ") + documentName + QStringLiteral(" abandoned"));
        return false;
    }
    if (printer.printerState() == QPrinter::Error || printer.printerState() == QPrinter::Aborted) {
        Log(QStringLiteral("Print: ") + documentName + QStringLiteral(" failed"));
        return false;
    }
#ifdef Q_OS_LINUX
    if (sendOurselves) {
        // The destination without its instance ("name/instance").
        const QByteArray name = target.printerName().section(QLatin1Char('/'), 0, 0).toUtf8();
        QByteArray media = printer.pageLayout().pageSize().key().toUtf8();
        char mediaName[] = "media";
        CupsOption option{mediaName, media.data()};
        const int job =
            printFile(name.constData(), QFile::encodeName(spoolFile).constData(),
                      documentName.toUtf8().constData(), media.isEmpty() ? 0 : 1, &option);
        if (job <= 0) {
            Log(QStringLiteral("Print: ") + QString::fromUtf8(name) +
                QStringLiteral(" refused the job: ") + QString::fromUtf8(lastError()));
            return false;
        }
    }
#endif
    return true;
}
