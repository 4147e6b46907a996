#include "viewer/TainGrid.h"

#include "platform/Trim.h"
#include "viewer/TainMonths.h"
#include "viewer/TainRules.h"

namespace viewer {

namespace {

const QString kPrescribed = QStringLiteral("○");
const QString kNamed = QStringLiteral("*");
const QString kCheckup = QStringLiteral("T");

void addMonth(QStringList &months, const QString &month) {
    if (!months.contains(month, Qt::CaseSensitive))
        months << month;
}

// "yyyy-mm" of a "yyyymmdd" dispensing date.
QString monthOfPrescDate(const QString &prescDate) {
    return prescDate.mid(0, 4) + QLatin1Char('-') + prescDate.mid(4, 2);
}

// "yyyy-mm" of a "yyyy-mm-dd" checkup date.
QString monthOfCheckupDate(const QString &date) {
    return date.mid(0, 4) + QLatin1Char('-') + date.mid(5, 2);
}

// Name and month of a "name<sep>month" entry; false without the separator.
bool splitEntry(const QString &entry, QChar sep, QString &name, QString &month) {
    const qsizetype at = entry.indexOf(sep);
    if (at < 0)
        return false;
    name = entry.left(at);
    month = entry.mid(at + 1);
    return true;
}

} // namespace

QString MonthColumnCaption(const QString &month) {
    if (month.size() == 7 && month.at(4) == QLatin1Char('-'))
        return month.mid(2, 2) + QLatin1Char('/') + month.mid(5, 2);
    return month;
}

TTainGridContent BuildTainGrid(const TTainGridInput &in) {
    TTainGridContent out;
    QStringList &names = out.Institutions;
    QStringList &months = out.Months;

    for (const TPrescription &p : in.Prescriptions) {
        if (IsOwnInstitutionCode(p.InstitutionCd, in.SelfInstCd))
            continue;
        AddUnlessPresent(names, p.InstitutionName);
        addMonth(months, monthOfPrescDate(p.PrescDate));
    }
    const auto addNamed = [&](const QStringList &entries, QChar sep) {
        for (const QString &e : entries) {
            QString name, month;
            if (!splitEntry(e, sep, name, month) || !IsInstitutionName(name))
                continue;
            AddUnlessPresent(names, name);
            addMonth(months, month);
        }
    };
    addNamed(in.InstMonthMap, QLatin1Char('|'));
    addNamed(in.MedInstMonths, QLatin1Char('='));
    SortMonthsNewestFirst(months);

    QStringList checkupMonths;
    if (!in.TkkDates.isEmpty()) {
        for (const QString &d : in.TkkDates)
            checkupMonths << monthOfCheckupDate(d);
        out.CheckupRow = true;
    } else if (in.CheckupPdf.Found) {
        checkupMonths << in.CheckupPdf.Month;
        out.CheckupRow = true;
    }
    for (const QString &m : std::as_const(checkupMonths))
        addMonth(months, m);
    SortMonthsNewestFirst(months);

    const int rows = names.size() + (out.CheckupRow ? 1 : 0);
    out.Marks = QList<QStringList>(rows, QStringList(months.size()));
    const auto rowOf = [&](const QString &name) { return names.indexOf(name); };

    for (const TPrescription &p : in.Prescriptions) {
        if (IsOwnInstitutionCode(p.InstitutionCd, in.SelfInstCd) || IsPharmacyCode(p.InstitutionCd))
            continue;
        const qsizetype r = rowOf(p.InstitutionName);
        const qsizetype c = months.indexOf(monthOfPrescDate(p.PrescDate));
        if (r >= 0 && c >= 0)
            out.Marks[r][c] = kPrescribed;
    }
    const auto markNamed = [&](const QStringList &entries, QChar sep) {
        for (const QString &e : entries) {
            QString name, month;
            if (!splitEntry(e, sep, name, month))
                continue;
            const qsizetype r = rowOf(name);
            const qsizetype c = months.indexOf(month);
            if (r >= 0 && c >= 0 && platform::TrimText(out.Marks[r][c]).isEmpty())
                out.Marks[r][c] = kNamed;
        }
    };
    markNamed(in.InstMonthMap, QLatin1Char('|'));
    markNamed(in.MedInstMonths, QLatin1Char('='));

    if (out.CheckupRow) {
        for (const QString &m : std::as_const(checkupMonths)) {
            const qsizetype c = months.indexOf(m);
            if (c >= 0)
                out.Marks[rows - 1][c] = kCheckup;
        }
    }
    return out;
}

} // namespace viewer
