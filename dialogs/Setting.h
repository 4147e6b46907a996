#pragma once
#include <QDialog>

// The settings dialog: connection, folder, refresh and update settings.
class TfrmSetting : public QDialog {
    Q_OBJECT
public:
    explicit TfrmSetting(QWidget *owner = nullptr);
};
