// The settings dialog's connection test and certificate import, against the
// stand-in server over loopback with real TLS and a required client
// certificate. Certificates and PKCS#12 files are made at test time.
#include "core/CoreSource.h"
#include "dialogs/Setting.h"
#include "orca/OrcaHttp.h"
#include "orca/TlsFailure.h"
#include "platform/AppPaths.h"
#include "platform/CertStore.h"
#include "tests/support/ScriptedUi.h"
#include "tests/support/StandinServer.h"
#include "tests/support/TestCerts.h"
#include "tests/support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>

using platform::MsgButtons;
using platform::MsgIcon;

namespace {

const QString kUser = QStringLiteral("ormaster");
const QString kKey = QStringLiteral("orca-key-7Q");
const QString kPfxPassword = QStringLiteral("pfx-pass-Z9");
const QString kTestPath = QStringLiteral("api01rv2/patientgetv2?id=00001");

const QString kImportFailed =
    QStringLiteral("証明書のインポートに失敗しました。\r\nパスワードが正しいか確認してください。");
const QString kNothingImported = QStringLiteral("インポートできる証明書が見つかりませんでした。");

QString imported(int count) {
    return QStringLiteral("証明書をミナトリの証明書ストアにインポートしました。\r\n(%1件)")
        .arg(count);
}

QByteArray readAll(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeAll(const QString &path, const QByteArray &data) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
}

int modeOf(const QString &path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
}

QString resTxt() {
    return platform::ExecutableDir() + QStringLiteral("Res.txt");
}

QStringList logLines() {
    return ReadLogMessages(LogFilePath());
}

// What an error box of the connection test must say for a failure text.
QString failureBox(const QString &message) {
    return QStringLiteral("接続できませんでした。\r\n\r\n") + DescribeTlsFailure(message) +
           QStringLiteral("\r\n\r\n詳細: ") + message;
}

} // namespace

class TestConnectionTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void importThenTestTheCloud();
    void resultLines_data();
    void resultLines();
    void typedValuesAreWhatIsTested();
    void onPremiseAddress();
    void resTxtThatCannotBeWritten();
    void windowKeepsPaintingWhileWaiting();
    void importOutcomes_data();
    void importOutcomes();

private:
    // A dialog set to the cloud stand-in with the right credentials typed.
    void openCloud(TfrmSetting &d);
    // Runs the import through the dialog; returns the last message box.
    ScriptedUi::Call importThroughDialog(ScriptedUi &ui, TfrmSetting &d, const QString &file,
                                         const QString &password);
    // Checks the error box, Memo1 and the log of a failed test; returns the
    // failure text.
    QString expectFailure(ScriptedUi &ui, TfrmSetting &d);

    QString m_pki;
    TestCert m_clientRoot;
    TestCert m_clientSub;
    QByteArray m_pfx;        // valid client + sub CA + root, password kPfxPassword
    QByteArray m_expiredPfx; // expired client + sub CA + root
    StandinServer m_cloud;   // HTTPS, client certificate and credentials required
};

