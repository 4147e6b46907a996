// The viewer's ORCA transport against the stand-in server over loopback:
// URL forms, TLS, credentials, retries, response files, client certificates
// and the patient-ID retry. Log lines are read back from Log.txt.
#include "core/CoreSource.h"
#include "orca/OrcaHttp.h"
#include "orca/OrcaTags.h"
#include "orca/OrcaTemplates.h"
#include "orca/OrcaTransport.h"
#include "orca/TlsFailure.h"
#include "platform/AppPaths.h"
#include "platform/CertStore.h"
#include "tests/support/RawServer.h"
#include "tests/support/StandinServer.h"
#include "tests/support/TestCerts.h"
#include "tests/support/TestEnv.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTest>

#include <curl/curl.h>

namespace {

const QString kPatientPath = QStringLiteral("api01rv2/patientgetv2?id=00012");
const QString kPatientResFile = QStringLiteral("Res_api01rv2_patientgetv2_id_00012.txt");
constexpr int kStallMs = 700;

struct HttpErrorLine {
    int attempt = 0;
    int code = 0;
    QString url;
    bool hinted = false; // the next line is the hint for it
};

// Log messages with every "(<n>ms)" written as "(Nms)".
QStringList logLines() {
    static const QRegularExpression ms(QStringLiteral("\\(\\d+ms\\)"));
    QStringList out;
    for (QString line : ReadLogMessages(LogFilePath()))
        out << line.replace(ms, QStringLiteral("(Nms)"));
    return out;
}

qint64 loggedMs(const QString &apiLinePrefix) {
    static const QRegularExpression ms(QStringLiteral("\\((\\d+)ms\\)"));
    for (const QString &line : ReadLogMessages(LogFilePath())) {
        if (line.startsWith(apiLinePrefix))
            return ms.match(line).captured(1).toLongLong();
    }
    return -1;
}

// The "HTTP Error" lines of the log.
QList<HttpErrorLine> httpErrors(const QStringList &log) {
    static const QRegularExpression re(
        QStringLiteral("^HTTP Error \\(attempt (\\d)\\): (.*) URL: (\\S+)$"));
    QList<HttpErrorLine> out;
    for (int i = 0; i < log.size(); ++i) {
        const QRegularExpressionMatch m = re.match(log[i]);
        if (!m.hasMatch())
            continue;
        QString hint = DescribeTlsFailure(m.captured(2));
        hint.replace(QStringLiteral("\r\n"), QStringLiteral(" / "));
        out << HttpErrorLine{m.captured(1).toInt(), ParseWinHttpErrorCode(m.captured(2)),
                             m.captured(3), log.value(i + 1) == QStringLiteral("Hint: ") + hint};
    }
    return out;
}

// The error number of each line; 0 for a line whose hint is missing or wrong.
QList<int> codesOf(const QList<HttpErrorLine> &errors) {
    QList<int> out;
    for (const HttpErrorLine &e : errors)
        out << (e.hinted ? e.code : 0);
    return out;
}

QString authorizationOf(const QJsonValue &request) {
    return StandinServer::header(request.toObject(), QStringLiteral("Authorization"));
}

int freePort() {
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return s.serverPort(); // closed again when s goes
}

} // namespace

class TestOrcaTransport : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void urlForms_data();
    void urlForms();
    void tlsVersionsAndServerCertificates_data();
    void tlsVersionsAndServerCertificates();
    void credentialsOnlyWhenChallenged();
    void preemptiveBasicForTheWorker();
    void methodHeadersAndBody();
    void retries_data();
    void retries();
    void responseFiles();
    void oversizedAnswerIsRefused();
    void invalidRepliesAreRetried_data();
    void invalidRepliesAreRetried();
    void logErrorDuringHandshakeReachesTheCaller();
    void clientCertificate_data();
    void clientCertificate();
    void patientIdRetry_data();
    void patientIdRetry();

private:
    bool startTls(StandinServer &server, const TestCert &cert, const QString &tlsMin = {},
                  const QString &tlsMax = {}, const QString &clientCa = {});
    void useCloud(const StandinServer &server);
    // A plain HTTP stand-in that asks for the user "orca-user" with key "k3y".
    bool startWithCredentials(StandinServer &server);

    QString m_pki;
    QString m_data;
    TestCert m_serverRoot;
    TestCert m_server;
    TestCert m_clientRoot;
    StandinServer m_plain; // HTTP, no credentials
    StandinServer m_tls;   // HTTPS, TLS 1.2 and 1.3, no client certificate
    std::unique_ptr<TOrcaTransport> m_transport;
};

bool TestOrcaTransport::startTls(StandinServer &server, const TestCert &cert, const QString &tlsMin,
                                 const QString &tlsMax, const QString &clientCa) {
    static int n = 0;
    const QString stem = m_pki + QStringLiteral("server%1").arg(++n);
    if (!cert.writePem(stem + QStringLiteral(".crt"), stem + QStringLiteral(".key")))
        return false;
    StandinOptions o;
    o.dataDir = m_data;
    o.tlsCert = stem + QStringLiteral(".crt");
    o.tlsKey = stem + QStringLiteral(".key");
    o.tlsMin = tlsMin;
    o.tlsMax = tlsMax;
    o.clientCa = clientCa;
    QString error;
    if (!server.start(o, &error)) {
        qWarning("stand-in: %s", qPrintable(error));
        return false;
    }
    return true;
}

void TestOrcaTransport::useCloud(const StandinServer &server) {
    WriteSetting(QStringLiteral("COKBN"), QStringLiteral("CHCK"), QStringLiteral("1"));
    m_transport->stURL = server.baseUrl();
}

