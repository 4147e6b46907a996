#pragma once
#include <QByteArray>
#include <QString>

// A private application folder for one test: user.ini, Log.txt and response
// files land here. Created empty under MINATORI_TEST_SCRATCH (or a temporary
// folder) and installed as the executable's folder.
QString MakeTestAppDir(const QString &name);

// Reads the log in the given folder and returns its messages without the
// timestamps ("<date> <time> <message>"), one entry per line.
QStringList ReadLogMessages(const QString &logPath);

// The whole file, or empty when it cannot be read.
QByteArray ReadAll(const QString &path);
// Creates or truncates the file and writes the bytes; false when that fails.
bool WriteAll(const QString &path, const QByteArray &bytes);

// The source tree (for committed fixtures) and the build tree.
QString SourceDir();
QString BinaryDir();
