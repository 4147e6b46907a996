#include "platform/AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {
QMutex g_overrideLock;
QString g_overrideDir;

QString withSlash(QString dir) {
    if (!dir.isEmpty() && !dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir;
}

// A folder we own with mode 0700, or empty when it can't be had safely.
QString privateFolder(const QString &path) {
    const QByteArray p = QFile::encodeName(path);
    if (::mkdir(p.constData(), 0700) != 0 && errno != EEXIST)
        return {};
    struct stat st {};
    if (::lstat(p.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
        return {};
    if ((st.st_mode & 0077) != 0 && ::chmod(p.constData(), 0700) != 0)
        return {};
    return path;
}
} // namespace

bool IsUsableLogPath(const QString &configured) {
    if (configured.isEmpty())
        return false;
#ifdef Q_OS_WIN
    const QChar drive = configured.at(0);
    if (drive < QLatin1Char('A') || drive > QLatin1Char('Z'))
        return false;
    if (!QFileInfo::exists(QString(drive) + QStringLiteral(":\\")))
        return false;
#else
    if (!configured.startsWith(QLatin1Char('/')))
        return false;
#endif
    QString folder = configured;
    folder.remove(QStringLiteral("Log.txt"), Qt::CaseInsensitive);
    return !folder.isEmpty() && QFileInfo(folder).isDir();
}

QString ExecutablePath() {
    const QString self = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    if (!self.isEmpty())
        return self;
    return QCoreApplication::applicationFilePath();
}

QString ExecutableDir() {
    {
        QMutexLocker lock(&g_overrideLock);
        if (!g_overrideDir.isEmpty())
            return g_overrideDir;
    }
    return withSlash(QFileInfo(ExecutablePath()).absolutePath());
}

void SetExecutableDirOverride(const QString &dir) {
    QMutexLocker lock(&g_overrideLock);
    g_overrideDir = dir.isEmpty() ? QString() : withSlash(QDir(dir).absolutePath());
}

QString UserRuntimeDir() {
    const QString xdg = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!xdg.isEmpty() && QFileInfo(xdg).isDir() && QFileInfo(xdg).isWritable())
        return xdg;
    // No session runtime folder (common on servers and in CI): a private
    // per-user folder under the temporary folder instead.
    const QString fallback =
        privateFolder(QDir::tempPath() + QStringLiteral("/minatori-runtime-%1").arg(::getuid()));
    return fallback.isEmpty() ? QDir::tempPath() : fallback;
}

QString UserDataDir() {
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return base + QStringLiteral("/minatori");
}

} // namespace platform
