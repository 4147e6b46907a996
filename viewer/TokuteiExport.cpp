#include "viewer/TokuteiExport.h"

#include "core/CoreSource.h"
#include "orca/OrcaTags.h"
#include "platform/AppPaths.h"
#include "platform/PrivateFile.h"
#include "platform/Trim.h"
#include "viewer/ViewerRules.h"

#include <QFileInfo>

#include <algorithm>

namespace viewer {

namespace {

const QByteArray kBomBytes("\xEF\xBB\xBF");
const QByteArray kCrLf("\r\n");

// Decimal digits only, as a number; -1 for anything else.
int digitsValue(QStringView s) {
    if (s.isEmpty())
        return -1;
    int v = 0;
    for (const QChar c : s) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return -1;
        v = v * 10 + (c.unicode() - '0');
    }
    return v;
}

// Ascending by text, letter case ignored, exact text as the tie-break so the
// order never depends on where the lines came from.
bool textLess(const QString &a, const QString &b) {
    const int c = QString::compare(a, b, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a < b;
}

} // namespace

// ---- the patient list ----

TExportPatientList ParseExportPatientList(const QStringList &lines) {
    TExportPatientList out;
    out.LineCount = int(lines.size());
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString &line = lines.at(i);
        const qsizetype comma = line.indexOf(QLatin1Char(','));
        if (comma < 0)
            continue;
        TExportPatient p;
        p.Position = int(i + 1);
        p.PatientID = platform::TrimText(line.left(comma));
        p.Name = platform::TrimText(line.mid(comma + 1));
        if (p.PatientID.isEmpty() || p.Name.isEmpty())
            continue;
        out.Patients << p;
    }
    return out;
}

// ---- the checkup cache ----

QString TokuteiCachePath() {
    return platform::AppDataDir() + QStringLiteral("TokuteiCacheORCA.txt");
}

TCheckupCache ParseCheckupCache(const QStringList &lines) {
    TCheckupCache cache;
    for (const QString &line : lines) {
        const QStringList fields = line.split(QLatin1Char('\t'));
        if (fields.size() < 2)
            continue;
        const QString id = platform::TrimText(fields.at(0));
        if (id.isEmpty())
            continue;
        cache.Birth.insert(id, platform::TrimText(fields.at(1)));
        cache.Dates.insert(id, fields.size() > 2 ? platform::TrimText(fields.at(2)) : QString());
    }
    return cache;
}

QByteArray CheckupCacheBytes(const TCheckupCache &cache) {
    QStringList lines;
    lines.reserve(cache.Birth.size());
    for (auto it = cache.Birth.cbegin(); it != cache.Birth.cend(); ++it)
        lines << it.key() + QLatin1Char('\t') + it.value() + QLatin1Char('\t') +
                     cache.Dates.value(it.key());
    std::sort(lines.begin(), lines.end(), textLess);
    QByteArray out = kBomBytes;
    for (const QString &line : std::as_const(lines))
        out += line.toUtf8() + kCrLf;
    return out;
}

TCheckupCache LoadCheckupCache(const QString &path) {
    if (!QFileInfo::exists(path))
        return {};
    return ParseCheckupCache(ReadTextFileLines(path));
}

void SaveCheckupCache(const QString &path, const TCheckupCache &cache) {
    WritePrivateFileAtomically(path, CheckupCacheBytes(cache));
}

// ---- dates and ages ----

bool ParseYmd(const QString &text, QDate *date) {
    if (text.size() < 10)
        return false;
    const int y = digitsValue(QStringView(text).mid(0, 4));
    const int m = digitsValue(QStringView(text).mid(5, 2));
    const int d = digitsValue(QStringView(text).mid(8, 2));
    if (y < 0 || m < 0 || d < 0)
        return false;
    const QDate parsed(y, m, d);
    if (!parsed.isValid())
        return false;
    if (date)
        *date = parsed;
    return true;
}

QString AgeOn(const QString &birth, const QDate &day) {
    QDate born;
    if (!ParseYmd(birth, &born) || !day.isValid() || born > day)
        return QString();
    int age = day.year() - born.year();
    if (day.month() * 100 + day.day() < born.month() * 100 + born.day())
        --age;
    return QString::number(age);
}

