// The patients and reception lists the stand-in answers from: the runtime
// layer (control port) over the data folder over the built-in demo set.
// The data folder is read at every request, so tests may change it while the
// server runs.
#pragma once

#include <QDate>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <mutex>
#include <optional>

namespace standin {

class DataStore {
public:
    DataStore(QString dataDir, int padLength, bool matchPadded, QDate startDay);

    // The number as the clinic's ORCA keeps it: numeric numbers shorter than
    // the configured length are zero-padded.
    QString canonicalId(const QString &id) const;

    // How a requested number meets the kept one. Configured: as the server
    // was started (--match); Padded: the number is zero-padded first, as ORCA
    // does for the patient and medical-record APIs.
    enum class IdMatch { Configured, Padded };

    // The patient a request names, or nothing. With exact matching the
    // request's number must equal the kept number as text. The returned
    // object carries the kept number in "id".
    std::optional<QJsonObject> findPatient(const QString &requested,
                                           IdMatch match = IdMatch::Configured) const;

    // Reception entries of one day, each with "id" as kept.
    QJsonArray reception(const QDate &day) const;

    // "yyyy-mm-dd", or "today", "today-N", "today+N" (days from the start day).
    QDate resolveDate(const QString &text) const;
    QDate startDay() const { return m_startDay; }

    void setDemo(const QJsonArray &patients, const QHash<QString, QJsonArray> &receptions);
    // Runtime additions; false when the patient has no usable "id".
    bool putPatient(const QJsonObject &patient);
    bool putReception(const QDate &day, const QJsonArray &entries);

private:
    std::optional<QJsonObject> findInFolder(const QString &key) const;

    QString m_dataDir;
    int m_padLength;
    bool m_matchPadded;
    QDate m_startDay;
    mutable std::mutex m_mutex;
    QHash<QString, QJsonObject> m_demoPatients, m_runtimePatients;
    QHash<QString, QJsonArray> m_demoReceptions, m_runtimeReceptions;
};

// Reads a JSON file of at most a few MiB; empty document on any failure.
QJsonDocument ReadJsonFile(const QString &path);

} // namespace standin
