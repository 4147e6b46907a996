#include "viewer/PatientCache.h"

#include "core/CoreSource.h"
#include "platform/Trim.h"

#include <QFile>
#include <QFileInfo>

#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

QByteArray readAll(const QString &path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw EAppError(QStringLiteral("EFOpenError"),
                        QStringLiteral("%1 を開けません: %2").arg(path, f.errorString()));
    return f.readAll();
}

// The file's lines as text, without the byte-order mark and line ends.
QStringList decodeLines(const QByteArray &data) {
    QByteArray bytes = data;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    QStringList out;
    for (QByteArray line : bytes.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        out << QString::fromUtf8(line);
    }
    if (!out.isEmpty() && out.last().isEmpty())
        out.removeLast();
    return out;
}

} // namespace

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
    const QByteArray native = QFile::encodeName(m_path);
    const int fd = ::open(native.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    bool ok = fd >= 0;
    qsizetype written = 0;
    while (ok && written < line.size()) {
        const ssize_t n = ::write(fd, line.constData() + written, size_t(line.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        if (ok)
            written += n;
    }
    if (fd >= 0 && ::close(fd) != 0)
        ok = false;
    if (!ok)
        throw EAppError(QStringLiteral("EFCreateError"),
                        QStringLiteral("%1 に書き込めません").arg(m_path));
    m_needsBom = false;
    m_endsWithNewline = true;
    m_keys.insert(key.toUtf8());
}

QList<TCacheHit> SearchPatientCache(const QString &path, const QString &text) {
    QList<TCacheHit> hits;
    for (const QString &line : decodeLines(readAll(path))) {
        const qsizetype comma = line.indexOf(QLatin1Char(','));
        if (comma < 0)
            continue;
        const QString name = line.mid(comma + 1);
        if (name.contains(text))
            hits << TCacheHit{line.left(comma), name};
    }
    return hits;
}
