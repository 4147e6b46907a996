// The main menu: texts, layout, fonts, version label and its three buttons.
#include "app/Main.h"
#include "app/Startup.h"
#include "platform/VersionInfo.h"
#include "tests/support/ScriptedUi.h"
#include "tests/support/TestEnv.h"

#include <QApplication>
#include <QDialog>
#include <QFontInfo>
#include <QGlyphRun>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTextLayout>
#include <QTimer>

namespace {

// Closes whatever modal window opens next and reports its title and class.
struct ModalWatcher {
    QString title;
    QString className;
    void arm() {
        QTimer::singleShot(0, [this] {
            if (QWidget *w = QApplication::activeModalWidget()) {
                title = w->windowTitle();
                className = QString::fromLatin1(w->metaObject()->className());
                w->close();
            }
        });
    }
};

class Failing : public std::runtime_error {
public:
    Failing() : std::runtime_error("no connection settings") {}
};

} // namespace

class TestMainMenu : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void layoutAndTexts();
    void fontsHaveJapaneseGlyphs();
    void versionLabel();
    void buttonsOpenTheirWindows_data();
    void buttonsOpenTheirWindows();
    void viewerCreationFailureIsReported();
    void windowsShowTheApplicationIcon();
};

void TestMainMenu::initTestCase() {
    MakeTestAppDir(QStringLiteral("mainmenu"));
    RegisterJapaneseFonts();
    SetApplicationIcon();
}

void TestMainMenu::layoutAndTexts() {
    TfrmMain menu;
    QCOMPARE(menu.windowTitle(), QStringLiteral("ミナトリ"));
    QCOMPARE(menu.size(), QSize(420, 320)); // 96 dpi offscreen
    QVERIFY(!(menu.windowFlags() & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(menu.windowFlags() & Qt::WindowMaximizeButtonHint));
    struct Expect {
        const char *name;
        QString text;
        QRect geometry;
    };
    const Expect buttons[] = {
        {"BitBtn1", QStringLiteral("閉じる(&C)"), QRect(330, 8, 75, 25)},
        {"Button1", QStringLiteral("患者薬剤情報"), QRect(160, 48, 100, 45)},
        {"Button2", QStringLiteral("詳細設定"), QRect(160, 118, 100, 45)},
        {"Button3", QStringLiteral("お問い合わせ"), QRect(160, 190, 100, 45)},
    };
    for (const Expect &e : buttons) {
        auto *b = menu.findChild<QPushButton *>(QLatin1String(e.name));
        QVERIFY2(b, e.name);
        QCOMPARE(b->text(), e.text);
        QCOMPARE(b->geometry(), e.geometry);
    }
    QVERIFY(!menu.BitBtn1->icon().isNull());
    for (const char *name : {"Label1", "Label2", "LabelProvide", "LabelVersion"})
        QVERIFY2(menu.findChild<QLabel *>(QLatin1String(name)), name);
    QCOMPARE(menu.LabelVersion->font().pixelSize(), 11);
    QCOMPARE(menu.Label1->font().pixelSize(), 19);

    menu.show();
    QVERIFY(QTest::qWaitForWindowExposed(&menu));
    menu.BitBtn1->click();
    QVERIFY(!menu.isVisible());
}

void TestMainMenu::fontsHaveJapaneseGlyphs() {
    const QFontInfo p(QFont(QStringLiteral("ＭＳ Ｐゴシック"), 9));
    QCOMPARE(p.family(), QStringLiteral("IPAPGothic"));
    const QFontInfo g(QFont(QStringLiteral("MS Gothic"), 9));
    QCOMPARE(g.family(), QStringLiteral("IPAGothic"));
    QVERIFY(QFontMetrics(QFont(QStringLiteral("ＭＳ Ｐゴシック"))).inFont(QChar(0x85AC))); // 薬

    // Names hold characters the IPA fonts lack (𠮷, U+20BB7, outside the
    // basic plane): they are drawn from Noto Sans CJK JP, in the proportional
    // font of the lists and in the fixed-pitch font of the text panes, never
    // as an empty box.
    const struct {
        const char *font, *primary, *fallback;
    } fonts[] = {{"ＭＳ Ｐゴシック", "IPAPGothic", "Noto Sans CJK JP"},
                 {"ＭＳ ゴシック", "IPAGothic", "Noto Sans Mono CJK JP"}};
    const auto drawnWith = [](const QString &text, const QFont &font) {
        QTextLayout layout(text, font);
        layout.beginLayout();
        layout.createLine();
        layout.endLayout();
        QStringList families;
        for (const QGlyphRun &run : layout.glyphRuns()) {
            for (const quint32 glyph : run.glyphIndexes()) {
                if (glyph == 0)
                    return QStringList{QStringLiteral("<no glyph>")};
            }
            families << run.rawFont().familyName().toLower();
        }
        return families;
    };
    for (const auto &f : fonts) {
        const QFont font(QString::fromUtf8(f.font), 9);
        QCOMPARE(drawnWith(QStringLiteral("𠮷"), font),
                 QStringList{QString::fromUtf8(f.fallback).toLower()});
        QCOMPARE(drawnWith(QStringLiteral("田　仮子"), font),
                 QStringList{QString::fromUtf8(f.primary).toLower()});
    }
}

void TestMainMenu::versionLabel() {
    // This test program carries no stamp: the design text stays.
    QCOMPARE(platform::FileVersionText(), QString());
    TfrmMain menu;
    QCOMPARE(menu.LabelVersion->text(), QStringLiteral("Version 1.0.0.0"));
    // The program itself is stamped at build time.
    QVERIFY(!platform::ReadFileVersion(BinaryDir() + QStringLiteral("/bin/minatori")).isEmpty());
}

void TestMainMenu::buttonsOpenTheirWindows_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("title");
    QTest::newRow("viewer") << "Button1"
                            << "TfrmDrugInfo"
                            << "ミナトリ";
    QTest::newRow("settings") << "Button2"
                              << "TfrmSetting"
                              << "WebORCA設定";
    QTest::newRow("contact") << "Button3"
                             << "TfrmContact"
                             << "お問い合わせ";
}

