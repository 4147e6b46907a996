#pragma once
#include "viewer/TainTypes.h"

#include <QDate>
#include <QList>
#include <QString>

// The other-institution text: prescriptions laid out as date lines, drug lines
// and day-count lines, indented with full-width spaces (U+3000).
namespace viewer {

// Composes the text; every line, the last included, ends with CR LF.
//   nameFilter     when not empty, only prescriptions of this institution name
//                  (both trimmed, exact)
//   exclusionCode  when not empty, prescriptions whose code ends with it are
//                  left out
//   latestOnly     only each institution's latest dispensing day
//   halfYear       with latestOnly: institutions whose latest day lies before
//                  HalfYearStart(today) are left out
//   dateOnly       date lines without the institution name
// Pharmacy-coded prescriptions are always left out.
QString FormatTainText(const QList<TPrescription> &prescriptions, const QString &nameFilter,
                       const QString &exclusionCode, bool latestOnly, bool halfYear, bool dateOnly,
                       const QDate &today);

// Whether a quantity says nothing: blank, or a number that reads as zero (ORCA
// writes an absent quantity as "0").
bool IsNoQuantity(const QString &suryo);

} // namespace viewer
