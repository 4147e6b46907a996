#pragma once
#include "app/QtUi.h"

#include <QImage>
#include <QList>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

// The pictures the screenshot tool makes. To add one, add an entry to
// ScreenshotWindows() in Windows.cpp: a name (also the file name,
// docs/<name>.png), a line for --list, and either a function that makes the
// window filled as a user would see it (the tool shows and grabs it) or one
// that draws the picture itself (a printed page). The tool runs offscreen in
// a fresh application folder (its user.ini and files are its own), with the
// program's fonts, icon and version stamp; windows that need ORCA's data get
// the stand-in server with its demo data.
struct ScreenshotWindow {
    QString name;
    QString description;
    std::function<std::unique_ptr<QWidget>()> make;
    std::function<QImage()> render; // instead of make
};

QList<ScreenshotWindow> ScreenshotWindows();

// The tool's UI seam: a message box or task dialog is remembered, not shown
// (either can be made as the program shows it); a print job paints one A4
// sheet (the first page) into an image at 110 dots per inch; a save dialog
// answers saveFolder; no other dialog opens.
class ScreenshotUi : public QtUi {
public:
    struct Message {
        QString title, text;
        platform::MsgIcon icon = platform::MsgIcon::None;
        platform::MsgButtons buttons = platform::MsgButtons::Ok;
    };
    QList<Message> messages;
    QList<platform::TaskDialogSpec> taskDialogs; // answered with "cancelled"
    QImage printedPage;
    // When set, a save dialog answers this folder + the proposed file name.
    QString saveFolder;

    platform::MsgResult messageBox(QObject *owner, const QString &title, const QString &text,
                                   platform::MsgIcon icon, platform::MsgButtons buttons) override;
    void errorBox(QObject *owner, const QString &text) override;
    QString openFileDialog(QObject *, const platform::FileDialogSpec &) override { return {}; }
    QString saveFileDialog(QObject *, const platform::FileDialogSpec &spec) override {
        return saveFolder.isEmpty() ? QString() : saveFolder + spec.fileName;
    }
    QString pickFolder(QObject *, const QString &, const QString &) override { return {}; }
    bool inputBox(QObject *, const QString &, const QString &, QString &) override { return false; }
    int taskDialog(QObject *, const platform::TaskDialogSpec &spec) override {
        taskDialogs << spec;
        return -1;
    }
    void shellOpen(QObject *, const QString &, const QString &) override {}
    bool printJob(const QString &documentName,
                  const std::function<bool(QPaintDevice *device)> &paint) override;
};

// The seam installed by the tool's main().
ScreenshotUi &ToolUi();

// Stops the stand-in server if a picture started it.
void StopDemoServer();