void TestMainMenu::buttonsOpenTheirWindows() {
    QFETCH(QString, button);
    QFETCH(QString, className);
    QFETCH(QString, title);
    ScriptedUi ui;
    TfrmMain menu;
    menu.show();
    ModalWatcher watcher;
    watcher.arm();
    menu.findChild<QPushButton *>(button)->click();
    QCOMPARE(watcher.className, className);
    QCOMPARE(watcher.title, title);
    // Destroyed after its modal run: nothing of it is left under the menu.
    QCOMPARE(menu.findChildren<QDialog *>().size(), 0);
    QCOMPARE(ui.cursor, platform::CursorKind::Default);
}

void TestMainMenu::viewerCreationFailureIsReported() {
    ScriptedUi ui;
    TfrmMain menu;
    menu.setViewerFactory([](QWidget *) -> QDialog * { throw Failing(); });
    menu.Button1->click();
    const auto boxes = ui.callsOf(QStringLiteral("messageBox"));
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text,
             QStringLiteral(
                 "患者薬剤情報フォームの生成に失敗しました。\r\n(anonymous namespace)::Failing: "
                 "no connection settings"));
    QCOMPARE(boxes[0].icon, platform::MsgIcon::Error);
    QCOMPARE(boxes[0].buttons, platform::MsgButtons::Ok);
    QCOMPARE(ui.cursor, platform::CursorKind::Default);
    QVERIFY(menu.isEnabled());
}

void TestMainMenu::windowsShowTheApplicationIcon() {
    // The icon is built into the program, in the sizes title bars and task
    // bars ask for; the main menu and the windows it opens all show it.
    const QIcon icon = ApplicationIcon();
    for (const int size : {16, 32, 48, 256})
        QCOMPARE(icon.pixmap(size).width(), size);
    TfrmMain menu;
    QCOMPARE(menu.windowIcon().cacheKey(), QApplication::windowIcon().cacheKey());
    QDialog dialog(&menu);
    QVERIFY(!dialog.windowIcon().isNull());
    QCOMPARE(dialog.windowIcon().pixmap(32).toImage(), icon.pixmap(32).toImage());
}

QTEST_MAIN(TestMainMenu)
#include "test_mainmenu.moc"
