#pragma once
#include <QString>
#include <QStringList>

// Text and dates from the PDF documents that ORCA saves per patient. Every call
// reads and decodes the file again; nothing is kept between calls.

// The text shown by the file's "Tj" and "TJ" operators, decoded through the
// file's ToUnicode maps and joined without separators. Empty when the file is
// missing or empty, holds no ToUnicode map or shows no decodable string. A file
// that exists but cannot be read raises EAppError ("EFOpenError"), as do the
// two extractors below.
QString PdfExtractText(const QString &path);

// The month ("yyyy-mm") in which the checkup of a checkup document was performed,
// or empty.
QString PdfCheckupDate(const QString &path);

// Appends "institution=yyyy-mm" entries of a drug document's visit history to
// list. Never clears or sorts the list; an entry the list already holds (compared
// without regard to case) is not added again.
void PdfDrugDates(const QString &path, QStringList &list);
