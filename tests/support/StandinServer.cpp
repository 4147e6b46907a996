#include "StandinServer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>
#include <QSaveFile>
#include <QTcpSocket>
#include <QTemporaryDir>

#ifdef __linux__
#include <csignal>
#include <sys/prctl.h>
#endif

namespace {

bool WriteJson(const QString &path, const QJsonDocument &doc) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(doc.toJson());
    return file.commit();
}

// A patient number or date used as a file name must stay one plain name.
bool IsPlainName(const QString &name) {
    return !name.isEmpty() && !name.contains(u'/') && !name.contains(u'\\') &&
           name != QStringLiteral(".") && name != QStringLiteral("..");
}

// The address to reach a server listening on bindAddress: a wildcard address
// is reached over loopback.
QString ConnectHost(const QString &bindAddress) {
    if (bindAddress == QStringLiteral("0.0.0.0"))
        return QStringLiteral("127.0.0.1");
    if (bindAddress == QStringLiteral("::"))
        return QStringLiteral("::1");
    return bindAddress;
}

// The host as written in a URL or a Host header.
QString UrlHost(const QString &host) {
    return host.contains(u':') ? u'[' + host + u']' : host;
}

} // namespace

StandinServer::StandinServer() = default;

StandinServer::~StandinServer() {
    stop();
}

QString StandinServer::executablePath() {
    QStringList candidates;
    const QString binaryDir = qEnvironmentVariable("MINATORI_BINARY_DIR");
    if (!binaryDir.isEmpty())
        candidates << binaryDir + QStringLiteral("/bin/orca-standin");
    const QString appDir = QCoreApplication::applicationDirPath();
    candidates << appDir + QStringLiteral("/../../bin/orca-standin")
               << appDir + QStringLiteral("/../bin/orca-standin")
               << appDir + QStringLiteral("/orca-standin");
    for (const QString &c : candidates) {
        QFileInfo info(c);
        if (info.isFile() && info.isExecutable())
            return info.canonicalFilePath();
    }
    return {};
}

bool StandinServer::start(const StandinOptions &options, QString *error) {
    stop();
    auto fail = [&](const QString &message) {
        if (error)
            *error = message;
        stop();
        return false;
    };
    const QString exe = executablePath();
    if (exe.isEmpty())
        return fail(QStringLiteral("orca-standin executable not found"));
    m_tempDir = std::make_unique<QTemporaryDir>();
    if (!m_tempDir->isValid())
        return fail(QStringLiteral("no temporary folder"));
    const QString portFile = m_tempDir->filePath(QStringLiteral("ports"));

    const QString bind = options.bind.isEmpty() ? QStringLiteral("127.0.0.1") : options.bind;
    QStringList args{QStringLiteral("--bind"),         bind,
                     QStringLiteral("--port"),         QString::number(options.port),
                     QStringLiteral("--control-port"), QStringLiteral("0"),
                     QStringLiteral("--port-file"),    portFile};
    if (!options.dataDir.isEmpty())
        args << QStringLiteral("--data") << options.dataDir;
    if (options.demo)
        args << QStringLiteral("--demo");
    if (!options.user.isEmpty())
        args << QStringLiteral("--user") << options.user;
    if (!options.key.isEmpty())
        args << QStringLiteral("--key") << options.key;
    if (!options.tlsCert.isEmpty())
        args << QStringLiteral("--tls-cert") << options.tlsCert;
    if (!options.tlsKey.isEmpty())
        args << QStringLiteral("--tls-key") << options.tlsKey;
    if (!options.clientCa.isEmpty())
        args << QStringLiteral("--client-ca") << options.clientCa;
    if (!options.tlsMin.isEmpty())
        args << QStringLiteral("--tls-min") << options.tlsMin;
    if (!options.tlsMax.isEmpty())
        args << QStringLiteral("--tls-max") << options.tlsMax;
    args << options.extraArgs;
    m_tls = !options.tlsCert.isEmpty();
    m_host = ConnectHost(bind);

    m_process = std::make_unique<QProcess>();
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process->setStandardOutputFile(QProcess::nullDevice());
#ifdef __linux__
    // A test that dies must not leave its server running.
    m_process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
#endif
    m_process->start(exe, args);
    if (!m_process->waitForStarted(5000))
        return fail(QStringLiteral("orca-standin did not start: ") + m_process->errorString());

    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        QFile file(portFile);
        if (file.open(QIODevice::ReadOnly)) {
            const QList<QByteArray> parts = file.readAll().simplified().split(' ');
            if (parts.size() == 2) {
                m_port = parts[0].toInt();
                m_controlPort = parts[1].toInt();
                if (m_port > 0 && m_controlPort > 0)
                    return true;
            }
        }
        if (m_process->waitForFinished(20) || m_process->state() == QProcess::NotRunning)
            return fail(
                QStringLiteral("orca-standin ended with exit code %1").arg(m_process->exitCode()));
    }
    return fail(QStringLiteral("orca-standin did not report its port within 10 s"));
}

