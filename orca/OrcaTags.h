#pragma once
#include <QString>
#include <QStringList>

// Reading ORCA's answers line by line, and the patient-number forms tried when
// ORCA does not know a number.

// The line without the first "<tag type="string">" and the first "</tag>"
// (exact, case-sensitive), trimmed of blanks and control characters at both ends.
QString StripStringTag(const QString &line, const QString &tag);

// Whether the line holds the leaf element: contains "<tag type="string">".
bool HasStringTag(const QString &line, const QString &tag);

// Whether the answer's result code starts with E10 (patient number not found).
bool IsE10Answer(const QString &text);

// The five candidate forms of a patient number, in order: the trimmed number,
// then "%.4d" .. "%.7d" when it is a non-negative integer shorter than that
// width; an entry that does not apply is empty.
QStringList PatientIdCandidates(const QString &patientId);
