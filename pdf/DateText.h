#pragma once
// The two date readers on an extracted text: the month of a checkup and the
// institutions and months of a drug document's visit history.

#include <QString>
#include <QStringList>

namespace pdf {

QString CheckupDateFromText(const QString &text);
void DrugDatesFromText(const QString &text, QStringList &list);

} // namespace pdf
