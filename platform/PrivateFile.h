#pragma once
#include <QByteArray>
#include <QFile>
#include <QSaveFile>
#include <QString>

namespace platform {

// Files and folders of this user alone.
//
// Files that hold secrets or patient data (user.ini, Log.txt, response files,
// caches, exports). A file that does not exist yet is created readable and
// writable by its owner only (0600), whatever the umask; a file that exists
// keeps the mode it has.

// A QSaveFile (temporary file beside the target, renamed over it by commit())
// that creates a missing target owner-only. Use it like QSaveFile, for a file
// written in pieces.
class PrivateSaveFile : public QSaveFile {
public:
    using QSaveFile::QSaveFile;
    bool open(OpenMode mode) override;
};

// Replaces the file's content with data in one step: readers see the old file
// or the new one, never a part. False, with the reason in *error, when it
// cannot be written; the old file then stays as it was.
bool SavePrivateFile(const QString &path, const QByteArray &data, QString *error = nullptr);

// Replaces the file with data through a temporary file beside it, without
// waiting for the disk: a crash of the program leaves the old file or the new
// one, never a part, but after a crash of the machine the file may be lost or
// empty. For transient copies that are fetched again at the next use (the
// response files); files that must survive (user.ini, caches, exports) use
// SavePrivateFile. The new file is owner-only even when the old one was not.
// False, with the reason in *error, when it cannot be written; the old file
// then stays as it was.
bool ReplacePrivateFile(const QString &path, const QByteArray &data, QString *error = nullptr);

// Opens the file for appending, creating it owner-only when it is missing.
bool OpenPrivateForAppend(QFile &file);

// Appends data to the file with one write call, creating the file owner-only
// when it is missing, so that what is appended lands whole or not at all when
// the program is stopped. False, with the reason in *error, when the file
// cannot be written.
bool AppendPrivateFile(const QString &path, const QByteArray &data, QString *error = nullptr);

// Whether the path is a folder (not a link to one) owned by this user that no
// one else may enter or change (no group or other permission).
bool IsPrivateFolder(const QString &path);

// A folder for this user alone: created with mode 0700 when missing. One that
// exists must be a folder (not a link) owned by this user; group and other
// permissions are taken away. False, with the reason in *error, when the path
// is held by something else, such as a name another user created first.
bool MakePrivateFolder(const QString &path, QString *error = nullptr);

} // namespace platform
