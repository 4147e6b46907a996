#include "viewer/ViewerRules.h"

#include "core/CoreSource.h"
#include "orca/OrcaTags.h"
#include "platform/Trim.h"

#include <QFile>
#include <QUrl>

namespace viewer {

namespace {

// A text of decimal digits only (no sign, no blanks) as an integer; -1 otherwise.
int digitsValue(const QString &s) {
    if (s.isEmpty())
        return -1;
    for (const QChar c : s) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return -1;
    }
    bool ok = false;
    const int v = s.toInt(&ok, 10);
    return ok ? v : -1;
}

// The lines of a text file's content.
QStringList splitLines(QByteArray data) {
    if (data.startsWith("\xEF\xBB\xBF"))
        data.remove(0, 3);
    QStringList lines;
    if (data.isEmpty())
        return lines;
    for (QByteArray line : data.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        lines << QString::fromUtf8(line);
    }
    if (data.endsWith('\n'))
        lines.removeLast();
    return lines;
}

} // namespace

int RefreshIntervalSeconds(const QString &setting) {
    constexpr int kDefault = 60;
    const QString s = platform::TrimText(setting);
    qsizetype i = 0;
    bool negative = false;
    if (i < s.size() && (s.at(i) == QLatin1Char('+') || s.at(i) == QLatin1Char('-'))) {
        negative = s.at(i) == QLatin1Char('-');
        ++i;
    }
    const int magnitude = digitsValue(s.mid(i));
    if (magnitude < 0)
        return kDefault;
    const int value = negative ? -magnitude : magnitude;
    return qBound(10, value, 3600);
}

QString DateLabelText(const QDate &day) {
    return QStringLiteral("%1年%2月%3日")
        .arg(day.year(), 4, 10, QLatin1Char('0'))
        .arg(day.month(), 2, 10, QLatin1Char('0'))
        .arg(day.day(), 2, 10, QLatin1Char('0'));
}

QString MonthCaption(const QString &month) {
    return month.mid(0, 4) + QStringLiteral("年") + month.mid(5, 2) + QStringLiteral("月");
}

QString AgeText(const QString &birthDate, const QDate &today) {
    const int y = digitsValue(birthDate.mid(0, 4));
    const int m = digitsValue(birthDate.mid(5, 2));
    const int d = digitsValue(birthDate.mid(8, 2));
    if (y < 0 || m < 0 || d < 0)
        return QString();
    const QDate born(y, m, d);
    if (!born.isValid() || !today.isValid())
        return QString();
    const qint64 days = born.daysTo(today);
    if (days < 0)
        return QString();
    // Whole 365.25-day years, in integers: days / 365.25 = 4 * days / 1461.
    return QString::number(4 * days / 1461) + QStringLiteral("歳");
}

QString PatientGetPath(const QString &chartNo) {
    return QStringLiteral("api01rv2/patientgetv2?id=") +
           QString::fromLatin1(QUrl::toPercentEncoding(chartNo));
}

QList<TReceptionRecord> ReadReceptionRecords(const QStringList &lines) {
    QList<TReceptionRecord> out;
    TReceptionRecord current;
    auto close = [&] {
        if (!current.PatientID.isEmpty())
            out << current;
        current = TReceptionRecord();
    };
    for (const QString &line : lines) {
        if (HasStringTag(line, QStringLiteral("Acceptance_Id")))
            close();
        if (HasStringTag(line, QStringLiteral("Patient_ID")))
            current.PatientID = StripStringTag(line, QStringLiteral("Patient_ID"));
        if (HasStringTag(line, QStringLiteral("Account_Time")))
            current.AccountTime = StripStringTag(line, QStringLiteral("Account_Time"));
        if (HasStringTag(line, QStringLiteral("WholeName")) &&
            platform::TrimText(current.Name).isEmpty())
            current.Name = StripStringTag(line, QStringLiteral("WholeName"));
    }
    close();
    return out;
}

bool IsShownInListMode(const TReceptionRecord &record, int listMode) {
    return listMode != 1 || platform::TrimText(record.AccountTime).isEmpty();
}

TPatientLookup ReadPatientLookup(const QStringList &lines) {
    TPatientLookup out;
    for (const QString &line : lines) {
        if (out.Name.isEmpty() && HasStringTag(line, QStringLiteral("WholeName")))
            out.Name = StripStringTag(line, QStringLiteral("WholeName"));
        if (out.PatientID.isEmpty() && HasStringTag(line, QStringLiteral("Patient_ID")))
            out.PatientID = StripStringTag(line, QStringLiteral("Patient_ID"));
    }
    return out;
}

QString AnswerResultCode(const QStringList &lines) {
    const QString tag = QStringLiteral("Api_Result");
    for (const QString &line : lines) {
        if (HasStringTag(line, tag))
            return StripStringTag(line, tag);
    }
    return QString();
}

bool IsAnsweredResult(TOrcaAnswerKind kind, const QString &code) {
    if (code.isEmpty())
        return false;
    switch (kind) {
    case TOrcaAnswerKind::AcceptList:
        return code == QLatin1String("00") || code == QLatin1String("21");
    case TOrcaAnswerKind::PatientGet:
        return code == QLatin1String("00") || code == QLatin1String("10");
    case TOrcaAnswerKind::OnlineSpec:
        return code == QLatin1String("000") || code == QLatin1String("E50") ||
               code == QLatin1String("E10") || code == QLatin1String("E51") ||
               code == QLatin1String("E52");
    case TOrcaAnswerKind::MedicalGet:
        return code == QLatin1String("00") || code == QLatin1String("10") ||
               code == QLatin1String("15") || code.startsWith(QLatin1Char('K'));
    }
    return false;
}

QStringList ReadTextFileLines(const QString &path) {
    return splitLines(ReadFileBytes(path));
}

QStringList ReadAnswerLines(const QString &path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return splitLines(f.readAll());
}

} // namespace viewer
