#pragma once
#include <QDate>
#include <QString>
#include <QStringList>

// Month arithmetic of the other-institution loaders. Months are counted from
// the year and month of a date alone, never by moving a day: 2024-03-31 one
// month back is 2024-02, whatever February's length.
namespace viewer {

// The month that lies monthsBack calendar months before today's, "yyyy-mm".
QString MonthBefore(const QDate &today, int monthsBack);

// The months to ask the drug request "02" for: those of the "01" answer, then
// the current month and the 11 before it unless present, sorted newest first.
QStringList DrugRequestMonths(const QStringList &monthsFrom01, const QDate &today);

// Sorts month texts newest first: for each position, each later entry that
// compares greater (ordinal text comparison) is swapped into it.
void SortMonthsNewestFirst(QStringList &months);

// The month of the second medical request: six calendar months before today's.
QString MedSecondRequestMonth(const QDate &today);

// The first day of the month five calendar months before today's, "yyyymm01"
// (2024-05-20 gives 20231201). With the current month it spans six months.
QString HalfYearStart(const QDate &today);

} // namespace viewer