void TestOrcaTransport::initTestCase() {
    OrcaGlobalInit();
    for (const char *v :
         {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "ALL_PROXY", "all_proxy"})
        qunsetenv(v);

    const QString root = MakeTestAppDir(QStringLiteral("transport-fixture"));
    m_pki = root + QStringLiteral("pki/");
    m_data = root + QStringLiteral("data/");
    QVERIFY(QDir().mkpath(m_pki) && QDir().mkpath(m_data));
    QVERIFY(StandinServer::writePatient(
        m_data, StandinServer::makePatient(QStringLiteral("00012"), QStringLiteral("架空 一郎"))));
    // Another patient under a longer form of the same number (kept as written).
    QVERIFY(StandinServer::writePatient(
        m_data, StandinServer::makePatient(QStringLiteral("000012"), QStringLiteral("架空 次郎"))));

    m_serverRoot = MakeTestCa(QStringLiteral("Test Server Root"));
    m_server = MakeTestServer(m_serverRoot);
    TestCertSpec clientRoot;
    clientRoot.commonName = QStringLiteral("Clinic Client Root");
    clientRoot.ca = true;
    m_clientRoot = MakeTestCertificate(clientRoot);
    QVERIFY(!m_server.isNull() && !m_clientRoot.isNull());
    QVERIFY(m_serverRoot.writePem(m_pki + QStringLiteral("server-root.crt"),
                                  m_pki + QStringLiteral("server-root.key")));
    QVERIFY(m_clientRoot.writePem(m_pki + QStringLiteral("client-root.crt"),
                                  m_pki + QStringLiteral("client-root.key")));

    // The client trusts the test authority through OpenSSL's standard variable,
    // as it trusts the system store in production.
    qputenv("SSL_CERT_FILE", QFile::encodeName(m_pki + QStringLiteral("server-root.crt")));
    QDir().mkpath(m_pki + QStringLiteral("no-certs"));
    qputenv("SSL_CERT_DIR", QFile::encodeName(m_pki + QStringLiteral("no-certs")));

    StandinOptions plain;
    plain.dataDir = m_data;
    QString error;
    QVERIFY2(m_plain.start(plain, &error), qPrintable(error));
    QVERIFY(startTls(m_tls, m_server));
}

void TestOrcaTransport::init() {
    MakeTestAppDir(QStringLiteral("transport-%1").arg(QTest::currentTestFunction()));
    QDir(platform::CertStoreFolder(platform::kPersonalStore)).removeRecursively();
    m_plain.resetControl();
    m_tls.resetControl();
    m_transport = std::make_unique<TOrcaTransport>();
    m_transport->client().setTimeouts(5000, kStallMs);
}

void TestOrcaTransport::urlForms_data() {
    QTest::addColumn<QString>("chck");
    QTest::addColumn<QString>("ipadr");
    QTest::addColumn<bool>("onPremise");
    QTest::newRow("cloud") << QStringLiteral("1") << QString() << false;
    QTest::newRow("kind unset") << QString() << QString() << false;
    QTest::newRow("other kind") << QStringLiteral("3") << QStringLiteral("127.0.0.1") << false;
    QTest::newRow("cloud ignores the address")
        << QStringLiteral("1") << QStringLiteral("127.0.0.1") << false;
    QTest::newRow("on-premise, trimmed")
        << QStringLiteral(" 2 ") << QStringLiteral(" 127.0.0.2 ") << true;
    QTest::newRow("on-premise without address keeps the cloud URL")
        << QStringLiteral("2") << QStringLiteral(" ") << false;
}

void TestOrcaTransport::urlForms() {
    QFETCH(QString, chck);
    QFETCH(QString, ipadr);
    QFETCH(bool, onPremise);

    StandinServer onPremiseServer;
    if (onPremise) {
        // A loopback address of its own, so that nothing else on the machine's
        // 127.0.0.1:8000 gets in the way.
        StandinOptions o;
        o.dataDir = m_data;
        o.bind = QStringLiteral("127.0.0.2");
        o.port = 8000;
        if (!onPremiseServer.start(o))
            QSKIP("port 8000 on 127.0.0.2 is busy; the on-premise form needs it");
    }
    StandinServer &server = onPremise ? onPremiseServer : m_tls;
    WriteSetting(QStringLiteral("COKBN"), QStringLiteral("CHCK"), chck);
    WriteSetting(QStringLiteral("PARAMA"), QStringLiteral("IPADR"), ipadr);
    m_transport->stURL = m_tls.baseUrl();

    // The first call is refused with 500 so that the log shows the URL used.
    QVERIFY(
        server.addFault(QStringLiteral("api01rv2/patientgetv2"), QStringLiteral("status"), 1, 500));
    QVERIFY(m_transport->CallOrcaApi(kPatientPath, QString()).isEmpty());
    QVERIFY(!m_transport->CallOrcaApi(kPatientPath, QString()).isEmpty());

    const QString url = onPremise ? QStringLiteral("http://127.0.0.2:8000/api/") + kPatientPath
                                  : m_tls.baseUrl() + kPatientPath;
    QCOMPARE(logLines(),
             (QStringList{
                 QStringLiteral("API: %1 -> ResponseCode=500 (Nms) URL: %2").arg(kPatientPath, url),
                 QStringLiteral("API: %1 -> 200 (Nms)").arg(kPatientPath),
             }));
    QCOMPARE(server.requests().size(), 2);
}

