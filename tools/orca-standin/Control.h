// Fault injection and the request log, shared by the API listener and the
// control listener.
#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <deque>
#include <map>
#include <mutex>
#include <optional>

namespace standin {

struct Fault {
    enum class Kind { Status, Delay, Close, Reset, Result };
    Kind kind = Kind::Status;
    int status = 0;  // Status: the status sent; Delay: 0 = the normal answer
    int delayMs = 0; // Delay only; capped at kMaxDelayMs
    int count = 1;   // requests left; -1 = forever
    QString result;  // Result only: the Api_Result code of the answer
};

constexpr int kMaxDelayMs = 120000;

class ControlState {
public:
    // Parses {"path","kind","status","delay_ms","count","result"}; error text
    // on failure.
    bool addFault(const QJsonObject &spec, QString *error);
    // The fault for one API request (apiPath without "/api/", query undecoded):
    // the queue of "path?query" first, then of "path", then of "*".
    std::optional<Fault> takeFault(const QString &apiPath, const QString &query);
    QJsonArray pendingFaults() const;

    void logRequest(const QJsonObject &entry);
    QJsonArray requests() const;
    void reset();

private:
    mutable std::mutex m_mutex;
    std::map<QString, std::deque<Fault>> m_faults;
    std::deque<QJsonObject> m_log;
};

} // namespace standin
