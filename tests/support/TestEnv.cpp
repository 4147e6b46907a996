#include "tests/support/TestEnv.h"

#include "core/CoreSource.h"
#include "platform/AppPaths.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QStringList>

QString MakeTestAppDir(const QString &name) {
    QString root = qEnvironmentVariable("MINATORI_TEST_SCRATCH");
    if (root.isEmpty())
        root = QDir::tempPath() + QStringLiteral("/minatori-test");
    const QString dir = root + QLatin1Char('/') + name;
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    platform::SetExecutableDirOverride(dir);
    ResetLogPathForTesting();
    return QDir(dir).absolutePath() + QLatin1Char('/');
}

QStringList ReadLogMessages(const QString &logPath) {
    QFile f(logPath);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringList out;
    const QString text = QString::fromUtf8(f.readAll());
    for (const QString &line : text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
        // "yyyy/MM/dd H:mm:ss message"
        const qsizetype first = line.indexOf(QLatin1Char(' '));
        const qsizetype second = first < 0 ? -1 : line.indexOf(QLatin1Char(' '), first + 1);
        out << (second < 0 ? line : line.mid(second + 1));
    }
    return out;
}

QByteArray ReadAll(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool WriteAll(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QString SourceDir() {
    return qEnvironmentVariable("MINATORI_SOURCE_DIR", QStringLiteral("."));
}
QString BinaryDir() {
    return qEnvironmentVariable("MINATORI_BINARY_DIR", QStringLiteral("."));
}
