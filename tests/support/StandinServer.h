// Test helper: runs the stand-in ORCA server (bin/orca-standin) as a child
// process and talks to its control port.
//
// Data folder layout written by the static helpers (see
// tools/orca-standin/README.md for every field):
//   <dataDir>/patients/<id>.json       one patient (object with "id", "name", ...)
//   <dataDir>/reception/<yyyy-mm-dd>.json   array of {"id", "time", "account_time"?}
// Numeric patient numbers are zero-padded to the server's --pad-length (5 by
// default). The online APIs match them as exact text, so with patient "00012"
// the numbers 12 and 0012 get E10 there; patientgetv2 and medicalgetv2 pad a
// number first, as ORCA does, and find 12 as 00012.
//
// A patient with other institutions' data and own visits, compactly:
//   QJsonObject p = StandinServer::makePatient("12", "架空　一郎", "1962-04-01");
//   StandinServer::append(&p, "drugs", StandinServer::dispensing("today-40",
//       {"1340100018", "あおば見本薬局"},
//       {StandinServer::drugLine("アムロジピン錠５ｍｇ", "1", "錠", 28)},
//       {"1310100011", "みどり台内科クリニック"}));
//   StandinServer::append(&p, "visits", StandinServer::visit("today-3",
//       {StandinServer::order("21", 14, {StandinServer::orderLine("620000001",
//                                         "ランソプラゾールＯＤ錠１５ｍｇ", "1", "錠")})}));
#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <memory>

class QProcess;
class QTemporaryDir;

// An institution of the online data: ten-digit code (third digit 1 medical,
// 3 dental, 4 pharmacy) and name.
struct StandinInstitution {
    QString code;
    QString name;
};

struct StandinOptions {
    QString dataDir;   // --data; may stay empty with demo = true
    bool demo = false; // --demo: built-in data set relative to today
    QString user, key; // --user/--key: Basic authentication required when set
    QString tlsCert, tlsKey, clientCa, tlsMin, tlsMax; // HTTPS when tlsCert is set
    int port = 0;                                      // 0 = ephemeral
    // --bind: the listen address of both listeners; the helper's control
    // channel and baseUrl() use it too. Any of 127.0.0.0/8 works on Linux.
    QString bind = QStringLiteral("127.0.0.1");
    QStringList extraArgs; // e.g. {"--match", "padded"} or {"--pad-length", "7"}
};

class StandinServer {
public:
    StandinServer();
    ~StandinServer(); // stops the server
    StandinServer(const StandinServer &) = delete;
    StandinServer &operator=(const StandinServer &) = delete;

    // Starts bin/orca-standin (found through MINATORI_BINARY_DIR, else relative
    // to the test executable) and waits up to about 10 s until it listens.
    bool start(const StandinOptions &options, QString *error = nullptr);
    void stop();
    bool isRunning() const;

    int port() const;
    int controlPort() const;
    // "http://<bind>:PORT/api/" or "https://<bind>:PORT/api/" (an IPv6 address
    // in brackets)
    QString baseUrl() const;

    // apiPath without "/api/": "api01rv2/acceptlstv2" matches that path with
    // any query, "api01rv2/acceptlstv2?class=03" only that exact query, "*"
    // every API path. kind: "status" (answer with status), "delay" (answer
    // after delayMs; with status != 0 that status instead of the normal answer),
    // "close" (close without response bytes), "reset" (TCP RST), "result"
    // (status 200, the path's usual answer record with Api_Result = resultCode
    // and no data, e.g. "E100").
    // count: requests the fault applies to, -1 = forever. Faults queue per path.
    bool addFault(const QString &apiPath, const QString &kind, int count, int status = 0,
                  int delayMs = 0, const QString &resultCode = QString());

