#pragma once
#include <QString>

namespace platform {

// Full path of the running executable (resolved once, through /proc/self/exe on Linux).
QString ExecutablePath();

// Folder of the running executable, with a trailing '/'. Every file the program
// keeps for itself (user.ini, Log.txt, response files, caches) lies here.
QString ExecutableDir();

// Tests run many programs from one build folder; each gives itself a private
// application folder through this. An empty text restores the real folder.
void SetExecutableDirOverride(const QString &dir);

// Per-user runtime folder for sockets and locks, never one that others can
// write: $XDG_RUNTIME_DIR when it is ours with mode 0700, otherwise a private
// folder (mode 0700) under the temporary folder, or, when another user holds
// that name, under ~/.cache. Empty when none can be had.
QString UserRuntimeDir();

// Per-user data folder ($XDG_DATA_HOME or ~/.local/share) + "/minatori".
QString UserDataDir();

// Whether a configured log file path may be used: its folder (the path without
// any "Log.txt", in any case) must exist. On Windows the path must begin with
// the upper-case letter of a present drive; elsewhere it must be absolute.
bool IsUsableLogPath(const QString &configured);

} // namespace platform
