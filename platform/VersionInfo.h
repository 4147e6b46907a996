#pragma once
#include <QByteArray>
#include <QString>

namespace platform {

// The file version stamped into an executable at build time, as "a.b.c.d",
// read from the file itself; empty when the file carries no stamp or can't be read.
QString ReadFileVersion(const QString &executablePath);

// The running executable's file version (ReadFileVersion of ExecutablePath),
// read once: the main menu's label, the version message and the User-Agent.
QString FileVersionText();

// The marker that precedes the four 16-bit version numbers inside the file.
// Built at run time, so that the reader's own code never holds the marker.
QByteArray VersionStampMagic();

} // namespace platform
