#pragma once
#include <QString>

// API paths and request bodies of the ORCA API. Every body is one line of XML;
// the blanks inside are sent as they stand. Placeholders are replaced by plain
// substitution of their first occurrence: "XXXXX" patient number (always last,
// by the patient-ID retry), "RR" request number, "YYYY-MM" month (or empty),
// "YYYY-MM-DD" day.

inline const QString kPlaceholderPatientId = QStringLiteral("XXXXX");
inline const QString kPlaceholderRequestNumber = QStringLiteral("RR");
inline const QString kPlaceholderMonth = QStringLiteral("YYYY-MM");
inline const QString kPlaceholderDate = QStringLiteral("YYYY-MM-DD");

// Paths, relative to the API base URL.
inline const QString kPathAcceptList = QStringLiteral("api01rv2/acceptlstv2?class=03");
inline const QString kPathPatientGet = QStringLiteral("api01rv2/patientgetv2?id="); // + number
// What the connection test requests unless [PARAMA] API names another path.
inline const QString kPathDefaultTest = QStringLiteral("api01rv2/patientgetv2?id=00001");
inline const QString kPathOnlineDrug = QStringLiteral("api01rv2/onlinedruggetv2");
inline const QString kPathOnlineMed = QStringLiteral("api01rv2/onlinemedgetv2");
inline const QString kPathOnlineSpec = QStringLiteral("api01rv2/onlinespecgetv2");
inline const QString kPathMedicalCalendar = QStringLiteral("api01rv2/medicalgetv2?class=03");
inline const QString kPathMedicalDay = QStringLiteral("api01rv2/medicalgetv2?class=01");
inline const QString kPathMedicalDayDept = QStringLiteral("api01rv2/medicalgetv2?class=02");

// Reception list of one day ("YYYY-MM-DD").
inline const QString kAcceptListTemplate =
    QStringLiteral("<data>  <acceptlstreq type=\"record\">    <Acceptance_Date "
                   "type=\"string\">YYYY-MM-DD</Acceptance_Date>  </acceptlstreq></data>");

// Other institutions' drug information ("RR", "XXXXX", "YYYY-MM").
inline const QString kDrugInfoTemplate = QStringLiteral(
    "<data>  <onlinedruggetreq type=\"record\">    <Request_Number "
    "type=\"string\">RR</Request_Number>    <Patient_ID type=\"string\">XXXXX</Patient_ID>    "
    "<MeTrMonth type=\"string\">YYYY-MM</MeTrMonth>    <InOut type=\"string\"></InOut>  "
    "</onlinedruggetreq></data>");

// Other institutions' medical information ("RR", "XXXXX", "YYYY-MM").
inline const QString kMedInfoTemplate = QStringLiteral(
    "<data>  <onlinemedgetreq type=\"record\">    <Request_Number "
    "type=\"string\">RR</Request_Number>    <Patient_ID type=\"string\">XXXXX</Patient_ID>    "
    "<MeTrMonth type=\"string\">YYYY-MM</MeTrMonth>    <InOut type=\"string\"></InOut>    "
    "<MeTrDiHCd type=\"string\"></MeTrDiHCd>    <PrlsHCd type=\"string\"></PrlsHCd>  "
    "</onlinemedgetreq></data>");

// Specific health checkups ("RR", "XXXXX").
inline const QString kCheckupTemplate = QStringLiteral(
    "<data>  <onlinespecgetreq type=\"record\">    <Request_Number "
    "type=\"string\">RR</Request_Number>    <Patient_ID type=\"string\">XXXXX</Patient_ID>    "
    "<EffectiveTime type=\"string\"></EffectiveTime>  </onlinespecgetreq></data>");

// The mark worker's fixed requests: request number 01, no month ("XXXXX" only).
inline const QString kMarkDrugTemplate = QStringLiteral(
    "<data>  <onlinedruggetreq type=\"record\">    <Request_Number "
    "type=\"string\">01</Request_Number>    <Patient_ID type=\"string\">XXXXX</Patient_ID>    "
    "<MeTrMonth type=\"string\"></MeTrMonth>    <InOut type=\"string\"></InOut>  "
    "</onlinedruggetreq></data>");
inline const QString kMarkMedTemplate = QStringLiteral(
    "<data>  <onlinemedgetreq type=\"record\">    <Request_Number "
    "type=\"string\">01</Request_Number>    <Patient_ID type=\"string\">XXXXX</Patient_ID>    "
    "<MeTrMonth type=\"string\"></MeTrMonth>    <InOut type=\"string\"></InOut>    "
    "<MeTrDiHCd type=\"string\"></MeTrDiHCd>    <PrlsHCd type=\"string\"></PrlsHCd>  "
    "</onlinemedgetreq></data>");
inline const QString kMarkCheckupTemplate = QStringLiteral(
    "<data>  <onlinespecgetreq type=\"record\">    <Request_Number "
    "type=\"string\">01</Request_Number>    <Patient_ID type=\"string\">XXXXX</Patient_ID>    "
    "<EffectiveTime type=\"string\"></EffectiveTime>  </onlinespecgetreq></data>");

// The clinic's own treatment calendar of one month ("XXXXX", "YYYY-MM").
inline const QString kSelfCalendarTemplate = QStringLiteral(
    "<data>  <medicalgetreq type=\"record\">    <Patient_ID "
    "type=\"string\">XXXXX</Patient_ID>    <Perform_Date type=\"string\">YYYY-MM</Perform_Date>    "
    "<Medical_Information type=\"record\">      <Department_Code "
    "type=\"string\"></Department_Code>    </Medical_Information>  </medicalgetreq></data>");

// The value with "&", "<" and ">" written as character references, so that
// no value can end an element or add one to a request document.
QString XmlEscapeValue(const QString &value);

// The template with the first occurrence of the placeholder replaced by the
// value, escaped (XmlEscapeValue).
QString FillPlaceholder(const QString &body, const QString &placeholder, const QString &value);

// The clinic's own treatment of one day (class 01): number and date inserted
// as given (escaped).
QString BuildMedicalDayRequest(const QString &patientId, const QString &date);

// The same for one department (class 02).
QString BuildMedicalDayDeptRequest(const QString &patientId, const QString &date,
                                   const QString &departmentCode);
