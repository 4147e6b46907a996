#include "platform/PrivateFile.h"

#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    // flush() first: commit() renames the file over the target even when its own
    // last flush came up short (a full disk), which would leave a cut-off file.
    const bool ok =
        f.open(QIODevice::WriteOnly) && f.write(data) == data.size() && f.flush() && f.commit();
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

bool AppendPrivateFile(const QString &path, const QByteArray &data, qint64 cutTo,
                       QString *error) {
    const QByteArray native = QFile::encodeName(path);
    int cause = 0;
    const int fd = ::open(native.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0 || (cutTo >= 0 && ::ftruncate(fd, cutTo) != 0))
        cause = errno;
    // One write call for all of it.
    qsizetype written = 0;
    while (!cause && written < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + written, size_t(data.size() - written));
        if (n > 0)
            written += n;
        else if (n == 0)
            cause = EIO;
        else if (errno != EINTR)
            cause = errno;
    }
    if (fd >= 0 && ::close(fd) != 0 && !cause)
        cause = errno;
    if (cause && error)
        *error = QString::fromLocal8Bit(std::strerror(cause));
    return cause == 0;
}

bool IsPrivateFolder(const QString &path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
           st.st_uid == ::getuid() && (st.st_mode & 0077) == 0;
}

bool MakePrivateFolder(const QString &path, QString *error) {
    const auto fail = [&](const QString &why) {
        if (error)
            *error = path + QStringLiteral(": ") + why;
        return false;
    };
    const QByteArray p = QFile::encodeName(path);
    if (::mkdir(p.constData(), 0700) != 0 && errno != EEXIST)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    struct stat st {};
    if (::lstat(p.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
        return fail(QStringLiteral("not a folder of this user"));
    if ((st.st_mode & 0077) != 0 && ::chmod(p.constData(), 0700) != 0)
        return fail(QStringLiteral("cannot make private"));
    return true;
}

} // namespace platform
