#include "viewer/RequestRunner.h"

#include "platform/UiSeam.h"

#include <QEventLoop>
#include <QMetaObject>

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

// One long-lived thread that runs the jobs in order.
class TRequestRunner::Worker {
public:
    Worker() : m_thread([this] { loop(); }) {}
    ~Worker() {
        {
            std::lock_guard<std::mutex> hold(m_lock);
            m_stop = true;
        }
        m_wake.notify_one();
        m_thread.join();
    }
    void post(std::function<void()> job) {
        {
            std::lock_guard<std::mutex> hold(m_lock);
            m_jobs.push_back(std::move(job));
        }
        m_wake.notify_one();
    }

private:
    void loop() {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock<std::mutex> hold(m_lock);
                m_wake.wait(hold, [this] { return m_stop || !m_jobs.empty(); });
                if (m_jobs.empty())
                    return;
                job = std::move(m_jobs.front());
                m_jobs.pop_front();
            }
            job();
        }
    }

    std::mutex m_lock;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_jobs;
    bool m_stop = false;
    std::thread m_thread;
};

TRequestRunner::TRequestRunner(QObject *parent)
    : QObject(parent), m_worker(std::make_unique<Worker>()) {}

TRequestRunner::~TRequestRunner() = default;

void TRequestRunner::Begin() {
    ++m_depth;
}

void TRequestRunner::End() {
    if (--m_depth == 0)
        emit Idle();
}

void TRequestRunner::Run(const QString &what, const std::function<void()> &job) {
    TBusyScope busy(*this);
    ++m_requests;
    const QString before = m_shown;
    m_shown = what;
    if (m_status)
        m_status(what);
    if (m_running++ == 0)
        platform::Ui().setCursor(platform::CursorKind::Hourglass);

    QEventLoop loop;
    std::exception_ptr error;
    m_worker->post([this, &job, &error, &loop] {
        try {
            job();
        } catch (...) {
            error = std::current_exception();
        }
        // Back on the user-interface thread, inside loop.exec().
        QMetaObject::invokeMethod(
            this, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    loop.exec(QEventLoop::ExcludeUserInputEvents);

    if (--m_running == 0)
        platform::Ui().setCursor(platform::CursorKind::Default);
    m_shown = before;
    if (m_status)
        m_status(before);
    if (error)
        std::rethrow_exception(error);
}
