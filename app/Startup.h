#pragma once
#include <QIcon>
#include <QString>

namespace platform {
class SingleInstanceGuard;
}

// Name of the per-session single-instance lock.
extern const QString kSingleInstanceName;

enum class StartupOutcome {
    ShowMainMenu,    // go on and show the main menu
    SecondInstance,  // another instance runs: it was asked to come forward
    HandedToUpdater, // the updater was started and takes over
    Failed,          // an error ended the start (it was shown in the error box)
};

// The decisions made before any window exists, in order: the one-shot
// [CALL] STATUS, the single-instance claim, the update mode and the updater
// hand-over. The updater is started through the shell seam. An error on the
// way (user.ini cannot be written) is nobody's to handle: it is shown in the
// standard error box (ShowCurrentError), and the start ends (Failed).
StartupOutcome RunStartupChecks(platform::SingleInstanceGuard &guard);

// Fonts named after the Windows Japanese fonts map to the IPA fonts, with
// Noto Sans CJK JP for the characters IPA lacks.
void RegisterJapaneseFonts();

// Qt's own texts (standard buttons, file and folder dialogs) in Japanese, from
// Debian's Qt translations when they are installed.
void LoadQtTranslations();

// The application icon, in every size it is drawn at; every window shows it.
QIcon ApplicationIcon();
// Makes it the icon of every window of the application.
void SetApplicationIcon();

// Shows, restores and raises the first top-level window titled "ミナトリ".
void BringMainWindowForward();
