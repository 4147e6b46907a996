// The contact dialog (layout and its shell actions) and the version message.
#include "dialogs/Contact.h"
#include "platform/AppPaths.h"
#include "tests/support/ScriptedUi.h"
#include "tests/support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTest>

using platform::MsgButtons;
using platform::MsgIcon;

class TestContactDialog : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void layout();
    void manual();
    void webAndMail();
    void versionMessage_data();
    void versionMessage();
    void versionOfThisProgram();
};

void TestContactDialog::initTestCase() {
    MakeTestAppDir(QStringLiteral("contact"));
}

void TestContactDialog::layout() {
    TfrmContact d;
    QCOMPARE(d.windowTitle(), QStringLiteral("お問い合わせ"));
    QCOMPARE(d.size(), QSize(480, 420));
    QCOMPARE(d.minimumSize(), d.maximumSize()); // fixed size
    QCOMPARE(d.palette().color(QPalette::Window), d.palette().color(QPalette::Base));
    QVERIFY(d.autoFillBackground());

    struct Expect {
        const char *name;
        QRect geometry;
        QString text;
    };
    const Expect buttons[] = {
        {"BtnEmail", {250, 162, 100, 25}, QStringLiteral("メール送信")},
        {"BtnManual", {32, 237, 200, 30}, QStringLiteral("ミナトリマニュアルを開く")},
        {"BtnWeb", {32, 360, 200, 30}, QStringLiteral("Webサイトを開く")},
        {"BtnClose", {380, 380, 80, 30}, QStringLiteral("閉じる(&C)")},
    };
    for (const Expect &e : buttons) {
        auto *b = d.findChild<QPushButton *>(QLatin1String(e.name));
        QVERIFY2(b, e.name);
        QCOMPARE(b->geometry(), e.geometry);
        QCOMPARE(b->text(), e.text);
    }
    QVERIFY(!d.BtnClose->icon().isNull());
    QCOMPARE(d.BevelLine1->geometry(), QRect(16, 38, 448, 2));
    QCOMPARE(d.BevelLine2->geometry(), QRect(16, 202, 448, 2));

    // Labels: place, text and font. A label keeps its width unless its text
    // needs more.
    struct LabelExpect {
        const char *name;
        QPoint pos;
        int width;     // 0: sized to the text
        int pixelSize; // 0: the dialog's 9 point
        bool bold;
    };
    const LabelExpect labels[] = {
        {"LabelTitle", {16, 12}, 448, 18, true},   {"LabelSupportTitle", {16, 50}, 0, 14, true},
        {"LabelOrgName", {32, 76}, 432, 13, true}, {"LabelAddress1", {32, 100}, 432, 0, false},
        {"LabelTel", {32, 122}, 432, 0, false},    {"LabelHours", {34, 145}, 432, 0, false},
        {"LabelEmail", {34, 167}, 162, 0, false},  {"LabelManualTitle", {16, 217}, 0, 14, true},
        {"LabelWebTitle", {16, 295}, 0, 14, true}, {"LabelWebUrl", {32, 320}, 432, 0, false},
    };
    for (const LabelExpect &e : labels) {
        auto *l = d.findChild<QLabel *>(QLatin1String(e.name));
        QVERIFY2(l, e.name);
        QCOMPARE(l->pos(), e.pos);
        if (e.width > 0)
            QVERIFY2(l->width() == e.width || (l->width() > e.width && !l->wordWrap()), e.name);
        // Every label shows its whole text.
        QVERIFY2(l->width() >= l->sizeHint().width() || l->wordWrap(), e.name);
        QVERIFY2(l->height() >= l->heightForWidth(l->width()) || !l->wordWrap(), e.name);
        if (e.pixelSize > 0)
            QCOMPARE(l->font().pixelSize(), e.pixelSize);
        QCOMPARE(l->font().bold(), e.bold);
        QVERIFY2(!l->text().isEmpty(), e.name);
    }
    QCOMPARE(d.LabelTitle->text(), QStringLiteral("お問い合わせ"));
    QCOMPARE(d.LabelSupportTitle->text(), QStringLiteral("[サポート窓口]"));
    QCOMPARE(d.LabelManualTitle->text(), QStringLiteral("[マニュアル]"));
    QCOMPARE(d.LabelWebTitle->text(), QStringLiteral("[Webサイト]"));
    for (QLabel *l : {d.LabelSupportTitle, d.LabelManualTitle, d.LabelWebTitle})
        QCOMPARE(l->palette().color(QPalette::WindowText), QColor(0, 0, 128));
    QVERIFY(d.LabelWebUrl->wordWrap());

    QCOMPARE(d.LabelEmail->text(), QStringLiteral("e-mail: ") + kSupportEmail);
    QCOMPARE(d.LabelEmail->palette().color(QPalette::WindowText), QColor(Qt::blue));
    QVERIFY(d.LabelEmail->font().underline());
    QCOMPARE(d.LabelEmail->cursor().shape(), Qt::PointingHandCursor);
    QVERIFY(d.LabelEmail->geometry().right() < d.BtnEmail->x()); // clear of the button

    // Tab order over the buttons.
    QList<QWidget *> chain;
    QWidget *w = d.BtnManual;
    do {
        if (qobject_cast<QPushButton *>(w))
            chain << w;
        w = w->nextInFocusChain();
    } while (w != d.BtnManual && chain.size() < 10);
    QCOMPARE(chain, (QList<QWidget *>{d.BtnManual, d.BtnWeb, d.BtnEmail, d.BtnClose}));

    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    d.BtnClose->click();
    QVERIFY(!d.isVisible());
}

