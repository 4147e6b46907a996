#pragma once
#include <QDialog>
#include <QString>

class QFrame;
class QLabel;
class QPushButton;

// The support desk's fixed details.
inline const QString kSupportEmail = QStringLiteral("support@minato.example.jp");
inline const QString kWebSiteUrl = QStringLiteral("https://www.minato-soft.example.jp/minatori/");
// The maker's notice that ends the version message.
inline const QString kMakerNotice = QStringLiteral("© 湊ソフト All rights reserved.");

// Where the installation puts the user manual (a fixed path, not configurable).
QString ManualPath();

// The contact dialog "お問い合わせ": the support desk, the manual, the web
// site and a new mail to the support desk.
class TfrmContact : public QDialog {
    Q_OBJECT
public:
    explicit TfrmContact(QWidget *owner = nullptr);

    QLabel *LabelTitle = nullptr;
    QFrame *BevelLine1 = nullptr;
    QLabel *LabelSupportTitle = nullptr;
    QLabel *LabelOrgName = nullptr;
    QLabel *LabelAddress1 = nullptr;
    QLabel *LabelTel = nullptr;
    QLabel *LabelHours = nullptr;
    QLabel *LabelEmail = nullptr;
    QPushButton *BtnEmail = nullptr;
    QFrame *BevelLine2 = nullptr;
    QLabel *LabelManualTitle = nullptr;
    QPushButton *BtnManual = nullptr;
    QLabel *LabelWebTitle = nullptr;
    QLabel *LabelWebUrl = nullptr;
    QPushButton *BtnWeb = nullptr;
    QPushButton *BtnClose = nullptr;

    // The manual this dialog opens; ManualPath() unless a test points elsewhere.
    QString manualPath;

public slots:
    void BtnManualClick();
    void BtnWebClick();
    void BtnEmailClick();
    void LabelEmailClick();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

// The version message: product, the running executable's file version (or
// "(取得不可)" when it carries none) and the maker's notice.
QString VersionInfoText(const QString &fileVersion);

// Shows the version message (the patient viewer's "バージョン情報(&V)").
void ShowVersionInfo(QWidget *owner);
