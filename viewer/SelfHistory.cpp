#include "viewer/SelfHistory.h"

#include "orca/OrcaTags.h"
#include "platform/Trim.h"

#include <algorithm>

namespace viewer {

namespace {

const QString kCalendar = QStringLiteral("Perform_Calendar");
const QString kPerformDate = QStringLiteral("Perform_Date");
const QString kDepartment = QStringLiteral("Department_Code");
const QString kVisitRecord = QStringLiteral("<Medical_List_Information_child ");
const QString kClass = QStringLiteral("Medical_Class");
const QString kClassNumber = QStringLiteral("Medical_Class_Number");
const QString kCode = QStringLiteral("Medication_Code");
const QString kName = QStringLiteral("Medication_Name");
const QString kNumber = QStringLiteral("Medication_Number");
const QString kUnit = QStringLiteral("Unit_Code_Name");

// ASCII digits only, at least one.
bool allDigits(QStringView s) {
    if (s.isEmpty())
        return false;
    return std::all_of(s.begin(), s.end(),
                       [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); });
}

// A decimal integer with an optional sign, within 32 bits; 0 otherwise.
int decimalOrZero(const QString &s) {
    QStringView digits(s);
    if (!digits.isEmpty() && (digits.front() == u'+' || digits.front() == u'-'))
        digits = digits.mid(1);
    if (!allDigits(digits))
        return 0;
    bool ok = false;
    const int value = s.toInt(&ok, 10);
    return ok ? value : 0;
}

// Year and month of a "yyyy-mm" text; false when it is not one.
bool splitMonth(const QString &month, int &year, int &mon) {
    if (month.size() != 7 || month.at(4) != QLatin1Char('-') || !allDigits(month.left(4)) ||
        !allDigits(QStringView(month).mid(5, 2)))
        return false;
    year = month.left(4).toInt();
    mon = month.mid(5, 2).toInt();
    return mon >= 1 && mon <= 12;
}

QString monthText(int year, int month) {
    return QStringLiteral("%1-%2")
        .arg(year, 4, 10, QLatin1Char('0'))
        .arg(month, 2, 10, QLatin1Char('0'));
}

} // namespace

QString MonthOf(const QDate &day) {
    return monthText(day.year(), day.month());
}

QString ShiftMonth(const QString &month, int delta) {
    int year = 0, mon = 0;
    if (!splitMonth(month, year, mon))
        return QString();
    const int index = year * 12 + (mon - 1) + delta;
    if (index < 0 || index >= 10000 * 12)
        return QString();
    return monthText(index / 12, index % 12 + 1);
}

QStringList ReadCalendarDays(const QStringList &lines, const QString &month) {
    int year = 0, mon = 0;
    if (!splitMonth(month, year, mon))
        return {};
    const int daysInMonth = QDate(year, mon, 1).daysInMonth();
    QStringList days;
    for (const QString &line : lines) {
        if (!HasStringTag(line, kCalendar))
            continue;
        const QString calendar = StripStringTag(line, kCalendar);
        const int last = static_cast<int>(qMin<qsizetype>(calendar.size(), daysInMonth));
        for (int p = 1; p <= last; ++p) {
            if (calendar.at(p - 1) != QLatin1Char('1'))
                continue;
            const QString day = month + QStringLiteral("-%1").arg(p, 2, 10, QLatin1Char('0'));
            if (!days.contains(day))
                days << day;
        }
    }
    std::sort(days.begin(), days.end(), std::greater<QString>());
    return days;
}

QString ReadDayDepartment(const QStringList &lines, const QString &day) {
    QString first;
    QString visitDate;
    for (const QString &line : lines) {
        if (line.contains(kVisitRecord))
            visitDate.clear();
        if (HasStringTag(line, kPerformDate))
            visitDate = StripStringTag(line, kPerformDate);
        if (!HasStringTag(line, kDepartment))
            continue;
        const QString code = StripStringTag(line, kDepartment);
        if (code.isEmpty())
            continue;
        if (visitDate == day)
            return code;
        if (first.isEmpty())
            first = code;
    }
    return first;
}

QList<TSelfDrug> ReadSelfDrugs(const QStringList &lines) {
    QList<TSelfDrug> drugs;
    QString medClass, classNumber, code, name, number, unit;
    for (const QString &line : lines) {
        if (HasStringTag(line, kClass))
            medClass = StripStringTag(line, kClass);
        if (HasStringTag(line, kClassNumber))
            classNumber = StripStringTag(line, kClassNumber);
        if (HasStringTag(line, kCode)) {
            code = StripStringTag(line, kCode);
            name.clear();
            number.clear();
            unit.clear();
        }
        if (HasStringTag(line, kName))
            name = StripStringTag(line, kName);
        if (HasStringTag(line, kNumber))
            number = StripStringTag(line, kNumber);
        if (HasStringTag(line, kUnit)) {
            unit = StripStringTag(line, kUnit);
            // Drug codes begin with 6; procedures, materials and comments do not.
            if (code.startsWith(QLatin1Char('6')) && !platform::TrimText(name).isEmpty())
                drugs << TSelfDrug{name, number, unit, decimalOrZero(classNumber), medClass};
            name.clear();
            number.clear();
            unit.clear();
        }
    }
    return drugs;
}

QStringList SelfDayBlock(const QString &day, const QList<TSelfDrug> &drugs) {
    if (drugs.isEmpty())
        return {};
    QStringList out{QString(day).replace(QLatin1Char('-'), QLatin1Char('.'))};
    QList<int> groups;
    for (const TSelfDrug &d : drugs) {
        if (!groups.contains(d.Days))
            groups << d.Days;
    }
    std::sort(groups.begin(), groups.end(), std::greater<int>());
    for (const int days : groups) {
        bool internal = false; // class 21: the class number counts days
        for (const TSelfDrug &d : drugs) {
            if (d.Days != days)
                continue;
            if (platform::TrimText(d.Suryo).isEmpty())
                out << d.Name;
            else
                out << d.Name + QChar(0x3000) + d.Suryo + d.Tani;
            if (d.MedClass.size() >= 2 && d.MedClass.startsWith(QStringLiteral("21")))
                internal = true;
        }
        if (days > 0 && !(days == 1 && !internal))
            out << QStringLiteral("　　") + QString::number(days) + QStringLiteral("日分");
    }
    return out;
}

} // namespace viewer
