#pragma once
#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

// One drug line of one treatment day of the clinic's own records; lives only
// while a class 02 answer is turned into text. Values are trimmed.
struct TSelfDrug {
    QString Name;     // Medication_Name
    QString Suryo;    // Medication_Number, the quantity as ORCA writes it
    QString Tani;     // Unit_Code_Name
    int Days = 0;     // Medical_Class_Number as a decimal integer, 0 when it is not one
    QString MedClass; // Medical_Class
};

// The clinic's own medication history without the window: months, the
// medicalgetv2 answers (class 03 calendar, class 01 visits, class 02 treatment)
// and the text of one treatment day.
namespace viewer {

// "yyyy-mm" of a day.
QString MonthOf(const QDate &day);

// The month delta months after (or before) a "yyyy-mm" month, counted on year
// and month alone; empty when the text is not such a month.
QString ShiftMonth(const QString &month, int delta);

// The treatment days ("yyyy-mm-dd") of a class 03 answer for the month: every
// position of a Perform_Calendar value holding "1" names that day of the
// month. Each day once, newest first; positions that are no day of the month
// are ignored.
QStringList ReadCalendarDays(const QStringList &lines, const QString &month);

// The department to ask class 02 for on a day, from a class 01 answer: ORCA
// lists every visit of the day's month, so the Department_Code of the first
// visit on that day; when no visit names the day, the answer's first
// Department_Code. Empty when the answer names no department.
QString ReadDayDepartment(const QStringList &lines, const QString &day);

// The drug lines of a class 02 answer, in answer order: every medication with a
// code beginning with "6", a name and a Unit_Code_Name line, with the class and
// class number that precede it.
QList<TSelfDrug> ReadSelfDrugs(const QStringList &lines);

// The text block of one treatment day: the date ("2024.05.20"), then per
// number of days (most days first) its drugs in answer order and the days
// line ("　　14日分"). Empty when there are no drugs.
QStringList SelfDayBlock(const QString &day, const QList<TSelfDrug> &drugs);

} // namespace viewer
