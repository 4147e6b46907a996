#pragma once
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

struct TPrescription;

// The medication-notebook printout without a printer: which lines are date
// lines, completing them with the institution's name, the page geometry, and
// breaking lines into printed pieces placed on pages. Widths come from a
// measuring callback, so the same layout serves a printer and a test.
namespace viewer {

// "2024.05.20" (blanks around it allowed): ten characters, full stops at the
// fifth and eighth, ASCII digits elsewhere.
bool IsNotebookDateLine(const QString &line);

// True when there is nothing to print: no lines, or a text that is blank.
bool IsNothingToPrint(const QStringList &lines);

// The lines to print: with a name, every date line becomes the trimmed date,
// one U+3000 and the name; other lines stay as they are.
QStringList NotebookPrintLines(const QStringList &lines, const QString &institutionName);

// The clinic's own name as the online drug information knows it: the
// InstitutionName (untrimmed) of the first prescription whose InstitutionCd ends
// with the clinic's code and whose name is not blank; empty when none is.
QString SelfInstitutionName(const QList<TPrescription> &prescriptions, const QString &selfInstCd);

// Page geometry in device pixels.
struct TNotebookGeometry {
    int margin = 0;     // left and top margin, and the bottom reserve (3 mm)
    int textWidth = 0;  // widest printed piece (80 mm, or what the page leaves)
    int indent = 0;     // extra left offset of continuation pieces (one U+3000)
    int lineHeight = 0; // distance between line tops
    int bottom = 0;     // lowest top a line may have
};

// dpiX: the horizontal resolution (pixels per inch), used for every length;
// indentWidth: the width of one U+3000; textHeight: the height of a line of text.
TNotebookGeometry NotebookGeometry(int dpiX, int pageWidth, int pageHeight, int indentWidth,
                                   int textHeight);

// Width of a text in device pixels.
using TMeasure = std::function<int(const QString &)>;

// One line broken into pieces. A piece grows one character at a time while it
// fits; a character is what the user sees as one (a surrogate pair, a base
// with its variation selector or combining marks) and is never split. The
// first piece fits textWidth, continuation pieces textWidth less the indent,
// so no piece reaches past the column. A piece holds at least one character.
QStringList WrapNotebookLine(const QString &line, const TNotebookGeometry &geometry,
                             const TMeasure &measure);

// One piece to draw: its page (from 0) and its top-left corner.
struct TNotebookPiece {
    int page = 0;
    int x = 0;
    int y = 0;
    QString text;
};

// Every line on its own printed line, long ones wrapped; empty lines advance
// one line. A page ends when the next line would start below the bottom. Only
// pages that receive a piece need printing: trailing empty lines do not add one.
QList<TNotebookPiece> LayoutNotebook(const QStringList &lines, const TNotebookGeometry &geometry,
                                     const TMeasure &measure);

} // namespace viewer
