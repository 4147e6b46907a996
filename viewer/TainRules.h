#pragma once
#include <QString>
#include <QStringList>

// How other institutions' codes, names and answers are told apart. Shared by
// the drug, medical and checkup loaders, the institution grid and the text.
namespace viewer {

// Whether an institution code is the clinic's own: selfInstCd is not empty and
// the code ends with it (a shorter or empty code never is).
bool IsOwnInstitutionCode(const QString &code, const QString &selfInstCd);

// Whether an institution code is a pharmacy's: at least three characters, the
// third being "4" (the fee-table digit of the 10-digit code).
bool IsPharmacyCode(const QString &code);

// Whether a name looks like a medical institution's: it contains 科, 病院,
// クリニック, センター, 診療所, 医院 or 醫院, does not contain 薬局 and does
// not begin with 診療. Exact characters, no normalisation.
bool IsInstitutionName(const QString &name);

// Appends entry unless the list holds it already (letter case ignored);
// returns whether it was added.
bool AddUnlessPresent(QStringList &list, const QString &entry);

// Whether a saved answer of an online API (drug, medical, checkup) is an answer
// the viewer can rely on: a success code, a warning with its data, "no data"
// (E50), more than fits (E51, E52) or a patient ORCA does not know (E10...).
// Any other result code, or none, means the request failed.
bool IsOnlineAnswerUsable(const QStringList &lines);

} // namespace viewer
