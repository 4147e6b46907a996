#pragma once
#include <QByteArray>
#include <QDate>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// Widget-free parts of the specific-health-checkup CSV export: the patient
// list, the checkup cache TokuteiCacheORCA.txt, dates and ages, reading the
// answers, and the CSV rows.
namespace viewer {

// ---- the patient list (PatientCache.csv) ----

// One patient of the list: its position in the file (from 1; lines that give
// no patient are counted too), chart number and name, both trimmed.
struct TExportPatient {
    int Position = 0;
    QString PatientID;
    QString Name;
};

struct TExportPatientList {
    int LineCount = 0; // every line of the file
    QList<TExportPatient> Patients;
};

// A line gives a patient when it has a comma and neither the text before the
// first comma nor the text after it is blank.
TExportPatientList ParseExportPatientList(const QStringList &lines);

// ---- the checkup cache ----

// TokuteiCacheORCA.txt in the program's folder (platform::AppDataDir).
QString TokuteiCachePath();

// What the cache knows per chart number: the birth date text as ORCA gave it
// and the checkup dates joined with ";". Every chart number of Dates is in Birth.
struct TCheckupCache {
    QHash<QString, QString> Birth;
    QHash<QString, QString> Dates;
};

// The cache's lines "number<TAB>birth<TAB>dates": split at tabs, fields
// trimmed; a line with fewer than two fields or a blank number is ignored; a
// later line for a number replaces an earlier one.
TCheckupCache ParseCheckupCache(const QStringList &lines);

// The file's content: one line per number of Birth, sorted by its text, with
// a byte-order mark and CR LF after every line.
QByteArray CheckupCacheBytes(const TCheckupCache &cache);

// A missing file is an empty cache. Throws EAppError when the file exists but
// cannot be read (so that the export never replaces a cache it could not read).
TCheckupCache LoadCheckupCache(const QString &path);

// Replaces the file at once (temporary file renamed over it), readable by its
// owner only when new. Throws EAppError when it cannot be written; the old
// file then stays.
void SaveCheckupCache(const QString &path, const TCheckupCache &cache);

// ---- dates and ages ----

// "yyyy?mm?dd…": characters 1-4, 6-7 and 9-10 as decimal digits forming a
// real date; the 5th and 8th characters and anything after the 10th are not
// looked at. False for a shorter text, other characters or a day that does
// not exist.
bool ParseYmd(const QString &text, QDate *date = nullptr);

// The age in whole years on the day, in decimal; empty when the birth text is
// not a date (ParseYmd) or lies after the day.
QString AgeOn(const QString &birth, const QDate &day);

// A patient's checkup dates: ascending, each date once.
void AddCheckupDate(QStringList &dates, const QString &date);

// The dates of a cache entry ("a;b;c"): every part that is not blank, trimmed,
// ascending and each once.
QStringList SplitCachedDates(const QString &text);

// Whether the differential run may be offered: the cache knows birth dates,
// [TOKUTEI] LASTFETCH is a date (ParseYmd) not after today and at most 180
// days before it. The date is returned in *last.
bool MayOfferDifferential(bool cacheHasPatients, const QString &lastFetch, const QDate &today,
                          QDate *last = nullptr);

// ---- reading the answers ----

// The birth date of a patientgetv2 answer: the first BirthDate line's value
// when it has at least 10 characters, else empty.
QString ReadBirthDate(const QStringList &lines);

// The checkup dates of an onlinespecgetv2 answer: every EffectiveTime value of
// at least 10 characters, ascending and each once.
QStringList ReadCheckupDates(const QStringList &lines);

// The chart numbers of a reception list answer (every Patient_ID line).
QStringList ReadReceptionPatientIds(const QStringList &lines);

// ---- the CSV ----

inline const QString kTkkCsvHeader =
    QStringLiteral("カルテ番号,氏名,生年月日,特定健診受診年月,受診時年齢,現在年齢");

// The chart number as a 32-bit signed decimal integer (0 when it is not one),
// zero-padded to at least ten digits, followed by the date key.
QString ExportSortKey(const QString &chartNo, const QString &dateKey);

// The field as it stands, or, when it holds a comma, a double quote, CR or
// LF, in double quotes with inner double quotes doubled.
QString CsvField(const QString &text);

struct TExportRow {
    QString Key;
    QString Text; // the CSV line without its line end
};

// The row of one checkup date (null date: the patient's row without one).
TExportRow MakeExportRow(const QString &chartNo, const QString &name, const QString &birth,
                         const QString &date, const QString &currentAge);

// The file: byte-order mark, the header, the rows ordered by key and then by
// text (letter case ignored), CR LF after every line.
QByteArray ExportCsvBytes(QList<TExportRow> rows);

// Writes the file through a temporary file renamed over the target, so a
// failed write leaves the old file; a new file is readable by its owner only.
// Throws EAppError ("… に書き込めません") when it cannot be written.
void WritePrivateFileAtomically(const QString &path, const QByteArray &data);

} // namespace viewer