void TestConnectionTest::initTestCase() {
    OrcaGlobalInit();
    for (const char *v :
         {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "ALL_PROXY", "all_proxy"})
        qunsetenv(v);
    const QString root = MakeTestAppDir(QStringLiteral("connection-fixture"));
    m_pki = root + QStringLiteral("pki/");
    const QString data = root + QStringLiteral("data/");
    QVERIFY(QDir().mkpath(m_pki) && QDir().mkpath(data));
    QVERIFY(StandinServer::writePatient(
        data, StandinServer::makePatient(QStringLiteral("00001"), QStringLiteral("架空 花子"))));

    const TestCert serverRoot = MakeTestCa(QStringLiteral("Test Server Root"));
    const TestCert server = MakeTestServer(serverRoot);
    m_clientRoot = MakeTestCa(QStringLiteral("Clinic Client Root"));
    m_clientSub = MakeTestCa(QStringLiteral("Clinic Client Sub CA"), &m_clientRoot);
    QVERIFY(!server.isNull() && !m_clientSub.isNull());
    QVERIFY(serverRoot.writePem(m_pki + QStringLiteral("server-root.crt"),
                                m_pki + QStringLiteral("server-root.key")));
    QVERIFY(server.writePem(m_pki + QStringLiteral("server.crt"),
                            m_pki + QStringLiteral("server.key")));
    QVERIFY(m_clientRoot.writePem(m_pki + QStringLiteral("client-root.crt"),
                                  m_pki + QStringLiteral("client-root.key")));
    const TestCert leaf = MakeTestClient(m_clientSub, QStringLiteral("clinic-9900011"));
    const TestCert expired = MakeTestClient(m_clientSub, QStringLiteral("clinic-old"), -86400);
    m_pfx = MakeTestPkcs12(leaf, {m_clientSub, m_clientRoot}, kPfxPassword);
    m_expiredPfx = MakeTestPkcs12(expired, {m_clientSub, m_clientRoot}, kPfxPassword);
    QVERIFY(!m_pfx.isEmpty() && !m_expiredPfx.isEmpty());

    // The program trusts the server's authority as it trusts the system store.
    qputenv("SSL_CERT_FILE", QFile::encodeName(m_pki + QStringLiteral("server-root.crt")));
    QDir().mkpath(m_pki + QStringLiteral("no-certs"));
    qputenv("SSL_CERT_DIR", QFile::encodeName(m_pki + QStringLiteral("no-certs")));

    StandinOptions o;
    o.dataDir = data;
    o.user = kUser;
    o.key = kKey;
    o.tlsCert = m_pki + QStringLiteral("server.crt");
    o.tlsKey = m_pki + QStringLiteral("server.key");
    o.clientCa = m_pki + QStringLiteral("client-root.crt");
    QString error;
    QVERIFY2(m_cloud.start(o, &error), qPrintable(error));
}

void TestConnectionTest::init() {
    const QString dir =
        MakeTestAppDir(QStringLiteral("connection-%1").arg(QTest::currentTestFunction()));
    // A certificate store of this test function's own.
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir + QStringLiteral("xdg")));
    m_cloud.resetControl();
}

void TestConnectionTest::openCloud(TfrmSetting &d) {
    WriteSetting(QStringLiteral("COKBN"), QStringLiteral("CHCK"), QStringLiteral("1"));
    WriteSetting(QStringLiteral("PARAMA"), QStringLiteral("URL"), m_cloud.baseUrl());
    d.NetHTTPClient1().setTimeouts(5000, 5000);
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    // Typed with blanks around them: the test sends them trimmed.
    d.Edit5->setText(QLatin1Char(' ') + kUser + QLatin1Char(' '));
    d.Edit6->setText(QLatin1Char('\t') + kKey + QLatin1Char(' '));
}

ScriptedUi::Call TestConnectionTest::importThroughDialog(ScriptedUi &ui, TfrmSetting &d,
                                                         const QString &file,
                                                         const QString &password) {
    ui.fileAnswers << file;
    ui.inputAnswers << password;
    const qsizetype before = ui.callsOf(QStringLiteral("messageBox")).size();
    d.BtnImportCert->click();
    const auto boxes = ui.callsOf(QStringLiteral("messageBox"));
    return boxes.size() > before ? boxes.last() : ScriptedUi::Call();
}

QString TestConnectionTest::expectFailure(ScriptedUi &ui, TfrmSetting &d) {
    const QString memo = d.Memo1->toPlainText();
    if (!memo.startsWith(QStringLiteral("エラー: ")))
        return QStringLiteral("<Memo1: %1>").arg(memo);
    const QString message = memo.mid(QStringLiteral("エラー: ").size());
    const auto boxes = ui.callsOf(QStringLiteral("messageBox"));
    if (boxes.isEmpty() || boxes.last().text != failureBox(message) ||
        boxes.last().icon != MsgIcon::Error || boxes.last().buttons != MsgButtons::Ok)
        return QStringLiteral("<no error box for %1>").arg(message);
    const QStringList log = logLines();
    QString hint = DescribeTlsFailure(message);
    hint.replace(QStringLiteral("\r\n"), QStringLiteral(" / "));
    const qsizetype at = log.lastIndexOf(QStringLiteral("Error: ") + message);
    if (at < 0 || log.value(at + 1) != QStringLiteral("Hint: ") + hint)
        return QStringLiteral("<log without Error/Hint for %1>").arg(message);
    return message;
}

