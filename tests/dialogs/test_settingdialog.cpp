// The settings dialog without the network: layout, loading, the two option
// groups, saving on every kind of closing, the address check, the folder
// picker, the updater hand-over and an unwritable user.ini.
#include "core/CoreSource.h"
#include "dialogs/Setting.h"
#include "orca/OrcaTemplates.h"
#include "platform/AppPaths.h"
#include "tests/support/ScriptedUi.h"
#include "tests/support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

using platform::MsgButtons;
using platform::MsgIcon;
using platform::MsgResult;

namespace {

const QString kMissing = QStringLiteral("<missing>");

void writeIni(const QByteArray &text) {
    QFile f(UserIniPath());
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
}

QByteArray readIni() {
    QFile f(UserIniPath());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString stored(const char *section, const char *key) {
    return ReadSetting(QLatin1String(section), QLatin1String(key), kMissing);
}

// Reading trims a value; the file shows what was written.
bool fileHasLine(const QString &line) {
    return readIni().contains((line + QStringLiteral("\r\n")).toUtf8());
}

// "cloud", "onpremise" or "none"; "auto", "manual" or "none".
QString kindOf(const TfrmSetting &d) {
    if (d.RadioButton1->isChecked())
        return d.RadioButton2->isChecked() ? QStringLiteral("both") : QStringLiteral("cloud");
    return d.RadioButton2->isChecked() ? QStringLiteral("onpremise") : QStringLiteral("none");
}
QString methodOf(const TfrmSetting &d) {
    if (d.RbUpdAuto->isChecked())
        return d.RbUpdManual->isChecked() ? QStringLiteral("both") : QStringLiteral("auto");
    return d.RbUpdManual->isChecked() ? QStringLiteral("manual") : QStringLiteral("none");
}

void showDialog(TfrmSetting &d) {
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
}

} // namespace

class TestSettingDialog : public QObject {
    Q_OBJECT
private slots:
    void init();
    void layoutAndTabOrder();
    void firstOpeningWithoutIni();
    void loading_data();
    void loading();
    void optionGroupsAreIndependent();
    void saving_data();
    void saving();
    void everyClosingSaves_data();
    void everyClosingSaves();
    void addressCheckOnlyOnTheSaveButton();
    void folderPicker();
    void updaterHandOver();
    void unwritableIniIsReportedOnceAndTheDialogCloses();
};

void TestSettingDialog::init() {
    MakeTestAppDir(QStringLiteral("setting-%1").arg(QTest::currentTestFunction()));
}

void TestSettingDialog::layoutAndTabOrder() {
    TfrmSetting d;
    QCOMPARE(d.windowTitle(), QStringLiteral("WebORCA設定"));
    QCOMPARE(d.size(), QSize(560, 365)); // 96 dpi offscreen
    struct Expect {
        const char *name;
        QRect geometry;
        QString text; // button and option texts
    };
    const Expect controls[] = {
        {"Edit1", {100, 14, 400, 24}, {}},
        {"RadioButton1", {16, 48, 100, 17}, QStringLiteral("クラウド")},
        {"RadioButton2", {130, 48, 100, 17}, QStringLiteral("オンプレミス")},
        {"Edit8", {100, 46, 340, 24}, {}},
        {"Edit6", {100, 80, 200, 24}, {}},
        {"Button3", {316, 80, 80, 25}, QStringLiteral("接続テスト")},
        {"Edit5", {100, 112, 200, 24}, {}},
        {"Memo1", {316, 110, 230, 60}, {}},
        {"Edit10", {100, 148, 200, 24}, {}},
        {"Edit9", {100, 176, 340, 24}, {}},
        {"Button8", {448, 176, 50, 25}, QStringLiteral("参照")},
        {"Edit11", {100, 210, 100, 24}, {}},
        {"Edit12", {300, 210, 50, 24}, {}},
        {"BtnImportCert", {16, 248, 160, 25}, QStringLiteral("証明書インポート")},
        {"RbUpdAuto", {100, 288, 90, 17}, QStringLiteral("自動更新")},
        {"RbUpdManual", {200, 288, 90, 17}, QStringLiteral("手動更新")},
        {"BtnUpdateNow", {300, 284, 140, 25}, QStringLiteral("今すぐ更新を確認")},
        {"Button6", {440, 325, 100, 30}, QStringLiteral("保存して閉じる")},
    };
    for (const Expect &e : controls) {
        auto *w = d.findChild<QWidget *>(QLatin1String(e.name));
        QVERIFY2(w, e.name);
        QCOMPARE(w->geometry(), e.geometry);
        if (auto *b = qobject_cast<QAbstractButton *>(w))
            QCOMPARE(b->text(), e.text);
    }
    const std::pair<const char *, QPoint> labels[] = {
        {"Label5", {16, 16}},   {"Label1", {16, 82}},     {"Label4", {16, 114}},
        {"Label3", {16, 150}},  {"Label6", {16, 178}},    {"Label7", {16, 212}},
        {"Label8", {220, 212}}, {"LblUpdate", {16, 290}},
    };
    for (const auto &[name, pos] : labels) {
        auto *l = d.findChild<QLabel *>(QLatin1String(name));
        QVERIFY2(l, name);
        QCOMPARE(l->pos(), pos);
        QCOMPARE(l->size(), l->sizeHint()); // sized to its text
    }
    QCOMPARE(d.Label4->text(), QStringLiteral("APIユーザー："));
    QCOMPARE(d.Label6->text(), QStringLiteral("PDF保存先："));
    QCOMPARE(d.Label7->text(), QStringLiteral("医療機関CD:"));
    QCOMPARE(d.Label8->text(), QStringLiteral("更新間隔(秒):"));
    QCOMPARE(d.Label3->text(), QStringLiteral("IPアドレス"));
    QCOMPARE(d.LblUpdate->text(), QStringLiteral("更新方法："));

    showDialog(d);
    QVERIFY(!d.Edit8->isVisible());
    QVERIFY(d.Memo1->isReadOnly() && d.Memo1->tabChangesFocus());
    QCOMPARE(d.Memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(d.Edit11->maxLength(), 7);
    QCOMPARE(d.Edit12->maxLength(), 4);
    QVERIFY(!d.Edit11->testAttribute(Qt::WA_InputMethodEnabled));
    QVERIFY(!d.Edit12->testAttribute(Qt::WA_InputMethodEnabled));
    QVERIFY(d.Edit1->testAttribute(Qt::WA_InputMethodEnabled));

    // Tab order, over the controls that take the focus.
    const QList<QWidget *> order = {
        d.Edit1,   d.Edit5,   d.Edit6,        d.Edit9,        d.Edit10,      d.Button3,
        d.Button6, d.Button8, d.RadioButton1, d.RadioButton2, d.Memo1,       d.BtnImportCert,
        d.Edit8,   d.Edit11,  d.Edit12,       d.RbUpdAuto,    d.RbUpdManual, d.BtnUpdateNow};
    QList<QWidget *> chain;
    QWidget *w = d.Edit1;
    do {
        if (order.contains(w))
            chain << w;
        w = w->nextInFocusChain();
    } while (w != d.Edit1 && chain.size() < 40);
    QCOMPARE(chain, order);
}

void TestSettingDialog::firstOpeningWithoutIni() {
    ScriptedUi ui;
    TfrmSetting d;
    showDialog(d);
    QCOMPARE(d.Edit1->text(), kWebOrcaCloudBaseUrl);
    QVERIFY(kWebOrcaCloudBaseUrl.startsWith(QLatin1String("https://")));
    QVERIFY(kWebOrcaCloudBaseUrl.contains(QLatin1String(":443/")));
    QVERIFY(kWebOrcaCloudBaseUrl.endsWith(QLatin1String("/api/")));
    QCOMPARE(d.Edit8->text(), QStringLiteral("api01rv2/patientgetv2?id=00001"));
    QCOMPARE(d.Edit12->text(), QStringLiteral("60"));
    for (QLineEdit *e : {d.Edit5, d.Edit6, d.Edit9, d.Edit10, d.Edit11})
        QCOMPARE(e->text(), QString());
    QCOMPARE(d.Memo1->toPlainText(), QString());
    QCOMPARE(kindOf(d), QStringLiteral("none"));
    QCOMPARE(methodOf(d), QStringLiteral("auto"));
    QVERIFY(!d.Edit10->isVisible() && !d.Label3->isVisible());
    QVERIFY(d.Edit1->isVisible());
    QCOMPARE(d.Label1->text(), QStringLiteral("APIキー："));
    QVERIFY(!d.BtnUpdateNow->isEnabled()); // no UpdChk.exe here
    QVERIFY(ui.calls.isEmpty());           // no message
}

void TestSettingDialog::loading_data() {
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("method");
    QTest::addColumn<QStringList>(
        "fields"); // Edit1, Edit8, Edit6, Edit5, Edit9, Edit10, Edit11, Edit12

    QTest::newRow("on-premise with blanks, manual with blanks")
        << QByteArray("[COKBN]\r\nCHCK= 2 \r\n[UPDATE]\r\nMODE= 1 \r\n[PARAMA]\r\n"
                      "URL=http://orca.local/api/\r\nAPI=api01rv2/system01lstv2\r\n"
                      "APIKEY=key\r\nAPIUSER=ormaster\r\nSAVETXT=/srv/pdf/\r\n"
                      "IPADR=192.168.1.10\r\nKIKANCD=1234567\r\nREFRESH=30\r\n")
        << "onpremise"
        << "manual"
        << QStringList{"http://orca.local/api/",
                       "api01rv2/system01lstv2",
                       "key",
                       "ormaster",
                       "/srv/pdf/",
                       "192.168.1.10",
                       "1234567",
                       "30"};
    QTest::newRow("cloud") << QByteArray("[COKBN]\r\nCHCK=1\r\n[UPDATE]\r\nMODE=0\r\n") << "cloud"
                           << "auto"
                           << QStringList{
                                  kWebOrcaCloudBaseUrl, kPathDefaultTest, "", "", "", "", "", "60"};
    QTest::newRow("other kind and mode choose no kind and automatic")
        << QByteArray("[COKBN]\r\nCHCK=3\r\n[UPDATE]\r\nMODE=2\r\n") << "none"
        << "auto" << QStringList{kWebOrcaCloudBaseUrl, kPathDefaultTest, "", "", "", "", "", "60"};
    QTest::newRow("blank URL, path and interval get their proposals")
        << QByteArray("[PARAMA]\r\nURL=\r\nAPI=\r\nREFRESH=\r\n") << "none"
        << "auto" << QStringList{kWebOrcaCloudBaseUrl, kPathDefaultTest, "", "", "", "", "", "60"};
    // A value longer than what can be typed is shown whole, so that opening
    // and closing the dialog does not cut it.
    QTest::newRow("long stored code and interval")
        << QByteArray("[PARAMA]\r\nKIKANCD=1312345678\r\nREFRESH=99999\r\n") << "none"
        << "auto" << QStringList{kWebOrcaCloudBaseUrl, kPathDefaultTest, "", "", "", "",
                                 "1312345678",         "99999"};
}

void TestSettingDialog::loading() {
    QFETCH(QByteArray, ini);
    QFETCH(QString, kind);
    QFETCH(QString, method);
    QFETCH(QStringList, fields);
    writeIni(ini);
    ScriptedUi ui;
    TfrmSetting d;
    showDialog(d);
    QCOMPARE(kindOf(d), kind);
    QCOMPARE(methodOf(d), method);
    const QStringList shown = {d.Edit1->text(),  d.Edit8->text(), d.Edit6->text(),
                               d.Edit5->text(),  d.Edit9->text(), d.Edit10->text(),
                               d.Edit11->text(), d.Edit12->text()};
    QCOMPARE(shown, fields);
    const bool onPremise = kind == QLatin1String("onpremise");
    QCOMPARE(d.Edit10->isVisible(), onPremise);
    QCOMPARE(d.Label3->isVisible(), onPremise);
    QCOMPARE(d.Label1->text(),
             onPremise ? QStringLiteral("パスワード：") : QStringLiteral("APIキー："));
    QCOMPARE(d.Label1->size(), d.Label1->sizeHint());

    d.close();
    QCOMPARE(stored("PARAMA", "KIKANCD"), fields[6].isEmpty() ? QString() : fields[6]);
}

void TestSettingDialog::optionGroupsAreIndependent() {
    writeIni("[COKBN]\r\nCHCK=1\r\n");
    ScriptedUi ui;
    TfrmSetting d;
    showDialog(d);
    QCOMPARE(kindOf(d), QStringLiteral("cloud"));
    QCOMPARE(methodOf(d), QStringLiteral("auto"));

    QTest::mouseClick(d.RbUpdManual, Qt::LeftButton);
    QCOMPARE(kindOf(d), QStringLiteral("cloud"));
    QCOMPARE(methodOf(d), QStringLiteral("manual"));

    QTest::mouseClick(d.RadioButton2, Qt::LeftButton);
    QCOMPARE(kindOf(d), QStringLiteral("onpremise"));
    QCOMPARE(methodOf(d), QStringLiteral("manual"));
    QVERIFY(d.Edit10->isVisible());
    QCOMPARE(d.Label1->text(), QStringLiteral("パスワード："));

    QTest::mouseClick(d.RadioButton1, Qt::LeftButton);
    QCOMPARE(kindOf(d), QStringLiteral("cloud"));
    QVERIFY(!d.Edit10->isVisible());
    QCOMPARE(d.Label1->text(), QStringLiteral("APIキー："));
    QVERIFY(d.Edit1->isVisible());

    // With no kind chosen, the update method still moves on its own.
    writeIni("");
    TfrmSetting fresh;
    showDialog(fresh);
    QTest::mouseClick(fresh.RbUpdManual, Qt::LeftButton);
    QCOMPARE(kindOf(fresh), QStringLiteral("none"));
    QCOMPARE(methodOf(fresh), QStringLiteral("manual"));
}

void TestSettingDialog::saving_data() {
    QTest::addColumn<QString>("kind"); // what is chosen before closing
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("savedKind");
    QTest::addColumn<QString>("savedAddress");
    QTest::addColumn<QString>("savedFolder");

    QTest::newRow("cloud clears the typed address") << "cloud"
                                                    << " /srv/pdf "
                                                    << "1" << QString() << "/srv/pdf/";
    QTest::newRow("on-premise keeps the address as typed") << "onpremise"
                                                           << "/srv/pdf/"
                                                           << "2"
                                                           << " 192.168.1.10 "
                                                           << "/srv/pdf/";
    QTest::newRow("neither leaves the stored kind") << "none"
                                                    << "   "
                                                    << "7"
                                                    << " 192.168.1.10 " << QString();
}

void TestSettingDialog::saving() {
    QFETCH(QString, kind);
    QFETCH(QString, folder);
    QFETCH(QString, savedKind);
    QFETCH(QString, savedAddress);
    QFETCH(QString, savedFolder);
    writeIni("[COKBN]\r\nCHCK=7\r\n[UPDATE]\r\nMODE=0\r\n");
    ScriptedUi ui;
    TfrmSetting d;
    showDialog(d);
    QCOMPARE(kindOf(d), QStringLiteral("none"));
    if (kind == QLatin1String("cloud"))
        d.RadioButton1->click();
    else if (kind == QLatin1String("onpremise"))
        d.RadioButton2->click();
    d.RbUpdManual->click();
    d.Edit1->setText(QStringLiteral(" https://orca.example/api/ "));
    d.Edit6->setText(QStringLiteral(" key "));
    d.Edit5->setText(QStringLiteral(" user "));
    d.Edit9->setText(folder);
    d.Edit10->setText(QStringLiteral(" 192.168.1.10 "));
    d.Edit11->setText(QStringLiteral("1234567"));
    d.Edit12->setText(QStringLiteral("abc"));
    d.Button6->click();
    QVERIFY(!d.isVisible());
    QVERIFY(ui.calls.isEmpty());

    QVERIFY(fileHasLine(QStringLiteral("URL= https://orca.example/api/ ")));
    QVERIFY(fileHasLine(QStringLiteral("APIKEY= key ")));
    QVERIFY(fileHasLine(QStringLiteral("APIUSER= user ")));
    QCOMPARE(stored("PARAMA", "API"), kPathDefaultTest);
    QVERIFY(fileHasLine(QStringLiteral("SAVETXT=") + savedFolder));
    QVERIFY(fileHasLine(QStringLiteral("IPADR=") + savedAddress));
    QCOMPARE(stored("PARAMA", "KIKANCD"), QStringLiteral("1234567"));
    QCOMPARE(stored("PARAMA", "REFRESH"), QStringLiteral("abc")); // not validated here
    QCOMPARE(stored("COKBN", "CHCK"), savedKind);
    QCOMPARE(stored("UPDATE", "MODE"), QStringLiteral("1"));
}

void TestSettingDialog::everyClosingSaves_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("save button") << "button";
    QTest::newRow("close box") << "closebox";
    QTest::newRow("Escape") << "escape";
}

void TestSettingDialog::everyClosingSaves() {
    QFETCH(QString, how);
    ScriptedUi ui;
    TfrmSetting d;
    QTimer::singleShot(0, &d, [&d, how] {
        d.Edit5->setText(QStringLiteral("typed"));
        if (how == QLatin1String("button"))
            d.Button6->click();
        else if (how == QLatin1String("closebox"))
            d.close();
        else
            QTest::keyClick(&d, Qt::Key_Escape);
    });
    d.exec(); // the modal run ends by each of them
    QCOMPARE(stored("PARAMA", "APIUSER"), QStringLiteral("typed"));
    QCOMPARE(stored("UPDATE", "MODE"), QStringLiteral("0"));
    QCOMPARE(stored("COKBN", "CHCK"), kMissing);
}

void TestSettingDialog::addressCheckOnlyOnTheSaveButton() {
    ScriptedUi ui;
    TfrmSetting d;
    showDialog(d);
    d.RadioButton2->click();
    d.Edit10->setText(QStringLiteral("  "));
    d.Button6->click();
    const auto boxes = ui.callsOf(QStringLiteral("messageBox"));
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text, QStringLiteral("IPアドレスを設定してください"));
    QCOMPARE(boxes[0].icon, MsgIcon::Warning);
    QCOMPARE(boxes[0].buttons, MsgButtons::Ok);
    QVERIFY(d.isVisible());
    QVERIFY(readIni().isEmpty()); // nothing saved yet