void TestOrcaTransport::tlsVersionsAndServerCertificates_data() {
    QTest::addColumn<QString>("variant");
    QTest::addColumn<int>("code"); // 0: the request succeeds
    QTest::newRow("TLS 1.2") << QStringLiteral("tls12") << 0;
    QTest::newRow("TLS 1.3") << QStringLiteral("tls13") << 0;
    QTest::newRow("TLS 1.1 server refused") << QStringLiteral("tls11") << 12175;
    QTest::newRow("authority not trusted") << QStringLiteral("untrusted") << 12045;
    QTest::newRow("system store does not know the test authority")
        << QStringLiteral("system-store") << 12045;
    QTest::newRow("expired server certificate") << QStringLiteral("expired") << 12045;
    QTest::newRow("certificate for another host") << QStringLiteral("other-host") << 12045;
}

void TestOrcaTransport::tlsVersionsAndServerCertificates() {
    QFETCH(QString, variant);
    QFETCH(int, code);

    TestCert cert = m_server;
    QString tlsMin, tlsMax;
    if (variant == QLatin1String("tls12")) {
        tlsMax = QStringLiteral("1.2");
    } else if (variant == QLatin1String("tls13")) {
        tlsMin = QStringLiteral("1.3");
    } else if (variant == QLatin1String("tls11")) {
        tlsMin = QStringLiteral("1.0");
        tlsMax = QStringLiteral("1.1");
    } else if (variant == QLatin1String("untrusted")) {
        const TestCert stranger = MakeTestCa(QStringLiteral("Stranger Root"));
        cert = MakeTestServer(stranger);
    } else if (variant == QLatin1String("expired")) {
        TestCertSpec spec;
        spec.commonName = QStringLiteral("localhost");
        spec.ipAddresses = {QStringLiteral("127.0.0.1")};
        spec.serverAuth = true;
        spec.notBeforeSecs = -10 * 86400;
        spec.notAfterSecs = -86400;
        cert = MakeTestCertificate(spec, &m_serverRoot);
    } else if (variant == QLatin1String("other-host")) {
        TestCertSpec spec;
        spec.commonName = QStringLiteral("orca.example");
        spec.dnsNames = {QStringLiteral("orca.example")};
        spec.serverAuth = true;
        cert = MakeTestCertificate(spec, &m_serverRoot);
    }
    StandinServer server;
    QVERIFY(startTls(server, cert, tlsMin, tlsMax));
    useCloud(server);

    const QByteArray savedFile = qgetenv("SSL_CERT_FILE");
    const QByteArray savedDir = qgetenv("SSL_CERT_DIR");
    if (variant == QLatin1String("system-store")) {
        qunsetenv("SSL_CERT_FILE");
        qunsetenv("SSL_CERT_DIR");
    }
    const QString file = m_transport->CallOrcaApi(kPatientPath, QString());
    qputenv("SSL_CERT_FILE", savedFile);
    qputenv("SSL_CERT_DIR", savedDir);

    const QStringList log = logLines();
    if (code == 0) {
        QVERIFY(!file.isEmpty());
        QCOMPARE(log, QStringList{QStringLiteral("API: %1 -> 200 (Nms)").arg(kPatientPath)});
        return;
    }
    QVERIFY(file.isEmpty());
    const QList<HttpErrorLine> errors = httpErrors(log);
    QCOMPARE(codesOf(errors), QList<int>{code}); // not retried
    QCOMPARE(errors[0].url, server.baseUrl() + kPatientPath);
    QCOMPARE(log.size(), 2); // the error and its hint, nothing after
    QCOMPARE(server.requests().size(), 0);
}

bool TestOrcaTransport::startWithCredentials(StandinServer &server) {
    StandinOptions o;
    o.dataDir = m_data;
    o.user = QStringLiteral("orca-user");
    o.key = QStringLiteral("k3y");
    QString error;
    const bool started = server.start(o, &error);
    if (!started)
        qWarning("stand-in: %s", qPrintable(error));
    return started;
}

void TestOrcaTransport::credentialsOnlyWhenChallenged() {
    StandinServer server;
    QVERIFY(startWithCredentials(server));
    WriteSetting(QStringLiteral("COKBN"), QStringLiteral("CHCK"), QStringLiteral("1"));
    m_transport->stURL = server.baseUrl();
    m_transport->stAPIUSER = QStringLiteral(" orca-user ");
    m_transport->stAPIKEY = QStringLiteral("\tk3y ");

    // Every call waits for the challenge again, also after one that worked.
    QVERIFY(!m_transport->CallOrcaApi(kPatientPath, QString()).isEmpty());
    QVERIFY(!m_transport->CallOrcaApi(kPatientPath, QStringLiteral("<data></data>")).isEmpty());
    QCOMPARE(m_transport->FAuthUser, QStringLiteral("orca-user"));
    QCOMPARE(m_transport->FAuthPass, QStringLiteral("k3y"));
    const QString basic =
        QStringLiteral("Basic ") + QString::fromLatin1(QByteArray("orca-user:k3y").toBase64());
    QJsonArray requests = server.requests();
    QCOMPARE(requests.size(), 4);
    QCOMPARE(authorizationOf(requests[0]), QString());
    QCOMPARE(authorizationOf(requests[1]), basic);
    QCOMPARE(authorizationOf(requests[2]), QString());
    QCOMPARE(authorizationOf(requests[3]), basic);
    QCOMPARE(requests[3].toObject().value(QStringLiteral("body")).toString(),
             QStringLiteral("<data></data>"));

    // A wrong key: the challenge is answered once, the 401 is final.
    server.resetControl();
    m_transport->stAPIKEY = QStringLiteral("wrong");
    QVERIFY(m_transport->CallOrcaApi(kPatientPath, QString()).isEmpty());
    QCOMPARE(server.requests().size(), 2);
    QCOMPARE(logLines().last(), QStringLiteral("API: %1 -> ResponseCode=401 (Nms) URL: %2")
                                    .arg(kPatientPath, server.baseUrl() + kPatientPath));
}