    // Every API request so far, in arrival order:
    // {"method","path","query","headers":{lower-case name: value},"body"}.
    QJsonArray requests();
    // Clears the faults and the request log.
    void resetControl();
    // Adds or replaces one patient in the running server (same shape as the
    // files of writePatient); the answers use it at once.
    bool putPatient(const QJsonObject &patient);
    // Adds or replaces the reception list of one day in the running server.
    bool putReception(const QString &date, const QJsonArray &entries);

    // Value of one header of a logged request, looked up without regard to case.
    static QString header(const QJsonObject &request, const QString &name);

    // Full path of the orca-standin executable, or empty when not found.
    static QString executablePath();

    // Data folder helpers. A minimal patient: {"id":"00012","name":"架空　一郎"}.
    static QJsonObject makePatient(const QString &id, const QString &name,
                                   const QString &birthDate = QString(),
                                   const QString &kana = QString(), const QString &sex = QString());
    // Appends an entry to one of a patient's lists: "drugs", "medical",
    // "checkups" or "visits".
    static void append(QJsonObject *patient, const QString &list, const QJsonObject &entry);

    // Dates below are "yyyy-mm-dd" or "today", "today-N", "today+N".
    // An other institution's dispensing: by a pharmacy for `prescriber`, or in
    // house when the prescriber is left empty. InOut follows the dispenser
    // (4 for a pharmacy, else 2) unless `inOut` is given.
    static QJsonObject dispensing(const QString &date, const StandinInstitution &dispenser,
                                  const QJsonArray &lines,
                                  const StandinInstitution &prescriber = {},
                                  const QString &inOut = QString());
    // The other institutions' drugs most tests need: one drug for 28 days,
    // dispensed by a pharmacy (あおば見本薬局) for a clinic (みどり台内科クリニック).
    static QJsonObject sampleDispensing(const QString &date);
    // One drug line of a dispensing; `times` is days (class 21) or times.
    static QJsonObject drugLine(const QString &name, const QString &qty, const QString &unit,
                                int times, const QString &cls = QStringLiteral("21"));
    // One treatment day of an institution in the online medical information.
    static QJsonObject treatment(const QString &date, const StandinInstitution &institution,
                                 const QString &inOut = QStringLiteral("2"));
    // A specific health checkup on `date`, with a few results.
    static QJsonObject checkup(const QString &date);
    // One own-clinic visit with its orders.
    static QJsonObject visit(const QString &date, const QJsonArray &orders,
                             const QString &department = QStringLiteral("01"),
                             const QString &departmentName = QStringLiteral("内科"));
    // One order of a visit: class ("21" or "210"), count (days for 21, times
    // for 22, 1 otherwise) and its lines.
    static QJsonObject order(const QString &cls, int count, const QJsonArray &lines,
                             const QString &className = QString());
    // One line of an order: a drug (code beginning with 6, with its unit) or a
    // procedure. A null `qty` is left out (ORCA writes 1); to write none, set
    // the line's "qty" to "".
    static QJsonObject orderLine(const QString &code, const QString &name,
                                 const QString &qty = QString(), const QString &unit = QString());
    // One reception entry; settled when `accountTime` is given.
    static QJsonObject receptionEntry(const QString &id, const QString &time,
                                      const QString &accountTime = QString());
    static bool writePatient(const QString &dataDir, const QJsonObject &patient);
    // date "yyyy-mm-dd"; entries e.g. [{"id":"00012","time":"09:05:00"}]
    static bool writeReception(const QString &dataDir, const QString &date,
                               const QJsonArray &entries);

private:
    // One blocking HTTP exchange with the control port; returns the status
    // (0 on failure) and fills body.
    int control(const QByteArray &method, const QByteArray &path, const QByteArray &payload,
                QByteArray *body);

    std::unique_ptr<QProcess> m_process;
    std::unique_ptr<QTemporaryDir> m_tempDir;
    int m_port = 0;
    int m_controlPort = 0;
    bool m_tls = false;
    QString m_host = QStringLiteral("127.0.0.1"); // where the listeners are reached
};