    // The close box closes all the same and saves the empty address.
    d.close();
    QVERIFY(!d.isVisible());
    QCOMPARE(ui.callsOf(QStringLiteral("messageBox")).size(), 1);
    QCOMPARE(stored("COKBN", "CHCK"), QStringLiteral("2"));
    QVERIFY(fileHasLine(QStringLiteral("IPADR=  ")));

    // An address, once given, lets the button close.
    TfrmSetting again;
    showDialog(again);
    again.Edit10->setText(QStringLiteral("192.168.1.10"));
    again.Button6->click();
    QVERIFY(!again.isVisible());
    QCOMPARE(ui.callsOf(QStringLiteral("messageBox")).size(), 1);
}

void TestSettingDialog::folderPicker() {
    ScriptedUi ui;
    TfrmSetting d;
    showDialog(d);
    const QString title = QStringLiteral("PDF保存先フォルダを指定してください");

    d.Edit9->setText(QStringLiteral("  "));
    ui.fileAnswers << QStringLiteral("/data/pdf");
    d.Button8->click();
    QCOMPARE(d.Edit9->text(), QStringLiteral("/data/pdf/"));

    d.Edit9->setText(QStringLiteral(" /data/old/ "));
    ui.fileAnswers << QString(); // cancelled
    d.Button8->click();
    QCOMPARE(d.Edit9->text(), QStringLiteral(" /data/old/ "));

    ui.fileAnswers << QStringLiteral("/data/new/");
    d.Button8->click();
    QCOMPARE(d.Edit9->text(), QStringLiteral("/data/new/"));

    const auto pickers = ui.callsOf(QStringLiteral("pickFolder"));
    QCOMPARE(pickers.size(), 3);
    for (const auto &c : pickers)
        QCOMPARE(c.title, title);
    QCOMPARE(pickers[0].text, QString());
    QCOMPARE(pickers[1].text, QStringLiteral("/data/old/"));
}