void TestContactDialog::manual() {
    // The fixed place under the installation folder.
    QVERIFY(QDir::isAbsolutePath(ManualPath()));
    QVERIFY(ManualPath().endsWith(QLatin1String(".pdf")));

    ScriptedUi ui;
    TfrmContact d;
    QCOMPARE(d.manualPath, ManualPath());
    d.manualPath = platform::ExecutableDir() + QStringLiteral("manual/ミナトリマニュアル.pdf");
    QVERIFY(!QFile::exists(d.manualPath));
    d.BtnManual->click();
    auto boxes = ui.callsOf(QStringLiteral("messageBox"));
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text,
             QStringLiteral("マニュアルファイルが見つかりません。\r\n") + d.manualPath);
    QCOMPARE(boxes[0].icon, MsgIcon::Warning);
    QCOMPARE(boxes[0].buttons, MsgButtons::Ok);
    QVERIFY(ui.callsOf(QStringLiteral("shellOpen")).isEmpty());

    // A folder of that name is no manual either.
    QVERIFY(QDir().mkpath(d.manualPath));
    d.BtnManual->click();
    QCOMPARE(ui.callsOf(QStringLiteral("messageBox")).size(), 2);
    QVERIFY(QDir(d.manualPath).removeRecursively());

    QVERIFY(QDir().mkpath(platform::ExecutableDir() + QStringLiteral("manual")));
    QFile pdf(d.manualPath);
    QVERIFY(pdf.open(QIODevice::WriteOnly));
    pdf.write("%PDF-1.4\n");
    pdf.close();
    d.BtnManual->click();
    QCOMPARE(ui.callsOf(QStringLiteral("messageBox")).size(), 2); // no new message
    const auto shell = ui.callsOf(QStringLiteral("shellOpen"));
    QCOMPARE(shell.size(), 1);
    QCOMPARE(shell[0].text, d.manualPath);
    QCOMPARE(shell[0].params, QString());
}

void TestContactDialog::webAndMail() {
    ScriptedUi ui;
    TfrmContact d;
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    d.BtnWeb->click();
    d.BtnEmail->click();
    QTest::mouseClick(d.LabelEmail, Qt::LeftButton);
    QTest::mouseClick(d.LabelEmail, Qt::RightButton); // not a click on the link

    const auto shell = ui.callsOf(QStringLiteral("shellOpen"));
    QCOMPARE(shell.size(), 3);
    QCOMPARE(shell[0].text, kWebSiteUrl);
    QVERIFY(kWebSiteUrl.startsWith(QLatin1String("https://")));
    const QString mail = QStringLiteral("mailto:") + kSupportEmail;
    QCOMPARE(shell[1].text, mail);
    QCOMPARE(shell[2].text, mail); // the label does what the button does
    QVERIFY(ui.callsOf(QStringLiteral("messageBox")).isEmpty());
}

void TestContactDialog::versionMessage_data() {
    QTest::addColumn<QString>("fileVersion");
    QTest::addColumn<QString>("shown");
    QTest::newRow("stamped") << "1.0.0.9"
                             << "1.0.0.9";
    QTest::newRow("no version") << QString() << "(取得不可)";
}

void TestContactDialog::versionMessage() {
    QFETCH(QString, fileVersion);
    QFETCH(QString, shown);
    QCOMPARE(VersionInfoText(fileVersion),
             QStringLiteral("ミナトリ (WebORCA版)\r\n\r\nバージョン: ") + shown +
                 QStringLiteral("\r\n\r\n") + kMakerNotice);
}

void TestContactDialog::versionOfThisProgram() {
    // This test program carries no version stamp.
    ScriptedUi ui;
    ShowVersionInfo(nullptr);
    const auto boxes = ui.callsOf(QStringLiteral("messageBox"));
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text, VersionInfoText(QString()));
    QVERIFY(boxes[0].text.contains(QStringLiteral("バージョン: (取得不可)\r\n")));
    QCOMPARE(boxes[0].icon, MsgIcon::Information);
    QCOMPARE(boxes[0].buttons, MsgButtons::Ok);
}

QTEST_MAIN(TestContactDialog)
#include "test_contactdialog.moc"
