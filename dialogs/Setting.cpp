#include "dialogs/Setting.h"

#include "core/CoreSource.h"
#include "dialogs/WaitWhile.h"
#include "orca/OrcaHttp.h"
#include "orca/OrcaTemplates.h"
#include "orca/OrcaTransport.h"
#include "orca/TlsFailure.h"
#include "platform/AppPaths.h"
#include "platform/CertStore.h"
#include "platform/Dpi.h"
#include "platform/Trim.h"
#include "platform/UiSeam.h"

#include <QButtonGroup>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>

using platform::MsgButtons;
using platform::MsgIcon;
using platform::TrimText;
using platform::Ui;

namespace {

const QString kParama = QStringLiteral("PARAMA");
// Looked for beside the executable (platform::ExecutableDir), not among the
// program's own files: it belongs to the installation.
const QString kUpdater = QStringLiteral("UpdChk.exe");

QString withTrailingSeparator(const QString &folder) {
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

// An error must not leave an event through Qt's dispatch: it ends the event
// and is shown in the application's standard error box.
template <typename F> void runEvent(QWidget *owner, F &&body) {
    try {
        body();
    } catch (...) {
        ShowCurrentError(owner);
    }
}

// Res.txt of the connection test, stored like the viewer's response files
// (it holds a patient's record).
void writeResponseText(const QString &path, const QString &text) {
    QString why;
    if (!SaveResponseText(path, text, &why))
        throw EAppError(
            QStringLiteral("EFCreateError"),
            QStringLiteral("%1 に書き込めません: %2").arg(QDir::toNativeSeparators(path), why));
}

QString resultLine(int status) {
    switch (status) {
    case 200:
        return QStringLiteral("ログイン成功 Code=200");
    case 400:
        return QStringLiteral("ログイン失敗 Code=400");
    case 401:
        return QStringLiteral("認証失敗 Code=401");
    default:
        return QStringLiteral("ログイン失敗 Code=") + QString::number(status);
    }
}

} // namespace

TfrmSetting::TfrmSetting(QWidget *owner)
    : QDialog(owner), EndApplication([] { QCoreApplication::quit(); }),
      m_client(std::make_unique<TOrcaHttpClient>()) {
    setObjectName(QStringLiteral("frmSetting"));
    setWindowTitle(QStringLiteral("WebORCA設定"));

    const int dpi = logicalDpiY();
    auto s = [dpi](int v) { return platform::ScaleToDpi(v, dpi); };

    QFont base(QStringLiteral("ＭＳ Ｐゴシック"));
    base.setPointSize(9);
    setFont(base);

    auto named = [](QWidget *w, const char *name) { w->setObjectName(QLatin1String(name)); };
    auto label = [&](const char *name, const QString &text, int l, int t) {
        auto *lb = new QLabel(text, this);
        named(lb, name);
        lb->move(s(l), s(t));
        lb->adjustSize();
        return lb;
    };
    auto edit = [&](const char *name, int l, int t, int w, int h) {
        auto *e = new QLineEdit(this);
        named(e, name);
        e->setGeometry(s(l), s(t), s(w), s(h));
        return e;
    };
    auto button = [&](const char *name, const QString &text, int l, int t, int w, int h) {
        auto *b = new QPushButton(text, this);
        named(b, name);
        b->setAutoDefault(false);
        b->setGeometry(s(l), s(t), s(w), s(h));
        return b;
    };
    auto radio = [&](const char *name, const QString &text, int l, int t, int w, int h) {
        auto *r = new QRadioButton(text, this);
        named(r, name);
        r->setGeometry(s(l), s(t), s(w), s(h));
        return r;
    };

    Label5 = label("Label5", QStringLiteral("URL"), 16, 16);
    Edit1 = edit("Edit1", 100, 14, 400, 24);
    RadioButton1 = radio("RadioButton1", QStringLiteral("クラウド"), 16, 48, 100, 17);
    RadioButton2 = radio("RadioButton2", QStringLiteral("オンプレミス"), 130, 48, 100, 17);
    Edit8 = edit("Edit8", 100, 46, 340, 24);
    Edit8->setVisible(false);
    Label1 = label("Label1", QStringLiteral("APIキー："), 16, 82);
    Edit6 = edit("Edit6", 100, 80, 200, 24);
    Button3 = button("Button3", QStringLiteral("接続テスト"), 316, 80, 80, 25);
    Label4 = label("Label4", QStringLiteral("APIユーザー："), 16, 114);
    Edit5 = edit("Edit5", 100, 112, 200, 24);
    Memo1 = new QPlainTextEdit(this);
    named(Memo1, "Memo1");
    Memo1->setGeometry(s(316), s(110), s(230), s(60));
    Memo1->setReadOnly(true);
    Memo1->setTabChangesFocus(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Label3 = label("Label3", QStringLiteral("IPアドレス"), 16, 150);
    Label3->setVisible(false);
    Edit10 = edit("Edit10", 100, 148, 200, 24);
    Edit10->setVisible(false);
    Label6 = label("Label6", QStringLiteral("PDF保存先："), 16, 178);
    Edit9 = edit("Edit9", 100, 176, 340, 24);
    Button8 = button("Button8", QStringLiteral("参照"), 448, 176, 50, 25);
    Label7 = label("Label7", QStringLiteral("医療機関CD:"), 16, 212);
    Edit11 = edit("Edit11", 100, 210, 100, 24);
    Label8 = label("Label8", QStringLiteral("更新間隔(秒):"), 220, 212);
    Edit12 = edit("Edit12", 300, 210, 50, 24);
    for (QLineEdit *e : {Edit11, Edit12}) {
        // Codes and numbers: no input method.
        e->setAttribute(Qt::WA_InputMethodEnabled, false);
        e->setInputMethodHints(Qt::ImhLatinOnly | Qt::ImhNoPredictiveText);
    }
    Edit11->setMaxLength(7);
    Edit12->setMaxLength(4);
    BtnImportCert = button("BtnImportCert", QStringLiteral("証明書インポート"), 16, 248, 160, 25);
    LblUpdate = label("LblUpdate", QStringLiteral("更新方法："), 16, 290);
    RbUpdAuto = radio("RbUpdAuto", QStringLiteral("自動更新"), 100, 288, 90, 17);
    RbUpdManual = radio("RbUpdManual", QStringLiteral("手動更新"), 200, 288, 90, 17);
    BtnUpdateNow = button("BtnUpdateNow", QStringLiteral("今すぐ更新を確認"), 300, 284, 140, 25);
    Button6 = button("Button6", QStringLiteral("保存して閉じる"), 440, 325, 100, 30);

    // Two independent groups; either may have no button chosen.
    m_kindGroup = new QButtonGroup(this);
    m_kindGroup->addButton(RadioButton1);
    m_kindGroup->addButton(RadioButton2);
    m_updateGroup = new QButtonGroup(this);
    m_updateGroup->addButton(RbUpdAuto);
    m_updateGroup->addButton(RbUpdManual);

    QWidget *const tabOrder[] = {Edit1,     Edit5,         Edit6,       Edit9,        Edit10,
                                 Button3,   Button6,       Button8,     RadioButton1, RadioButton2,
                                 Memo1,     BtnImportCert, Edit8,       Edit11,       Edit12,
                                 RbUpdAuto, RbUpdManual,   BtnUpdateNow};
    for (size_t i = 1; i < std::size(tabOrder); ++i)
        QWidget::setTabOrder(tabOrder[i - 1], tabOrder[i]);

    // Choosing a button, by a click or while loading, applies its rule.
    connect(RadioButton1, &QRadioButton::toggled, this, &TfrmSetting::RadioButton1Click);
    connect(RadioButton2, &QRadioButton::toggled, this, &TfrmSetting::RadioButton2Click);
    connect(RbUpdAuto, &QRadioButton::clicked, this, &TfrmSetting::RbUpdAutoClick);
    connect(RbUpdManual, &QRadioButton::clicked, this, &TfrmSetting::RbUpdManualClick);
    connect(Button3, &QPushButton::clicked, this, &TfrmSetting::Button3Click);
    connect(Button6, &QPushButton::clicked, this, &TfrmSetting::Button6Click);
    connect(Button8, &QPushButton::clicked, this, &TfrmSetting::Button8Click);
    connect(BtnUpdateNow, &QPushButton::clicked, this, &TfrmSetting::BtnUpdateNowClick);
    connect(BtnImportCert, &QPushButton::clicked, this, &TfrmSetting::BtnImportCertClick);

    setFixedSize(s(560), s(365));
    FormCreate();
}

TfrmSetting::~TfrmSetting() = default;

TOrcaHttpClient &TfrmSetting::NetHTTPClient1() {
    return *m_client;
}

void TfrmSetting::FormCreate() {
    Edit1->setText(kWebOrcaCloudBaseUrl);
    Edit8->setText(kPathDefaultTest);
    Edit12->setText(QStringLiteral("60"));
    for (QLineEdit *e : {Edit5, Edit6, Edit9, Edit10, Edit11})
        e->clear();
    Memo1->clear();
}

void TfrmSetting::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TfrmSetting::FormShow() {
    m_saved = false;
    auto read = [](const QString &section, const QString &key, const QString &def = QString()) {
        return ReadSetting(section, key, def);
    };

    Edit1->setText(read(kParama, QStringLiteral("URL")));
    if (TrimText(Edit1->text()).isEmpty())
        Edit1->setText(kWebOrcaCloudBaseUrl);
    Edit8->setText(read(kParama, QStringLiteral("API")));
    if (TrimText(Edit8->text()).isEmpty())
        Edit8->setText(kPathDefaultTest);

    Edit6->setText(read(kParama, QStringLiteral("APIKEY")));
    Edit5->setText(read(kParama, QStringLiteral("APIUSER")));
    Edit9->setText(read(kParama, QStringLiteral("SAVETXT")));
    Edit10->setText(read(kParama, QStringLiteral("IPADR")));
    // The length limits hold what can be typed; a longer stored value is shown
    // and saved back whole rather than cut by merely opening the dialog.
    const QString code = read(kParama, QStringLiteral("KIKANCD"));
    Edit11->setMaxLength(std::max<int>(7, code.size()));
    Edit11->setText(code);
    QString refresh = read(kParama, QStringLiteral("REFRESH"), QStringLiteral("60"));
    if (TrimText(refresh).isEmpty())
        refresh = QStringLiteral("60");
    Edit12->setMaxLength(std::max<int>(4, refresh.size()));
    Edit12->setText(refresh);

    clearConnectionKind();
    const QString kind = TrimText(read(QStringLiteral("COKBN"), QStringLiteral("CHCK")));
    if (kind == QLatin1String("1"))
        RadioButton1->setChecked(true);
    else if (kind == QLatin1String("2"))
        RadioButton2->setChecked(true);

    const QString mode = TrimText(read(QStringLiteral("UPDATE"), QStringLiteral("MODE")));
    clearUpdateMethod();
    if (mode == QLatin1String("1"))
        RbUpdManual->setChecked(true);
    else
        RbUpdAuto->setChecked(true);

    BtnUpdateNow->setEnabled(QFileInfo::exists(platform::ExecutableDir() + kUpdater));
}

void TfrmSetting::clearConnectionKind() {
    m_kindGroup->setExclusive(false);
    RadioButton1->setChecked(false);
    RadioButton2->setChecked(false);
    m_kindGroup->setExclusive(true);
}

void TfrmSetting::clearUpdateMethod() {
    m_updateGroup->setExclusive(false);
    RbUpdAuto->setChecked(false);
    RbUpdManual->setChecked(false);
    m_updateGroup->setExclusive(true);
}

void TfrmSetting::RadioButton1Click() {
    if (!RadioButton1->isChecked())
        return;
    Label3->setVisible(false);
    Edit10->setVisible(false);
    Label1->setText(QStringLiteral("APIキー："));
    Label1->adjustSize();
}

void TfrmSetting::RadioButton2Click() {
    if (!RadioButton2->isChecked())
        return;
    Label3->setVisible(true);
    Edit10->setVisible(true);
    Label1->setText(QStringLiteral("パスワード："));
    Label1->adjustSize();
}

void TfrmSetting::RbUpdAutoClick() {}

void TfrmSetting::RbUpdManualClick() {}

void TfrmSetting::FormClose() {
    auto write = [](const QString &section, const QString &key, const QString &value) {
        WriteSetting(section, key, value);
    };
    write(kParama, QStringLiteral("APIKEY"), Edit6->text());
    write(kParama, QStringLiteral("API"), Edit8->text());
    write(kParama, QStringLiteral("URL"), Edit1->text());
    write(kParama, QStringLiteral("APIUSER"), Edit5->text());

    QString folder = TrimText(Edit9->text());
    if (!folder.isEmpty())
        folder = withTrailingSeparator(folder);
    write(kParama, QStringLiteral("SAVETXT"), folder);

    write(kParama, QStringLiteral("IPADR"), Edit10->text());
    write(kParama, QStringLiteral("KIKANCD"), Edit11->text());
    write(kParama, QStringLiteral("REFRESH"), Edit12->text());

    if (RadioButton1->isChecked()) {
        write(QStringLiteral("COKBN"), QStringLiteral("CHCK"), QStringLiteral("1"));
        write(kParama, QStringLiteral("IPADR"), QString());
    }
    if (RadioButton2->isChecked())
        write(QStringLiteral("COKBN"), QStringLiteral("CHCK"), QStringLiteral("2"));

    write(QStringLiteral("UPDATE"), QStringLiteral("MODE"),
          RbUpdManual->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
}

void TfrmSetting::done(int result) {
    // Every closing saves once. When user.ini cannot be written the error is
    // shown and the dialog closes all the same: the keys written before the
    // failure keep their new values.
    if (!m_saved) {
        m_saved = true;
        runEvent(this, [this] { FormClose(); });
    }
    QDialog::done(result);
}

void TfrmSetting::Button6Click() {
    runEvent(this, [this] {
        if (RadioButton2->isChecked() && TrimText(Edit10->text()).isEmpty()) {
            Ui().messageBox(this, QString(), QStringLiteral("IPアドレスを設定してください"),
                            MsgIcon::Warning, MsgButtons::Ok);
            return;
        }
        accept();
    });
}

void TfrmSetting::Button8Click() {
    runEvent(this, [this] {
        const QString current = TrimText(Edit9->text());
        const QString chosen =
            Ui().pickFolder(this, QStringLiteral("PDF保存先フォルダを指定してください"), current);
        if (!chosen.isEmpty())
            Edit9->setText(withTrailingSeparator(chosen));
    });
}

void TfrmSetting::BtnUpdateNowClick() {
    runEvent(this, [this] {
        const QString updater = platform::ExecutableDir() + kUpdater;
        if (!QFileInfo::exists(updater)) {
            Ui().messageBox(
                this, QString(),
                QStringLiteral(
                    "UpdChk.exe が見つかりません。\r\n本体と同じフォルダに配置してください。"),
                MsgIcon::Warning, MsgButtons::Ok);
            return;
        }
        if (Ui().messageBox(this, QString(),
                            QStringLiteral("更新確認のため一度アプリを終了し、UpdChk.exe "
                                           "を起動します。\r\n続行しますか？"),
                            MsgIcon::Question, MsgButtons::YesNo) != platform::MsgResult::Yes)
            return;
        FormClose(); // a failed write ends here: the updater is not started
        m_saved = true;
        Ui().shellOpen(nullptr, updater,
                       QLatin1Char('"') + platform::ExecutablePath() + QLatin1Char('"'));
        if (EndApplication)
            EndApplication();
    });
}

void TfrmSetting::Button3Click() {
    runEvent(this, [this] { ORCALogin(TrimText(Edit5->text()), TrimText(Edit6->text())); });
}

QString TfrmSetting::ORCALogin(const QString &pstLogID, const QString &pstPass) {
    const bool onPremise = RadioButton2->isChecked();
    const QString url = onPremise ? QStringLiteral("http://") + TrimText(Edit10->text()) +
                                        QStringLiteral(":8000/api/") + Edit8->text()
                                  : Edit1->text() + Edit8->text();
    if (!onPremise)
        m_restrictTls = true;

    FAuthUser = TrimText(pstLogID);
    FAuthPass = TrimText(pstPass);
    Log(QStringLiteral("接続テスト URL: ") + url);
    Log(QStringLiteral("接続テスト APIユーザー: ") + TrimText(pstLogID));

    OrcaHttpRequest request;
    request.url = url;
    request.restrictTls = m_restrictTls;
    request.user = FAuthUser;
    request.password = FAuthPass;
    request.auth = OrcaAuthMode::OnChallenge;

    // The request runs on a worker thread; the dialog keeps painting and
    // holds the user's input back until the answer is in.
    Memo1->setPlainText(QStringLiteral("接続テスト中…"));
    Ui().setCursor(platform::CursorKind::Hourglass);
    OrcaHttpResult answer;
    try {
        answer = WaitWhile([this, &request] { return m_client->send(request); });
    } catch (...) {
        Ui().setCursor(platform::CursorKind::Default);
        Memo1->clear();
        throw;
    }
    Ui().setCursor(platform::CursorKind::Default);

    if (answer.kind != OrcaHttpResult::Response) {
        const QString message = answer.errorText;
        const QString hint = DescribeTlsFailure(message);
        Memo1->setPlainText(QStringLiteral("エラー: ") + message);
        Log(QStringLiteral("Error: ") + message);
        Log(QStringLiteral("Hint: ") +
            QString(hint).replace(QStringLiteral("\r\n"), QStringLiteral(" / ")));
        Ui().messageBox(this, QString(),
                        QStringLiteral("接続できませんでした。\r\n\r\n") + hint +
                            QStringLiteral("\r\n\r\n詳細: ") + message,
                        MsgIcon::Error, MsgButtons::Ok);
        return QString();
    }

    QString failure;
    try {
        Log(QStringLiteral("ログイン時間：") + NowText());
        const QString line = resultLine(answer.status);
        Log(line);
        const QString body = QString::fromUtf8(answer.body);
        Log(body);
        Memo1->setPlainText(line);
        if (answer.status == 200)
            writeResponseText(platform::AppDataDir() + QStringLiteral("Res.txt"), body);
    } catch (const EAppError &e) {
        failure = e.message();
    } catch (const std::exception &e) {
        failure = QString::fromLocal8Bit(e.what());
    }
    if (!failure.isNull()) {
        Memo1->setPlainText(QStringLiteral("エラー: ") + failure);
        try {
            Log(QStringLiteral("Unexpected Error: ") + failure);
        } catch (const std::exception &) {
            // The log itself failed; the result box already says what went wrong.
        }
    }
    return QString();
}

void TfrmSetting::BtnImportCertClick() {
    runEvent(this, [this] {
        platform::FileDialogSpec spec;
        spec.title = QStringLiteral("クライアント証明書を選択してください");
        spec.filter =
            QStringLiteral("証明書ファイル (*.pfx;*.p12)|*.pfx;*.p12|全てのファイル (*.*)|*.*");
        spec.filterIndex = 1;
        const QString path = Ui().openFileDialog(this, spec);
        if (path.isEmpty())
            return;

        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw EAppError(QStringLiteral("EFOpenError"),
                            QStringLiteral("%1 を開けません: %2")
                                .arg(QDir::toNativeSeparators(path), file.errorString()));
        const QByteArray data = file.readAll();
        if (file.error() != QFileDevice::NoError)
            throw EAppError(QStringLiteral("EReadError"),
                            QStringLiteral("%1 を読み込めません: %2")
                                .arg(QDir::toNativeSeparators(path), file.errorString()));
        file.close();
        if (data.isEmpty()) {
            Ui().messageBox(this, QString(), QStringLiteral("ファイルが空です。"), MsgIcon::Error,
                            MsgButtons::Ok);
            return;
        }

        // Cancelling the box imports with the empty password.
        QString password;
        Ui().inputBox(this, QStringLiteral("パスワード入力"),
                      QStringLiteral("証明書のパスワードを入力してください"), password);

        const platform::Pkcs12ImportResult r =
            platform::ImportPkcs12(platform::kPersonalStore, data, password);
        switch (r.status) {
        case platform::Pkcs12ImportResult::DecodeFailed:
            Ui().messageBox(this, QString(),
                            QStringLiteral("証明書のインポートに失敗しました。\r\n"
                                           "パスワードが正しいか確認してください。"),
                            MsgIcon::Error, MsgButtons::Ok);
            break;
        case platform::Pkcs12ImportResult::StoreOpenFailed:
            Ui().messageBox(this, QString(),
                            QStringLiteral("ミナトリの証明書ストアを開けませんでした。"),
                            MsgIcon::Error, MsgButtons::Ok);
            break;
        case platform::Pkcs12ImportResult::NothingImported:
            Ui().messageBox(this, QString(),
                            QStringLiteral("インポートできる証明書が見つかりませんでした。"),
                            MsgIcon::Warning, MsgButtons::Ok);
            break;
        case platform::Pkcs12ImportResult::Imported:
            Ui().messageBox(this, QString(),
                            QStringLiteral("証明書をミナトリの証明書ストアにインポートしました。"
                                           "\r\n(") +
                                QString::number(r.count) + QStringLiteral("件)"),
                            MsgIcon::Information, MsgButtons::Ok);
            break;
        }
    });
}