void TestConnectionTest::importThenTestTheCloud() {
    ScriptedUi ui;
    TfrmSetting d;
    openCloud(d);

    // No certificate yet: the server's demand cannot be met.
    d.Button3->click();
    QString message = expectFailure(ui, d);
    QCOMPARE(ParseWinHttpErrorCode(message), 12044);

    // An expired certificate is presented and refused: the TLS text.
    const QString expiredFile = m_pki + QStringLiteral("expired.pfx");
    QVERIFY(writeAll(expiredFile, m_expiredPfx));
    QCOMPARE(importThroughDialog(ui, d, expiredFile, kPfxPassword).text, imported(3));
    d.Button3->click();
    message = expectFailure(ui, d);
    QCOMPARE(ParseWinHttpErrorCode(message), 12175);
    const QString tlsBox = ui.callsOf(QStringLiteral("messageBox")).last().text;
    QVERIFY(tlsBox.startsWith(
        QStringLiteral("接続できませんでした。\r\n\r\n暗号化通信(TLS)の確立に失敗しました。")));
    QVERIFY(tlsBox.contains(
        QStringLiteral("\r\n1. クライアント証明書がミナトリの証明書ストアに登録されているか")));
    QVERIFY(tlsBox.contains(QStringLiteral("\r\n4. セキュリティソフトの暗号化通信スキャンが有効に"
                                           "なっていないか\r\n\r\n詳細: ")));

    // The clinic's certificate with its two authorities: 3, and 3 again.
    const QString file = m_pki + QStringLiteral("clinic.p12");
    QVERIFY(writeAll(file, m_pfx));
    for (int round = 0; round < 2; ++round) {
        const ScriptedUi::Call box = importThroughDialog(ui, d, file, kPfxPassword);
        QCOMPARE(box.text, imported(3));
        QCOMPARE(box.icon, MsgIcon::Information);
        QCOMPARE(box.buttons, MsgButtons::Ok);
    }
    QCOMPARE(platform::CertStore::Open(platform::kPersonalStore)->entries().size(), 4);
    const QString openTitle = QStringLiteral("クライアント証明書を選択してください");
    for (const auto &c : ui.callsOf(QStringLiteral("openFile"))) {
        QCOMPARE(c.title, openTitle);
        QCOMPARE(c.file.filter, QStringLiteral("証明書ファイル (*.pfx;*.p12)|*.pfx;*.p12|"
                                               "全てのファイル (*.*)|*.*"));
        QCOMPARE(c.file.filterIndex, 1);
    }
    for (const auto &c : ui.callsOf(QStringLiteral("inputBox"))) {
        QCOMPARE(c.title, QStringLiteral("パスワード入力"));
        QCOMPARE(c.text, QStringLiteral("証明書のパスワードを入力してください"));
        QCOMPARE(c.params, QString()); // empty proposal
    }

    // Now the imported certificate is presented and the test succeeds.
    const qsizetype boxes = ui.callsOf(QStringLiteral("messageBox")).size();
    const qsizetype logBefore = logLines().size();
    m_cloud.resetControl();
    d.Button3->click();
    QCOMPARE(d.Memo1->toPlainText(), QStringLiteral("ログイン成功 Code=200"));
    QCOMPARE(ui.callsOf(QStringLiteral("messageBox")).size(), boxes);

    const QByteArray res = readAll(resTxt());
    QVERIFY(res.startsWith("\xEF\xBB\xBF"));
    QVERIFY(res.contains("<Patient_ID type=\"string\">00001</Patient_ID>"));
    QCOMPARE(modeOf(resTxt()), 0600);

    const QString url = m_cloud.baseUrl() + kTestPath;
    const QStringList log = logLines().mid(logBefore);
    QCOMPARE(log.value(0), QStringLiteral("接続テスト URL: ") + url);
    QCOMPARE(log.value(1), QStringLiteral("接続テスト APIユーザー: ") + kUser);
    const qsizetype at = log.indexOf(QRegularExpression(
        QStringLiteral("^ログイン時間：\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$")));
    QVERIFY2(at > 1, qPrintable(log.join(QLatin1Char('\n'))));
    QCOMPARE(log.value(at + 1), QStringLiteral("ログイン成功 Code=200"));
    QVERIFY(log.value(at + 2).startsWith(QStringLiteral("<?xml")));
    QVERIFY(log.filter(QStringLiteral("ClientCert: [")).size() == 1);

    // One plain GET with the trimmed credentials.
    const QJsonArray requests = m_cloud.requests();
    const QJsonObject last = requests.last().toObject();
    QCOMPARE(last.value(QStringLiteral("method")).toString(), QStringLiteral("GET"));
    QCOMPARE(last.value(QStringLiteral("path")).toString(),
             QStringLiteral("/api/api01rv2/patientgetv2"));
    QCOMPARE(last.value(QStringLiteral("query")).toString(), QStringLiteral("id=00001"));
    QCOMPARE(StandinServer::header(last, QStringLiteral("Content-Type")), QString());
    QCOMPARE(StandinServer::header(last, QStringLiteral("Authorization")),
             QStringLiteral("Basic ") +
                 QString::fromLatin1((kUser + QLatin1Char(':') + kKey).toUtf8().toBase64()));
    QCOMPARE(d.FAuthUser, kUser);
    QCOMPARE(d.FAuthPass, kKey);

    // Neither password reaches the log or an error text.
    const QByteArray rawLog = readAll(LogFilePath());
    QVERIFY(!rawLog.contains(kKey.toUtf8()));
    QVERIFY(!rawLog.contains(kPfxPassword.toUtf8()));
    for (const auto &c : ui.calls)
        QVERIFY(!c.text.contains(kKey) && !c.text.contains(kPfxPassword));
}

