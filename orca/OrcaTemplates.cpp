#include "orca/OrcaTemplates.h"

namespace {

QString medicalDayRequest(const QString &patientId, const QString &date,
                          const QString &departmentElement) {
    return QStringLiteral(
               "<data>  <medicalgetreq type=\"record\">    <Patient_ID type=\"string\">") +
           XmlEscapeValue(patientId) + QStringLiteral("</Patient_ID>") +
           QStringLiteral("    <Perform_Date type=\"string\">") + XmlEscapeValue(date) +
           QStringLiteral("</Perform_Date>") +
           QStringLiteral("    <Medical_Information type=\"record\">") + departmentElement +
           QStringLiteral("    </Medical_Information>") + QStringLiteral("  </medicalgetreq>") +
           QStringLiteral("</data>");
}

} // namespace

QString FillPlaceholder(const QString &body, const QString &placeholder, const QString &value) {
    QString out = body;
    const qsizetype at = placeholder.isEmpty() ? -1 : out.indexOf(placeholder);
    if (at >= 0)
        out.replace(at, placeholder.size(), XmlEscapeValue(value));
    return out;
}

QString BuildMedicalDayRequest(const QString &patientId, const QString &date) {
    return medicalDayRequest(
        patientId, date,
        QStringLiteral("      <Department_Code type=\"string\"></Department_Code>"));
}

QString BuildMedicalDayDeptRequest(const QString &patientId, const QString &date,
                                   const QString &departmentCode) {
    return medicalDayRequest(patientId, date,
                             QStringLiteral("      <Department_Code type=\"string\">") +
                                 XmlEscapeValue(departmentCode) +
                                 QStringLiteral("</Department_Code>"));
}

QString XmlEscapeValue(const QString &value) {
    QString out;
    out.reserve(value.size());
    for (const QChar c : value) {
        if (c == QLatin1Char('&'))
            out += QStringLiteral("&amp;");
        else if (c == QLatin1Char('<'))
            out += QStringLiteral("&lt;");
        else if (c == QLatin1Char('>'))
            out += QStringLiteral("&gt;");
        else
            out += c;
    }
    return out;
}
