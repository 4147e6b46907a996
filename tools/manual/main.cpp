// minatori-manual: typesets the user guide (Markdown, with its pictures) as
// the PDF manual that the package installs and the contact window opens.
//
//   minatori-manual GUIDE.md OUT.pdf VERSION
//
// A4 pages: a cover with the title and the version, a table of contents with
// page numbers, then the guide, each chapter (## heading) on a new page, with
// the page number at the foot. Pictures are shrunk to the text width. The
// fonts are the program's own (IPA Gothic, with Noto Sans CJK JP for what
// IPA lacks), embedded in the PDF. Runs offscreen.

#include "app/Startup.h"

#include "platform/AppPaths.h"
#include "platform/Trim.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QSet>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextLayout>
#include <QTextTable>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

constexpr int kResolution = 300; // dots per inch of the PDF's coordinates

// One entry of the table of contents.
struct Heading {
    int level; // 2 chapter, 3 section
    QString text;
    int page; // from 1, the guide's first page
};

// Sizes given at 96 dots per inch (as pictures are measured) in PDF dots.
qreal px(qreal cssPixels) {
    return cssPixels * kResolution / 96.0;
}

QFont baseFont(qreal points) {
    QFont f(QStringLiteral("ＭＳ Ｐゴシック"));
    f.setPointSizeF(points);
    return f;
}

// Loads every picture the guide names from its folder, shrinks wide ones to
// the text width and tall ones (a printed page) to about half the page (in
// 96-dpi pixels), and gives chapters a page of their own.
// Headings listed in breakBefore (block numbers) start a new page too.
bool prepare(QTextDocument &doc, const QString &folder, qreal textWidthCss, qreal textHeightCss,
             const QSet<int> &breakBefore) {
    bool ok = true;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        QTextCursor cursor(block);
        QTextBlockFormat bf = block.blockFormat();
        if (breakBefore.contains(block.blockNumber()))
            bf.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
        if (bf.headingLevel() == 2) { // a chapter: a page of its own, in the cover's colour
            bf.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
            bf.setBottomMargin(px(10));
            QTextCharFormat cf;
            cf.setForeground(QColor(0x1f, 0x3a, 0x5f));
            cursor.select(QTextCursor::BlockUnderCursor);
            cursor.mergeCharFormat(cf);
            cursor.clearSelection();
        } else if (bf.headingLevel() == 3) {
            bf.setTopMargin(px(14));
            bf.setBottomMargin(px(4));
        } else if (!block.text().contains(QChar::ObjectReplacementCharacter)) {
            // Japanese text reads better with some room between the lines.
            bf.setLineHeight(130, QTextBlockFormat::ProportionalHeight);
            bf.setBottomMargin(px(block.textList() ? 2 : 6));
        }
        cursor.setBlockFormat(bf);
        bool picture = false;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.charFormat().isImageFormat())
                continue;
            QTextImageFormat image = fragment.charFormat().toImageFormat();
            const QString name = image.name();
            const QImage picture96(QFileInfo(QDir(folder), name).absoluteFilePath());
            if (picture96.isNull()) {
                std::fprintf(stderr, "picture not found: %s\n", qPrintable(name));
                ok = false;
                continue;
            }
            doc.addResource(QTextDocument::ImageResource, QUrl(name), picture96);
            const qreal scale = std::min(
                {1.0, textWidthCss / picture96.width(), 0.55 * textHeightCss / picture96.height()});
            const qreal w = picture96.width() * scale, h = picture96.height() * scale;
            image.setWidth(w);
            image.setHeight(h);
            QTextCursor at(&doc);
            at.setPosition(fragment.position());
            at.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            at.setCharFormat(image);
            picture = true;
        }
        if (picture) { // a picture stands centred, with room around it
            bf = block.blockFormat();
            bf.setAlignment(Qt::AlignHCenter);
            bf.setTopMargin(px(6));
            bf.setBottomMargin(px(10));
            cursor.setBlockFormat(bf);
        }
    }
    // Tables: thin grey rules, some room in the cells, the whole width.
    QList<QTextTable *> tables;
    for (QTextFrame *frame : doc.rootFrame()->childFrames())
        if (auto *table = qobject_cast<QTextTable *>(frame))
            tables << table;
    for (QTextTable *table : tables) {
        // Rules on the cells, none around the table: a table that goes on
        // over a page break then has no frame running down the page.
        QTextTableFormat tf = table->format();
        tf.setBorder(0);
        tf.setBorderCollapse(true);
        tf.setCellPadding(px(4));
        tf.setCellSpacing(0);
        tf.setWidth(QTextLength(QTextLength::PercentageLength, 100));
        table->setFormat(tf);
        for (int r = 0; r < table->rows(); ++r) {
            for (int c = 0; c < table->columns(); ++c) {
                QTextTableCell cell = table->cellAt(r, c);
                QTextTableCellFormat cf = cell.format().toTableCellFormat();
                cf.setBorder(px(0.75));
                cf.setBorderBrush(QColor(0x99, 0x99, 0x99));
                cf.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
                if (r == 0) // the header row shaded
                    cf.setBackground(QColor(0xee, 0xf2, 0xf7));
                cell.setFormat(cf);
            }
        }
    }
    return ok;
}

