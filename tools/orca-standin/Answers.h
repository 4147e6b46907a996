// The answers of the API paths, one builder per API family, and what they
// share: the request as parsed, the answer header, the patient and insurance
// records, and the dated entries of a patient.
#pragma once

#include "DataStore.h"
#include "OrcaXml.h"

#include <QByteArray>
#include <QDate>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QString>

namespace standin {

// Removes characters up to U+0020 at both ends (U+3000 stays).
QString TrimBlanks(const QString &s);
// A field of a data-folder object as text (JSON numbers are accepted).
QString Str(const QJsonObject &o, const char *key);
QString Or(const QString &value, const QString &fallback);

// Leaf values of a request document, first occurrence of each name.
struct RequestDoc {
    bool wellFormed = true;
    QHash<QString, QString> fields;
    QString value(const char *name) const { return TrimBlanks(fields.value(QLatin1String(name))); }
};
RequestDoc ParseRequest(const QByteArray &body);
QHash<QString, QString> ParseQuery(const QString &query);

// What one API request brings to its answer builder.
struct ApiCall {
    const DataStore &store;
    QHash<QString, QString> query;
    RequestDoc doc;
    QDate today; // the server's current day: windows of months count from it
};

// The answer record with its header leaves; reskey empty: no Reskey leaf.
XmlNode AnswerRecord(const QString &record, const QString &result, const QString &message,
                     const QString &reskey);
// Patient_Information with number, names, birth date and sex.
void AddPatientInformation(XmlNode &parent, const QJsonObject &patient);
// QuaInf of the online answers: insurer, symbol and number of the card.
void AddQualification(XmlNode &parent, const QJsonObject &patient);
// The patient's insurance as "insurance" holds it, or an empty object.
QJsonObject Insurance(const QJsonObject &patient);

// The third digit of an institution code is the fee table; 4 is a pharmacy.
bool IsPharmacyCode(const QString &code);

// Entries of a patient list ("drugs", "medical", ...) with their resolved
// date, oldest first; an entry with only a "month" counts as its first day.
struct Dated {
    QDate date;
    QJsonObject item;
};
QList<Dated> DatedItems(const DataStore &store, const QJsonObject &patient, const char *key);

QString DateText(const QDate &d);
QString MonthText(const QDate &d);
// "yyyy-mm" to the first day of that month; invalid date otherwise.
QDate ParseMonth(const QString &text);

// patientgetv2 and acceptlstv2.
QByteArray AnswerPatientGet(const ApiCall &call);
QByteArray AnswerAcceptList(const ApiCall &call);
// medicalgetv2, classes 01, 02 and 03.
QByteArray AnswerMedicalGet(const ApiCall &call);
// The three online APIs.
QByteArray AnswerOnlineDrug(const ApiCall &call);
QByteArray AnswerOnlineMed(const ApiCall &call);
QByteArray AnswerOnlineSpec(const ApiCall &call);

// The answer of a path carrying nothing but the given result code: the record
// the path normally answers with, and no data. A path outside the table gets
// a record named after its last segment.
QByteArray AnswerResultOnly(const QString &apiPath, const QString &query, const QString &code);

} // namespace standin