void AddCheckupDate(QStringList &dates, const QString &date) {
    const auto at = std::lower_bound(dates.begin(), dates.end(), date);
    if (at != dates.end() && *at == date)
        return;
    dates.insert(at, date);
}

QStringList SplitCachedDates(const QString &text) {
    QStringList dates;
    for (const QString &part : text.split(QLatin1Char(';'))) {
        const QString date = platform::TrimText(part);
        if (!date.isEmpty())
            AddCheckupDate(dates, date);
    }
    return dates;
}

bool MayOfferDifferential(bool cacheHasPatients, const QString &lastFetch, const QDate &today,
                          QDate *last) {
    QDate fetched;
    if (!cacheHasPatients || !ParseYmd(lastFetch, &fetched))
        return false;
    const qint64 days = fetched.daysTo(today);
    if (days < 0 || days > 180)
        return false;
    if (last)
        *last = fetched;
    return true;
}

// ---- reading the answers ----

QString ReadBirthDate(const QStringList &lines) {
    const QString tag = QStringLiteral("BirthDate");
    for (const QString &line : lines) {
        if (HasStringTag(line, tag)) {
            const QString value = StripStringTag(line, tag);
            return value.size() >= 10 ? value : QString();
        }
    }
    return QString();
}

QStringList ReadCheckupDates(const QStringList &lines) {
    const QString tag = QStringLiteral("EffectiveTime");
    QStringList dates;
    for (const QString &line : lines) {
        if (!HasStringTag(line, tag))
            continue;
        const QString value = StripStringTag(line, tag);
        if (value.size() >= 10)
            AddCheckupDate(dates, value);
    }
    return dates;
}

QStringList ReadReceptionPatientIds(const QStringList &lines) {
    const QString tag = QStringLiteral("Patient_ID");
    QStringList ids;
    for (const QString &line : lines) {
        if (HasStringTag(line, tag))
            ids << StripStringTag(line, tag);
    }
    return ids;
}

// ---- the CSV ----

QString ExportSortKey(const QString &chartNo, const QString &dateKey) {
    bool ok = false;
    int value = chartNo.toInt(&ok, 10);
    if (!ok)
        value = 0;
    return QString::asprintf("%.10d", value) + dateKey;
}

QString CsvField(const QString &text) {
    const bool needsQuotes = text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('"')) ||
                             text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n'));
    if (!needsQuotes)
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

TExportRow MakeExportRow(const QString &chartNo, const QString &name, const QString &birth,
                         const QString &date, const QString &currentAge) {
    QString yearMonth;
    QString ageAtCheckup;
    QString dateKey = QStringLiteral("0000-00-00");
    if (!date.isNull()) {
        yearMonth = date.mid(0, 4) + date.mid(5, 2);
        dateKey = date;
        QDate day;
        if (!birth.isEmpty() && ParseYmd(date, &day))
            ageAtCheckup = AgeOn(birth, day);
    }
    const QStringList fields{chartNo, name, birth, yearMonth, ageAtCheckup, currentAge};
    QStringList csv;
    for (const QString &f : fields)
        csv << CsvField(f);
    return TExportRow{ExportSortKey(chartNo, dateKey), csv.join(QLatin1Char(','))};
}

QByteArray ExportCsvBytes(QList<TExportRow> rows) {
    std::sort(rows.begin(), rows.end(), [](const TExportRow &a, const TExportRow &b) {
        const int c = QString::compare(a.Key, b.Key, Qt::CaseInsensitive);
        if (c != 0)
            return c < 0;
        return textLess(a.Text, b.Text);
    });
    QByteArray out = kBomBytes + kTkkCsvHeader.toUtf8() + kCrLf;
    for (const TExportRow &row : std::as_const(rows))
        out += row.Text.toUtf8() + kCrLf;
    return out;
}

void WritePrivateFileAtomically(const QString &path, const QByteArray &data) {
    QString reason;
    if (!platform::SavePrivateFile(path, data, &reason))
        throw EAppError(QStringLiteral("EFCreateError"),
                        QStringLiteral("%1 に書き込めません: %2").arg(path, reason));
}

} // namespace viewer
