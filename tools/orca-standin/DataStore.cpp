#include "DataStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QRegularExpression>

namespace standin {

namespace {

constexpr qint64 kMaxFileSize = 16 * 1024 * 1024;
constexpr int kMaxPatientFiles = 20000;

bool IsDigits(const QString &s) {
    if (s.isEmpty())
        return false;
    for (QChar c : s) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return true;
}

} // namespace

QJsonDocument ReadJsonFile(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxFileSize)
        return {};
    QJsonParseError error{};
    QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError)
        return {};
    return doc;
}

DataStore::DataStore(QString dataDir, int padLength, bool matchPadded, QDate startDay)
    : m_dataDir(std::move(dataDir)), m_padLength(padLength), m_matchPadded(matchPadded),
      m_startDay(startDay) {}

QString DataStore::canonicalId(const QString &id) const {
    if (IsDigits(id) && id.size() < m_padLength)
        return QString(m_padLength - id.size(), u'0') + id;
    return id;
}

QDate DataStore::resolveDate(const QString &text) const {
    static const QRegularExpression relative(QStringLiteral("^today(?:([+-])(\\d{1,5}))?$"));
    QRegularExpressionMatch m = relative.match(text);
    if (m.hasMatch()) {
        int days = m.captured(2).isEmpty() ? 0 : m.captured(2).toInt();
        return m_startDay.addDays(m.captured(1) == QStringLiteral("-") ? -days : days);
    }
    return QDate::fromString(text.left(10), QStringLiteral("yyyy-MM-dd"));
}

std::optional<QJsonObject> DataStore::findInFolder(const QString &key) const {
    if (m_dataDir.isEmpty())
        return std::nullopt;
    QDir dir(m_dataDir + QStringLiteral("/patients"));
    // Only names the folder lists are opened; the requested number never
    // becomes part of a path.
    const QStringList files =
        dir.entryList({QStringLiteral("*.json")}, QDir::Files | QDir::Readable, QDir::Name);
    int seen = 0;
    for (const QString &name : files) {
        if (++seen > kMaxPatientFiles)
            break;
        QFileInfo info(name);
        QString base = info.completeBaseName();
        QJsonObject patient = ReadJsonFile(dir.filePath(name)).object();
        if (patient.isEmpty())
            continue;
        QString id = patient.value(QStringLiteral("id")).toString(base);
        if (canonicalId(id) == key) {
            patient.insert(QStringLiteral("id"), key);
            return patient;
        }
    }
    return std::nullopt;
}

std::optional<QJsonObject> DataStore::findPatient(const QString &requested, IdMatch match) const {
    if (requested.isEmpty())
        return std::nullopt;
    // Exact matching: a number is found only in the form ORCA keeps it.
    const bool padded = m_matchPadded || match == IdMatch::Padded;
    QString key = padded ? canonicalId(requested) : requested;
    if (canonicalId(key) != key)
        return std::nullopt;
    {
        std::lock_guard lock(m_mutex);
        auto it = m_runtimePatients.constFind(key);
        if (it != m_runtimePatients.constEnd())
            return *it;
    }
    if (auto found = findInFolder(key))
        return found;
    std::lock_guard lock(m_mutex);
    auto it = m_demoPatients.constFind(key);
    if (it != m_demoPatients.constEnd())
        return *it;
    return std::nullopt;
}

QJsonArray DataStore::reception(const QDate &day) const {
    const QString key = day.toString(QStringLiteral("yyyy-MM-dd"));
    QJsonArray entries;
    bool found = false;
    {
        std::lock_guard lock(m_mutex);
        auto it = m_runtimeReceptions.constFind(key);
        if (it != m_runtimeReceptions.constEnd()) {
            entries = *it;
            found = true;
        }
    }
    if (!found && !m_dataDir.isEmpty()) {
        QString path = m_dataDir + QStringLiteral("/reception/") + key + QStringLiteral(".json");
        if (QFileInfo::exists(path)) {
            QJsonDocument doc = ReadJsonFile(path);
            entries = doc.isArray() ? doc.array()
                                    : doc.object().value(QStringLiteral("entries")).toArray();
            found = true;
        }
    }
    if (!found) {
        std::lock_guard lock(m_mutex);
        entries = m_demoReceptions.value(key);
    }
    QJsonArray out;
    for (const QJsonValue &v : entries) {
        QJsonObject entry = v.toObject();
        QString id = entry.value(QStringLiteral("id")).toString();
        if (id.isEmpty())
            continue;
        entry.insert(QStringLiteral("id"), canonicalId(id));
        out.append(entry);
    }
    return out;
}

void DataStore::setDemo(const QJsonArray &patients, const QHash<QString, QJsonArray> &receptions) {
    std::lock_guard lock(m_mutex);
    for (const QJsonValue &v : patients) {
        QJsonObject p = v.toObject();
        QString id = canonicalId(p.value(QStringLiteral("id")).toString());
        p.insert(QStringLiteral("id"), id);
        m_demoPatients.insert(id, p);
    }
    m_demoReceptions = receptions;
}

bool DataStore::putPatient(const QJsonObject &patient) {
    QString id = patient.value(QStringLiteral("id")).toString();
    if (id.isEmpty())
        return false;
    id = canonicalId(id);
    QJsonObject p = patient;
    p.insert(QStringLiteral("id"), id);
    std::lock_guard lock(m_mutex);
    m_runtimePatients.insert(id, p);
    return true;
}

bool DataStore::putReception(const QDate &day, const QJsonArray &entries) {
    if (!day.isValid())
        return false;
    std::lock_guard lock(m_mutex);
    m_runtimeReceptions.insert(day.toString(QStringLiteral("yyyy-MM-dd")), entries);
    return true;
}

} // namespace standin