void TestConnectionTest::resultLines_data() {
    QTest::addColumn<int>("faultStatus"); // 0: none
    QTest::addColumn<bool>("wrongKey");
    QTest::addColumn<QString>("line");
    QTest::newRow("200") << 0 << false << "ログイン成功 Code=200";
    QTest::newRow("401 from a wrong key") << 0 << true << "認証失敗 Code=401";
    QTest::newRow("400") << 400 << false << "ログイン失敗 Code=400";
    QTest::newRow("500") << 500 << false << "ログイン失敗 Code=500";
}

void TestConnectionTest::resultLines() {
    QFETCH(int, faultStatus);
    QFETCH(bool, wrongKey);
    QFETCH(QString, line);
    QCOMPARE(platform::ImportPkcs12(platform::kPersonalStore, m_pfx, kPfxPassword).count, 3);
    QVERIFY(writeAll(resTxt(), "older answer"));
    if (faultStatus)
        QVERIFY(m_cloud.addFault(kTestPath, QStringLiteral("status"), 1, faultStatus));

    ScriptedUi ui;
    TfrmSetting d;
    openCloud(d);
    if (wrongKey)
        d.Edit6->setText(QStringLiteral("not-the-key"));
    d.Button3->click();
    QCOMPARE(d.Memo1->toPlainText(), line);
    QVERIFY(ui.callsOf(QStringLiteral("messageBox")).isEmpty());
    QVERIFY(logLines().contains(line));
    const QByteArray res = readAll(resTxt());
    if (line.contains(QLatin1String("200")))
        QVERIFY(res.startsWith("\xEF\xBB\xBF<?xml"));
    else
        QCOMPARE(res, QByteArray("older answer"));
    QVERIFY(!readAll(LogFilePath()).contains("not-the-key"));
}

void TestConnectionTest::typedValuesAreWhatIsTested() {
    QCOMPARE(platform::ImportPkcs12(platform::kPersonalStore, m_pfx, kPfxPassword).count, 3);
    WriteSetting(QStringLiteral("PARAMA"), QStringLiteral("URL"),
                 QStringLiteral("https://stale.invalid/api/"));
    WriteSetting(QStringLiteral("PARAMA"), QStringLiteral("APIKEY"), QStringLiteral("old"));
    ScriptedUi ui;
    TfrmSetting d;
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    d.Edit1->setText(m_cloud.baseUrl());
    d.Edit5->setText(kUser);
    d.Edit6->setText(kKey);
    d.Button3->click();
    QCOMPARE(d.Memo1->toPlainText(), QStringLiteral("ログイン成功 Code=200"));
    // The test saved nothing; closing, by the close box too, does.
    QCOMPARE(ReadSetting(QStringLiteral("PARAMA"), QStringLiteral("URL"), QString()),
             QStringLiteral("https://stale.invalid/api/"));
    d.close();
    QCOMPARE(ReadSetting(QStringLiteral("PARAMA"), QStringLiteral("URL"), QString()),
             m_cloud.baseUrl());
    QCOMPARE(ReadSetting(QStringLiteral("PARAMA"), QStringLiteral("APIKEY"), QString()), kKey);
}