void TestSettingDialog::updaterHandOver() {
    const QString updater = platform::ExecutableDir() + QStringLiteral("UpdChk.exe");
    auto placeUpdater = [&] {
        QFile f(updater);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\n");
    };
    const QString notFound =
        QStringLiteral("UpdChk.exe が見つかりません。\r\n本体と同じフォルダに配置してください。");
    const QString question = QStringLiteral(
        "更新確認のため一度アプリを終了し、UpdChk.exe を起動します。\r\n続行しますか？");

    {
        ScriptedUi ui;
        TfrmSetting d;
        showDialog(d);
        QVERIFY(!d.BtnUpdateNow->isEnabled());
    }

    placeUpdater();
    ScriptedUi ui;
    int ended = 0;
    {
        // Removed while the dialog is open: the button explains.
        TfrmSetting d;
        d.EndApplication = [&ended] { ++ended; };
        showDialog(d);
        QVERIFY(d.BtnUpdateNow->isEnabled());
        QVERIFY(QFile::remove(updater));
        d.BtnUpdateNowClick();
        const auto boxes = ui.callsOf(QStringLiteral("messageBox"));
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].text, notFound);
        QCOMPARE(boxes[0].icon, MsgIcon::Warning);
        QVERIFY(d.BtnUpdateNow->isEnabled()); // checked once, when shown
        d.hide();
    }
    ui.calls.clear();
    placeUpdater();

    TfrmSetting d;
    d.EndApplication = [&ended] { ++ended; };
    showDialog(d);
    d.Edit5->setText(QStringLiteral("ormaster"));
    d.RbUpdManual->click();

    ui.messageAnswers << MsgResult::No;
    d.BtnUpdateNow->click();
    QCOMPARE(ui.callsOf(QStringLiteral("messageBox")).size(), 1);
    QCOMPARE(ui.callsOf(QStringLiteral("messageBox"))[0].text, question);
    QCOMPARE(ui.callsOf(QStringLiteral("messageBox"))[0].icon, MsgIcon::Question);
    QCOMPARE(ui.callsOf(QStringLiteral("messageBox"))[0].buttons, MsgButtons::YesNo);
    QVERIFY(ui.callsOf(QStringLiteral("shellOpen")).isEmpty());
    QCOMPARE(ended, 0);
    QVERIFY(readIni().isEmpty());

    ui.messageAnswers << MsgResult::Yes;
    d.BtnUpdateNow->click();
    QCOMPARE(stored("PARAMA", "APIUSER"), QStringLiteral("ormaster"));
    QCOMPARE(stored("UPDATE", "MODE"), QStringLiteral("1"));
    const auto shell = ui.callsOf(QStringLiteral("shellOpen"));
    QCOMPARE(shell.size(), 1);
    QCOMPARE(shell[0].text, updater);
    QCOMPARE(shell[0].params, QLatin1Char('"') + platform::ExecutablePath() + QLatin1Char('"'));
    QCOMPARE(ended, 1);

    // The application's end closes the dialog; it was saved already.
    d.Edit5->setText(QStringLiteral("changed after the hand-over"));
    d.close();
    QCOMPARE(stored("PARAMA", "APIUSER"), QStringLiteral("ormaster"));
}

