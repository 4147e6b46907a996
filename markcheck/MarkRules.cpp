#include "markcheck/MarkRules.h"

#include "orca/OrcaTags.h"

bool IsMarkFresh(const TTainMark &mark, const QDateTime &now) {
    if (!mark.CheckedAt.isValid() || !now.isValid())
        return false;
    const qint64 ms = mark.CheckedAt.msecsTo(now);
    if (ms < 0)
        return false;
    return ms / 60000 < kMarkFreshMinutes;
}

QString ComposeMark(bool otherInstitution, bool checkup) {
    QString mark;
    if (otherInstitution)
        mark += QChar(0x25CE);
    if (checkup)
        mark += QLatin1Char('T');
    return mark;
}

bool DrugAnswerHasMonth(const QString &answer) {
    return answer.contains(QStringLiteral("<MeTrMonth type=\"string\">"));
}

bool MedAnswerHasOtherInstitution(const QString &answer, const QString &selfInstCd) {
    const QString tag = QStringLiteral("MeTrDiHCd");
    const QStringList lines = answer.split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        if (!HasStringTag(line, tag))
            continue;
        const QString code = StripStringTag(line, tag);
        if (!selfInstCd.isEmpty() && code.endsWith(selfInstCd))
            continue;
        if (code.size() < 3 || code.at(2) != QLatin1Char('4'))
            return true;
    }
    return false;
}

bool CheckupAnswerHasDate(const QString &answer) {
    return answer.contains(QStringLiteral("<EffectiveTime type=\"string\">"));
}