void TestOrcaTransport::preemptiveBasicForTheWorker() {
    StandinServer server;
    QVERIFY(startWithCredentials(server));
    TOrcaHttpClient client;
    OrcaHttpRequest r;
    r.url = server.baseUrl() + kPathOnlineSpec;
    r.post = true;
    r.body = kMarkCheckupTemplate.toUtf8();
    r.headers << QByteArrayLiteral("Content-Type: application/xml; charset=UTF-8");
    r.user = QStringLiteral("orca-user");
    r.password = QStringLiteral("k3y");
    r.auth = OrcaAuthMode::Preemptive;
    for (int i = 0; i < 2; ++i) {
        const OrcaHttpResult answer = client.send(r);
        QCOMPARE(answer.kind, OrcaHttpResult::Response);
        QCOMPARE(answer.status, 200);
        QCOMPARE(answer.newConnections, i == 0 ? 1 : 0); // the connection is kept
    }
    const QJsonArray requests = server.requests();
    QCOMPARE(requests.size(), 2); // no challenge round
    for (const QJsonValue &request : requests)
        QCOMPARE(authorizationOf(request),
                 QStringLiteral("Basic ") +
                     QString::fromLatin1(QByteArray("orca-user:k3y").toBase64()));
}

void TestOrcaTransport::methodHeadersAndBody() {
    useCloud(m_tls);
    // A retried GET carries only the extra Connection header.
    QVERIFY(m_tls.addFault(QStringLiteral("api01rv2/patientgetv2"), QStringLiteral("close"), 1));
    QVERIFY(!m_transport->CallOrcaApi(kPatientPath, QString()).isEmpty());
    const QString body = QStringLiteral("  ") + kAcceptListTemplate + QStringLiteral(" 日本語 ");
    QVERIFY(!m_transport->CallOrcaApi(kPathAcceptList, body).isEmpty());
    QVERIFY(!m_transport->CallOrcaApi(kPatientPath, QStringLiteral(" \r\n\t")).isEmpty());

    const QJsonArray requests = m_tls.requests();
    QCOMPARE(requests.size(), 4);
    // Every request names the program and the HTTP library; some front ends
    // refuse requests without a User-Agent. This test program has no version stamp.
    const QString curl =
        QStringLiteral("libcurl/") + QLatin1String(curl_version_info(CURLVERSION_NOW)->version);
    for (const QJsonValue &r : requests)
        QCOMPARE(StandinServer::header(r.toObject(), QStringLiteral("User-Agent")),
                 QStringLiteral("minatori ") + curl);
    QCOMPARE(OrcaUserAgent(QStringLiteral("1.0.0.9")), QStringLiteral("minatori/1.0.0.9 ") + curl);
    for (int i : {0, 1, 3}) {
        const QJsonObject get = requests[i].toObject();
        QCOMPARE(get.value(QStringLiteral("method")).toString(), QStringLiteral("GET"));
        QCOMPARE(get.value(QStringLiteral("body")).toString(), QString());
        QCOMPARE(StandinServer::header(get, QStringLiteral("Content-Type")), QString());
        QCOMPARE(StandinServer::header(get, QStringLiteral("Connection")),
                 i == 1 ? QStringLiteral("close") : QString());
    }
    const QJsonObject post = requests[2].toObject();
    QCOMPARE(post.value(QStringLiteral("method")).toString(), QStringLiteral("POST"));
    QCOMPARE(post.value(QStringLiteral("query")).toString(), QStringLiteral("class=03"));
    QCOMPARE(post.value(QStringLiteral("body")).toString(), body); // untrimmed, UTF-8
    QCOMPARE(StandinServer::header(post, QStringLiteral("Content-Type")),
             QStringLiteral("application/xml; charset=UTF-8"));
    QCOMPARE(StandinServer::header(post, QStringLiteral("Expect")), QString());
    QCOMPARE(StandinServer::header(post, QStringLiteral("Connection")), QString());
    QCOMPARE(StandinServer::header(post, QStringLiteral("Authorization")), QString());
}

void TestOrcaTransport::retries_data() {
    QTest::addColumn<QString>("target"); // "standin" or a base URL
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("statusOrDelay");
    QTest::addColumn<QList<int>>("codes"); // number of each failed attempt
    QTest::addColumn<QString>("lastLine"); // after the errors; "" = none
    QTest::addColumn<int>("requests");
    const QString ok = QStringLiteral("API: %1 -> 200 (Nms)").arg(kPathOnlineDrug);
    QTest::newRow("time-out twice, then the answer")
        << "standin"
        << "delay" << 2 << 3000 << QList<int>{12002, 12002} << ok << 3;
    QTest::newRow("reset once") << "standin"
                                << "reset" << 1 << 0 << QList<int>{12031} << ok << 2;
    QTest::newRow("no reply three times")
        << "standin"
        << "close" << 3 << 0 << QList<int>{12152, 12152, 12152} << QString() << 3;
    QTest::newRow("status 500 is final")
        << "standin"
        << "status" << 1 << 500 << QList<int>{}
        << QStringLiteral("API: %1 -> ResponseCode=500 (Nms) URL: @").arg(kPathOnlineDrug) << 1;
    QTest::newRow("name not resolved") << "https://nonexistent.invalid/api/"
                                       << "" << 0 << 0 << QList<int>{12007} << QString() << 0;
    QTest::newRow("nothing listens") << QStringLiteral("https://127.0.0.1:%1/api/").arg(freePort())
                                     << "" << 0 << 0 << QList<int>{12029} << QString() << 0;
    QTest::newRow("unsupported scheme")
        << "ftp://127.0.0.1/api/"
        << "" << 0 << 0 << QList<int>{} << QStringLiteral("Error: ") << 0;
    QTest::newRow("no base URL") << ""
                                 << "" << 0 << 0 << QList<int>{} << QStringLiteral("Error: ") << 0;
}