void drawFooter(QPainter &p, const QRectF &page, const QString &text) {
    p.save();
    p.setFont(baseFont(9));
    p.setPen(QColor(0x55, 0x55, 0x55));
    p.drawText(QRectF(page.left(), page.bottom() + px(14), page.width(), px(24)),
               Qt::AlignHCenter | Qt::AlignTop, text);
    p.restore();
}

} // namespace

int main(int argc, char *argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    platform::ExportUserRuntimeDir();
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4) {
        std::fprintf(stderr, "usage: minatori-manual GUIDE.md OUT.pdf VERSION\n");
        return 2;
    }
    const QString source = args[1], out = args[2], version = args[3];
    RegisterJapaneseFonts();

    QFile in(source);
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "%s: cannot read\n", qPrintable(source));
        return 1;
    }
    QString markdown = QString::fromUtf8(in.readAll());
    // The guide's title line becomes the cover.
    QString title = QStringLiteral("ミナトリ ユーザーガイド");
    static const QRegularExpression h1(QStringLiteral("\\A# ([^\\n]+)\\n"));
    if (const auto m = h1.match(markdown); m.hasMatch()) {
        title = platform::TrimText(m.captured(1));
        markdown.remove(0, m.capturedLength());
    }

    QPdfWriter pdf(out);
    pdf.setResolution(kResolution);
    pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                  QMarginsF(20, 18, 20, 22), QPageLayout::Millimeter));
    pdf.setTitle(title);
    pdf.setCreator(QStringLiteral("minatori-manual"));
    const QRectF page = QRectF(pdf.pageLayout().paintRectPixels(kResolution))
                            .translated(-pdf.pageLayout().paintRectPixels(kResolution).topLeft());

    // Formats first, layout once: the layout is not redone fully for later
    // changes. A heading left at the foot of a page, its text on the next,
    // moves to the next page: the document is made again with that break
    // until no heading is left alone.
    QSet<int> breaks;
    std::unique_ptr<QTextDocument> document;
    for (int pass = 0; pass < 10; ++pass) {
        document = std::make_unique<QTextDocument>();
        QTextDocument &d = *document;
        d.setDefaultFont(baseFont(10.5));
        d.setDocumentMargin(0);
        d.setMarkdown(markdown, QTextDocument::MarkdownDialectGitHub);
        if (!prepare(d, QFileInfo(source).absolutePath(), page.width() * 96.0 / kResolution,
                     page.height() * 96.0 / kResolution, breaks))
            return 1;
        d.documentLayout()->setPaintDevice(&pdf);
        d.setPageSize(page.size());
        d.pageCount();
        // The page of a block's first line (a block's own top stays where the
        // page before ended when its lines move on).
        const auto pageOf = [&](const QTextBlock &b) {
            qreal top = d.documentLayout()->blockBoundingRect(b).top();
            if (b.layout() && b.layout()->lineCount() > 0)
                top += b.layout()->lineAt(0).y();
            return int(top / page.height());
        };
        const qsizetype before = breaks.size();
        for (QTextBlock b = d.begin(); b.isValid() && b.next().isValid(); b = b.next()) {
            if (b.blockFormat().headingLevel() == 0 || breaks.contains(b.blockNumber()))
                continue;
            const qreal top = d.documentLayout()->blockBoundingRect(b).top();
            const bool low = top - pageOf(b) * page.height() > 0.85 * page.height();
            if (pageOf(b.next()) > pageOf(b) || low)
                breaks.insert(b.blockNumber());
        }
        if (breaks.size() == before)
            break;
    }
    QTextDocument &doc = *document;
    const int pages = doc.pageCount();

    QList<Heading> headings;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        const int level = block.blockFormat().headingLevel();
        if (level == 2 || level == 3) {
            qreal top = doc.documentLayout()->blockBoundingRect(block).top();
            if (block.layout() && block.layout()->lineCount() > 0)
                top += block.layout()->lineAt(0).y();
            headings << Heading{level, block.text(), int(top / page.height()) + 1};
        }
    }

    QPainter p;
    if (!p.begin(&pdf)) {
        std::fprintf(stderr, "%s: cannot write\n", qPrintable(out));
        return 1;
    }

    // Cover.
    p.setPen(QColor(0x1f, 0x3a, 0x5f));
    QFont big = baseFont(30);
    big.setBold(true);
    p.setFont(big);
    p.drawText(QRectF(0, page.height() * 0.28, page.width(), px(80)), Qt::AlignHCenter, title);
    p.setFont(baseFont(13));
    p.setPen(Qt::black);
    p.drawText(QRectF(0, page.height() * 0.28 + px(90), page.width(), px(40)), Qt::AlignHCenter,
               QStringLiteral("医療機関スタッフのための操作手引き"));
    p.drawText(QRectF(0, page.height() * 0.28 + px(130), page.width(), px(40)), Qt::AlignHCenter,
               QStringLiteral("バージョン ") + version);
    p.setFont(baseFont(11));
    p.drawText(QRectF(0, page.height() - px(40), page.width(), px(30)), Qt::AlignHCenter,
               QStringLiteral("湊ソフト ミナトリ サポートセンター"));

    // Table of contents.
    pdf.newPage();
    QFont tocTitle = baseFont(16);
    tocTitle.setBold(true);
    p.setFont(tocTitle);
    p.drawText(QRectF(0, 0, page.width(), px(40)), Qt::AlignLeft, QStringLiteral("目次"));
    qreal y = px(56);
    for (const Heading &h : headings) {
        QFont f = baseFont(h.level == 2 ? 11 : 10);
        f.setBold(h.level == 2);
        p.setFont(f);
        const qreal lineHeight = p.fontMetrics().height() * (h.level == 2 ? 1.7 : 1.35);
        if (y + lineHeight > page.height()) {
            pdf.newPage();
            y = 0;
        }
        const qreal indent = h.level == 2 ? 0 : px(20);
        const QRectF line(indent, y, page.width() - indent, lineHeight);
        p.drawText(line, Qt::AlignLeft | Qt::AlignBottom, h.text);
        p.drawText(line, Qt::AlignRight | Qt::AlignBottom, QString::number(h.page));
        y += lineHeight;
    }

    // The guide.
    for (int i = 0; i < pages; ++i) {
        pdf.newPage();
        p.save();
        p.translate(0, -i * page.height());
        QAbstractTextDocumentLayout::PaintContext context;
        // One dot short, so the first row of a picture on the next page never shows here.
        context.clip = QRectF(0, i * page.height(), page.width(), page.height() - 1);
        p.setClipRect(context.clip); // what crosses into the next page is drawn there
        context.palette.setColor(QPalette::Text, Qt::black);
        doc.documentLayout()->draw(&p, context);
        p.restore();
        drawFooter(p, page, QStringLiteral("%1 / %2").arg(i + 1).arg(pages));
    }
    if (!p.end()) {
        std::fprintf(stderr, "%s: cannot write\n", qPrintable(out));
        return 1;
    }
    std::printf("%s: %d pages\n", qPrintable(out), pages + 2);
    return 0;
}
