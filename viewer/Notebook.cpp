#include "viewer/Notebook.h"

#include "platform/Trim.h"
#include "viewer/TainTypes.h"

#include <QTextBoundaryFinder>

namespace viewer {

namespace {

// a * b / c rounded to the nearest integer, halves away from zero (c > 0).
int mulDiv(int a, int b, int c) {
    const qint64 p = static_cast<qint64>(a) * b;
    return static_cast<int>(p >= 0 ? (p + c / 2) / c : -((-p + c / 2) / c));
}

// The line cut into user-perceived characters.
QStringList characters(const QString &line) {
    QStringList out;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, line);
    qsizetype from = 0;
    while (from < line.size()) {
        qsizetype to = finder.toNextBoundary();
        if (to <= from) // no further boundary: the rest is one piece
            to = line.size();
        out << line.mid(from, to - from);
        from = to;
    }
    return out;
}

} // namespace

bool IsNotebookDateLine(const QString &line) {
    const QString s = platform::TrimText(line);
    if (s.size() != 10)
        return false;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s.at(i);
        if (i == 4 || i == 7) {
            if (c != QLatin1Char('.'))
                return false;
        } else if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return false;
        }
    }
    return true;
}

bool IsNothingToPrint(const QStringList &lines) {
    return lines.isEmpty() || platform::TrimText(lines.join(QStringLiteral("\r\n"))).isEmpty();
}

QStringList NotebookPrintLines(const QStringList &lines, const QString &institutionName) {
    if (institutionName.isEmpty())
        return lines;
    QStringList out;
    out.reserve(lines.size());
    for (const QString &line : lines) {
        if (IsNotebookDateLine(line))
            out << platform::TrimText(line) + QChar(0x3000) + institutionName;
        else
            out << line;
    }
    return out;
}

QString SelfInstitutionName(const QList<TPrescription> &prescriptions, const QString &selfInstCd) {
    if (selfInstCd.isEmpty())
        return QString();
    for (const TPrescription &p : prescriptions) {
        if (p.InstitutionCd.endsWith(selfInstCd) &&
            !platform::TrimText(p.InstitutionName).isEmpty())
            return p.InstitutionName;
    }
    return QString();
}

TNotebookGeometry NotebookGeometry(int dpiX, int pageWidth, int pageHeight, int indentWidth,
                                   int textHeight) {
    TNotebookGeometry g;
    g.margin = mulDiv(30, dpiX, 254);
    g.textWidth = mulDiv(800, dpiX, 254);
    if (pageWidth - 2 * g.margin < g.textWidth)
        g.textWidth = pageWidth - 2 * g.margin;
    g.indent = indentWidth;
    g.lineHeight = mulDiv(textHeight, 115, 100);
    g.bottom = pageHeight - g.margin - g.lineHeight;
    return g;
}

QStringList WrapNotebookLine(const QString &line, const TNotebookGeometry &geometry,
                             const TMeasure &measure) {
    QStringList pieces;
    QString piece;
    for (const QString &c : characters(line)) {
        const int room =
            pieces.isEmpty() ? geometry.textWidth : geometry.textWidth - geometry.indent;
        if (!piece.isEmpty() && measure(piece + c) > room) {
            pieces << piece;
            piece = c;
        } else {
            piece += c;
        }
    }
    if (!piece.isEmpty())
        pieces << piece;
    return pieces;
}

QList<TNotebookPiece> LayoutNotebook(const QStringList &lines, const TNotebookGeometry &geometry,
                                     const TMeasure &measure) {
    QList<TNotebookPiece> out;
    int page = 0;
    int y = geometry.margin;
    auto advance = [&] {
        y += geometry.lineHeight;
        if (y > geometry.bottom) {
            ++page;
            y = geometry.margin;
        }
    };
    for (const QString &line : lines) {
        if (line.isEmpty()) {
            advance();
            continue;
        }
        const QStringList pieces = WrapNotebookLine(line, geometry, measure);
        for (qsizetype i = 0; i < pieces.size(); ++i) {
            const int x = i == 0 ? geometry.margin : geometry.margin + geometry.indent;
            out << TNotebookPiece{page, x, y, pieces.at(i)};
            advance();
        }
    }
    return out;
}

} // namespace viewer
