#include "viewer/ViewerClock.h"

#include <mutex>

namespace viewer {

namespace {

std::mutex g_lock;
QDateTime g_instant; // invalid: the machine's clock
QTimeZone g_zone;

} // namespace

QDateTime Now() {
    std::lock_guard<std::mutex> hold(g_lock);
    if (!g_instant.isValid())
        return QDateTime::currentDateTime();
    return g_instant.toTimeZone(g_zone);
}

QDate Today() {
    return Now().date();
}

void SetClockForTesting(const QDateTime &instant, const QTimeZone &zone) {
    std::lock_guard<std::mutex> hold(g_lock);
    g_instant = instant;
    g_zone = zone;
}

void ResetClockForTesting() {
    SetClockForTesting(QDateTime(), QTimeZone());
}

} // namespace viewer
