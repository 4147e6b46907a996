#include "viewer/PatientCache.h"

#include "core/CoreSource.h"
#include "platform/PrivateFile.h"
#include "platform/Trim.h"
#include "viewer/ViewerRules.h"

#include <QFileInfo>

#include <cstring>

QString PatientCacheKey(const QString &line) {
    const qsizetype comma = line.indexOf(QLatin1Char(','));
    return comma < 0 ? QString() : line.left(comma);
}

namespace {

// Calls fn with the number of each line of the cache file's bytes (the bytes
// before the line's first comma; for UTF-8 text, equal bytes are equal text)
// until fn returns true; whether it did.
template <class F> bool anyKey(QByteArrayView data, F &&fn) {
    const char *p = data.data();
    const char *const end = p + data.size();
    if (data.startsWith("\xEF\xBB\xBF"))
        p += 3;
    while (p < end) {
        const char *lineEnd = static_cast<const char *>(std::memchr(p, '\n', size_t(end - p)));
        if (!lineEnd)
            lineEnd = end;
        const char *comma = static_cast<const char *>(std::memchr(p, ',', size_t(lineEnd - p)));
        if (comma && fn(QByteArrayView(p, comma - p)))
            return true;
        p = lineEnd + 1;
    }
    return false;
}

} // namespace

TPatientCache::TPatientCache(const QString &path, Lookups lookups) : m_path(path) {
    m_indexed = lookups == Lookups::Many;
    if (!QFileInfo::exists(path))
        return;
    m_data = ReadFileBytes(path);
    m_needsBom = m_data.isEmpty();
    m_endsWithNewline = m_data.isEmpty() || m_data.endsWith('\n');
    if (m_indexed) {
        m_keys.reserve(m_data.size() / 16);
        anyKey(m_data, [this](QByteArrayView key) {
            m_keys.insert(key);
            return false;
        });
    }
}

bool TPatientCache::Contains(const QString &chartNo) const {
    const QByteArray key = chartNo.toUtf8();
    if (m_added.contains(key))
        return true;
    if (m_indexed)
        return m_keys.contains(QByteArrayView(key));
    return anyKey(m_data, [&key](QByteArrayView number) { return number == key; });
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
    m_added.insert(key.toUtf8());
}

QList<TCacheHit> SearchPatientCache(const QString &path, const QString &text) {
    QList<TCacheHit> hits;
    for (const QString &line : viewer::ReadTextFileLines(path)) {
        const QString number = PatientCacheKey(line);
        if (number.isNull())
            continue;
        const QString name = line.mid(number.size() + 1);
        if (name.contains(text))
            hits << TCacheHit{number, name};
    }
    return hits;
}
