#pragma once
#include <QEventLoop>
#include <QMetaObject>

#include <exception>
#include <optional>
#include <thread>
#include <utility>

// Runs work on a worker thread and returns its result. Meanwhile the calling
// (user-interface) thread keeps handling paint, timer and other events but
// holds user input back (keys, mouse, the close box), so the window repaints
// and nothing can be started or closed twice. An error raised by the work is
// raised again here.
template <typename F> auto WaitWhile(F &&work) -> decltype(work()) {
    using Result = decltype(work());
    std::optional<Result> result;
    std::exception_ptr error;
    QEventLoop loop;
    std::thread worker([&] {
        try {
            result.emplace(work());
        } catch (...) {
            error = std::current_exception();
        }
        QMetaObject::invokeMethod(
            &loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
    if (error)
        std::rethrow_exception(error);
    return std::move(*result);
}
