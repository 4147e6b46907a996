#include "core/CoreSource.h"

#include "platform/AppPaths.h"
#include "platform/PrivateFile.h"
#include "platform/ProfileFile.h"
#include "platform/UiSeam.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>

#include <cstdio>

namespace {

// Serialises every log write and every access to the cached log path.
QMutex g_logLock;
QString g_logPath;

constexpr qint64 kLogRotateSize = 2097152;

// Rotation name: the path with "_old" inserted before the extension.
QString rotatedName(const QString &path) {
    const QFileInfo info(path);
    const QString suffix = info.suffix();
    if (suffix.isEmpty() || info.fileName().startsWith(QLatin1Char('.')))
        return path + QStringLiteral("_old");
    return path.left(path.size() - suffix.size() - 1) + QStringLiteral("_old.") + suffix;
}

} // namespace

EAppError::EAppError(const QString &className, const QString &message)
    : std::runtime_error(message.toStdString()), m_className(className), m_message(message) {}

void ShowCurrentError(QObject *owner) {
    try {
        throw;
    } catch (const EAppError &e) {
        platform::Ui().errorBox(owner, e.message());
    } catch (const std::exception &e) {
        platform::Ui().errorBox(owner, QString::fromUtf8(e.what()));
    } catch (...) {
        platform::Ui().errorBox(owner, QStringLiteral("Unknown error"));
    }
}

QString UserIniPath() {
    return platform::AppDataDir() + QStringLiteral("user.ini");
}

QString ReadSetting(const QString &section, const QString &key, const QString &defaultValue) {
    return platform::ReadProfileString(UserIniPath(), section, key, defaultValue);
}

void WriteSetting(const QString &section, const QString &key, const QString &value) {
    const QString path = UserIniPath();
    if (!platform::WriteProfileString(path, section, key, value))
        throw EAppError(QStringLiteral("EIniFileException"),
                        QStringLiteral("%1 に書き込めません").arg(QDir::toNativeSeparators(path)));
}

QString NowText() {
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString LogTimestamp(const QDateTime &when) {
    // The Japanese locale's short date and long time: 2025/10/26 9:05:07.
    return when.toString(QStringLiteral("yyyy/MM/dd H:mm:ss"));
}

QString LogFilePath() {
    {
        QMutexLocker lock(&g_logLock);
        if (!g_logPath.isEmpty())
            return g_logPath;
    }
    const QString configured =
        ReadSetting(QStringLiteral("FIRST"), QStringLiteral("LOG"), QString());
    const QString path = platform::IsUsableLogPath(configured)
                             ? configured
                             : platform::AppDataDir() + QStringLiteral("Log.txt");
    QMutexLocker lock(&g_logLock);
    g_logPath = path;
    return path;
}

void ResetLogPathForTesting() {
    QMutexLocker lock(&g_logLock);
    g_logPath.clear();
}

void WriteLog(const QString &path, const QString &message) {
    QMutexLocker lock(&g_logLock);

    const QFileInfo info(path);
    if (info.exists() && info.size() > kLogRotateSize) {
        const QString old = rotatedName(path);
        // Replace an older generation; a failed move leaves the big file in use.
        const QByteArray from = QFile::encodeName(path), to = QFile::encodeName(old);
        std::rename(from.constData(), to.constData());
    }

    const QByteArray line = (LogTimestamp(QDateTime::currentDateTime()) + QLatin1Char(' ') +
                             message + QStringLiteral("\r\n"))
                                .toUtf8(); // the system code page is UTF-8 here
    QFile f(path);
    const auto ioError = [&] {
        return EAppError(
            QStringLiteral("EInOutError"),
            QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), f.errorString()));
    };
    // Every failure (cannot create, disk full, I/O error) reaches the caller;
    // the lock is released as the error leaves this function.
    if (!platform::OpenPrivateForAppend(f))
        throw ioError();
    if (f.write(line) != line.size() || !f.flush())
        throw ioError();
    f.close();
    if (f.error() != QFileDevice::NoError)
        throw ioError();
}

QByteArray ReadFileBytes(const QString &path) {
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

void Log(const QString &message) {
    WriteLog(LogFilePath(), message);
}
