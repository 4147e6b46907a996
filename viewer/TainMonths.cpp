#include "viewer/TainMonths.h"

#include "viewer/TainRules.h"

namespace viewer {

QString MonthBefore(const QDate &today, int monthsBack) {
    // Months counted from year 0: no day is ever moved.
    const int index = today.year() * 12 + (today.month() - 1) - monthsBack;
    return QStringLiteral("%1-%2")
        .arg(index / 12, 4, 10, QLatin1Char('0'))
        .arg(index % 12 + 1, 2, 10, QLatin1Char('0'));
}

QStringList DrugRequestMonths(const QStringList &monthsFrom01, const QDate &today) {
    QStringList months = monthsFrom01;
    for (int i = 0; i <= 11; ++i)
        AddUnlessPresent(months, MonthBefore(today, i));
    SortMonthsNewestFirst(months);
    return months;
}

void SortMonthsNewestFirst(QStringList &months) {
    for (qsizetype i = 0; i + 1 < months.size(); ++i) {
        for (qsizetype j = i + 1; j < months.size(); ++j) {
            if (QString::compare(months.at(j), months.at(i), Qt::CaseSensitive) > 0)
                months.swapItemsAt(i, j);
        }
    }
}

QString MedSecondRequestMonth(const QDate &today) {
    return MonthBefore(today, 6);
}

QString HalfYearStart(const QDate &today) {
    QString month = MonthBefore(today, 5);
    month.remove(4, 1); // "yyyy-mm" -> "yyyymm"
    return month + QStringLiteral("01");
}

} // namespace viewer
