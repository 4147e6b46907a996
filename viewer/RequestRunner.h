#pragma once
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

// Runs the viewer's ORCA requests off the user-interface thread. The caller
// waits in one local event loop that leaves user input queued: the window
// keeps repainting, shows the wait cursor and what it is loading, and nothing
// the user does runs until the request is over. A sequence of requests (a
// patient selection, a list load, an export) is bracketed with TBusyScope;
// while it runs the window holds back whatever else would run in between
// (refresh timer ticks, a close request, the mark worker's results) and lets
// it run when Idle() is emitted at the end of the outermost sequence.
class TRequestRunner : public QObject {
    Q_OBJECT
public:
    explicit TRequestRunner(QObject *parent = nullptr);
    ~TRequestRunner() override;

    // Where "what is loading" is shown; called with an empty text when done.
    void SetStatusSink(std::function<void(const QString &)> sink) { m_status = std::move(sink); }

    // Runs job on the request thread and waits for it. An error the job throws
    // is thrown again here, on the user-interface thread. Nested calls (from
    // something that runs while waiting) queue behind the running job.
    void Run(const QString &what, const std::function<void()> &job);

    template <class T> T Call(const QString &what, const std::function<T()> &job) {
        T result{};
        Run(what, [&] { result = job(); });
        return result;
    }

    // Whether a sequence or a request is running.
    bool IsBusy() const { return m_depth > 0; }
    int Depth() const { return m_depth; }

    // Sequence bracket (use TBusyScope); End of the outermost emits Idle.
    void Begin();
    void End();

    // A status text with a count: "what (n / m)".
    static QString Progress(const QString &what, int n, int m) {
        return QStringLiteral("%1 (%2 / %3)").arg(what).arg(n).arg(m);
    }

    // How many requests ran so far (tests and benchmarks).
    int RequestCount() const { return m_requests; }

signals:
    // The outermost sequence has ended: held-back work may run now.
    void Idle();

private:
    class Worker;
    std::unique_ptr<Worker> m_worker;
    std::function<void(const QString &)> m_status;
    QString m_shown;
    int m_depth = 0;
    int m_requests = 0;
    int m_running = 0; // requests waited for (nested ones included)
};

class TBusyScope {
public:
    explicit TBusyScope(TRequestRunner &runner) : m_runner(runner) { m_runner.Begin(); }
    ~TBusyScope() { m_runner.End(); }
    TBusyScope(const TBusyScope &) = delete;
    TBusyScope &operator=(const TBusyScope &) = delete;

private:
    TRequestRunner &m_runner;
};