void TestOrcaTransport::retries() {
    QFETCH(QString, target);
    QFETCH(QString, fault);
    QFETCH(int, count);
    QFETCH(int, statusOrDelay);
    QFETCH(QList<int>, codes);
    QFETCH(QString, lastLine);
    QFETCH(int, requests);

    useCloud(m_tls);
    if (target != QLatin1String("standin"))
        m_transport->stURL = target;
    if (!fault.isEmpty())
        QVERIFY(m_tls.addFault(kPathOnlineDrug, fault, count,
                               fault == QLatin1String("status") ? statusOrDelay : 0,
                               fault == QLatin1String("delay") ? statusOrDelay : 0));
    const QString url = m_transport->stURL + kPathOnlineDrug;
    const QString resFile = platform::ExecutableDir() + ResponseFileName(kPathOnlineDrug);
    QVERIFY(WriteAll(resFile, "older answer"));

    const QString body = FillPlaceholder(
        FillPlaceholder(
            FillPlaceholder(kDrugInfoTemplate, kPlaceholderRequestNumber, QStringLiteral("01")),
            kPlaceholderMonth, QString()),
        kPlaceholderPatientId, QStringLiteral("00012"));
    const QString result = m_transport->CallOrcaApi(kPathOnlineDrug, body);

    const QStringList log = logLines();
    const QList<HttpErrorLine> errors = httpErrors(log);
    QCOMPARE(codesOf(errors), codes);
    for (int i = 0; i < errors.size(); ++i) {
        QCOMPARE(errors[i].attempt, i + 1);
        QCOMPARE(errors[i].url, url);
    }
    QCOMPARE(log.size(), 2 * errors.size() + (lastLine.isEmpty() ? 0 : 1));
    if (lastLine == QLatin1String("Error: ")) {
        QVERIFY2(log.last().startsWith(lastLine), qPrintable(log.last()));
    } else if (!lastLine.isEmpty()) {
        QCOMPARE(log.last(), QString(lastLine).replace(QLatin1Char('@'), url));
    }

    const bool success =
        lastLine.startsWith(QStringLiteral("API: ") + kPathOnlineDrug + QStringLiteral(" -> 200"));
    QCOMPARE(result.isEmpty(), !success);
    if (success) {
        QCOMPARE(result, resFile);
        // The waits and the stalled attempts are part of the logged time.
        const qint64 ms = loggedMs(QStringLiteral("API: "));
        const qint64 stalls = fault == QLatin1String("delay") ? count * kStallMs : 0;
        QVERIFY2(ms >= TOrcaTransport::kRetryWaitMs * (errors.size()) + stalls - 50,
                 qPrintable(QString::number(ms)));
    } else {
        QCOMPARE(ReadAll(resFile), QByteArray("older answer"));
    }

    const QJsonArray seen = m_tls.requests();
    QCOMPARE(seen.size(), requests);
    for (int i = 0; i < seen.size(); ++i) {
        const QJsonObject r = seen[i].toObject();
        QCOMPARE(r.value(QStringLiteral("body")).toString(), body);
        QCOMPARE(StandinServer::header(r, QStringLiteral("Connection")),
                 i == 0 ? QString() : QStringLiteral("close"));
    }
}

void TestOrcaTransport::responseFiles() {
    useCloud(m_tls);
    const QString expected = platform::ExecutableDir() + kPatientResFile;
    QCOMPARE(ResponseFileName(kPatientPath), kPatientResFile);
    QCOMPARE(ResponseFileName(kPathAcceptList),
             QStringLiteral("Res_api01rv2_acceptlstv2_class_03.txt"));

    QCOMPARE(m_transport->CallOrcaApi(kPatientPath, QString()), expected);
    // Answers name patients: the file is the user's alone.
    QCOMPARE(QFileInfo(expected).permissions() & 0x0777, QFile::ReadUser | QFile::WriteUser);
    const QByteArray bytes = ReadAll(expected);
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    const QString text = QString::fromUtf8(bytes.mid(3));
    QVERIFY2(text.contains(QStringLiteral("架空 一郎")), qPrintable(text));
    QVERIFY(!text.startsWith(QChar(0xFEFF)));

    // Replaced by the next answer for the same path; an unknown patient answers too.
    QCOMPARE(m_transport->CallOrcaApi(QStringLiteral("api01rv2/patientgetv2?id=00099"), QString()),
             platform::ExecutableDir() + QStringLiteral("Res_api01rv2_patientgetv2_id_00099.txt"));
    QVERIFY(WriteAll(expected, "stale"));
    QCOMPARE(m_transport->CallOrcaApi(kPatientPath, QString()), expected);
    QCOMPARE(ReadAll(expected), bytes);

    // The file cannot be written (a folder holds its name): the 200 is logged,
    // then the failure, and the call has no result.
    const QString blockedPath = QStringLiteral("api01rv2/patientgetv2?id=00013");
    const QString blocked = platform::ExecutableDir() + ResponseFileName(blockedPath);
    QVERIFY(QDir().mkpath(blocked));
    QDir(platform::ExecutableDir()).remove(QStringLiteral("Log.txt"));
    QVERIFY(m_transport->CallOrcaApi(blockedPath, QString()).isEmpty());
    const QStringList log = logLines();
    QCOMPARE(log.size(), 2);
    QCOMPARE(log[0], QStringLiteral("API: %1 -> 200 (Nms)").arg(blockedPath));
    QVERIFY2(log[1].startsWith(QStringLiteral("Unexpected Error: ")), qPrintable(log[1]));
    QVERIFY(QFileInfo(blocked).isDir());
    const QStringList leftovers =
        QDir(platform::ExecutableDir()).entryList({QStringLiteral("Res_*00013*")}, QDir::Files);
    QVERIFY2(leftovers.isEmpty(), qPrintable(leftovers.join(' ')));
}

