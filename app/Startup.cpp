#include "app/Startup.h"

#include "core/CoreSource.h"
#include "platform/AppPaths.h"
#include "platform/SingleInstance.h"
#include "platform/UiSeam.h"

#include <QApplication>
#include <QFileInfo>
#include <QFont>
#include <QWidget>

const QString kSingleInstanceName = QStringLiteral("Korvane_Singleton_Mutex_BrenholtInc");

StartupOutcome RunStartupChecks(platform::SingleInstanceGuard &guard) {
    bool skipUpdater = false;

    // A "1" left by the updater means: start normally this once.
    if (ReadSetting(QStringLiteral("CALL"), QStringLiteral("STATUS"), QString()) ==
        QStringLiteral("1")) {
        WriteSetting(QStringLiteral("CALL"), QStringLiteral("STATUS"), QString());
        skipUpdater = true;
    }

    if (guard.claim() == platform::SingleInstanceGuard::Claim::AlreadyRunning) {
        // The other instance may still be starting; end silently all the same.
        guard.notifyRunningInstance();
        return StartupOutcome::SecondInstance;
    }

    const QString updateMode = platform::TrimText(
        ReadSetting(QStringLiteral("UPDATE"), QStringLiteral("MODE"), QString()));
    if (updateMode == QStringLiteral("1"))
        skipUpdater = true;

    if (!skipUpdater) {
        const QString updater = platform::ExecutableDir() + QStringLiteral("UpdChk.exe");
        if (QFileInfo::exists(updater)) { // a link counts when its target exists
            platform::Ui().shellOpen(
                nullptr, updater, QLatin1Char('"') + platform::ExecutablePath() + QLatin1Char('"'));
            guard.release();
            return StartupOutcome::HandedToUpdater;
        }
    }
    return StartupOutcome::ShowMainMenu;
}

void RegisterJapaneseFonts() {
    // Debian has no aliases for the Windows names; without these fontconfig
    // falls back to a Latin font, or to Chinese glyph forms under a Chinese locale.
    const QString proportional = QStringLiteral("IPAPGothic");
    const QString fixed = QStringLiteral("IPAGothic");
    QFont::insertSubstitution(QStringLiteral("ＭＳ Ｐゴシック"), proportional);
    QFont::insertSubstitution(QStringLiteral("MS PGothic"), proportional);
    QFont::insertSubstitution(QStringLiteral("ＭＳ ゴシック"), fixed);
    QFont::insertSubstitution(QStringLiteral("MS Gothic"), fixed);
    QFont base(QStringLiteral("ＭＳ Ｐゴシック"));
    base.setPointSize(9);
    QApplication::setFont(base);
}

QIcon ApplicationIcon() {
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/minatori-%1.png").arg(size), QSize(size, size));
    return icon;
}

void SetApplicationIcon() {
    QApplication::setWindowIcon(ApplicationIcon());
}

void BringMainWindowForward() {
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w->windowTitle() != QStringLiteral("ミナトリ") || !w->isWindow())
            continue;
        if (w->isMinimized())
            w->showNormal();
        else
            w->show();
        w->raise();
        w->activateWindow();
        return;
    }
}
