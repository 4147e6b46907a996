#pragma once
#include <QString>
#include <stdexcept>

#include "platform/Trim.h"

// Settings store (user.ini in the program's folder), the log and the timestamp text.

// An error that carries a class name and a message, shown as
// "<class>: <message>" where an event reports it.
class EAppError : public std::runtime_error {
public:
    EAppError(const QString &className, const QString &message);
    QString className() const { return m_className; }
    QString message() const { return m_message; }

private:
    QString m_className;
    QString m_message;
};

// Shows the error in flight (call inside a catch block) in the application's
// standard error box, where an error that leaves a window's event, or that
// nothing handles, ends: the message of an EAppError, the text of any other.
class QObject;
void ShowCurrentError(QObject *owner = nullptr);

// Full path of user.ini in the program's folder (platform::AppDataDir()).
QString UserIniPath();

// Value of [section] key in user.ini, or defaultValue when missing. Reads the
// file anew at every call.
QString ReadSetting(const QString &section, const QString &key, const QString &defaultValue);

// Stores the value (an empty value stays as "key="). Throws EAppError with
// "<path> に書き込めません" when the file cannot be written; the old file then stays whole.
void WriteSetting(const QString &section, const QString &key, const QString &value);

// The current local time as "yyyy-mm-dd hh:mm:ss".
QString NowText();

// The log file's path, resolved once per run from [FIRST] LOG.
QString LogFilePath();

// Appends "<date time> <message>\r\n" to the file, rotating it to *_old first
// when it is larger than 2,097,152 bytes. Safe to call from any thread.
void WriteLog(const QString &path, const QString &message);

// Shorthand for WriteLog(LogFilePath(), message).
void Log(const QString &message);

// Forgets the resolved log path (tests only; the program resolves it once).
void ResetLogPathForTesting();

// The whole content of a file the program keeps (a cache). Throws EAppError
// ("EFOpenError" or "EReadError", with the path and the system's reason) when
// the file cannot be opened or read to its end.
QByteArray ReadFileBytes(const QString &path);

// The timestamp text of a log line for the given moment, e.g. "2025/10/26 9:05:07".
class QDateTime;
QString LogTimestamp(const QDateTime &when);