void TestOrcaTransport::oversizedAnswerIsRefused() {
    // A broken server that answers 200 with an endless body: the call ends
    // with an error instead of holding the answer in memory, and an older
    // response file stays as it was.
    RawServer server(
        [](int socket, int) {
            if (!RawServer::sendAll(socket,
                                    "HTTP/1.1 200 OK\r\nContent-Length: 1000000000\r\n\r\n"))
                return;
            const QByteArray chunk(1 << 16, 'x');
            for (int i = 0; i < 2000; ++i) // bounded: at most 128 MiB
                if (!RawServer::sendAll(socket, chunk))
                    break;
        },
        1);
    QVERIFY(server.isListening());

    WriteSetting(QStringLiteral("COKBN"), QStringLiteral("CHCK"), QStringLiteral("1"));
    const QString old = platform::ExecutableDir() + ResponseFileName(kPatientPath);
    QVERIFY(WriteAll(old, "older answer"));
    m_transport->stURL = server.baseUrl();
    QCOMPARE(m_transport->CallOrcaApi(kPatientPath, QString()), QString());
    QCOMPARE(logLines(),
             QStringList{QStringLiteral("Error: The answer is larger than 67108864 bytes")});
    QCOMPARE(ReadAll(old), QByteArray("older answer"));
}

void TestOrcaTransport::invalidRepliesAreRetried_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("not HTTP at all") << QByteArray("hello there\r\n\r\n");
    QTest::newRow("binary") << QByteArray("\x00\x01\x02\xFF\xFE", 5);
    QTest::newRow("unknown HTTP version")
        << QByteArray("HTTP/1.7 200 OK\r\nContent-Length: 0\r\n\r\n");
    QTest::newRow("status out of range")
        << QByteArray("HTTP/1.1 1000 OK\r\nContent-Length: 0\r\n\r\n");
    QTest::newRow("header without colon")
        << QByteArray("HTTP/1.1 200 OK\r\nno colon\r\nContent-Length: 0\r\n\r\n");
    QTest::newRow("header too large")
        << (QByteArray("HTTP/1.1 200 OK\r\nX-Big: ") + QByteArray(400000, 'a') + "\r\n\r\n");
    QTest::newRow("broken chunked encoding") << QByteArray(
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nabc\r\n0\r\n\r\n");
    QTest::newRow("no reply") << QByteArray();
}

void TestOrcaTransport::invalidRepliesAreRetried() {
    // Twice a reply that is no valid HTTP, then a good one: each bad reply is
    // the invalid-reply failure (12152), with its hint, and is retried.
    QFETCH(QByteArray, reply);
    RawServer server(
        [reply](int socket, int index) {
            RawServer::sendAll(socket, index < 2
                                           ? reply
                                           : QByteArray("HTTP/1.1 200 OK\r\nConnection: "
                                                        "close\r\nContent-Length: 4\r\n\r\n<ok>"));
        },
        3);
    QVERIFY(server.isListening());
    WriteSetting(QStringLiteral("COKBN"), QStringLiteral("CHCK"), QStringLiteral("1"));
    m_transport->stURL = server.baseUrl();
    const QString file = m_transport->CallOrcaApi(kPatientPath, QString());

    const QStringList log = logLines();
    const QList<HttpErrorLine> errors = httpErrors(log);
    QCOMPARE(codesOf(errors), (QList<int>{12152, 12152}));
    QVERIFY2(log[0].contains(QStringLiteral("Error receiving data: (12152)")), qPrintable(log[0]));
    QCOMPARE(log.last(), QStringLiteral("API: %1 -> 200 (Nms)").arg(kPatientPath));
    QCOMPARE(server.requests().size(), 3);
    QCOMPARE(ReadAll(file), QByteArray("\xEF\xBB\xBF<ok>"));
}

void TestOrcaTransport::logErrorDuringHandshakeReachesTheCaller() {
    // The certificate choice writes the log from inside the TLS handshake.
    // When that write fails, the handshake ends as a failure and the log's
    // error reaches the caller once the TLS library has returned.
    StandinServer server;
    QVERIFY(startTls(server, m_server, QString(), QString(),
                     m_pki + QStringLiteral("client-root.crt")));
    useCloud(server);
    const QString log = LogFilePath();
    QVERIFY(QDir().mkpath(log)); // a folder where Log.txt should be: no line can be written
    try {
        m_transport->CallOrcaApi(kPatientPath, QString());
        QFAIL("no error raised");
    } catch (const EAppError &e) {
        QCOMPARE(e.className(), QStringLiteral("EInOutError"));
    }
    QCOMPARE(server.requests().size(), 0);

    // The client is whole afterwards.
    QVERIFY(QDir(log).removeRecursively());
    const TestCert client = MakeTestClient(m_clientRoot, QStringLiteral("clinic"));
    QVERIFY(
        platform::CertStore::Open(platform::kPersonalStore)->add(client.certDer, client.keyDer));
    QVERIFY(!m_transport->CallOrcaApi(kPatientPath, QString()).isEmpty());
}

