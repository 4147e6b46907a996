#include "platform/PrivateFile.h"

#include <QFileInfo>

namespace platform {

namespace {
constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
}

bool PrivateSaveFile::open(OpenMode mode) {
    // QSaveFile gives the new file the target's mode when there is a target,
    // and the umask's default otherwise.
    const bool existed = QFileInfo::exists(fileName());
    if (!QSaveFile::open(mode))
        return false;
    if (!existed && !setPermissions(kOwnerOnly)) {
        cancelWriting();
        return false;
    }
    return true;
}

bool SavePrivateFile(const QString &path, const QByteArray &data, QString *error) {
    PrivateSaveFile f(path);
    const bool ok = f.open(QIODevice::WriteOnly) && f.write(data) == data.size() && f.commit();
    if (!ok) {
        if (error)
            *error = f.errorString();
        f.cancelWriting();
    }
    return ok;
}

bool OpenPrivateForAppend(QFile &file) {
    return file.open(QIODevice::Append | QIODevice::WriteOnly, kOwnerOnly);
}

} // namespace platform
