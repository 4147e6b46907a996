#include "app/Main.h"
#include "app/QtUi.h"
#include "app/Startup.h"
#include "core/CoreSource.h"
#include "orca/OrcaHttp.h"
#include "platform/AppPaths.h"
#include "platform/SingleInstance.h"

#include <QApplication>

#ifdef MINATORI_TEST_HOOK
#include "app/TestHook.h"
#endif

namespace {

// An error that leaves a window's event ends that event and is shown in the
// application's standard error box; the program goes on.
class MinatoriApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject *receiver, QEvent *event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (...) { // nothing may unwind through Qt's event dispatch
            ShowCurrentError();
        }
        return false;
    }
};

} // namespace

int main(int argc, char *argv[]) {
    OrcaGlobalInit(); // before any thread exists
    platform::ExportUserRuntimeDir();
    MinatoriApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ミナトリ"));
    QGuiApplication::setDesktopFileName(QStringLiteral("minatori")); // minatori.desktop
    RegisterJapaneseFonts();
    LoadQtTranslations();
    SetApplicationIcon();

    QtUi ui;
    platform::SetUi(&ui);
#ifdef MINATORI_TEST_HOOK
    StartTestHook(ui); // test builds: a test may drive the program from outside
#endif

    platform::SingleInstanceGuard guard(kSingleInstanceName);
    switch (RunStartupChecks(guard)) {
    case StartupOutcome::ShowMainMenu:
        break;
    case StartupOutcome::Failed:
        return 1;
    case StartupOutcome::SecondInstance:
    case StartupOutcome::HandedToUpdater:
        return 0;
    }

    auto *menu = new TfrmMain; // deletes itself when closed
    QObject::connect(&guard, &platform::SingleInstanceGuard::activationRequested,
                     &BringMainWindowForward);
    menu->show();
    app.exec();
    guard.release();
    return 0;
}
