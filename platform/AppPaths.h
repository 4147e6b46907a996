#pragma once
#include <QString>

namespace platform {

// Full path of the running executable (resolved once, through /proc/self/exe on Linux).
QString ExecutablePath();

// Folder of the running executable, with a trailing '/'. The program's own
// files do not go here but into AppDataDir(); only the updater is looked for
// here.
QString ExecutableDir();

// The folder, with a trailing '/', that holds every file the program keeps for
// itself: user.ini, Log.txt, the response files, the caches, the default
// folder of the saved PDFs. It is the executable's folder when this user may
// create files there (a portable copy; the folder of tests and the demo).
// An installed copy, whose folder the user cannot write, and a copy in the
// folder the package installs into (which root could write) use the per-user
// folder UserDataDir() instead, created with mode 0700. This is the one place
// that decides; callers just build their file names on it.
QString AppDataDir();

// Tests run many programs from one build folder; each gives itself a private
// application folder through this. An empty text restores the real folder.
void SetExecutableDirOverride(const QString &dir);

// Per-user runtime folder for sockets and locks, never one that others can
// write: $XDG_RUNTIME_DIR when it is ours with mode 0700, otherwise a private
// folder (mode 0700) under the temporary folder, or, when another user holds
// that name, under ~/.cache. Empty when none can be had.
QString UserRuntimeDir();

// Without a session runtime folder (XDG_RUNTIME_DIR unset), sets it to
// UserRuntimeDir(), so that Qt and the single-instance guard share that
// private folder. Call before the application object exists.
void ExportUserRuntimeDir();

// Per-user data folder ($XDG_DATA_HOME or ~/.local/share) + "/minatori", no
// trailing '/'. It holds the certificate store (certstore/) and, for an
// installed copy, the files of AppDataDir().
QString UserDataDir();

// Creates UserDataDir() (and the folders above it) for this user alone
// (mode 0700); false, with the reason in *error, when it cannot be had.
bool MakeUserDataDir(QString *error = nullptr);

// Whether a configured log file path may be used: its folder (the path without
// any "Log.txt", in any case) must exist. On Windows the path must begin with
// the upper-case letter of a present drive; elsewhere it must be absolute.
bool IsUsableLogPath(const QString &configured);

} // namespace platform
