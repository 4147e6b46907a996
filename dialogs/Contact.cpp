#include "dialogs/Contact.h"

#include "platform/Dpi.h"
#include "platform/UiSeam.h"
#include "platform/VersionInfo.h"

#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyle>

using platform::MsgButtons;
using platform::MsgIcon;
using platform::Ui;

QString ManualPath() {
    return QStringLiteral(MINATORI_MANUAL_PATH);
}

TfrmContact::TfrmContact(QWidget *owner) : QDialog(owner), manualPath(ManualPath()) {
    setObjectName(QStringLiteral("frmContact"));
    setWindowTitle(QStringLiteral("お問い合わせ"));

    const int dpi = logicalDpiY();
    auto s = [dpi](int v) { return platform::ScaleToDpi(v, dpi); };

    QFont base(QStringLiteral("ＭＳ Ｐゴシック"));
    base.setPointSize(9);
    setFont(base);

    // White (window-colour) background.
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Base));
    setPalette(pal);
    setAutoFillBackground(true);

    auto fontOf = [&](int pixelHeight, bool bold) {
        QFont f = base;
        if (pixelHeight > 0)
            f.setPixelSize(s(pixelHeight));
        f.setBold(bold);
        return f;
    };
    // A label at its place; it grows when its text needs more room than given.
    auto label = [&](const char *name, const QString &text, int l, int t, int w, int h,
                     const QFont &font, bool wrap = false) {
        auto *lb = new QLabel(text, this);
        lb->setObjectName(QLatin1String(name));
        lb->setFont(font);
        lb->setWordWrap(wrap);
        const QSize hint = lb->sizeHint();
        if (wrap)
            lb->setGeometry(s(l), s(t), s(w), s(h));
        else if (w <= 0)
            lb->setGeometry(s(l), s(t), hint.width(), hint.height());
        else
            lb->setGeometry(s(l), s(t), std::max(s(w), hint.width()),
                            std::max(s(h), hint.height()));
        return lb;
    };
    auto heading = [&](const char *name, const QString &text, int l, int t) {
        QLabel *lb = label(name, text, l, t, 0, 0, fontOf(14, true));
        QPalette p = lb->palette();
        p.setColor(QPalette::WindowText, QColor(0, 0, 128)); // navy
        lb->setPalette(p);
        return lb;
    };
    auto rule = [&](const char *name, int l, int t, int w, int h) {
        auto *f = new QFrame(this);
        f->setObjectName(QLatin1String(name));
        f->setFrameShape(QFrame::HLine);
        f->setFrameShadow(QFrame::Sunken);
        f->setGeometry(s(l), s(t), s(w), s(h));
        return f;
    };
    auto button = [&](const char *name, const QString &text, int l, int t, int w, int h) {
        auto *b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        b->setGeometry(s(l), s(t), s(w), s(h));
        return b;
    };

    LabelTitle =
        label("LabelTitle", QStringLiteral("お問い合わせ"), 16, 12, 448, 24, fontOf(18, true));
    BevelLine1 = rule("BevelLine1", 16, 38, 448, 2);
    LabelSupportTitle = heading("LabelSupportTitle", QStringLiteral("[サポート窓口]"), 16, 50);
    LabelOrgName =
        label("LabelOrgName", QStringLiteral("ミナトリ サポートセンター（運営：株式会社湊ソフト）"),
              32, 76, 432, 18, fontOf(13, true));
    LabelAddress1 = label("LabelAddress1",
                          QStringLiteral("〒231-0000 神奈川県横浜市中区見本町1-2-3 みなとビル5階"),
                          32, 100, 432, 16, base);
    LabelTel = label("LabelTel", QStringLiteral("TEL 045-000-1234　FAX 045-000-1235"), 32, 122, 432,
                     16, base);
    LabelHours =
        label("LabelHours", QStringLiteral("受付時間 平日 9:00～17:30（土日祝日・年末年始を除く）"),
              34, 145, 432, 16, base);

    QFont link = base;
    link.setUnderline(true);
    LabelEmail =
        label("LabelEmail", QStringLiteral("e-mail: ") + kSupportEmail, 34, 167, 162, 12, link);
    QPalette blue = LabelEmail->palette();
    blue.setColor(QPalette::WindowText, Qt::blue);
    LabelEmail->setPalette(blue);
    LabelEmail->setCursor(Qt::PointingHandCursor);
    LabelEmail->installEventFilter(this);
    BtnEmail = button("BtnEmail", QStringLiteral("メール送信"), 250, 162, 100, 25);

    BevelLine2 = rule("BevelLine2", 16, 202, 448, 2);
    LabelManualTitle = heading("LabelManualTitle", QStringLiteral("[マニュアル]"), 16, 217);
    BtnManual = button("BtnManual", QStringLiteral("ミナトリマニュアルを開く"), 32, 237, 200, 30);
    LabelWebTitle = heading("LabelWebTitle", QStringLiteral("[Webサイト]"), 16, 295);
    LabelWebUrl = label("LabelWebUrl",
                        QStringLiteral("操作方法やよくあるご質問、最新版のお知らせ、ORCAとの接続"
                                       "設定の手順を掲載しています。"),
                        32, 320, 432, 32, base, true);
    LabelWebUrl->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    BtnWeb = button("BtnWeb", QStringLiteral("Webサイトを開く"), 32, 360, 200, 30);
    BtnClose = button("BtnClose", QStringLiteral("閉じる(&C)"), 380, 380, 80, 30);
    BtnClose->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));

    QWidget::setTabOrder(BtnManual, BtnWeb);
    QWidget::setTabOrder(BtnWeb, BtnEmail);
    QWidget::setTabOrder(BtnEmail, BtnClose);

    connect(BtnManual, &QPushButton::clicked, this, &TfrmContact::BtnManualClick);
    connect(BtnWeb, &QPushButton::clicked, this, &TfrmContact::BtnWebClick);
    connect(BtnEmail, &QPushButton::clicked, this, &TfrmContact::BtnEmailClick);
    connect(BtnClose, &QPushButton::clicked, this, &QDialog::reject);

    setFixedSize(s(480), s(420));
}

