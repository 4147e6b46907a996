#pragma once
#include "platform/UiSeam.h"

#include <QList>
#include <QPageSize>
#include <QString>
#include <QStringList>
#include <functional>

// The seam's test side: records every request and answers from a script, so a
// test never waits on a modal window. Unscripted questions get a neutral answer
// (OK / Cancel / empty / -1).
class ScriptedUi : public platform::IUi {
public:
    struct Call {
        Call(QString k = {}, QString t = {}, QString x = {}, QString p = {})
            : kind(std::move(k)), title(std::move(t)), text(std::move(x)), params(std::move(p)) {}
        QString kind; // "messageBox", "errorBox", "openFile", "saveFile", "pickFolder",
                      // "inputBox", "taskDialog", "shellOpen", "cursor", "print"
        QString title;
        QString text; // message text, target, prompt, ...
        QString params;
        platform::MsgIcon icon = platform::MsgIcon::None;
        platform::MsgButtons buttons = platform::MsgButtons::Ok;
        platform::FileDialogSpec file;
        platform::TaskDialogSpec task;
    };

    ScriptedUi();           // installs itself
    ~ScriptedUi() override; // uninstalls itself

    // Answers, consumed in order per kind.
    QList<platform::MsgResult> messageAnswers;
    QStringList fileAnswers;     // open/save/folder dialogs
    QList<QString> inputAnswers; // a null QString means "cancelled"
    QList<int> taskAnswers;
    bool printAnswer = true;
    std::function<void(QPaintDevice *)> onPrint; // optional inspection of a print job
    // Where a print job goes: empty draws it onto one A4 image at 300 dpi; a
    // path writes a PDF file there instead, its pages of printPageSize at
    // printResolution dots per inch without margins (a printer's printable area).
    QString printPdfPath;
    QPageSize printPageSize{QPageSize::A4};
    int printResolution = 300;

    QList<Call> calls;
    QList<Call> callsOf(const QString &kind) const;
    platform::CursorKind cursor = platform::CursorKind::Default;

    platform::MsgResult messageBox(QObject *owner, const QString &title, const QString &text,
                                   platform::MsgIcon icon, platform::MsgButtons buttons) override;
    void errorBox(QObject *owner, const QString &text) override;
    QString openFileDialog(QObject *owner, const platform::FileDialogSpec &spec) override;
    QString saveFileDialog(QObject *owner, const platform::FileDialogSpec &spec) override;
    QString pickFolder(QObject *owner, const QString &title, const QString &startDir) override;
    bool inputBox(QObject *owner, const QString &title, const QString &prompt,
                  QString &value) override;
    int taskDialog(QObject *owner, const platform::TaskDialogSpec &spec) override;
    void shellOpen(QObject *owner, const QString &target, const QString &params) override;
    void setCursor(platform::CursorKind kind) override;
    bool printJob(const QString &documentName,
                  const std::function<bool(QPaintDevice *device)> &paint) override;

private:
    platform::IUi *m_previous = nullptr;
};
