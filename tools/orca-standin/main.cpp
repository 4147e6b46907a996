// orca-standin: a stand-in for the clinic's ORCA API server, for tests and
// demonstrations. See README.md beside this file.
#include "DataStore.h"
#include "Demo.h"
#include "HttpServer.h"
#include "OrcaApi.h"

#include <QCommandLineParser>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QSaveFile>

#include <csignal>
#include <cstdio>
#include <pthread.h>

using namespace standin;

namespace {

int Fail(const QString &message) {
    std::fprintf(stderr, "orca-standin: %s\n", qPrintable(message));
    return 2;
}

bool WriteFileAtomically(const QString &path, const QByteArray &data) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(data);
    return file.commit();
}

// Writes the demo data set as a data folder (absolute dates).
bool DumpDemo(const QString &dir, const QDate &today, int padLength) {
    QJsonArray patients;
    QHash<QString, QJsonArray> receptions;
    BuildDemo(today, &patients, &receptions);
    if (!QDir().mkpath(dir + QStringLiteral("/patients")) ||
        !QDir().mkpath(dir + QStringLiteral("/reception")))
        return false;
    DataStore ids(QString(), padLength, false, today);
    for (const QJsonValue &v : patients) {
        const QJsonObject p = v.toObject();
        const QString id = ids.canonicalId(p.value(QStringLiteral("id")).toString());
        if (!WriteFileAtomically(dir + QStringLiteral("/patients/") + id + QStringLiteral(".json"),
                                 QJsonDocument(p).toJson()))
            return false;
    }
    for (auto it = receptions.constBegin(); it != receptions.constEnd(); ++it) {
        if (!WriteFileAtomically(dir + QStringLiteral("/reception/") + it.key() +
                                     QStringLiteral(".json"),
                                 QJsonDocument(it.value()).toJson()))
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv) {
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Stand-in ORCA API server"));
    parser.addHelpOption();
    const QCommandLineOption bind(QStringLiteral("bind"), QStringLiteral("Listen address."),
                                  QStringLiteral("addr"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("API port (0 = any)."),
                                  QStringLiteral("n"), QStringLiteral("0"));
    const QCommandLineOption portFile(QStringLiteral("port-file"),
                                      QStringLiteral("Write \"<port> <controlport>\" here."),
                                      QStringLiteral("file"));
    const QCommandLineOption data(QStringLiteral("data"), QStringLiteral("Data folder."),
                                  QStringLiteral("dir"));
    const QCommandLineOption demo(QStringLiteral("demo"),
                                  QStringLiteral("Serve the built-in demo data set."));
    const QCommandLineOption dumpDemo(QStringLiteral("dump-demo"),
                                      QStringLiteral("Write the demo data set as a data folder "
                                                     "and exit."),
                                      QStringLiteral("dir"));
    const QCommandLineOption user(QStringLiteral("user"), QStringLiteral("API user."),
                                  QStringLiteral("name"));
    const QCommandLineOption key(QStringLiteral("key"), QStringLiteral("API key."),
                                 QStringLiteral("key"));
    const QCommandLineOption tlsCert(QStringLiteral("tls-cert"),
                                     QStringLiteral("Server certificate (PEM): serve HTTPS."),
                                     QStringLiteral("file"));
    const QCommandLineOption tlsKey(QStringLiteral("tls-key"), QStringLiteral("Server key (PEM)."),
                                    QStringLiteral("file"));
    const QCommandLineOption clientCa(QStringLiteral("client-ca"),
                                      QStringLiteral("Require a client certificate from this CA."),
                                      QStringLiteral("file"));
    const QCommandLineOption tlsMin(QStringLiteral("tls-min"),
                                    QStringLiteral("Lowest TLS version (1.0 1.1 1.2 1.3)."),
                                    QStringLiteral("v"));
    const QCommandLineOption tlsMax(QStringLiteral("tls-max"),
                                    QStringLiteral("Highest TLS version (1.0 1.1 1.2 1.3)."),
                                    QStringLiteral("v"));
    const QCommandLineOption controlPort(QStringLiteral("control-port"),
                                         QStringLiteral("Plain-HTTP control port (0 = any); "
                                                        "none when not given."),
                                         QStringLiteral("n"));
    const QCommandLineOption padLength(QStringLiteral("pad-length"),
                                       QStringLiteral("Patient-number length (default 5)."),
                                       QStringLiteral("n"), QStringLiteral("5"));
    const QCommandLineOption match(QStringLiteral("match"),
                                   QStringLiteral("How the online APIs match a patient "
                                                  "number: exact (default) or padded."),
                                   QStringLiteral("mode"), QStringLiteral("exact"));
    parser.addOptions({bind, port, portFile, data, demo, dumpDemo, user, key, tlsCert, tlsKey,
                       clientCa, tlsMin, tlsMax, controlPort, padLength, match});
    if (!parser.parse(args))
        return Fail(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (!parser.positionalArguments().isEmpty())
        return Fail(QStringLiteral("unexpected argument ") + parser.positionalArguments().first());

    bool okNumber = false;
    const int apiPort = parser.value(port).toInt(&okNumber);
    if (!okNumber || apiPort < 0 || apiPort > 65535)
        return Fail(QStringLiteral("bad --port"));
    int ctlPort = -1;
    if (parser.isSet(controlPort)) {
        ctlPort = parser.value(controlPort).toInt(&okNumber);
        if (!okNumber || ctlPort < 0 || ctlPort > 65535)
            return Fail(QStringLiteral("bad --control-port"));
    }
    const int pad = parser.value(padLength).toInt(&okNumber);
    if (!okNumber || pad < 0 || pad > 20)
        return Fail(QStringLiteral("bad --pad-length"));
    const QString matchMode = parser.value(match);
    if (matchMode != QStringLiteral("exact") && matchMode != QStringLiteral("padded"))
        return Fail(QStringLiteral("--match must be exact or padded"));
    if (parser.isSet(tlsKey) != parser.isSet(tlsCert))
        return Fail(QStringLiteral("--tls-cert and --tls-key go together"));
    if ((parser.isSet(clientCa) || parser.isSet(tlsMin) || parser.isSet(tlsMax)) &&
        !parser.isSet(tlsCert))
        return Fail(QStringLiteral("--client-ca, --tls-min and --tls-max need --tls-cert"));

    const QDate today = QDate::currentDate();
    if (parser.isSet(dumpDemo)) {
        if (!DumpDemo(parser.value(dumpDemo), today, pad))
            return Fail(QStringLiteral("cannot write ") + parser.value(dumpDemo));
        return 0;
    }
    const QString dataDir = parser.value(data);
    if (!dataDir.isEmpty() && !QDir(dataDir).exists())
        return Fail(QStringLiteral("data folder not found: ") + dataDir);

    // Signals go to the main thread's sigwait only; writes to closed sockets
    // must not end the process.
    std::signal(SIGPIPE, SIG_IGN);
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    DataStore store(dataDir, pad, matchMode == QStringLiteral("padded"), today);
    if (parser.isSet(demo)) {
        QJsonArray patients;
        QHash<QString, QJsonArray> receptions;
        BuildDemo(today, &patients, &receptions);
        store.setDemo(patients, receptions);
    }
    ControlState control;
    OrcaApi api({parser.value(user), parser.value(key)}, store, control);
    StopSignal stop;
    HttpServer apiServer([&api](const HttpRequest &r) { return api.handleApi(r); }, stop);
    HttpServer controlServer([&api](const HttpRequest &r) { return api.handleControl(r); }, stop);

    std::string error;
    const std::string address = parser.value(bind).toStdString();
    if (parser.isSet(tlsCert)) {
        TlsSettings tls{parser.value(tlsCert).toStdString(), parser.value(tlsKey).toStdString(),
                        parser.value(clientCa).toStdString(), parser.value(tlsMin).toStdString(),
                        parser.value(tlsMax).toStdString()};
        if (!apiServer.enableTls(tls, &error))
            return Fail(QString::fromStdString(error));
    }
    if (!apiServer.listen(address, apiPort, &error))
        return Fail(QString::fromStdString(error));
    if (ctlPort >= 0 && !controlServer.listen(address, ctlPort, &error))
        return Fail(QString::fromStdString(error));
    apiServer.start();
    if (ctlPort >= 0)
        controlServer.start();

    const int listenCtl = ctlPort >= 0 ? controlServer.port() : 0;
    if (parser.isSet(portFile)) {
        const QByteArray line =
            QByteArray::number(apiServer.port()) + ' ' + QByteArray::number(listenCtl) + '\n';
        if (!WriteFileAtomically(parser.value(portFile), line))
            return Fail(QStringLiteral("cannot write ") + parser.value(portFile));
    }
    std::printf(
        "orca-standin: %s://%s:%d/api/%s%s\n", parser.isSet(tlsCert) ? "https" : "http",
        address.c_str(), apiServer.port(),
        ctlPort >= 0 ? qPrintable(QStringLiteral(" control port %1").arg(listenCtl)) : "",
        parser.isSet(demo)
            ? qPrintable(
                  QStringLiteral(" (demo data, KIKANCD %1)").arg(QLatin1String(kDemoKikancd)))
            : "");
    std::fflush(stdout);

    int received = 0;
    sigwait(&stopSignals, &received);
    stop.request();
    apiServer.stop();
    controlServer.stop();
    return 0;
}
