#include "viewer/TainText.h"

#include "platform/Trim.h"
#include "viewer/TainMonths.h"
#include "viewer/TainRules.h"

#include <QHash>
#include <QStringList>

namespace viewer {

namespace {

const QChar kWideSpace(0x3000);

// "2024.05.01" for "20240501" (a shorter date gives shorter pieces).
QString dateText(const QString &prescDate) {
    return prescDate.mid(0, 4) + QLatin1Char('.') + prescDate.mid(4, 2) + QLatin1Char('.') +
           prescDate.mid(6, 2);
}

// The drug lines of one prescription: the largest day count first, each group
// in answer order and followed by its "n日分" line when n is more than 1.
void appendDrugLines(const TPrescription &p, QStringList &lines) {
    QList<int> counts;
    for (const TDrugItem &d : p.Drugs) {
        if (!counts.contains(d.Kai))
            counts << d.Kai;
    }
    for (qsizetype i = 0; i + 1 < counts.size(); ++i) {
        for (qsizetype j = i + 1; j < counts.size(); ++j) {
            if (counts.at(j) > counts.at(i))
                counts.swapItemsAt(i, j);
        }
    }
    for (const int v : std::as_const(counts)) {
        for (const TDrugItem &d : p.Drugs) {
            if (d.Kai != v)
                continue;
            QString line = d.SryName;
            if (!IsNoQuantity(d.Suryo))
                line += kWideSpace + d.Suryo + platform::TrimText(d.Tani);
            lines << line;
        }
        if (v > 1)
            lines << QString(2, kWideSpace) + QString::number(v) + QStringLiteral("日分");
    }
}

} // namespace

bool IsNoQuantity(const QString &suryo) {
    const QString s = platform::TrimText(suryo);
    if (s.isEmpty())
        return true;
    bool ok = false;
    const double v = s.toDouble(&ok);
    return ok && v == 0.0;
}

QString FormatTainText(const QList<TPrescription> &prescriptions, const QString &nameFilter,
                       const QString &exclusionCode, bool latestOnly, bool halfYear, bool dateOnly,
                       const QDate &today) {
    // Selection.
    const QString filter = platform::TrimText(nameFilter);
    QList<qsizetype> kept;
    for (qsizetype i = 0; i < prescriptions.size(); ++i) {
        const TPrescription &p = prescriptions.at(i);
        if (!nameFilter.isEmpty() && platform::TrimText(p.InstitutionName) != filter)
            continue;
        if (!exclusionCode.isEmpty() && p.InstitutionCd.endsWith(exclusionCode))
            continue;
        if (IsPharmacyCode(p.InstitutionCd))
            continue;
        kept << i;
    }
    const auto date = [&](qsizetype k) -> const QString & {
        return prescriptions.at(kept.at(k)).PrescDate;
    };

    // Newest first; equal dates end up in the order this exchange sort leaves them.
    for (qsizetype i = 0; i + 1 < kept.size(); ++i) {
        for (qsizetype j = i + 1; j < kept.size(); ++j) {
            if (QString::compare(date(j), date(i), Qt::CaseSensitive) > 0)
                kept.swapItemsAt(i, j);
        }
    }

    if (latestOnly) {
        QHash<QString, QString> latest; // case-folded name -> its latest day
        for (qsizetype k = 0; k < kept.size(); ++k) {
            const QString key = prescriptions.at(kept.at(k)).InstitutionName.toCaseFolded();
            if (!latest.contains(key))
                latest.insert(key, date(k));
        }
        const QString cutOff = halfYear ? HalfYearStart(today) : QString();
        for (qsizetype k = kept.size() - 1; k >= 0; --k) {
            const QString &day =
                latest[prescriptions.at(kept.at(k)).InstitutionName.toCaseFolded()];
            if (date(k) != day || (halfYear && QString::compare(day, cutOff) < 0))
                kept.removeAt(k);
        }
    }

    QStringList lines;
    QString prevName, prevDate;
    for (qsizetype k = 0; k < kept.size(); ++k) {
        const TPrescription &p = prescriptions.at(kept.at(k));
        const QString name = platform::TrimText(p.InstitutionName);
        const QString prev = platform::TrimText(prevName);
        if (!prevName.isEmpty() && prev != name)
            lines << QString();
        if (!prevDate.isEmpty() && prevDate != p.PrescDate && prev == name)
            lines << QString();
        const QString day = dateText(p.PrescDate);
        if (dateOnly)
            lines << day;
        else if (k == 0 || name != prev || p.PrescDate != prevDate)
            lines << day + kWideSpace + p.InstitutionName;
        else
            lines << day;
        appendDrugLines(p, lines);
        prevName = p.InstitutionName;
        prevDate = p.PrescDate;
    }

    QString text;
    for (const QString &line : std::as_const(lines))
        text += line + QStringLiteral("\r\n");
    return text;
}

} // namespace viewer
