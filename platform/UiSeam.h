#pragma once
#include <QList>
#include <QString>
#include <functional>

class QObject;
class QPaintDevice;

namespace platform {

// Every modal interaction with the user or the desktop goes through this one
// interface: message boxes, file and folder dialogs, the input box, the task
// dialog, shell open, the screen cursor and print jobs. The program installs a
// Qt implementation; tests install a scripted one, so nothing ever blocks on a
// modal window under test.

enum class MsgIcon { None, Information, Warning, Error, Question };
enum class MsgButtons { Ok, YesNo, YesNoCancel };
enum class MsgResult { Ok, Yes, No, Cancel };
enum class CursorKind { Default, Hourglass };

struct TaskDialogSpec {
    QString caption;     // window caption
    QString instruction; // main instruction
    QString content;     // content text
    struct Link {
        int id;
        QString text; // first line of the command link
        QString note; // its explanatory second line (may be empty)
    };
    QList<Link> links; // shown as command links, in order
    bool allowCancel = true;
    bool cancelButton = false; // a standard Cancel button below the links
    int defaultLink = -1;      // id of the link that Enter chooses (-1: none)
};

// What taskDialog returns when the platform cannot show a task dialog; the
// caller then asks in another way.
inline constexpr int kTaskDialogUnavailable = -2;

struct FileDialogSpec {
    QString title;
    QString filter;      // "Name (*.a;*.b)|*.a;*.b|All (*.*)|*.*" (pairs separated by '|')
    int filterIndex = 1; // preselected pair, from 1
    QString initialDir;
    QString fileName;   // proposed name (save dialog)
    QString defaultExt; // appended when the typed name has none (save dialog)
    bool confirmOverwrite = false;
};

class IUi {
public:
    virtual ~IUi() = default;

    virtual MsgResult messageBox(QObject *owner, const QString &title, const QString &text,
                                 MsgIcon icon, MsgButtons buttons) = 0;
    // The application's standard error box (what an unhandled error in an event shows).
    virtual void errorBox(QObject *owner, const QString &text) = 0;

    // Empty text when cancelled.
    virtual QString openFileDialog(QObject *owner, const FileDialogSpec &spec) = 0;
    virtual QString saveFileDialog(QObject *owner, const FileDialogSpec &spec) = 0;
    virtual QString pickFolder(QObject *owner, const QString &title, const QString &startDir) = 0;

    // One-line input box; false when cancelled (value then unchanged).
    virtual bool inputBox(QObject *owner, const QString &title, const QString &prompt,
                          QString &value) = 0;

    // Returns the id of the chosen link, -1 when cancelled, or
    // kTaskDialogUnavailable when the dialog cannot be shown.
    virtual int taskDialog(QObject *owner, const TaskDialogSpec &spec) = 0;

    // The shell's default action for a file, program or URL ("mailto:", "https:"),
    // with an optional parameter text for programs. The result is not reported.
    virtual void shellOpen(QObject *owner, const QString &target, const QString &params) = 0;

    virtual void setCursor(CursorKind kind) = 0;

    // Runs one print job on the default printer; paint() draws every page and
    // returns false to abort. Returns false when the job was not printed: no
    // default printer, paint() aborted, or the printer refused the job (the
    // cause is logged); the caller tells the user.
    virtual bool printJob(const QString &documentName,
                          const std::function<bool(QPaintDevice *device)> &paint) = 0;
};

// The installed implementation. Ui() aborts when none is installed.
IUi &Ui();
void SetUi(IUi *ui);

} // namespace platform
