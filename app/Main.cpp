#include "app/Main.h"

#include "core/CoreSource.h"
#include "dialogs/Contact.h"
#include "dialogs/Setting.h"
#include "platform/Dpi.h"
#include "platform/UiSeam.h"
#include "platform/VersionInfo.h"
#include "viewer/DrugInfo.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#include <cxxabi.h>
#include <memory>
#include <typeinfo>

using platform::Ui;

QString CurrentErrorText() {
    try {
        throw;
    } catch (const EAppError &e) {
        return e.className() + QStringLiteral(": ") + e.message();
    } catch (const std::exception &e) {
        int status = 0;
        std::unique_ptr<char, void (*)(void *)> name(
            abi::__cxa_demangle(typeid(e).name(), nullptr, nullptr, &status), std::free);
        const QString cls = QString::fromUtf8(status == 0 && name ? name.get() : typeid(e).name());
        return cls + QStringLiteral(": ") + QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Exception: unknown error");
    }
}

TfrmMain::TfrmMain(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("ミナトリ"));
    setAttribute(Qt::WA_DeleteOnClose); // released when closed, which ends the program

    const int dpi = logicalDpiY();
    auto s = [dpi](int v) { return platform::ScaleToDpi(v, dpi); };

    QFont base(QStringLiteral("ＭＳ Ｐゴシック"));
    base.setPointSize(9);
    setFont(base);

    auto button = [&](const char *name, const QString &text, int l, int t, int w, int h) {
        auto *b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(name));
        b->setGeometry(s(l), s(t), s(w), s(h));
        return b;
    };
    auto label = [&](const char *name, const QString &text, int l, int t, int w, int h,
                     int pixelHeight) {
        auto *lb = new QLabel(text, this);
        lb->setObjectName(QLatin1String(name));
        lb->setGeometry(s(l), s(t), s(w), s(h));
        lb->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        QFont f = base;
        f.setPixelSize(s(pixelHeight));
        lb->setFont(f);
        QPalette pal = lb->palette();
        pal.setColor(QPalette::WindowText, Qt::black);
        lb->setPalette(pal);
        return lb;
    };

    BitBtn1 = button("BitBtn1", QStringLiteral("閉じる(&C)"), 330, 8, 75, 25);
    BitBtn1->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));
    Button1 = button("Button1", QStringLiteral("患者薬剤情報"), 160, 48, 100, 45);
    Button2 = button("Button2", QStringLiteral("詳細設定"), 160, 118, 100, 45);
    Button3 = button("Button3", QStringLiteral("お問い合わせ"), 160, 190, 100, 45);
    Label1 = label("Label1", QStringLiteral("©"), 8, 283, 29, 24, 19);
    // The maker's name is centred in a label that starts under the sign, so it
    // stays short enough to clear it.
    Label2 = label("Label2", QStringLiteral("湊ソフト"), 10, 288, 113, 18, 13);
    LabelProvide =
        label("LabelProvide", QStringLiteral("提供：みなと医療ネット"), 266, 288, 151, 15, 13);
    LabelVersion = label("LabelVersion", QStringLiteral("Version 1.0.0.0"), 14, 305, 130, 14, 11);

    connect(BitBtn1, &QPushButton::clicked, this, &QWidget::close);
    connect(Button1, &QPushButton::clicked, this, &TfrmMain::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TfrmMain::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TfrmMain::Button3Click);

    m_viewerFactory = [](QWidget *owner) { return new TfrmDrugInfo(owner); };
    m_settingFactory = [](QWidget *owner) { return new TfrmSetting(owner); };
    m_contactFactory = [](QWidget *owner) { return new TfrmContact(owner); };

    resize(s(420), s(320));
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
    FormCreate();
}

void TfrmMain::FormCreate() {
    const QString version = platform::FileVersionText();
    if (!version.isEmpty())
        LabelVersion->setText(QStringLiteral("Version ") + version);
}

void TfrmMain::Button1Click() {
    Ui().setCursor(platform::CursorKind::Hourglass);
    std::unique_ptr<QDialog> viewer;
    try {
        viewer.reset(m_viewerFactory(this));
    } catch (...) {
        Ui().setCursor(platform::CursorKind::Default);
        Ui().messageBox(this, QString(),
                        QStringLiteral("患者薬剤情報フォームの生成に失敗しました。\r\n") +
                            CurrentErrorText(),
                        platform::MsgIcon::Error, platform::MsgButtons::Ok);
        return;
    }
    Ui().setCursor(platform::CursorKind::Default);
    viewer->exec(); // destroyed when this returns, also by an error
}

void TfrmMain::runModal(const WindowFactory &factory) {
    std::unique_ptr<QDialog> dialog(factory(this));
    dialog->exec();
}

void TfrmMain::Button2Click() {
    runModal(m_settingFactory);
}

void TfrmMain::Button3Click() {
    runModal(m_contactFactory);
}
