#pragma once
#include <QDialog>
#include <QString>
#include <functional>
#include <memory>

class QButtonGroup;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class TOrcaHttpClient;

// The WebORCA cloud API base URL proposed when none is set.
inline const QString kWebOrcaCloudBaseUrl =
    QStringLiteral("https://weborca.iryo-unyo.example.jp:443/api/");

// The settings dialog "WebORCA設定": connection kind, ORCA address and
// credentials, PDF folder, institution code, refresh interval and update method,
// with the connection test and the client-certificate import. The controls are
// the working copy: loaded from user.ini when the dialog is shown and written
// back however it is closed.
class TfrmSetting : public QDialog {
    Q_OBJECT
public:
    explicit TfrmSetting(QWidget *owner = nullptr);
    ~TfrmSetting() override;

    QLabel *Label5 = nullptr;
    QLineEdit *Edit1 = nullptr; // URL
    QRadioButton *RadioButton1 = nullptr;
    QRadioButton *RadioButton2 = nullptr;
    QLineEdit *Edit8 = nullptr; // API path of the connection test (never visible)
    QLabel *Label1 = nullptr;
    QLineEdit *Edit6 = nullptr; // API key or password
    QPushButton *Button3 = nullptr;
    QLabel *Label4 = nullptr;
    QLineEdit *Edit5 = nullptr; // API user
    QPlainTextEdit *Memo1 = nullptr;
    QLabel *Label3 = nullptr;
    QLineEdit *Edit10 = nullptr; // on-premise address
    QLabel *Label6 = nullptr;
    QLineEdit *Edit9 = nullptr; // PDF folder
    QPushButton *Button8 = nullptr;
    QLabel *Label7 = nullptr;
    QLineEdit *Edit11 = nullptr; // institution code
    QLabel *Label8 = nullptr;
    QLineEdit *Edit12 = nullptr; // refresh interval
    QPushButton *BtnImportCert = nullptr;
    QLabel *LblUpdate = nullptr;
    QRadioButton *RbUpdAuto = nullptr;
    QRadioButton *RbUpdManual = nullptr;
    QPushButton *BtnUpdateNow = nullptr;
    QPushButton *Button6 = nullptr;

    // The connection test's own HTTP client, kept for the dialog's lifetime.
    TOrcaHttpClient &NetHTTPClient1();

    // Credentials answered to the server's challenge during a connection test.
    QString FAuthUser;
    QString FAuthPass;

    // Runs the connection test with the dialog's current entries and reports
    // it in Memo1, the log and, when no answer came, an error box. Always
    // returns the empty text.
    QString ORCALogin(const QString &pstLogID, const QString &pstPass);

    // Ends the application after the hand-over to the updater (tests replace it).
    std::function<void()> EndApplication;

public slots:
    void RadioButton1Click();
    void RadioButton2Click();
    void RbUpdAutoClick();
    void RbUpdManualClick();
    void Button3Click();
    void Button6Click();
    void Button8Click();
    void BtnUpdateNowClick();
    void BtnImportCertClick();

protected:
    void showEvent(QShowEvent *event) override;
    // Every way of closing (the save button, the close box, Escape) ends here.
    void done(int result) override;

private:
    void FormCreate();
    void FormShow();
    // Writes the controls to user.ini; throws EAppError when it cannot.
    void FormClose();
    void clearConnectionKind();
    void clearUpdateMethod();

    QButtonGroup *m_kindGroup = nullptr;
    QButtonGroup *m_updateGroup = nullptr;
    std::unique_ptr<TOrcaHttpClient> m_client;
    bool m_restrictTls = false; // once the cloud was tested, the client stays on TLS 1.2/1.3
    bool m_saved = false;       // saved by the updater hand-over: closing saves no more
};
