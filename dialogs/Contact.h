#pragma once
#include <QDialog>

// The contact dialog: support desk, manual, web site and mail.
class TfrmContact : public QDialog {
    Q_OBJECT
public:
    explicit TfrmContact(QWidget *owner = nullptr);
};
