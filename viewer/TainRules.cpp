#include "viewer/TainRules.h"

#include "orca/OrcaTags.h"

namespace viewer {

bool IsOwnInstitutionCode(const QString &code, const QString &selfInstCd) {
    return !selfInstCd.isEmpty() && code.size() >= selfInstCd.size() &&
           code.endsWith(selfInstCd, Qt::CaseSensitive);
}

bool IsPharmacyCode(const QString &code) {
    return code.size() >= 3 && code.at(2) == QLatin1Char('4');
}

bool IsInstitutionName(const QString &name) {
    static const QString kinds[] = {
        QStringLiteral("科"),       QStringLiteral("病院"),   QStringLiteral("クリニック"),
        QStringLiteral("センター"), QStringLiteral("診療所"), QStringLiteral("医院"),
        QStringLiteral("醫院"),
    };
    bool kind = false;
    for (const QString &k : kinds) {
        if (name.contains(k, Qt::CaseSensitive)) {
            kind = true;
            break;
        }
    }
    return kind && !name.contains(QStringLiteral("薬局"), Qt::CaseSensitive) &&
           !name.startsWith(QStringLiteral("診療"), Qt::CaseSensitive);
}

bool AddUnlessPresent(QStringList &list, const QString &entry) {
    if (list.contains(entry, Qt::CaseInsensitive))
        return false;
    list.append(entry);
    return true;
}

bool IsOnlineAnswerUsable(const QStringList &lines) {
    const QString tag = QStringLiteral("Api_Result");
    for (const QString &line : lines) {
        if (!HasStringTag(line, tag))
            continue;
        const QString code = StripStringTag(line, tag);
        return code == QLatin1String("000") || code.startsWith(QLatin1Char('W')) ||
               code == QLatin1String("E50") || code == QLatin1String("E51") ||
               code == QLatin1String("E52") || code.startsWith(QLatin1String("E10"));
    }
    return false;
}

} // namespace viewer
