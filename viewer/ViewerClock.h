#pragma once
#include <QDate>
#include <QDateTime>
#include <QTimeZone>

// "Now" and "today" of the viewer: the machine's local time, or, in tests, a
// fixed instant seen in a chosen time zone.
namespace viewer {

QDateTime Now();
QDate Today();

// Fixes the clock at the instant, seen in the zone (tests). An invalid instant
// returns to the machine's clock.
void SetClockForTesting(const QDateTime &instant, const QTimeZone &zone);
void ResetClockForTesting();

} // namespace viewer
