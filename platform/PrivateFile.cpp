#include "platform/PrivateFile.h"

#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
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
    const bool ok = f.open(QIODevice::WriteOnly) && f.write(data) == data.size() && f.commit();
    if (!ok) {
        if (error)
            *error = f.errorString();
        f.cancelWriting();
    }
    return ok;
}

bool ReplacePrivateFile(const QString &path, const QByteArray &data, QString *error) {
    const QByteArray target = QFile::encodeName(path);
    QByteArray temp = target + ".XXXXXX";
    const auto fail = [&](const char *what, int code, bool removeTemp) {
        if (removeTemp)
            ::unlink(temp.constData());
        if (error)
            *error = QString::fromLatin1(what) + QStringLiteral(": ") +
                     QString::fromLocal8Bit(std::strerror(code));
        return false;
    };
    // mkostemp creates the file with mode 0600, whatever the umask.
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return fail("cannot create a temporary file", errno, false);
    const char *p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int code = n < 0 ? errno : ENOSPC;
            ::close(fd);
            return fail("cannot write", code, true);
        }
        p += n;
        left -= n;
    }
    if (::close(fd) != 0)
        return fail("cannot write", errno, true);

    // An existing file trades names with the new one, and its new name is
    // removed. Atomic like rename() over it, but ext4 then does not write the
    // new data out at once, which a rename over a file makes it do to survive
    // a crash of the machine (a cost of milliseconds that these files, fetched
    // again at the next request, do not need).
    struct stat st {};
    if (::lstat(target.constData(), &st) == 0 && S_ISREG(st.st_mode) &&
        ::renameat2(AT_FDCWD, temp.constData(), AT_FDCWD, target.constData(), RENAME_EXCHANGE) ==
            0) {
        ::unlink(temp.constData());
        return true;
    }
    if (::rename(temp.constData(), target.constData()) != 0)
        return fail("cannot replace", errno, true);
    return true;
}

bool OpenPrivateForAppend(QFile &file) {
    return file.open(QIODevice::Append | QIODevice::WriteOnly, kOwnerOnly);
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
