#include "platform/VersionInfo.h"

#include "platform/AppPaths.h"

#include <QFile>

#include <cstring>

namespace platform {

// The stamp is "MINATORI-FILEVER" followed by four little-endian 16-bit numbers
// (major, minor, release, build). The build writes it into the executable (see
// app/VersionStamp.cpp.in). The marker is kept here in lower case and raised at
// run time, so the library linked into the executable does not carry it.
QByteArray VersionStampMagic() {
    return QByteArray("minatori-filever").toUpper();
}

QString ReadFileVersion(const QString &executablePath) {
    QFile f(executablePath);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray magic = VersionStampMagic();
    constexpr qint64 chunk = 1 << 20;
    QByteArray carry;
    while (!f.atEnd()) {
        const QByteArray block = carry + f.read(chunk);
        const qsizetype at = block.indexOf(magic);
        if (at >= 0) {
            QByteArray tail = block.mid(at + magic.size(), 8);
            if (tail.size() < 8)
                tail += f.read(8 - tail.size());
            if (tail.size() < 8)
                return {};
            auto word = [&](int i) {
                return unsigned(quint8(tail[2 * i])) | (unsigned(quint8(tail[2 * i + 1])) << 8);
            };
            return QStringLiteral("%1.%2.%3.%4")
                .arg(word(0))
                .arg(word(1))
                .arg(word(2))
                .arg(word(3));
        }
        carry = block.right(magic.size() - 1);
    }
    return {};
}

QString FileVersionText() {
    // The file does not change while it runs.
    static const QString version = ReadFileVersion(ExecutablePath());
    return version;
}

} // namespace platform