void TestOrcaTransport::clientCertificate_data() {
    QTest::addColumn<QString>("store");
    QTest::addColumn<QString>("tlsMax");
    QTest::newRow("none usable, TLS 1.2") << QStringLiteral("empty") << QStringLiteral("1.2");
    QTest::newRow("none usable, TLS 1.3") << QStringLiteral("empty") << QStringLiteral("1.3");
    QTest::newRow("chosen by issuer and preference, TLS 1.2")
        << QStringLiteral("mixed") << QStringLiteral("1.2");
    QTest::newRow("chosen by issuer and preference, TLS 1.3")
        << QStringLiteral("mixed") << QStringLiteral("1.3");
    QTest::newRow("only expired ones: the first is presented and refused")
        << QStringLiteral("expired") << QStringLiteral("1.3");
}

void TestOrcaTransport::clientCertificate() {
    QFETCH(QString, store);
    QFETCH(QString, tlsMax);

    StandinServer server;
    QVERIFY(
        startTls(server, m_server, QString(), tlsMax, m_pki + QStringLiteral("client-root.crt")));
    useCloud(server);

    std::unique_ptr<platform::CertStore> my = platform::CertStore::Open(platform::kPersonalStore);
    QVERIFY(my);
    QStringList candidateNames;
    if (store == QLatin1String("mixed")) {
        // A key-holding certificate of an authority the server does not name.
        const TestCert unrelatedCa = MakeTestCa(QStringLiteral("Unrelated CA"));
        const TestCert other = MakeTestClient(unrelatedCa, QStringLiteral("other"));
        // One whose issuer carries the name the server asks for but is not the
        // server's authority: presenting it would fail the handshake.
        TestCertSpec impostorSpec;
        impostorSpec.commonName = QStringLiteral("Clinic Client Root");
        impostorSpec.ca = true;
        const TestCert impostorCa = MakeTestCertificate(impostorSpec);
        const TestCert plain = MakeTestClient(impostorCa, QStringLiteral("plain"));
        // The preferred one, issued by an intermediate that only the store knows.
        TestCertSpec subSpec;
        subSpec.commonName = QStringLiteral("JMARI Sub CA");
        subSpec.organization = QStringLiteral("架空医療連合");
        subSpec.ca = true;
        const TestCert sub = MakeTestCertificate(subSpec, &m_clientRoot);
        const TestCert preferred = MakeTestClient(sub, QStringLiteral("via-sub"));
        QVERIFY(my->add(other.certDer, other.keyDer));
        QVERIFY(my->add(plain.certDer, plain.keyDer));
        QVERIFY(my->add(preferred.certDer, preferred.keyDer));
        QVERIFY(my->add(sub.certDer, QByteArray()));
        QVERIFY(my->add(m_clientRoot.certDer, QByteArray())); // no key: no candidate
        const auto day = [](const TestCert &c) {
            return c.notAfter().toLocalTime().toString(QStringLiteral("yyyy/MM/dd"));
        };
        candidateNames
            << QStringLiteral(
                   "ClientCert[0] Subject=CN=plain Issuer=CN=Clinic Client Root Expiry=") +
                   day(plain)
            << QStringLiteral("ClientCert[1] Subject=CN=via-sub Issuer=CN=JMARI Sub CA, "
                              "O=架空医療連合 Expiry=") +
                   day(preferred);
    } else if (store == QLatin1String("expired")) {
        for (const QString &name : {QStringLiteral("old-1"), QStringLiteral("old-2")}) {
            const TestCert old = MakeTestClient(m_clientRoot, name, -86400);
            QVERIFY(my->add(old.certDer, old.keyDer));
        }
    }

    const QString file = m_transport->CallOrcaApi(kPatientPath, QString());
    const QStringList log = logLines();
    const QList<HttpErrorLine> errors = httpErrors(log);

    if (store == QLatin1String("empty")) {
        QVERIFY(file.isEmpty());
        QCOMPARE(log.mid(0, 2),
                 (QStringList{QStringLiteral("ClientCert: 候補 0 件"),
                              QStringLiteral("ClientCert: 使用できる証明書がありません")}));
        QCOMPARE(codesOf(errors), QList<int>{12044});
        QCOMPARE(log.size(), 4);
    } else if (store == QLatin1String("mixed")) {
        QVERIFY2(!file.isEmpty(), qPrintable(log.join('\n')));
        QCOMPARE(log, (QStringList{QStringLiteral("ClientCert: 候補 2 件")}
                       << candidateNames << QStringLiteral("ClientCert: [1] を使用")
                       << QStringLiteral("API: %1 -> 200 (Nms)").arg(kPatientPath)));
        // The connection is kept: the next call needs no new handshake.
        QVERIFY(!m_transport->CallOrcaApi(kPatientPath, QString()).isEmpty());
        QCOMPARE(logLines().filter(QStringLiteral("ClientCert")).size(), 4);
    } else {
        QVERIFY(file.isEmpty());
        QVERIFY(log.contains(QStringLiteral("ClientCert: 期限内の証明書が無いため[0]を使用")));
        QCOMPARE(log.filter(QStringLiteral("期限切れのため除外")).size(), 2);
        QVERIFY(log.contains(QStringLiteral("ClientCert: [0] を使用")));
        QCOMPARE(codesOf(errors), QList<int>{12175});
    }
}

