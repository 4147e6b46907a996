#pragma once
#include "platform/UiSeam.h"

#include <memory>

class QDialog;
class QMessageBox;
class QWidget;

// The seam's production side: real Qt dialogs, the desktop's default
// applications, the override cursor and the default printer.
class QtUi : public platform::IUi {
public:
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
};

// "Name (*.a;*.b)|*.a;*.b|..." -> the Qt filter list "Name (*.a *.b)"; the
// pattern "*.*" becomes "*", so that names without a dot are listed too.
QStringList QtFilterList(const QString &filter);

// The message box that QtUi::messageBox shows, made but not shown.
std::unique_ptr<QMessageBox> MakeMessageBox(QWidget *parent, const QString &title,
                                            const QString &text, platform::MsgIcon icon,
                                            platform::MsgButtons buttons);

// The task dialog that QtUi::taskDialog shows, made but not shown; *chosen
// gets the id of the link pressed (-1 until one is).
std::unique_ptr<QDialog> MakeTaskDialog(QWidget *parent, const platform::TaskDialogSpec &spec,
                                        const std::shared_ptr<int> &chosen);
