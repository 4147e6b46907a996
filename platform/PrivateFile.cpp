#include "platform/PrivateFile.h"

#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifdef MINATORI_TEST_HOOK
#include <QCryptographicHash>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#endif

namespace platform {

namespace {
constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

#ifdef MINATORI_TEST_HOOK
// Test builds only. MINATORI_TEST_PAUSE names one file and one point of its
// writing ("user.ini@half"); the writer of that file stops there, says so on
// standard output ("MINATORI_TEST_PAUSE <point> <bytes> <sha1 of the bytes>
// <path>") and waits for the test to kill the program.
bool HoldWanted(const QString &path, const char *point) {
    static const QByteArray wanted = qgetenv("MINATORI_TEST_PAUSE");
    return !wanted.isEmpty() &&
           wanted == QFile::encodeName(QFileInfo(path).fileName()) + '@' + point;
}

void Hold(const QString &path, const char *point, const QByteArray &data) {
    if (!HoldWanted(path, point))
        return;
    std::printf("MINATORI_TEST_PAUSE %s %lld %s %s\n", point, static_cast<long long>(data.size()),
                QCryptographicHash::hash(data, QCryptographicHash::Sha1).toHex().constData(),
                QFile::encodeName(path).constData());
    std::fflush(stdout);
    // A test that does not end the program does not leave it waiting for ever.
    std::this_thread::sleep_for(std::chrono::minutes(2));
    std::abort();
}
#define MINATORI_HOLD(path, point, data) Hold(path, point, data)
#else
#define MINATORI_HOLD(path, point, data) ((void)0)
#endif

} // namespace

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
    // The new content goes to a temporary file, in two halves (test builds can
    // stop between them), and replaces the target only once all of it is there.
    // flush() first: commit() renames the file over the target even when its own
    // last flush came up short (a full disk), which would leave a cut-off file.
    const qsizetype half = data.size() / 2;
    bool ok = f.open(QIODevice::WriteOnly);
    if (ok)
        MINATORI_HOLD(path, "open", data);
    ok = ok && f.write(data.constData(), half) == half && f.flush();
    if (ok)
        MINATORI_HOLD(path, "half", data);
    ok = ok && f.write(data.constData() + half, data.size() - half) == data.size() - half &&
         f.flush();
    if (ok)
        MINATORI_HOLD(path, "commit", data);
    ok = ok && f.commit();
    if (ok)
        MINATORI_HOLD(path, "done", data);
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
    MINATORI_HOLD(path, "open", data);
    // In two halves, as SavePrivateFile writes (test builds can stop between).
    const auto writeAll = [fd](const char *p, qsizetype left) {
        while (left > 0) {
            const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return n < 0 ? errno : ENOSPC;
            p += n;
            left -= n;
        }
        return 0;
    };
    const qsizetype half = data.size() / 2;
    int cause = writeAll(data.constData(), half);
    if (!cause) {
        MINATORI_HOLD(path, "half", data);
        cause = writeAll(data.constData() + half, data.size() - half);
    }
    if (cause) {
        ::close(fd);
        return fail("cannot write", cause, true);
    }
    MINATORI_HOLD(path, "commit", data);
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
    } else if (::rename(temp.constData(), target.constData()) != 0) {
        return fail("cannot replace", errno, true);
    }
    MINATORI_HOLD(path, "done", data);
    return true;
}

bool OpenPrivateForAppend(QFile &file) {
    return file.open(QIODevice::Append | QIODevice::WriteOnly, kOwnerOnly);
}

bool AppendPrivateFile(const QString &path, const QByteArray &data, QString *error) {
    const QByteArray native = QFile::encodeName(path);
    int cause = 0;
    const int fd = ::open(native.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        cause = errno;
    if (!cause)
        MINATORI_HOLD(path, "open", data);
    // One write call for all of it, so a record lands whole or not at all; a
    // short write (a full disk) is continued, or reported.
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
    if (!cause)
        MINATORI_HOLD(path, "done", data);
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
