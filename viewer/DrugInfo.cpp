#include "viewer/DrugInfo.h"

TfrmDrugInfo::TfrmDrugInfo(QWidget *owner) : QDialog(owner) {
    setObjectName(QStringLiteral("frmDrugInfo"));
    setWindowTitle(QStringLiteral("ミナトリ"));
    resize(1280, 700);
}