void StandinServer::stop() {
    if (m_process) {
        if (m_process->state() != QProcess::NotRunning) {
            m_process->terminate();
            if (!m_process->waitForFinished(5000)) {
                m_process->kill();
                m_process->waitForFinished(2000);
            }
        }
        m_process.reset();
    }
    m_tempDir.reset();
    m_port = 0;
    m_controlPort = 0;
}

bool StandinServer::isRunning() const {
    return m_process && m_process->state() == QProcess::Running;
}

int StandinServer::port() const {
    return m_port;
}

int StandinServer::controlPort() const {
    return m_controlPort;
}

QString StandinServer::baseUrl() const {
    return QStringLiteral("%1://%2:%3/api/")
        .arg(m_tls ? QStringLiteral("https") : QStringLiteral("http"), UrlHost(m_host))
        .arg(m_port);
}

int StandinServer::control(const QByteArray &method, const QByteArray &path,
                           const QByteArray &payload, QByteArray *body) {
    if (m_controlPort <= 0)
        return 0;
    QTcpSocket socket;
    socket.connectToHost(m_host, quint16(m_controlPort));
    if (!socket.waitForConnected(5000))
        return 0;
    QByteArray request = method + ' ' + path + " HTTP/1.1\r\nHost: " + UrlHost(m_host).toUtf8() +
                         "\r\n" + "Connection: close\r\nContent-Type: application/json\r\n" +
                         "Content-Length: " + QByteArray::number(payload.size()) + "\r\n\r\n" +
                         payload;
    socket.write(request);
    if (!socket.waitForBytesWritten(5000))
        return 0;
    QByteArray response;
    QDeadlineTimer deadline(10000);
    while (socket.state() == QAbstractSocket::ConnectedState && !deadline.hasExpired()) {
        if (socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            response += socket.readAll();
    }
    response += socket.readAll();
    const qsizetype headEnd = response.indexOf("\r\n\r\n");
    if (!response.startsWith("HTTP/1.") || headEnd < 0)
        return 0;
    if (body)
        *body = response.mid(headEnd + 4);
    return response.mid(9, 3).toInt();
}

bool StandinServer::addFault(const QString &apiPath, const QString &kind, int count, int status,
                             int delayMs, const QString &resultCode) {
    QJsonObject spec{{QStringLiteral("path"), apiPath},
                     {QStringLiteral("kind"), kind},
                     {QStringLiteral("count"), count},
                     {QStringLiteral("status"), status},
                     {QStringLiteral("delay_ms"), delayMs}};
    if (!resultCode.isEmpty())
        spec.insert(QStringLiteral("result"), resultCode);
    return control("POST", "/_control/fault", QJsonDocument(spec).toJson(), nullptr) == 200;
}

QJsonArray StandinServer::requests() {
    QByteArray body;
    if (control("GET", "/_control/requests", QByteArray(), &body) != 200)
        return {};
    return QJsonDocument::fromJson(body).array();
}

void StandinServer::resetControl() {
    control("POST", "/_control/reset", QByteArray(), nullptr);
}

bool StandinServer::putPatient(const QJsonObject &patient) {
    return control("POST", "/_control/patient", QJsonDocument(patient).toJson(), nullptr) == 200;
}

bool StandinServer::putReception(const QString &date, const QJsonArray &entries) {
    const QJsonObject spec{{QStringLiteral("date"), date}, {QStringLiteral("entries"), entries}};
    return control("POST", "/_control/reception", QJsonDocument(spec).toJson(), nullptr) == 200;
}

QString StandinServer::header(const QJsonObject &request, const QString &name) {
    const QJsonObject headers = request.value(QStringLiteral("headers")).toObject();
    for (auto it = headers.constBegin(); it != headers.constEnd(); ++it) {
        if (it.key().compare(name, Qt::CaseInsensitive) == 0)
            return it.value().toString();
    }
    return {};
}

QJsonObject StandinServer::makePatient(const QString &id, const QString &name,
                                       const QString &birthDate, const QString &kana,
                                       const QString &sex) {
    QJsonObject patient{{QStringLiteral("id"), id}, {QStringLiteral("name"), name}};
    if (!birthDate.isEmpty())
        patient.insert(QStringLiteral("birth"), birthDate);
    if (!kana.isEmpty())
        patient.insert(QStringLiteral("kana"), kana);
    if (!sex.isEmpty())
        patient.insert(QStringLiteral("sex"), sex);
    return patient;
}

void StandinServer::append(QJsonObject *patient, const QString &list, const QJsonObject &entry) {
    QJsonArray entries = patient->value(list).toArray();
    entries.append(entry);
    patient->insert(list, entries);
}

QJsonObject StandinServer::dispensing(const QString &date, const StandinInstitution &dispenser,
                                      const QJsonArray &lines, const StandinInstitution &prescriber,
                                      const QString &inOut) {
    QJsonObject entry{{QStringLiteral("date"), date},
                      {QStringLiteral("institution_code"), dispenser.code},
                      {QStringLiteral("institution_name"), dispenser.name},
                      {QStringLiteral("items"), lines}};
    if (!prescriber.code.isEmpty()) {
        entry.insert(QStringLiteral("prescriber_code"), prescriber.code);
        entry.insert(QStringLiteral("prescriber_name"), prescriber.name);
    }
    if (!inOut.isEmpty())
        entry.insert(QStringLiteral("inout"), inOut);
    return entry;
}

QJsonObject StandinServer::sampleDispensing(const QString &date) {
    return dispensing(date, {QStringLiteral("1340100018"), QStringLiteral("あおば見本薬局")},
                      {drugLine(QStringLiteral("アムロジピン錠5mg"), QStringLiteral("1"),
                                QStringLiteral("錠"), 28)},
                      {QStringLiteral("1310100011"), QStringLiteral("みどり台内科クリニック")});
}

QJsonObject StandinServer::drugLine(const QString &name, const QString &qty, const QString &unit,
                                    int times, const QString &cls) {
    return {{QStringLiteral("class"), cls},
            {QStringLiteral("name"), name},
            {QStringLiteral("qty"), qty},
            {QStringLiteral("unit"), unit},
            {QStringLiteral("times"), QString::number(times)}};
}

QJsonObject StandinServer::treatment(const QString &date, const StandinInstitution &institution,
                                     const QString &inOut) {
    return {{QStringLiteral("date"), date},
            {QStringLiteral("institution_code"), institution.code},
            {QStringLiteral("institution_name"), institution.name},
            {QStringLiteral("inout"), inOut}};
}

QJsonObject StandinServer::checkup(const QString &date) {
    auto item = [](const char *code, const QString &name, const char *value, const char *unit) {
        return QJsonObject{{QStringLiteral("code"), QLatin1String(code)},
                           {QStringLiteral("name"), name},
                           {QStringLiteral("value"), QLatin1String(value)},
                           {QStringLiteral("unit"), QLatin1String(unit)}};
    };
    return {{QStringLiteral("date"), date},
            {QStringLiteral("items"),
             QJsonArray{item("9N001000000000001", QStringLiteral("身長"), "160.2", "cm"),
                        item("9N006000000000001", QStringLiteral("体重"), "58.4", "kg"),
                        item("3D046000001906202", QStringLiteral("ＨｂＡ１ｃ（ＮＧＳＰ値）"), "5.8",
                             "%")}}};
}

QJsonObject StandinServer::visit(const QString &date, const QJsonArray &orders,
                                 const QString &department, const QString &departmentName) {
    return {{QStringLiteral("date"), date},
            {QStringLiteral("department"), department},
            {QStringLiteral("department_name"), departmentName},
            {QStringLiteral("orders"), orders}};
}

QJsonObject StandinServer::order(const QString &cls, int count, const QJsonArray &lines,
                                 const QString &className) {
    QJsonObject o{{QStringLiteral("class"), cls},
                  {QStringLiteral("count"), QString::number(count)},
                  {QStringLiteral("items"), lines}};
    if (!className.isEmpty())
        o.insert(QStringLiteral("class_name"), className);
    return o;
}

QJsonObject StandinServer::orderLine(const QString &code, const QString &name, const QString &qty,
                                     const QString &unit) {
    QJsonObject line{{QStringLiteral("code"), code}, {QStringLiteral("name"), name}};
    if (!qty.isNull())
        line.insert(QStringLiteral("qty"), qty);
    if (!unit.isEmpty())
        line.insert(QStringLiteral("unit"), unit);
    return line;
}

QJsonObject StandinServer::receptionEntry(const QString &id, const QString &time,
                                          const QString &accountTime) {
    QJsonObject entry{{QStringLiteral("id"), id}, {QStringLiteral("time"), time}};
    if (!accountTime.isEmpty())
        entry.insert(QStringLiteral("account_time"), accountTime);
    return entry;
}

bool StandinServer::writePatient(const QString &dataDir, const QJsonObject &patient) {
    const QString id = patient.value(QStringLiteral("id")).toString();
    if (!IsPlainName(id) || !QDir().mkpath(dataDir + QStringLiteral("/patients")))
        return false;
    return WriteJson(dataDir + QStringLiteral("/patients/") + id + QStringLiteral(".json"),
                     QJsonDocument(patient));
}

bool StandinServer::writeReception(const QString &dataDir, const QString &date,
                                   const QJsonArray &entries) {
    if (!IsPlainName(date) || !QDir().mkpath(dataDir + QStringLiteral("/reception")))
        return false;
    return WriteJson(dataDir + QStringLiteral("/reception/") + date + QStringLiteral(".json"),
                     QJsonDocument(entries));
}
