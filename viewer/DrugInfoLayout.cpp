// Building the viewer's controls. Sizes are given at 96 dots per inch and
// scaled to the window.
#include "viewer/DrugInfo.h"
#include "viewer/StringGrid.h"

#include <QAction>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

template <class W> W *named(W *w, const char *name) {
    w->setObjectName(QLatin1String(name));
    return w;
}

QFrame *panel(QWidget *parent, const char *name) {
    auto *f = named(new QFrame(parent), name);
    f->setFrameShape(QFrame::NoFrame);
    return f;
}

QVBoxLayout *column(QWidget *on) {
    auto *l = new QVBoxLayout(on);
    l->setContentsMargins(0, 0, 0, 0);
    l->setSpacing(0);
    return l;
}

} // namespace

void TfrmDrugInfo::BuildControls() {
    auto s = [this](int v) { return ScaleToDpi(v); };

    QFont base(QStringLiteral("ＭＳ Ｐゴシック"));
    base.setPointSize(9);
    setFont(base);
    QFont fixedPitch(QStringLiteral("ＭＳ ゴシック"));
    fixedPitch.setPointSize(9);
    fixedPitch.setStyleHint(QFont::TypeWriter);

    auto button = [&](QWidget *parent, const char *name, const QString &text, int l, int t, int w,
                      int h) {
        auto *b = named(new QPushButton(text, parent), name);
        b->setGeometry(s(l), s(t), s(w), s(h));
        b->setAutoDefault(false);
        return b;
    };
    auto label = [&](QWidget *parent, const char *name, const QString &text, int l, int t,
                     int w = 0) {
        auto *lb = named(new QLabel(text, parent), name);
        lb->move(s(l), s(t));
        if (w > 0)
            lb->setFixedWidth(s(w));
        else
            lb->adjustSize();
        return lb;
    };

    auto *root = column(this);

    // Menu bar.
    MainMenu = named(new QMenuBar(this), "MainMenu");
    MenuSetting = named(MainMenu->addMenu(QStringLiteral("設定(&S)")), "MenuSetting");
    MenuWebORCA = named(MenuSetting->addAction(QStringLiteral("WebORCA設定")), "MenuWebORCA");
    MenuExportTkk =
        named(MenuSetting->addAction(QStringLiteral("特定健診CSV出力(&T)")), "MenuExportTkk");
    MenuSetting->addSeparator();
    MenuVersion =
        named(MenuSetting->addAction(QStringLiteral("バージョン情報(&V)")), "MenuVersion");
    root->setMenuBar(MainMenu);

    auto *body = new QHBoxLayout;
    body->setContentsMargins(0, 0, 0, 0);
    body->setSpacing(0);
    root->addLayout(body, 1);

    // Left column: search, day navigation, patient list.
    PanelLeft = panel(this, "PanelLeft");
    PanelLeft->setFixedWidth(s(350));
    body->addWidget(PanelLeft);
    auto *left = column(PanelLeft);

    PanelSearch = panel(PanelLeft, "PanelSearch");
    PanelSearch->setFixedHeight(s(90));
    left->addWidget(PanelSearch);
    ComboBoxSearch = named(new QComboBox(PanelSearch), "ComboBoxSearch");
    ComboBoxSearch->addItems({QStringLiteral("カルテ番号"), QStringLiteral("漢字氏名")});
    ComboBoxSearch->setEditable(false);
    ComboBoxSearch->setGeometry(s(8), s(8), s(90), s(25));
    EditSearch = named(new QLineEdit(PanelSearch), "EditSearch");
    EditSearch->setGeometry(s(104), s(8), s(110), s(25));
    // Chart numbers are typed without the input method.
    EditSearch->setAttribute(Qt::WA_InputMethodEnabled, false);
    EditSearch->installEventFilter(this);
    BtnSearch = button(PanelSearch, "BtnSearch", QStringLiteral("検索"), 220, 8, 60, 25);
    BtnPDFY = button(PanelSearch, "BtnPDFY", QStringLiteral("PDF_Y"), 8, 38, 50, 25);
    BtnPDFT = button(PanelSearch, "BtnPDFT", QStringLiteral("PDF_T"), 62, 38, 50, 25);
    LabelDate = label(PanelSearch, "LabelDate", QString(), 124, 44, 200);
    {
        QFont f = base;
        f.setBold(true);
        f.setPixelSize(s(13));
        LabelDate->setFont(f);
    }
    // Right-aligned as designed, but wide enough for its own caption.
    Label1 = label(PanelSearch, "Label1", QStringLiteral("カルテ番号"), 4, 72, 60);
    Label1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label2 = label(PanelSearch, "Label2", QStringLiteral("漢字氏名"), 68, 72, 128);
    LabelAge = label(PanelSearch, "LabelAge", QString(), 200, 72, 60);

    PanelDateNav = panel(PanelLeft, "PanelDateNav");
    PanelDateNav->setFixedHeight(s(35));
    left->addWidget(PanelDateNav);
    LabelListState = label(PanelDateNav, "LabelListState", QStringLiteral("全て"), 8, 9, 48);
    {
        QFont f = base;
        f.setBold(true);
        f.setPixelSize(s(14));
        LabelListState->setFont(f);
        QPalette pal = LabelListState->palette();
        pal.setColor(QPalette::WindowText, QColor(0, 0, 128));
        LabelListState->setPalette(pal);
    }
    BtnKaikeiMi = button(PanelDateNav, "BtnKaikeiMi", QStringLiteral("受付中"), 58, 4, 50, 25);
    BtnPrevDay = button(PanelDateNav, "BtnPrevDay", QStringLiteral("前日"), 124, 4, 40, 25);
    BtnNextDay = button(PanelDateNav, "BtnNextDay", QStringLiteral("翌日"), 168, 4, 40, 25);
    BtnToday = button(PanelDateNav, "BtnToday", QStringLiteral("当日"), 212, 4, 40, 25);
    BtnClose = button(PanelDateNav, "BtnClose", QStringLiteral("閉じる"), 290, 4, 50, 25);

    GridPatient = named(new TStringGrid(PanelLeft), "GridPatient");
    left->addWidget(GridPatient, 1);

    // Right side: institution grid on top, the two text panes below.
    PanelMain = panel(this, "PanelMain");
    body->addWidget(PanelMain, 1);
    auto *main = column(PanelMain);

    PanelTopGrid = panel(PanelMain, "PanelTopGrid");
    PanelTopGrid->setFixedHeight(s(140));
    main->addWidget(PanelTopGrid);
    auto *top = column(PanelTopGrid);
    top->setContentsMargins(s(4), s(2), s(4), s(4));
    LabelJusinreki = named(new QLabel(QStringLiteral("受診歴"), PanelTopGrid), "LabelJusinreki");
    top->addWidget(LabelJusinreki);
    GridInstitution = named(new TStringGrid(PanelTopGrid), "GridInstitution");
    top->addWidget(GridInstitution, 1);

    PanelBottom = panel(PanelMain, "PanelBottom");
    main->addWidget(PanelBottom, 1);
    auto *bottom = new QHBoxLayout(PanelBottom);
    bottom->setContentsMargins(0, 0, 0, 0);
    bottom->setSpacing(0);

    PanelBottomLeft = panel(PanelBottom, "PanelBottomLeft");
    PanelBottomLeft->setFixedWidth(s(400));
    bottom->addWidget(PanelBottomLeft);
    auto *bl = column(PanelBottomLeft);
    PanelSelfHeader = panel(PanelBottomLeft, "PanelSelfHeader");
    PanelSelfHeader->setFixedHeight(s(30));
    bl->addWidget(PanelSelfHeader);
    LabelSelfTitle = label(PanelSelfHeader, "LabelSelfTitle", QStringLiteral("自院薬歴"), 8, 9);
    // Up to the first button: room for "2024年05月".
    LabelSelfMonth = label(PanelSelfHeader, "LabelSelfMonth", QString(), 100, 9, 76);
    BtnSelfPrevMonth =
        button(PanelSelfHeader, "BtnSelfPrevMonth", QStringLiteral("前月"), 176, 3, 40, 25);
    BtnSelfNextMonth =
        button(PanelSelfHeader, "BtnSelfNextMonth", QStringLiteral("翌月"), 220, 3, 40, 25);
    BtnSelfAll = button(PanelSelfHeader, "BtnSelfAll", QStringLiteral("全て"), 268, 3, 50, 25);
    BtnSelfPrint = button(PanelSelfHeader, "BtnSelfPrint", QStringLiteral("印刷"), 322, 3, 50, 25);
    MemoSelf = named(new QPlainTextEdit(PanelBottomLeft), "MemoSelf");
    bl->addWidget(MemoSelf, 1);

    PanelBottomRight = panel(PanelBottom, "PanelBottomRight");
    bottom->addWidget(PanelBottomRight, 1);
    auto *br = column(PanelBottomRight);
    PanelRightNav = panel(PanelBottomRight, "PanelRightNav");
    PanelRightNav->setFixedHeight(s(35));
    br->addWidget(PanelRightNav);
    BtnCopy = button(PanelRightNav, "BtnCopy", QStringLiteral("COPY"), 8, 5, 50, 25);
    BtnPrint = button(PanelRightNav, "BtnPrint", QStringLiteral("印刷"), 62, 5, 50, 25);
    BtnBack = button(PanelRightNav, "BtnBack", QStringLiteral("戻る"), 116, 5, 50, 25);
    BtnBack->hide();
    LabelTainName = label(PanelRightNav, "LabelTainName", QStringLiteral("他院"), 176, 10, 200);
    BtnTainAll = button(PanelRightNav, "BtnTainAll", QStringLiteral("全て"), 380, 5, 50, 25);
    LabelTainMonth = label(PanelRightNav, "LabelTainMonth", QString(), 440, 10, 90);
    MemoTain = named(new QPlainTextEdit(PanelBottomRight), "MemoTain");
    br->addWidget(MemoTain, 1);

    for (QPlainTextEdit *memo : {MemoSelf, MemoTain}) {
        memo->setReadOnly(true);
        memo->setFont(fixedPitch);
        memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    }

    // Status line: what the window is loading.
    LabelStatus = named(new QLabel(this), "LabelStatus");
    LabelStatus->setFixedHeight(s(20));
    LabelStatus->setIndent(s(8));
    LabelStatus->setFrameShape(QFrame::StyledPanel);
    LabelStatus->setFrameShadow(QFrame::Sunken);
    root->addWidget(LabelStatus);

    for (QFrame *f :
         {static_cast<QFrame *>(PanelSearch), static_cast<QFrame *>(PanelDateNav),
          static_cast<QFrame *>(PanelSelfHeader), static_cast<QFrame *>(PanelRightNav)}) {
        f->setFrameShape(QFrame::StyledPanel);
        f->setFrameShadow(QFrame::Raised);
    }

    resize(s(1280), s(700) + MainMenu->sizeHint().height() + LabelStatus->height());
}
