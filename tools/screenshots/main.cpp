// minatori-screenshots: grabs the program's windows to PNG files, for the
// README and the docs.
//
//   minatori-screenshots [--out FOLDER] [NAME...]   grab the named windows (all
//                                                  without names) to FOLDER/NAME.png;
//                                                  FOLDER is the source tree's docs/
//   minatori-screenshots --list                    the names of the windows
//
// Runs offscreen unless QT_QPA_PLATFORM says otherwise. Windows that need
// ORCA's data are shown against the stand-in server (bin/orca-standin beside
// this tool) with its demo data.

#include "app/Startup.h"
#include "platform/AppPaths.h"
#include "platform/UiSeam.h"
#include "tools/screenshots/Windows.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QTemporaryDir>
#include <QWindow>

#include <algorithm>
#include <exception>

#include <cstdio>

namespace {

int usage() {
    std::fprintf(stderr, "usage: minatori-screenshots [--out FOLDER] [NAME...] | --list\n");
    return 2;
}

// Shows the window and waits until it is drawn; false after 5 s.
bool showAndWait(QWidget &w) {
    w.show();
    QElapsedTimer clock;
    clock.start();
    while (!(w.windowHandle() && w.windowHandle()->isExposed())) {
        if (clock.elapsed() > 5000)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    QCoreApplication::processEvents();
    return true;
}

// A picture of one colour is a window that did not draw.
bool blank(const QImage &image) {
    const QRgb first = image.pixel(0, 0);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != first)
                return false;
    return true;
}

ScreenshotUi *g_ui = nullptr;

} // namespace

ScreenshotUi &ToolUi() {
    return *g_ui;
}

int main(int argc, char *argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    platform::ExportUserRuntimeDir();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ミナトリ"));
    RegisterJapaneseFonts();
    LoadQtTranslations();
    SetApplicationIcon();
    ScreenshotUi ui;
    g_ui = &ui;
    platform::SetUi(&ui);

    QString out = QStringLiteral(MINATORI_SOURCE_DIR "/docs");
    QStringList names;
    const QList<ScreenshotWindow> windows = ScreenshotWindows();
    const QStringList args = app.arguments().mid(1);
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--list")) {
            for (const ScreenshotWindow &w : windows)
                std::printf("%-16s %s\n", qPrintable(w.name), qPrintable(w.description));
            return 0;
        }
        if (args[i] == QLatin1String("--out")) {
            if (++i >= args.size())
                return usage();
            out = args[i];
        } else if (args[i].startsWith(QLatin1Char('-'))) {
            return usage();
        } else {
            names << args[i];
        }
    }
    for (const QString &name : names) {
        if (std::none_of(windows.begin(), windows.end(),
                         [&](const ScreenshotWindow &w) { return w.name == name; })) {
            std::fprintf(stderr, "unknown window: %s (see --list)\n", qPrintable(name));
            return 2;
        }
    }

    // The windows read and write their files in a folder of their own, never
    // beside this program in the build tree.
    QTemporaryDir appDir;
    if (!appDir.isValid() || !QDir().mkpath(out)) {
        std::fprintf(stderr, "cannot create the folders\n");
        return 1;
    }
    platform::SetExecutableDirOverride(appDir.path());

    int failures = 0;
    for (const ScreenshotWindow &w : windows) {
        if (!names.isEmpty() && !names.contains(w.name))
            continue;
        const QString path = QDir(out).filePath(w.name + QStringLiteral(".png"));
        QImage image;
        try {
            if (w.render) {
                image = w.render();
            } else {
                const std::unique_ptr<QWidget> window = w.make();
                if (showAndWait(*window))
                    image = window->grab().toImage();
            }
        } catch (const std::exception &e) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(w.name), e.what());
        }
        if (image.isNull() || blank(image) || !image.save(path)) {
            std::fprintf(stderr, "%s: not grabbed\n", qPrintable(w.name));
            ++failures;
            continue;
        }
        std::printf("%s\n", qPrintable(QDir::toNativeSeparators(path)));
    }
    StopDemoServer();
    return failures == 0 ? 0 : 1;
}
