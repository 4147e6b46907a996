#include "orca/OrcaTags.h"

#include "platform/Trim.h"

namespace {

QString openTag(const QString &tag) {
    return QLatin1Char('<') + tag + QStringLiteral(" type=\"string\">");
}

void removeFirst(QString &s, const QString &what) {
    const qsizetype at = s.indexOf(what);
    if (at >= 0)
        s.remove(at, what.size());
}

// Plain decimal integer with an optional sign, within 32 bits; -1 otherwise.
int integerValue(const QString &s) {
    qsizetype i = 0;
    if (i < s.size() && (s.at(i) == QLatin1Char('+') || s.at(i) == QLatin1Char('-')))
        ++i;
    if (i == s.size())
        return -1;
    for (; i < s.size(); ++i) {
        if (s.at(i) < QLatin1Char('0') || s.at(i) > QLatin1Char('9'))
            return -1;
    }
    bool ok = false;
    const int n = s.toInt(&ok, 10);
    return ok ? n : -1;
}

} // namespace

QString StripStringTag(const QString &line, const QString &tag) {
    QString s = line;
    removeFirst(s, openTag(tag));
    removeFirst(s, QStringLiteral("</") + tag + QLatin1Char('>'));
    return platform::TrimText(s);
}

bool HasStringTag(const QString &line, const QString &tag) {
    return line.contains(openTag(tag));
}

bool IsE10Answer(const QString &text) {
    return text.contains(QStringLiteral("<Api_Result type=\"string\">E10"));
}

QStringList PatientIdCandidates(const QString &patientId) {
    const QString p = platform::TrimText(patientId);
    const int n = integerValue(p);
    QStringList out{p};
    for (int width = 4; width <= 7; ++width) {
        if (n >= 0 && p.size() < width)
            out << QStringLiteral("%1").arg(n, width, 10, QLatin1Char('0'));
        else
            out << QString();
    }
    return out;
}
