#pragma once
#include <QDialog>

// The patient viewer window. Created when the main menu opens it, shown
// modally and destroyed when it closes.
class TfrmDrugInfo : public QDialog {
    Q_OBJECT
public:
    explicit TfrmDrugInfo(QWidget *owner = nullptr);
};
