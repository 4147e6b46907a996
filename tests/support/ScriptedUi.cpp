#include "tests/support/ScriptedUi.h"

#include <QImage>
#include <QPdfWriter>

using namespace platform;

namespace {
platform::IUi *g_installed = nullptr;
}

ScriptedUi::ScriptedUi() {
    m_previous = g_installed;
    g_installed = this;
    SetUi(this);
}

ScriptedUi::~ScriptedUi() {
    g_installed = m_previous;
    SetUi(m_previous);
}

QList<ScriptedUi::Call> ScriptedUi::callsOf(const QString &kind) const {
    QList<Call> out;
    for (const Call &c : calls)
        if (c.kind == kind)
            out << c;
    return out;
}

MsgResult ScriptedUi::messageBox(QObject *, const QString &title, const QString &text, MsgIcon icon,
                                 MsgButtons buttons) {
    Call c{QStringLiteral("messageBox"), title, text};
    c.icon = icon;
    c.buttons = buttons;
    calls << c;
    if (!messageAnswers.isEmpty())
        return messageAnswers.takeFirst();
    return buttons == MsgButtons::Ok ? MsgResult::Ok : MsgResult::Cancel;
}

void ScriptedUi::errorBox(QObject *, const QString &text) {
    calls << Call{QStringLiteral("errorBox"), QString(), text};
}

QString ScriptedUi::openFileDialog(QObject *, const FileDialogSpec &spec) {
    Call c{QStringLiteral("openFile"), spec.title};
    c.file = spec;
    calls << c;
    return fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
}

QString ScriptedUi::saveFileDialog(QObject *, const FileDialogSpec &spec) {
    Call c{QStringLiteral("saveFile"), spec.title};
    c.file = spec;
    calls << c;
    return fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
}

QString ScriptedUi::pickFolder(QObject *, const QString &title, const QString &startDir) {
    calls << Call{QStringLiteral("pickFolder"), title, startDir};
    return fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
}

bool ScriptedUi::inputBox(QObject *, const QString &title, const QString &prompt, QString &value) {
    calls << Call{QStringLiteral("inputBox"), title, prompt, value};
    if (inputAnswers.isEmpty())
        return false;
    const QString answer = inputAnswers.takeFirst();
    if (answer.isNull())
        return false;
    value = answer;
    return true;
}

int ScriptedUi::taskDialog(QObject *, const TaskDialogSpec &spec) {
    Call c{QStringLiteral("taskDialog"), spec.caption, spec.instruction};
    c.task = spec;
    calls << c;
    return taskAnswers.isEmpty() ? -1 : taskAnswers.takeFirst();
}

void ScriptedUi::shellOpen(QObject *, const QString &target, const QString &params) {
    calls << Call{QStringLiteral("shellOpen"), QString(), target, params};
}

void ScriptedUi::setCursor(CursorKind kind) {
    cursor = kind;
    calls << Call{QStringLiteral("cursor"), QString(),
                  kind == CursorKind::Hourglass ? QStringLiteral("hourglass")
                                                : QStringLiteral("default")};
}

bool ScriptedUi::printJob(const QString &documentName,
                          const std::function<bool(QPaintDevice *device)> &paint) {
    calls << Call{QStringLiteral("print"), documentName};
    if (!printAnswer)
        return false;
    if (!printPdfPath.isEmpty()) {
        QPdfWriter writer(printPdfPath);
        writer.setTitle(documentName);
        writer.setResolution(printResolution);
        writer.setPageLayout(QPageLayout(printPageSize, QPageLayout::Portrait, QMarginsF()));
        const bool ok = paint(&writer);
        if (onPrint)
            onPrint(&writer);
        return ok;
    }
    // Pages are drawn onto an A4-sized image at 300 dpi, so code that asks the
    // device for its size and resolution sees a printer-like page.
    QImage page(2480, 3508, QImage::Format_RGB32);
    page.setDotsPerMeterX(11811);
    page.setDotsPerMeterY(11811);
    page.fill(Qt::white);
    const bool ok = paint(&page);
    if (onPrint)
        onPrint(&page);
    return ok;
}