void TestConnectionTest::onPremiseAddress() {
    // An on-premise server on port 8000 of a loopback address of its own.
    const QString data = platform::ExecutableDir() + QStringLiteral("data/");
    QVERIFY(StandinServer::writePatient(
        data, StandinServer::makePatient(QStringLiteral("00001"), QStringLiteral("架空 花子"))));
    StandinServer onPremise;
    StandinOptions o;
    o.dataDir = data;
    o.bind = QStringLiteral("127.0.0.3");
    o.port = 8000;
    QString error;
    if (!onPremise.start(o, &error))
        QSKIP(qPrintable(QStringLiteral("127.0.0.3:8000 is not free: ") + error));

    ScriptedUi ui;
    TfrmSetting d;
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    d.Edit1->setText(QStringLiteral("https://unused.invalid/api/"));
    d.RadioButton2->click();
    d.Edit10->setText(QStringLiteral(" 127.0.0.3 "));
    d.Button3->click();
    QCOMPARE(d.Memo1->toPlainText(), QStringLiteral("ログイン成功 Code=200"));
    QVERIFY(logLines().contains(QStringLiteral("接続テスト URL: http://127.0.0.3:8000/api/") +
                                kTestPath));
    QCOMPARE(onPremise.requests().size(), 1);

    // Without an address the URL has no host: the request fails.
    d.Edit10->setText(QStringLiteral("  "));
    d.Button3->click();
    const QString message = expectFailure(ui, d);
    QVERIFY2(!message.startsWith(QLatin1Char('<')), qPrintable(message));
    QCOMPARE(DescribeTlsFailure(message),
             QStringLiteral("サーバーに接続できませんでした。\r\nURLの綴り、インターネット接続、"
                            "ファイアウォールの設定を確認してください。"));
    QVERIFY(logLines().contains(QStringLiteral("接続テスト URL: http://:8000/api/") + kTestPath));
    QCOMPARE(onPremise.requests().size(), 1);
}

void TestConnectionTest::resTxtThatCannotBeWritten() {
    QCOMPARE(platform::ImportPkcs12(platform::kPersonalStore, m_pfx, kPfxPassword).count, 3);
    QVERIFY(QDir().mkpath(resTxt())); // a folder in its place
    ScriptedUi ui;
    TfrmSetting d;
    openCloud(d);
    d.Button3->click();
    const QString memo = d.Memo1->toPlainText();
    QVERIFY2(memo.startsWith(QStringLiteral("エラー: ") + QDir::toNativeSeparators(resTxt()) +
                             QStringLiteral(" に書き込めません")),
             qPrintable(memo));
    QVERIFY(ui.callsOf(QStringLiteral("messageBox")).isEmpty());
    QVERIFY(ui.callsOf(QStringLiteral("errorBox")).isEmpty());
    const QStringList log = logLines();
    QVERIFY(log.contains(QStringLiteral("ログイン成功 Code=200")));
    QCOMPARE(log.last(),
             QStringLiteral("Unexpected Error: ") + memo.mid(QStringLiteral("エラー: ").size()));
}

void TestConnectionTest::windowKeepsPaintingWhileWaiting() {
    QCOMPARE(platform::ImportPkcs12(platform::kPersonalStore, m_pfx, kPfxPassword).count, 3);
    QVERIFY(m_cloud.addFault(kTestPath, QStringLiteral("delay"), 1, 0, 1500));
    ScriptedUi ui;
    TfrmSetting d;
    openCloud(d);
    QString memoMeanwhile;
    platform::CursorKind cursorMeanwhile = platform::CursorKind::Default;
    int paintsMeanwhile = 0;
    QTimer::singleShot(300, &d, [&] {
        memoMeanwhile = d.Memo1->toPlainText();
        cursorMeanwhile = ui.cursor;
        d.Memo1->viewport()->repaint();
        ++paintsMeanwhile;
    });
    d.Button3->click();
    QCOMPARE(paintsMeanwhile, 1); // the timer ran during the request
    QCOMPARE(memoMeanwhile, QStringLiteral("接続テスト中…"));
    QCOMPARE(cursorMeanwhile, platform::CursorKind::Hourglass);
    QCOMPARE(ui.cursor, platform::CursorKind::Default);
    QCOMPARE(d.Memo1->toPlainText(), QStringLiteral("ログイン成功 Code=200"));
}

