#pragma once
#include "viewer/TainTypes.h"

#include <QList>
#include <QString>
#include <QStringList>

// What the institution history grid shows: one row per other institution, one
// column per month (newest first), and the marks ○ (a prescription dispensed
// that month), * (named in the drug month overview or the medical information
// that month, without ○) and T (a specific health checkup that month, in the
// last row "特定健診").
namespace viewer {

// Where the checkup row's month comes from when ORCA gave no checkup dates: the
// patient's saved checkup PDF, if there is a readable one.
struct TCheckupPdfMonth {
    bool Found = false;
    QString Month; // "yyyy-mm"
};

struct TTainGridInput {
    QList<TPrescription> Prescriptions;
    QStringList InstMonthMap;    // "name|yyyy-mm"
    QStringList MedInstMonths;   // "name=yyyy-mm"
    QStringList TkkDates;        // "yyyy-mm-dd"
    TCheckupPdfMonth CheckupPdf; // consulted only when TkkDates is empty
    QString SelfInstCd;
};

struct TTainGridContent {
    QStringList Months;       // month columns, newest first ("yyyy-mm")
    QStringList Institutions; // institution rows in order of first appearance
    bool CheckupRow = false;  // a last row "特定健診" follows the institutions
    // Marks by row (institutions, then the checkup row) and month column.
    QList<QStringList> Marks;
};

TTainGridContent BuildTainGrid(const TTainGridInput &input);

// The caption of a month column: "24/05" for "2024-05"; any other text as it is.
QString MonthColumnCaption(const QString &month);

// The caption of the checkup row.
inline const QString kCheckupRowName = QStringLiteral("特定健診");

} // namespace viewer