void TestOrcaTransport::patientIdRetry_data() {
    QTest::addColumn<QString>("number");
    // The first request's answer: "" normal, "500" that status, "E100" status
    // 200 with that Api_Result and no data.
    QTest::addColumn<QString>("firstAnswer");
    QTest::addColumn<QStringList>("sent");
    QTest::addColumn<QStringList>("retryLines");
    QTest::addColumn<QString>("result"); // "data", "e10" or "empty"
    const QString p = kPathOnlineDrug;
    const auto line = [&p](int i, const QString &id, const QString &end) {
        return QStringLiteral("IDRetry[%1] %2 PtID=%3 -> %4").arg(i).arg(p, id, end);
    };
    QTest::newRow("12 known as 00012")
        << QStringLiteral("12") << QString() << QStringList{"12", "0012", "00012"}
        << QStringList{line(0, "12", "E10"), line(1, "0012", "E10"), line(2, "00012", "OK")}
        << QStringLiteral("data");
    QTest::newRow("blanks around the number")
        << QStringLiteral(" 12\t") << QString() << QStringList{"12", "0012", "00012"}
        << QStringList{line(0, "12", "E10"), line(1, "0012", "E10"), line(2, "00012", "OK")}
        << QStringLiteral("data");
    QTest::newRow("00012 known as such")
        << QStringLiteral("00012") << QString() << QStringList{"00012"} << QStringList{}
        << QStringLiteral("data");
    QTest::newRow("failed request goes on with the next form")
        << QStringLiteral("12") << QStringLiteral("500") << QStringList{"12", "0012", "00012"}
        << QStringList{line(0, "12", "ResFile empty"), line(1, "0012", "E10"),
                       line(2, "00012", "OK")}
        << QStringLiteral("data");
    // 00012 exists, so only the E100 answer can send the retry on; the forms
    // with 4 and 5 digits equal the number and are skipped.
    QTest::newRow("E100 counts as E10")
        << QStringLiteral("00012") << QStringLiteral("E100") << QStringList{"00012", "000012"}
        << QStringList{line(0, "00012", "E10"), line(3, "000012", "OK")} << QStringLiteral("data");
    QTest::newRow("unknown everywhere")
        << QStringLiteral("99") << QString()
        << QStringList{"99", "0099", "00099", "000099", "0000099"}
        << QStringList{line(0, "99", "E10"),      line(1, "0099", "E10"),
                       line(2, "00099", "E10"),   line(3, "000099", "E10"),
                       line(4, "0000099", "E10"), "IDRetry-END api=" + p + " all-E10"}
        << QStringLiteral("e10");
    // The real number got no answer, so the E10 answers to its padded forms
    // do not tell that the patient is unknown: the request failed.
    QTest::newRow("unknown padded, the real number failed")
        << QStringLiteral("99") << QStringLiteral("500")
        << QStringList{"99", "0099", "00099", "000099", "0000099"}
        << QStringList{line(0, "99", "ResFile empty"), line(1, "0099", "E10"),
                       line(2, "00099", "E10"),        line(3, "000099", "E10"),
                       line(4, "0000099", "E10"),      "IDRetry-END api=" + p + " all-E10"}
        << QStringLiteral("empty");
    QTest::newRow("no number") << QString() << QString() << QStringList{}
                               << QStringList{"IDRetry-END api=" + p + " all-E10"}
                               << QStringLiteral("empty");
}

void TestOrcaTransport::patientIdRetry() {
    QFETCH(QString, number);
    QFETCH(QString, firstAnswer);
    QFETCH(QStringList, sent);
    QFETCH(QStringList, retryLines);
    QFETCH(QString, result);

    useCloud(m_tls);
    if (firstAnswer.startsWith(u'E'))
        QVERIFY(m_tls.addFault(kPathOnlineDrug, QStringLiteral("result"), 1, 0, 0, firstAnswer));
    else if (!firstAnswer.isEmpty())
        QVERIFY(m_tls.addFault(kPathOnlineDrug, QStringLiteral("status"), 1, firstAnswer.toInt()));
    const QString tmpl = FillPlaceholder(
        FillPlaceholder(kDrugInfoTemplate, kPlaceholderRequestNumber, QStringLiteral("01")),
        kPlaceholderMonth, QString());
    const QString file =
        m_transport->CallOrcaApiWithIdRetry(kPathOnlineDrug, tmpl, kPlaceholderPatientId, number);

    const QJsonArray requests = m_tls.requests();
    QStringList bodies;
    for (const QJsonValue &r : requests)
        bodies << r.toObject().value(QStringLiteral("body")).toString();
    QStringList expectedBodies;
    for (const QString &id : sent)
        expectedBodies << FillPlaceholder(tmpl, kPlaceholderPatientId, id);
    QCOMPARE(bodies, expectedBodies);
    QCOMPARE(logLines().filter(QRegularExpression(QStringLiteral("^IDRetry"))), retryLines);

    if (result == QLatin1String("empty")) {
        QCOMPARE(file, QString());
        return;
    }
    QCOMPARE(file, platform::ExecutableDir() + ResponseFileName(kPathOnlineDrug));
    const QString text = QString::fromUtf8(ReadAll(file));
    QCOMPARE(IsE10Answer(text), result == QLatin1String("e10"));
}

QTEST_GUILESS_MAIN(TestOrcaTransport)
#include "test_orcatransport.moc"