void TestConnectionTest::importOutcomes_data() {
    QTest::addColumn<QString>("content");  // what the chosen file holds
    QTest::addColumn<QString>("password"); // typed; null: the box is cancelled
    QTest::addColumn<QString>("kind");     // the call expected last
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("icon");
    QTest::addColumn<int>("stored");

    const int error = int(MsgIcon::Error);
    QTest::newRow("wrong password") << "pfx"
                                    << "wrong"
                                    << "messageBox" << kImportFailed << error << 0;
    QTest::newRow("not a PKCS#12 file")
        << "pem" << kPfxPassword << "messageBox" << kImportFailed << error << 0;
    QTest::newRow("empty file") << "empty" << kPfxPassword << "messageBox"
                                << "ファイルが空です。" << error << 0;
    QTest::newRow("no certificate in the file") << "keyonly" << kPfxPassword << "messageBox"
                                                << kNothingImported << int(MsgIcon::Warning) << 0;
    QTest::newRow("box cancelled: the empty password")
        << "nopassword" << QString() << "messageBox" << imported(1) << int(MsgIcon::Information)
        << 1;
    QTest::newRow("store cannot be opened")
        << "pfx-blocked" << kPfxPassword << "messageBox"
        << "ミナトリの証明書ストアを開けませんでした。" << error << 0;
    QTest::newRow("file cannot be read") << "folder" << kPfxPassword << "errorBox"
                                         << "を開けません" << 0 << 0;
    QTest::newRow("file dialog cancelled") << "none" << kPfxPassword << "openFile"
                                           << "クライアント証明書を選択してください" << 0 << 0;
}

void TestConnectionTest::importOutcomes() {
    QFETCH(QString, content);
    QFETCH(QString, password);
    QFETCH(QString, kind);
    QFETCH(QString, text);
    QFETCH(int, icon);
    QFETCH(int, stored);

    const QString file = platform::ExecutableDir() + QStringLiteral("chosen.pfx");
    const TestCert leaf = MakeTestClient(m_clientSub, QStringLiteral("clinic"));
    if (content == QLatin1String("pfx") || content == QLatin1String("pfx-blocked")) {
        QVERIFY(writeAll(file, m_pfx));
    } else if (content == QLatin1String("pem")) {
        QVERIFY(writeAll(file, leaf.certPem()));
    } else if (content == QLatin1String("empty")) {
        QVERIFY(writeAll(file, QByteArray()));
    } else if (content == QLatin1String("keyonly")) {
        QVERIFY(
            writeAll(file, MakeTestPkcs12(TestCert{QByteArray(), leaf.keyDer}, {}, kPfxPassword)));
    } else if (content == QLatin1String("nopassword")) {
        QVERIFY(writeAll(file, MakeTestPkcs12(leaf, {}, QString())));
    } else if (content == QLatin1String("folder")) {
        QVERIFY(QDir().mkpath(file));
    }
    if (content == QLatin1String("pfx-blocked")) {
        // The user's data folder is taken by a file: no store can be made.
        const QString xdg = qEnvironmentVariable("XDG_DATA_HOME");
        QVERIFY(QDir().mkpath(xdg));
        QVERIFY(writeAll(xdg + QStringLiteral("/minatori"), "x"));
    }

    ScriptedUi ui;
    TfrmSetting d;
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    if (content != QLatin1String("none"))
        ui.fileAnswers << file;
    ui.inputAnswers << password;
    d.BtnImportCert->click();

    QVERIFY(!ui.calls.isEmpty());
    const ScriptedUi::Call last = ui.calls.last();
    QCOMPARE(last.kind, kind);
    const QString shown = kind == QLatin1String("openFile") ? last.title : last.text;
    QVERIFY2(shown.contains(text), qPrintable(shown));
    if (kind == QLatin1String("messageBox")) {
        QCOMPARE(last.text, text);
        QCOMPARE(int(last.icon), icon);
        QCOMPARE(last.buttons, MsgButtons::Ok);
    }
    // The password is asked only of a file with content.
    const bool asked = content != QLatin1String("empty") && content != QLatin1String("folder") &&
                       content != QLatin1String("none");
    QCOMPARE(ui.callsOf(QStringLiteral("inputBox")).size(), asked ? 1 : 0);

    if (content != QLatin1String("pfx-blocked")) {
        std::unique_ptr<platform::CertStore> store =
            platform::CertStore::Open(platform::kPersonalStore);
        QVERIFY(store);
        QCOMPARE(store->entries().size(), stored);
    }
    // The import writes nothing to the log, and no text carries the password.
    QVERIFY(!QFile::exists(LogFilePath()));
    for (const auto &c : ui.calls)
        QVERIFY(!c.text.contains(kPfxPassword));
}

QTEST_MAIN(TestConnectionTest)
#include "test_connectiontest.moc"
