#pragma once
#include "viewer/TainTypes.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// Reading the saved answers of the three online APIs: drug information ("01"
// month overview and "02" dispensing days), medical information and specific
// health checkups. The line-based readers take the answer's lines; a field is
// recognised by its opening tag and its value taken as StripStringTag gives it.
namespace viewer {

// What the drug "01" answer tells.
struct TDrug01Answer {
    bool HasBirthDate = false;
    QString BirthDate;  // the last BirthDate line's value
    QStringList Months; // every MeTrMonth value, in answer order, no duplicates
    // "name|yyyy-mm": each institution of a month that is neither the clinic
    // itself nor a pharmacy, named by its prescribing institution when the
    // entry gives one, else by the entry's institution. No duplicates.
    QStringList InstMonthMap;
};

// Reads the drug "01" answer. An institution entry is made of the lines
// MeTrDiHCd, MeTrDiHNm, PrlsHCd and PrlsHNm in any order; it ends with its
// record, where the next entry begins (a field the entry has already had), at
// the next month or at the end of the answer, so a prescriber's lines are
// always credited to their own entry.
TDrug01Answer ParseDrugGet01Lines(const QStringList &lines, const QString &selfInstCd);

// Reads the drug "02" answer for month ("yyyy-mm") as an XML document and
// appends one prescription per dispensing record to out. Returns false when the
// document lacks onlinedruggetres or MeTrMonthInf (nothing appended), or when it
// is not well-formed XML; then *error (when given) holds what went wrong and
// nothing of this answer is appended.
bool ParseDrugGet02Xml(const QByteArray &xml, const QString &month, QList<TPrescription> &out,
                       QString *error = nullptr);

// "Times" as the number of days: a decimal integer (blanks around it allowed),
// 0 when empty or not a number.
int TimesValue(const QString &text);

// Adds the checkup dates of a checkup answer (EffectiveTime values of 10 or
// more characters) to dates unless present.
void ParseSpecGetLines(const QStringList &lines, QStringList &dates);

// Adds "name=yyyy-mm" for each record of a medical answer to entries unless
// present, skipping the clinic's own and pharmacy codes and records without
// month, code or name. A record is made of MeTrDiHCd, MeTrDiHNm, PrlsHCd,
// PrlsHNm and InOut in any order and ends as the drug "01" entries do; the
// prescribing institution, when given, stands for the record's institution.
// Returns the entries added, in order.
QStringList ParseMedGetLines(const QStringList &lines, const QString &selfInstCd,
                             QStringList &entries);

} // namespace viewer
