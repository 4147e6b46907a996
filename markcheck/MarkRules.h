#pragma once
#include <QDateTime>
#include <QString>

// A patient's mark in the reception list with the time it was determined:
// empty, "◎" (other institutions' drug or medical information), "T" (specific
// health checkups) or "◎T".
struct TTainMark {
    QString Mark;
    QDateTime CheckedAt;
};

// How long a mark is reused before the patient is checked again.
constexpr int kMarkFreshMinutes = 30;

// Whether a cached mark may still be used at now: fewer than 30 whole minutes
// since CheckedAt. A CheckedAt after now (the clock was set back) is stale.
bool IsMarkFresh(const TTainMark &mark, const QDateTime &now);

// "◎" when other is set, then "T" when checkup is set.
QString ComposeMark(bool otherInstitution, bool checkup);

// The decision rules on the answers of the worker's three queries.
// Drug "01": any month listed.
bool DrugAnswerHasMonth(const QString &answer);
// Medical "01": some institution that is neither the clinic itself (its code
// ends with selfInstCd) nor a pharmacy (third character "4"); a code shorter
// than three characters counts as another institution.
bool MedAnswerHasOtherInstitution(const QString &answer, const QString &selfInstCd);
// Checkup "01": any checkup date.
bool CheckupAnswerHasDate(const QString &answer);
