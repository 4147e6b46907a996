// The built-in demo data set: twenty-two fictional patients of a fictional
// clinic, twenty of them on the reception list of the start day, with other
// institutions' drug and medical information, checkups and the clinic's own
// records over the two years before it. Deterministic: the same start day
// gives the same data.
#pragma once

#include <QDate>
#include <QHash>
#include <QJsonArray>
#include <QString>

namespace standin {

// The demo clinic's own ten-digit institution code as the online data carry
// it; the settings hold its last seven digits ([PARAMA] KIKANCD=9900011).
inline constexpr const char *kDemoInstitutionCode = "1319900011";
inline constexpr const char *kDemoKikancd = "9900011";
inline constexpr const char *kDemoInstitutionName = "みなと見本クリニック";

// Patients in the data-folder format; receptions keyed by "yyyy-mm-dd".
void BuildDemo(const QDate &today, QJsonArray *patients, QHash<QString, QJsonArray> *receptions);

} // namespace standin