void TestSettingDialog::unwritableIniIsReportedOnceAndTheDialogCloses() {
    // user.ini cannot be written: a folder stands in its place.
    QVERIFY(QDir().mkpath(UserIniPath()));
    const QString expected =
        QDir::toNativeSeparators(UserIniPath()) + QStringLiteral(" に書き込めません");

    ScriptedUi ui;
    TfrmSetting d;
    bool stillOpen = false;
    QTimer::singleShot(0, &d, [&] {
        d.close();
        stillOpen = d.isVisible();
        if (stillOpen)
            d.hide(); // ends the modal run all the same
    });
    d.exec();
    QVERIFY(!stillOpen);
    const auto errors = ui.callsOf(QStringLiteral("errorBox"));
    QCOMPARE(errors.size(), 1);
    QCOMPARE(errors[0].text, expected);

    // The updater is not started when the settings cannot be saved first.
    QFile updater(platform::ExecutableDir() + QStringLiteral("UpdChk.exe"));
    QVERIFY(updater.open(QIODevice::WriteOnly));
    updater.close();
    ui.calls.clear();
    ui.messageAnswers << MsgResult::Yes;
    int ended = 0;
    TfrmSetting h;
    h.EndApplication = [&ended] { ++ended; };
    showDialog(h);
    h.BtnUpdateNow->click();
    QCOMPARE(ui.callsOf(QStringLiteral("errorBox")).size(), 1);
    QVERIFY(ui.callsOf(QStringLiteral("shellOpen")).isEmpty());
    QCOMPARE(ended, 0);
    QVERIFY(h.isVisible());
}

QTEST_MAIN(TestSettingDialog)
#include "test_settingdialog.moc"
