// The request runner: jobs run off the calling thread while the caller's
// window keeps handling events, errors come back to the caller, nested runs
// queue, and Idle comes once when the outermost sequence ends.
#include "core/CoreSource.h"
#include "tests/support/ScriptedUi.h"
#include "viewer/RequestRunner.h"

#include <QLabel>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <atomic>

class TestRequestRunner : public QObject {
    Q_OBJECT
private slots:
    void runsOffThisThreadWhileEventsFlow();
    void errorsComeBackToTheCaller();
    void nestedRunsQueueAndIdleComesOnce();
};

void TestRequestRunner::runsOffThisThreadWhileEventsFlow() {
    ScriptedUi ui;
    TRequestRunner runner;
    QStringList shown;
    runner.SetStatusSink([&](const QString &t) { shown << t; });
    int ticks = 0;
    QTimer timer;
    connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(20);
    std::atomic<bool> otherThread{false};
    const QThread *caller = QThread::currentThread();
    const int result = runner.Call<int>(QStringLiteral("読込中"), [&] {
        otherThread = QThread::currentThread() != caller;
        QThread::msleep(300);
        return 42;
    });
    QCOMPARE(result, 42);
    QVERIFY(otherThread);
    QVERIFY2(ticks >= 5, "events were not handled while waiting");
    QCOMPARE(shown, QStringList({QStringLiteral("読込中"), QString()}));
    QCOMPARE(ui.cursor, platform::CursorKind::Default);
    QCOMPARE(ui.callsOf(QStringLiteral("cursor")).size(), 2);
    QVERIFY(!runner.IsBusy());
}

void TestRequestRunner::errorsComeBackToTheCaller() {
    ScriptedUi ui;
    TRequestRunner runner;
    bool caught = false;
    try {
        runner.Run(QString(), [] {
            throw EAppError(QStringLiteral("EInOutError"), QStringLiteral("Log.txt"));
        });
    } catch (const EAppError &e) {
        caught = e.message() == QStringLiteral("Log.txt");
    }
    QVERIFY(caught);
    QVERIFY(!runner.IsBusy());
    QCOMPARE(runner.Call<int>(QString(), [] { return 1; }), 1); // still usable
}

void TestRequestRunner::nestedRunsQueueAndIdleComesOnce() {
    ScriptedUi ui;
    TRequestRunner runner;
    int idle = 0;
    connect(&runner, &TRequestRunner::Idle, [&] { ++idle; });
    QStringList order;
    {
        TBusyScope sequence(runner);
        QTimer::singleShot(50, [&] {
            // Something that runs while the first job waits starts another.
            runner.Run(QStringLiteral("inner"), [&] { order << QStringLiteral("inner"); });
        });
        runner.Run(QStringLiteral("outer"), [&] {
            QThread::msleep(200);
            order << QStringLiteral("outer");
        });
        runner.Run(QStringLiteral("last"), [&] { order << QStringLiteral("last"); });
        QCOMPARE(idle, 0);
        QVERIFY(runner.IsBusy());
    }
    QCOMPARE(order, QStringList({"outer", "inner", "last"}));
    QCOMPARE(idle, 1);
    QCOMPARE(runner.RequestCount(), 3);
}

QTEST_MAIN(TestRequestRunner)
#include "test_requestrunner.moc"
