#include "platform/AppPaths.h"

#include "platform/PrivateFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QStandardPaths>

#include <unistd.h>

namespace platform {

namespace {
QMutex g_overrideLock;
QString g_overrideDir;

// AppDataDir's decision for one executable folder, and the per-user folder
// it last made sure of.
QMutex g_appDirLock;
QString g_decidedFor;
bool g_portable = false;
QString g_madeUserDir;

QString withSlash(QString dir) {
    if (!dir.isEmpty() && !dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir;
}

// Whether the program keeps its files in the executable's folder: this user
// may create files there, and it is not the folder the package installs the
// program into (root may write there, but that is no place for a clinic's data).
bool isPortableFolder(const QString &dir) {
    if (::access(QFile::encodeName(dir).constData(), W_OK | X_OK) != 0)
        return false;
    const QString installed =
        QFileInfo(QStringLiteral(MINATORI_INSTALL_BINDIR)).canonicalFilePath();
    return installed.isEmpty() || QFileInfo(dir).canonicalFilePath() != installed;
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
    // Read on every settings access and log line; the executable does not
    // move while it runs, so it is resolved once.
    static const QString path = [] {
        const QString self = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
        return self.isEmpty() ? QCoreApplication::applicationFilePath() : self;
    }();
    return path;
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
    {
        QMutexLocker lock(&g_overrideLock);
        g_overrideDir = dir.isEmpty() ? QString() : withSlash(QDir(dir).absolutePath());
    }
    QMutexLocker lock(&g_appDirLock);
    g_decidedFor.clear(); // decide anew, even for the same folder
    g_madeUserDir.clear();
}

QString AppDataDir() {
    const QString exeDir = ExecutableDir();
    QMutexLocker lock(&g_appDirLock);
    // Decided once per folder, so that one run never spreads its files over two.
    if (g_decidedFor != exeDir) {
        g_decidedFor = exeDir;
        g_portable = isPortableFolder(exeDir);
    }
    if (g_portable)
        return exeDir;
    const QString dir = withSlash(UserDataDir());
    // Made (or closed to others) when first used, and again should it vanish.
    // When it cannot be made, the files' own writes report the failure.
    if (g_madeUserDir != dir || !QFileInfo(dir).isDir()) {
        if (MakeUserDataDir())
            g_madeUserDir = dir;
    }
    return dir;
}

QString UserRuntimeDir() {
    // The session's folder, when it is what it should be: ours and closed to others.
    const QString xdg = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!xdg.isEmpty() && IsPrivateFolder(xdg))
        return xdg;
    // Without one (common on servers and in CI): a private folder under the
    // temporary folder. Anybody may create names there, so when someone else
    // holds ours the folder goes under the home folder instead; a lock or
    // socket never lies in a folder that others can write.
    const QString tmp = QDir::tempPath() + QStringLiteral("/minatori-runtime-%1").arg(::getuid());
    if (MakePrivateFolder(tmp))
        return tmp;
    const QString cache = QDir::homePath() + QStringLiteral("/.cache");
    const QString home = cache + QStringLiteral("/minatori-runtime");
    if (QDir().mkpath(cache) && MakePrivateFolder(home))
        return home;
    return {};
}

void ExportUserRuntimeDir() {
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        return;
    const QString runtime = UserRuntimeDir();
    if (!runtime.isEmpty())
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
}

QString UserDataDir() {
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return base + QStringLiteral("/minatori");
}

bool MakeUserDataDir(QString *error) {
    const QString dir = UserDataDir();
    const QString parent = QFileInfo(dir).absolutePath();
    if (!QDir().mkpath(parent)) {
        if (error)
            *error = parent + QStringLiteral(": cannot create");
        return false;
    }
    return MakePrivateFolder(dir, error);
}

} // namespace platform
