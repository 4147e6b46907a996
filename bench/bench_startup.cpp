// Start to a painted main menu. The parent starts this program again as a
// child, which starts up as the program does (fonts, UI seam, single-instance
// guard, start-up checks, main menu) and reports on stdout when the main menu
// has painted; the parent times from process start to that report. Goal:
// under 300 ms.
#include "app/Main.h"
#include "app/QtUi.h"
#include "app/Startup.h"
#include "core/CoreSource.h"
#include "orca/OrcaHttp.h"
#include "platform/AppPaths.h"
#include "platform/SingleInstance.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

class FirstPaint : public QObject {
public:
    bool eventFilter(QObject *, QEvent *e) override {
        if (e->type() == QEvent::Paint) {
            std::printf("painted\n");
            std::fflush(stdout);
            QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        }
        return false;
    }
};

int Child(int argc, char **argv, const QString &dir) {
    OrcaGlobalInit();
    platform::SetExecutableDirOverride(dir);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ミナトリ"));
    RegisterJapaneseFonts();
    QtUi ui;
    platform::SetUi(&ui);
    platform::SingleInstanceGuard guard(kSingleInstanceName);
    if (RunStartupChecks(guard) != StartupOutcome::ShowMainMenu)
        return 2;
    auto *menu = new TfrmMain;
    FirstPaint watch;
    menu->installEventFilter(&watch);
    menu->show();
    app.exec();
    delete menu;
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    if (argc >= 3 && qstrcmp(argv[1], "--child") == 0)
        return Child(argc, argv, QString::fromLocal8Bit(argv[2]));

    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    QFile ini(dir.path() + QStringLiteral("/user.ini"));
    ini.open(QIODevice::WriteOnly);
    ini.write("[UPDATE]\r\nMODE=1\r\n");
    ini.close();
    const int runs = argc >= 2 ? QString::fromLocal8Bit(argv[1]).toInt() : 10;
    std::vector<qint64> times;
    for (int i = 0; i < std::max(runs, 1); ++i) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QElapsedTimer t;
        t.start();
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--child"), dir.path() + QLatin1Char('/')});
        bool painted = false;
        while (!painted && child.waitForReadyRead(10000))
            painted = child.readAll().contains("painted");
        const qint64 ms = t.elapsed();
        child.waitForFinished(10000);
        if (!painted) {
            std::fprintf(stderr, "the child did not report a painted main menu\n");
            return 1;
        }
        times.push_back(ms);
    }
    std::sort(times.begin(), times.end());
    std::printf("start to painted main menu (%s): median %lld ms, min %lld ms, max %lld ms "
                "over %zu runs\n",
                qPrintable(qEnvironmentVariable("QT_QPA_PLATFORM", QStringLiteral("default"))),
                static_cast<long long>(times[times.size() / 2]),
                static_cast<long long>(times.front()), static_cast<long long>(times.back()),
                times.size());
    return 0;
}
