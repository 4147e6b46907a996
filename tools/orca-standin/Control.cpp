#include "Control.h"

namespace standin {

namespace {

constexpr size_t kMaxLogEntries = 20000;
constexpr qsizetype kMaxResultLength = 64;

const char *KindName(Fault::Kind kind) {
    switch (kind) {
    case Fault::Kind::Status:
        return "status";
    case Fault::Kind::Delay:
        return "delay";
    case Fault::Kind::Close:
        return "close";
    case Fault::Kind::Reset:
        return "reset";
    case Fault::Kind::Result:
        return "result";
    }
    return "";
}

} // namespace

bool ControlState::addFault(const QJsonObject &spec, QString *error) {
    QString path = spec.value(QStringLiteral("path")).toString();
    while (path.startsWith(u'/'))
        path.remove(0, 1);
    if (path.startsWith(QStringLiteral("api/")))
        path.remove(0, 4);
    if (path.isEmpty()) {
        *error = QStringLiteral("path missing");
        return false;
    }
    Fault fault;
    const QString kind = spec.value(QStringLiteral("kind")).toString();
    if (kind == QStringLiteral("status"))
        fault.kind = Fault::Kind::Status;
    else if (kind == QStringLiteral("delay"))
        fault.kind = Fault::Kind::Delay;
    else if (kind == QStringLiteral("close"))
        fault.kind = Fault::Kind::Close;
    else if (kind == QStringLiteral("reset"))
        fault.kind = Fault::Kind::Reset;
    else if (kind == QStringLiteral("result"))
        fault.kind = Fault::Kind::Result;
    else {
        *error = QStringLiteral("kind must be status, delay, close, reset or result");
        return false;
    }
    if (fault.kind == Fault::Kind::Result) {
        fault.result = spec.value(QStringLiteral("result")).toString();
        if (fault.result.isEmpty() || fault.result.size() > kMaxResultLength) {
            *error =
                QStringLiteral("result must be a code of 1 to %1 characters").arg(kMaxResultLength);
            return false;
        }
    }
    fault.status = spec.value(QStringLiteral("status")).toInt(0);
    if (fault.kind == Fault::Kind::Status && fault.status == 0)
        fault.status = 500;
    if (fault.status != 0 && (fault.status < 100 || fault.status > 999)) {
        *error = QStringLiteral("status out of range");
        return false;
    }
    fault.delayMs = qBound(0, spec.value(QStringLiteral("delay_ms")).toInt(0), kMaxDelayMs);
    fault.count = spec.value(QStringLiteral("count")).toInt(1);
    if (fault.count == 0 || fault.count < -1) {
        *error = QStringLiteral("count must be positive or -1");
        return false;
    }
    std::lock_guard lock(m_mutex);
    m_faults[path].push_back(fault);
    return true;
}

std::optional<Fault> ControlState::takeFault(const QString &apiPath, const QString &query) {
    std::lock_guard lock(m_mutex);
    QStringList keys;
    if (!query.isEmpty())
        keys << apiPath + u'?' + query;
    keys << apiPath << QStringLiteral("*");
    for (const QString &key : keys) {
        auto it = m_faults.find(key);
        if (it == m_faults.end() || it->second.empty())
            continue;
        Fault &head = it->second.front();
        Fault taken = head;
        if (head.count > 0 && --head.count == 0)
            it->second.pop_front();
        if (it->second.empty())
            m_faults.erase(it);
        return taken;
    }
    return std::nullopt;
}

QJsonArray ControlState::pendingFaults() const {
    std::lock_guard lock(m_mutex);
    QJsonArray out;
    for (const auto &[path, queue] : m_faults) {
        for (const Fault &f : queue) {
            QJsonObject entry{{QStringLiteral("path"), path},
                              {QStringLiteral("kind"), QString::fromLatin1(KindName(f.kind))},
                              {QStringLiteral("status"), f.status},
                              {QStringLiteral("delay_ms"), f.delayMs},
                              {QStringLiteral("count"), f.count}};
            if (f.kind == Fault::Kind::Result)
                entry.insert(QStringLiteral("result"), f.result);
            out.append(entry);
        }
    }
    return out;
}

void ControlState::logRequest(const QJsonObject &entry) {
    std::lock_guard lock(m_mutex);
    m_log.push_back(entry);
    while (m_log.size() > kMaxLogEntries)
        m_log.pop_front();
}

QJsonArray ControlState::requests() const {
    std::lock_guard lock(m_mutex);
    QJsonArray out;
    for (const QJsonObject &e : m_log)
        out.append(e);
    return out;
}

void ControlState::reset() {
    std::lock_guard lock(m_mutex);
    m_faults.clear();
    m_log.clear();
}

} // namespace standin
