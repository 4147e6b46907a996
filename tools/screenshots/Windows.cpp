#include "tools/screenshots/Windows.h"

#include "app/Main.h"

#include <QLabel>

QList<ScreenshotWindow> ScreenshotWindows() {
    return {
        {QStringLiteral("main-menu"), QStringLiteral("the main menu"),
         [] {
             auto menu = std::make_unique<TfrmMain>();
             // This tool carries no version stamp; show the build's version.
             const QString version = QStringLiteral(MINATORI_FILE_VERSION);
             if (!version.isEmpty())
                 menu->LabelVersion->setText(QStringLiteral("Version ") + version);
             return std::unique_ptr<QWidget>(std::move(menu));
         }},
    };
}
