#include "dialogs/Contact.h"

TfrmContact::TfrmContact(QWidget *owner) : QDialog(owner) {
    setObjectName(QStringLiteral("frmContact"));
    setWindowTitle(QStringLiteral("お問い合わせ"));
}
