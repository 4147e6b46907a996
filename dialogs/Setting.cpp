#include "dialogs/Setting.h"

TfrmSetting::TfrmSetting(QWidget *owner) : QDialog(owner) {
    setObjectName(QStringLiteral("frmSetting"));
    setWindowTitle(QStringLiteral("WebORCA設定"));
}
