#include "app/Startup.h"

#include "core/CoreSource.h"
#include "platform/AppPaths.h"
#include "platform/SingleInstance.h"
#include "platform/UiSeam.h"

#include <QApplication>
#include <QFileInfo>
#include <QFont>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <QWidget>

const QString kSingleInstanceName = QStringLiteral("Korvane_Singleton_Mutex_BrenholtInc");

namespace {

StartupOutcome startupChecks(platform::SingleInstanceGuard &guard) {
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
        // The updater belongs to the installation: it is looked for beside the
        // executable, not in the folder of the program's own files.
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

} // namespace

StartupOutcome RunStartupChecks(platform::SingleInstanceGuard &guard) {
    try {
        return startupChecks(guard);
    } catch (...) {
        ShowCurrentError();
        guard.release();
        return StartupOutcome::Failed;
    }
}

void RegisterJapaneseFonts() {
    // Debian has no aliases for the Windows names; without these fontconfig
    // falls back to a Latin font, or to Chinese glyph forms under a Chinese locale.
    // IPA Gothic draws the text. A character it lacks (names such as 𠮷田
    // have them) is drawn from Noto Sans CJK JP, named here so that the
    // fallback keeps Japanese glyph forms whatever the locale.
    const QStringList proportional = {QStringLiteral("IPAPGothic"),
                                      QStringLiteral("Noto Sans CJK JP")};
    const QStringList fixed = {QStringLiteral("IPAGothic"),
                               QStringLiteral("Noto Sans Mono CJK JP")};
    QFont::insertSubstitutions(QStringLiteral("ＭＳ Ｐゴシック"), proportional);
    QFont::insertSubstitutions(QStringLiteral("MS PGothic"), proportional);
    QFont::insertSubstitutions(QStringLiteral("ＭＳ ゴシック"), fixed);
    QFont::insertSubstitutions(QStringLiteral("MS Gothic"), fixed);
    QFont base(QStringLiteral("ＭＳ Ｐゴシック"));
    base.setPointSize(9);
    QApplication::setFont(base);
}

void LoadQtTranslations() {
    static QTranslator translator; // lives as long as the application
    if (translator.load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                        QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&translator);
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
