#include "viewer/PatientCache.h"

#include "core/CoreSource.h"
#include "platform/PrivateFile.h"
#include "platform/Trim.h"

#include <QFile>
#include <QFileInfo>

#include <cstring>

namespace {

QByteArray readAll(const QString &path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw EAppError(QStringLiteral("EFOpenError"),
                        QStringLiteral("%1 を開けません: %2").arg(path, f.errorString()));
    QByteArray data = f.readAll();
    if (f.error() != QFileDevice::NoError)
        throw EAppError(QStringLiteral("EReadError"),
                        QStringLiteral("%1 を読めません: %2").arg(path, f.errorString()));
    return data;
}

} // namespace

QStringList ReadPatientCacheLines(const QString &path) {
    QByteArray bytes = readAll(path);
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    QStringList out;
    for (QByteArray line : bytes.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        out << QString::fromUtf8(line);
    }
    if (out.last().isEmpty())
        out.removeLast(); // what follows the last line feed
    return out;
}

QString PatientCacheKey(const QString &line) {
    const qsizetype comma = line.indexOf(QLatin1Char(','));
    return comma < 0 ? QString() : line.left(comma);
}

TPatientCache::TPatientCache(const QString &path) : m_path(path) {
    if (!QFileInfo::exists(path))
        return;
    const QByteArray data = readAll(path);
    m_needsBom = data.isEmpty();
    m_endsWithNewline = data.isEmpty() || data.endsWith('\n');
    // Only the numbers are needed: the bytes before each line's first comma.
    // (For UTF-8 text, equal bytes are equal text.)
    const char *p = data.constData();
    const char *const end = p + data.size();
    if (data.startsWith("\xEF\xBB\xBF"))
        p += 3;
    m_keys.reserve(data.size() / 16);
    while (p < end) {
        const char *lineEnd = static_cast<const char *>(std::memchr(p, '\n', size_t(end - p)));
        if (!lineEnd)
            lineEnd = end;
        if (const char *comma = static_cast<const char *>(std::memchr(p, ',', size_t(lineEnd - p))))
            m_keys.insert(QByteArray(p, comma - p));
        p = lineEnd + 1;
    }
}

void TPatientCache::Add(const QString &chartNo, const QString &name) {
    const QString key = platform::TrimText(chartNo);
    const QString trimmedName = platform::TrimText(name);
    if (key.isEmpty() || trimmedName.isEmpty() || Contains(key))
        return;

    QByteArray line;
    if (m_needsBom)
        line += "\xEF\xBB\xBF";
    else if (!m_endsWithNewline)
        line += "\r\n";
    line += (key + QLatin1Char(',') + trimmedName).toUtf8() + "\r\n";
    // Patient data: the file is created readable by its owner only.
    QString reason;
    if (!platform::AppendPrivateFile(m_path, line, &reason))
        throw EAppError(QStringLiteral("EFCreateError"),
                        QStringLiteral("%1 に書き込めません: %2").arg(m_path, reason));
    m_needsBom = false;
    m_endsWithNewline = true;
    m_keys.insert(key.toUtf8());
}

QList<TCacheHit> SearchPatientCache(const QString &path, const QString &text) {
    QList<TCacheHit> hits;
    for (const QString &line : ReadPatientCacheLines(path)) {
        const qsizetype comma = line.indexOf(QLatin1Char(','));
        if (comma < 0)
            continue;
        const QString name = line.mid(comma + 1);
        if (name.contains(text))
            hits << TCacheHit{line.left(comma), name};
    }
    return hits;
}
