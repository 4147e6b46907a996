#pragma once
#include <QString>

namespace platform {

// Profile ("ini") files with the rules of the classic profile-file service:
// section and key names match without regard to case, a missing file, section
// or key reads as the default, a write replaces a value in place and keeps every
// other line byte for byte, creating file, section and key as needed. A file
// starting with a UTF-16LE byte-order mark is read and written as UTF-16LE, one
// with a UTF-8 mark or without a mark and valid as UTF-8 as UTF-8, and any other
// file in the Windows Japanese code page (CP932), so that a user.ini copied from
// a Windows PC works as it is. A value CP932 cannot hold turns such a file into
// UTF-8 with a byte-order mark. Values are cut to 2047 characters on read.

constexpr int kProfileValueMax = 2047;

QString ReadProfileString(const QString &file, const QString &section, const QString &key,
                          const QString &defaultValue);

// Replaces the file atomically (temporary file in the same folder, then rename).
// Returns false, with the reason in *error, when the file cannot be written; the
// old file is then left exactly as it was.
bool WriteProfileString(const QString &file, const QString &section, const QString &key,
                        const QString &value, QString *error = nullptr);

} // namespace platform