bool TfrmContact::eventFilter(QObject *watched, QEvent *event) {
    if (watched == LabelEmail && event->type() == QEvent::MouseButtonRelease) {
        auto *m = static_cast<QMouseEvent *>(event);
        if (m->button() == Qt::LeftButton && LabelEmail->rect().contains(m->position().toPoint())) {
            LabelEmailClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmContact::BtnManualClick() {
    if (QFileInfo(manualPath).isFile()) {
        Ui().shellOpen(nullptr, manualPath, QString());
        return;
    }
    Ui().messageBox(this, QString(),
                    QStringLiteral("マニュアルファイルが見つかりません。\r\n") + manualPath,
                    MsgIcon::Warning, MsgButtons::Ok);
}

void TfrmContact::BtnWebClick() {
    Ui().shellOpen(nullptr, kWebSiteUrl, QString());
}

void TfrmContact::BtnEmailClick() {
    Ui().shellOpen(nullptr, QStringLiteral("mailto:") + kSupportEmail, QString());
}

void TfrmContact::LabelEmailClick() {
    BtnEmailClick();
}

QString VersionInfoText(const QString &fileVersion) {
    const QString version = fileVersion.isEmpty() ? QStringLiteral("(取得不可)") : fileVersion;
    return QStringLiteral("ミナトリ (WebORCA版)\r\n\r\nバージョン: ") + version +
           QStringLiteral("\r\n\r\n") + kMakerNotice;
}

void ShowVersionInfo(QWidget *owner) {
    Ui().messageBox(owner, QString(), VersionInfoText(platform::FileVersionText()),
                    MsgIcon::Information, MsgButtons::Ok);
}
