#pragma once
#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

// The viewer's small rules that need no window: settings values, captions,
// the age, and reading the reception and patient answers.
namespace viewer {

// [PARAMA] REFRESH as seconds: a decimal integer (blanks around it allowed),
// held within 10..3600; anything else (hexadecimal, too large for 32 bits,
// not a number) gives 60.
int RefreshIntervalSeconds(const QString &setting);

// "2025年10月26日"
QString DateLabelText(const QDate &day);

// A month's caption: "2023年06月" for "2023-06" (the own-clinic month, the
// oldest month of the other institutions' drug information).
QString MonthCaption(const QString &month);

// The age in whole 365.25-day years from a "yyyy-mm-dd" birth date to today, as
// "<n>歳"; empty when the text does not give a valid date or the birth date lies
// after today.
QString AgeText(const QString &birthDate, const QDate &today);

// The patient lookup's API path for a chart number as typed: the number is
// percent-encoded, so it can never add to or change the query.
QString PatientGetPath(const QString &chartNo);

// One acceptance of the reception list answer.
struct TReceptionRecord {
    QString PatientID;   // the last Patient_ID of the record, trimmed
    QString Name;        // the first non-blank WholeName, trimmed
    QString AccountTime; // blank while the patient is still in reception
};

// The acceptances of a saved acceptlstv2 answer, in answer order. A record
// starts at each Acceptance_Id line; records without a chart number are left
// out.
QList<TReceptionRecord> ReadReceptionRecords(const QStringList &lines);

// Whether a record is listed in the list mode (1: only those still in reception).
bool IsShownInListMode(const TReceptionRecord &record, int listMode);

// What the patient lookup answered: the name (first non-empty WholeName) and the
// chart number as ORCA keeps it (first non-empty Patient_ID).
struct TPatientLookup {
    QString Name;
    QString PatientID;
};
TPatientLookup ReadPatientLookup(const QStringList &lines);

// The result code of an answer and what it means.
enum class TOrcaAnswerKind { AcceptList, PatientGet, OnlineSpec, MedicalGet };

// The value of the first Api_Result line; a null text when there is none.
QString AnswerResultCode(const QStringList &lines);

// Whether ORCA answered the question (with data or with "there is none"):
// acceptlstv2 00 and 21 (no reception that day); patientgetv2 00 and 10 (no
// such patient); onlinespecgetv2 000, E50 (no data), E10 (no such patient),
// E51 and E52 (more than fits, data still there); medicalgetv2 00, 10 (no
// such patient), 15 (no data) and the warnings K… (data still there). Every
// other code, and an answer without one, is a failure.
bool IsAnsweredResult(TOrcaAnswerKind kind, const QString &code);

// A text file's lines: UTF-8, a leading byte-order mark skipped, CR LF or LF;
// a line break at the end does not start another line. Throws EAppError when
// the file cannot be read.
QStringList ReadTextFileLines(const QString &path);

// A saved answer's lines, as ReadTextFileLines reads them; empty when the file
// cannot be read.
QStringList ReadAnswerLines(const QString &path);

} // namespace viewer
