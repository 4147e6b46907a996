// The stand-in ORCA server answers like ORCA, challenges for credentials,
// injects faults and logs requests. Exercised over real loopback sockets.
#include "tests/support/StandinServer.h"
#include "tests/support/TestEnv.h"

#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTest>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

struct Reply {
    bool answered = false; // a status line arrived
    bool reset = false;    // the connection was reset
    int status = 0;
    QByteArray head;
    QByteArray body;
};

// One HTTP/1.1 exchange on a fresh connection ("Connection: close"), on a
// plain socket so that a reset can be told from an orderly close.
Reply Send(int port, const QByteArray &method, const QByteArray &target,
           const QByteArray &body = QByteArray(), const QByteArray &extraHeaders = QByteArray()) {
    Reply reply;
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return reply;
    timeval tv{15, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(quint16(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QByteArray data;
    if (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0) {
        QByteArray request = method + ' ' + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
                             "Connection: close\r\n" + extraHeaders;
        if (!body.isEmpty())
            request += "Content-Type: application/xml; charset=UTF-8\r\nContent-Length: " +
                       QByteArray::number(body.size()) + "\r\n";
        request += "\r\n" + body;
        if (::send(fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL) ==
            request.size()) {
            char chunk[8192];
            for (;;) {
                const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
                if (n > 0) {
                    data.append(chunk, n);
                    continue;
                }
                reply.reset = n < 0 && errno == ECONNRESET;
                break;
            }
        }
    }
    ::close(fd);
    const qsizetype headEnd = data.indexOf("\r\n\r\n");
    if (!data.startsWith("HTTP/1.1 ") || headEnd < 0)
        return reply;
    reply.answered = true;
    reply.status = data.mid(9, 3).toInt();
    reply.head = data.left(headEnd);
    reply.body = data.mid(headEnd + 4);
    return reply;
}

QByteArray Post(int port, const QByteArray &target, const QByteArray &body) {
    return Send(port, "POST", target, body).body;
}

QString Leaf(const QByteArray &xml, const QString &name) {
    QRegularExpression re(QStringLiteral("<%1 type=\"string\">([^<]*)</%1>").arg(name));
    return re.match(QString::fromUtf8(xml)).captured(1);
}

QByteArray DrugBody(const QString &number, const QString &id, const QString &month) {
    return QStringLiteral("<data>  <onlinedruggetreq type=\"record\">    <Request_Number "
                          "type=\"string\">%1</Request_Number>    <Patient_ID "
                          "type=\"string\">%2</Patient_ID>    <MeTrMonth "
                          "type=\"string\">%3</MeTrMonth>    <InOut type=\"string\"></InOut>  "
                          "</onlinedruggetreq></data>")
        .arg(number, id, month)
        .toUtf8();
}

QByteArray MedBody(const QString &id) {
    return QStringLiteral(
               "<data>  <onlinemedgetreq type=\"record\">    <Request_Number "
               "type=\"string\">01</Request_Number>    <Patient_ID "
               "type=\"string\">%1</Patient_ID>    <MeTrMonth type=\"string\"></MeTrMonth>"
               "    <InOut type=\"string\"></InOut>    <MeTrDiHCd "
               "type=\"string\"></MeTrDiHCd>    <PrlsHCd type=\"string\"></PrlsHCd>  "
               "</onlinemedgetreq></data>")
        .arg(id)
        .toUtf8();
}

QByteArray SpecBody(const QString &id) {
    return QStringLiteral("<data>  <onlinespecgetreq type=\"record\">    <Request_Number "
                          "type=\"string\">01</Request_Number>    <Patient_ID "
                          "type=\"string\">%1</Patient_ID>    <EffectiveTime "
                          "type=\"string\"></EffectiveTime>  </onlinespecgetreq></data>")
        .arg(id)
        .toUtf8();
}

QByteArray MedicalBody(const QString &id, const QString &date, const QString &department) {
    return QStringLiteral("<data>  <medicalgetreq type=\"record\">    <Patient_ID "
                          "type=\"string\">%1</Patient_ID>    <Perform_Date "
                          "type=\"string\">%2</Perform_Date>    <Medical_Information "
                          "type=\"record\">      <Department_Code "
                          "type=\"string\">%3</Department_Code>    </Medical_Information>  "
                          "</medicalgetreq></data>")
        .arg(id, date, department)
        .toUtf8();
}

QByteArray AcceptBody(const QString &date) {
    return QStringLiteral("<data>  <acceptlstreq type=\"record\">    <Acceptance_Date "
                          "type=\"string\">%1</Acceptance_Date>  </acceptlstreq></data>")
        .arg(date)
        .toUtf8();
}

// Every line of an answer is the declaration, the root, or one typed element
// (leaves on one line, records and arrays opening and closing on their own).
QString StyleProblem(const QByteArray &answer) {
    const QStringList lines = QString::fromUtf8(answer).split(u'\n');
    if (lines.value(0) != QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>") ||
        lines.value(1) != QStringLiteral("<xmlio2>"))
        return QStringLiteral("header");
    static const QRegularExpression leaf(
        QStringLiteral("^((?:  )+)<(\\w+) type=\"string\">[^<\\n]+</\\2>$"));
    static const QRegularExpression open(
        QStringLiteral("^((?:  )+)<(\\w+) type=\"(record|array)\">$"));
    static const QRegularExpression close(QStringLiteral("^((?:  )+)</(\\w+)>$"));
    QStringList stack;
    QStringList kinds;
    for (qsizetype i = 2; i < lines.size(); ++i) {
        const QString &line = lines[i];
        if (line == QStringLiteral("</xmlio2>"))
            return stack.isEmpty() && i == lines.size() - 2 && lines.last().isEmpty()
                       ? QString()
                       : QStringLiteral("end");
        const QString indent(2 * (stack.size() + 1), u' ');
        QRegularExpressionMatch m;
        QString name;
        if ((m = leaf.match(line)).hasMatch() || (m = open.match(line)).hasMatch()) {
            name = m.captured(2);
            if (m.captured(1) != indent)
                return QStringLiteral("indent: ") + line;
            if (!kinds.isEmpty() && kinds.last() == QStringLiteral("array") &&
                (name != stack.last() + QStringLiteral("_child") ||
                 m.captured(3) != QStringLiteral("record")))
                return QStringLiteral("array member: ") + line;
            if (m.captured(3).isEmpty())
                continue;
            stack << name;
            kinds << m.captured(3);
        } else if ((m = close.match(line)).hasMatch()) {
            if (stack.isEmpty() || m.captured(2) != stack.last() ||
                m.captured(1) != QString(2 * stack.size(), u' '))
                return QStringLiteral("close: ") + line;
            stack.removeLast();
            kinds.removeLast();
        } else {
            return QStringLiteral("line: ") + line;
        }
    }
    return QStringLiteral("no root end");
}

} // namespace

class TestOrcaStandin : public QObject {
    Q_OBJECT

private:
    QString m_dataDir;
    QString m_visitDay;  // a day of own-clinic records, "yyyy-mm-dd"
    QString m_drugMonth; // a month with other-institution drugs
    StandinServer m_server;

private slots:
    void initTestCase() {
        m_dataDir = MakeTestAppDir(QStringLiteral("standin-data"));
        const QDate today = QDate::currentDate();
        const QDate visit = today.addDays(-3);
        m_visitDay = visit.toString(QStringLiteral("yyyy-MM-dd"));
        m_drugMonth = today.addDays(-40).toString(QStringLiteral("yyyy-MM"));
        // Written as "12": the server keeps it as 00012.
        QJsonObject patient = StandinServer::makePatient(
            QStringLiteral("12"), QStringLiteral("架空 一郎"), QStringLiteral("1962-04-01"));
        patient.insert(
            QStringLiteral("drugs"),
            QJsonArray{QJsonObject{
                {QStringLiteral("date"), QStringLiteral("today-40")},
                {QStringLiteral("institution_code"), QStringLiteral("1340100018")},
                {QStringLiteral("institution_name"), QStringLiteral("あおば見本薬局")},
                {QStringLiteral("prescriber_code"), QStringLiteral("1310100011")},
                {QStringLiteral("prescriber_name"), QStringLiteral("みどり台内科クリニック")},
                {QStringLiteral("items"),
                 QJsonArray{
                     QJsonObject{{QStringLiteral("name"), QStringLiteral("アムロジピン錠5mg")},
                                 {QStringLiteral("qty"), QStringLiteral("1")},
                                 {QStringLiteral("unit"), QStringLiteral("錠")},
                                 {QStringLiteral("times"), 28},
                                 {QStringLiteral("class"), QStringLiteral("21")}}}}}});
        patient.insert(
            QStringLiteral("medical"),
            QJsonArray{QJsonObject{
                {QStringLiteral("date"), QStringLiteral("today-40")},
                {QStringLiteral("institution_code"), QStringLiteral("1310100011")},
                {QStringLiteral("institution_name"), QStringLiteral("みどり台内科クリニック")}}});
        patient.insert(
            QStringLiteral("checkups"),
            QJsonArray{QJsonObject{{QStringLiteral("date"), QStringLiteral("2024-06-15")}}});
        patient.insert(
            QStringLiteral("visits"),
            QJsonArray{QJsonObject{
                {QStringLiteral("date"), m_visitDay},
                {QStringLiteral("department"), QStringLiteral("01")},
                {QStringLiteral("orders"),
                 QJsonArray{
                     QJsonObject{{QStringLiteral("class"), QStringLiteral("12")},
                                 {QStringLiteral("items"),
                                  QJsonArray{QJsonObject{
                                      {QStringLiteral("code"), QStringLiteral("112007410")},
                                      {QStringLiteral("name"), QStringLiteral("再診料")}}}}},
                     QJsonObject{
                         {QStringLiteral("class"), QStringLiteral("21")},
                         {QStringLiteral("count"), QStringLiteral("14")},
                         {QStringLiteral("items"),
                          QJsonArray{QJsonObject{
                              {QStringLiteral("code"), QStringLiteral("620000001")},
                              {QStringLiteral("name"), QStringLiteral("ランソプラゾールOD錠15mg")},
                              {QStringLiteral("qty"), QStringLiteral("1")},
                              {QStringLiteral("unit"), QStringLiteral("錠")}}}}}}}}});
        QVERIFY(StandinServer::writePatient(m_dataDir, patient));
        QVERIFY(StandinServer::writePatient(
            m_dataDir,
            StandinServer::makePatient(QStringLiteral("10001"), QStringLiteral("港 見本男"))));
        QVERIFY(StandinServer::writeReception(
            m_dataDir, today.toString(QStringLiteral("yyyy-MM-dd")),
            QJsonArray{QJsonObject{{QStringLiteral("id"), QStringLiteral("00012")},
                                   {QStringLiteral("time"), QStringLiteral("09:05:00")},
                                   {QStringLiteral("account_time"), QStringLiteral("09:40:00")}},
                       QJsonObject{{QStringLiteral("id"), QStringLiteral("10001")},
                                   {QStringLiteral("time"), QStringLiteral("09:20:00")}}}));
        StandinOptions options;
        options.dataDir = m_dataDir;
        QString error;
        QVERIFY2(m_server.start(options, &error), qPrintable(error));
    }

    void init() { m_server.resetControl(); }

    void answersInOrcaStyle_data() {
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QByteArray>("target");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("record");
        QTest::addColumn<QString>("result");
        QTest::addColumn<QString>("leaf");  // a leaf the answer must carry
        QTest::addColumn<QString>("value"); // its value (regular expression)

        const QString today = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
        const QString visitMonth = m_visitDay.left(7);
        QTest::newRow("patientgetv2")
            << QByteArray("GET") << QByteArray("/api/api01rv2/patientgetv2?id=00012")
            << QByteArray() << "patientinfores"
            << "00"
            << "BirthDate"
            << "1962-04-01";
        QTest::newRow("acceptlstv2")
            << QByteArray("POST") << QByteArray("/api/api01rv2/acceptlstv2?class=03")
            << AcceptBody(today) << "acceptlstres"
            << "00"
            << "Account_Time"
            << "09:40:00";
        QTest::newRow("acceptlstv2 class 01 keeps those in reception")
            << QByteArray("POST") << QByteArray("/api/api01rv2/acceptlstv2?class=01")
            << AcceptBody(today) << "acceptlstres"
            << "00"
            << "Patient_ID"
            << "10001";
        QTest::newRow("acceptlstv2 empty day")
            << QByteArray("POST") << QByteArray("/api/api01rv2/acceptlstv2?class=03")
            << AcceptBody(QStringLiteral("2001-01-01")) << "acceptlstres"
            << "21"
            << "Acceptance_Date"
            << "2001-01-01";
        QTest::newRow("drug 01") << QByteArray("POST")
                                 << QByteArray("/api/api01rv2/onlinedruggetv2")
                                 << DrugBody(QStringLiteral("01"), QStringLiteral("00012"),
                                             QString())
                                 << "onlinedruggetres"
                                 << "000"
                                 << "MeTrMonth" << m_drugMonth;
        QTest::newRow("drug 02") << QByteArray("POST")
                                 << QByteArray("/api/api01rv2/onlinedruggetv2")
                                 << DrugBody(QStringLiteral("02"), QStringLiteral("00012"),
                                             m_drugMonth)
                                 << "onlinedruggetres"
                                 << "000"
                                 << "DrugN"
                                 << "アムロジピン錠5mg";
        QTest::newRow("drug 02 month without data")
            << QByteArray("POST") << QByteArray("/api/api01rv2/onlinedruggetv2")
            << DrugBody(QStringLiteral("02"), QStringLiteral("00012"), QStringLiteral("2001-01"))
            << "onlinedruggetres"
            << "E50"
            << "BirthDate"
            << "1962-04-01";
        QTest::newRow("medical") << QByteArray("POST") << QByteArray("/api/api01rv2/onlinemedgetv2")
                                 << MedBody(QStringLiteral("00012")) << "onlinemedgetres"
                                 << "000"
                                 << "InOut"
                                 << "2";
        QTest::newRow("checkup") << QByteArray("POST")
                                 << QByteArray("/api/api01rv2/onlinespecgetv2")
                                 << SpecBody(QStringLiteral("00012")) << "onlinespecgetres"
                                 << "000"
                                 << "EffectiveTime"
                                 << "2024-06-15";
        QTest::newRow("checkup none")
            << QByteArray("POST") << QByteArray("/api/api01rv2/onlinespecgetv2")
            << SpecBody(QStringLiteral("10001")) << "onlinespecgetres"
            << "E50"
            << "Patient_ID"
            << "10001";
        QTest::newRow("calendar") << QByteArray("POST")
                                  << QByteArray("/api/api01rv2/medicalgetv2?class=03")
                                  << MedicalBody(QStringLiteral("00012"), visitMonth, QString())
                                  << "medicalget03res"
                                  << "00"
                                  << "Perform_Calendar"
                                  << QStringLiteral("0{%1}10{%2}")
                                         .arg(m_visitDay.mid(8).toInt() - 1)
                                         .arg(31 - m_visitDay.mid(8).toInt());
        QTest::newRow("day departments")
            << QByteArray("POST") << QByteArray("/api/api01rv2/medicalgetv2?class=01")
            << MedicalBody(QStringLiteral("00012"), m_visitDay, QString()) << "medicalget01res"
            << "00"
            << "Department_Code"
            << "01";
        QTest::newRow("day drugs")
            << QByteArray("POST") << QByteArray("/api/api01rv2/medicalgetv2?class=02")
            << MedicalBody(QStringLiteral("00012"), m_visitDay, QStringLiteral("01"))
            << "medicalget02res"
            << "00"
            << "Unit_Code_Name"
            << "錠";
    }

    void answersInOrcaStyle() {
        QFETCH(QByteArray, method);
        QFETCH(QByteArray, target);
        QFETCH(QByteArray, body);
        QFETCH(QString, record);
        QFETCH(QString, result);
        QFETCH(QString, leaf);
        QFETCH(QString, value);

        const Reply reply = Send(m_server.port(), method, target, body);
        QCOMPARE(reply.status, 200);
        QVERIFY(reply.head.contains("Content-Type: application/xml; charset=UTF-8"));
        const QString problem = StyleProblem(reply.body);
        QVERIFY2(problem.isEmpty(), qPrintable(problem + u'\n' + QString::fromUtf8(reply.body)));
        QVERIFY(reply.body.contains("\n  <" + record.toUtf8() + " type=\"record\">\n"));
        QCOMPARE(Leaf(reply.body, QStringLiteral("Api_Result")), result);
        QVERIFY2(QRegularExpression(QStringLiteral("^(?:%1)$").arg(value))
                     .match(Leaf(reply.body, leaf))
                     .hasMatch(),
                 qPrintable(QString::fromUtf8(reply.body)));
        // Empty values are left out, never written as empty elements.
        QVERIFY(!reply.body.contains("\"></"));
    }

    // ORCA keeps 00012; 12 and 0012 are other numbers unless padded matching is on.
    void unknownPatientNumber_data() {
        QTest::addColumn<QString>("id");
        QTest::addColumn<bool>("padded");
        QTest::addColumn<bool>("found");
        QTest::newRow("12 exact") << "12" << false << false;
        QTest::newRow("0012 exact") << "0012" << false << false;
        QTest::newRow("000012 exact") << "000012" << false << false;
        QTest::newRow("00012 exact") << "00012" << false << true;
        QTest::newRow("12 padded") << "12" << true << true;
        QTest::newRow("0012 padded") << "0012" << true << true;
    }

    void unknownPatientNumber() {
        QFETCH(QString, id);
        QFETCH(bool, padded);
        QFETCH(bool, found);
        StandinServer padServer;
        StandinServer *server = &m_server;
        if (padded) {
            StandinOptions options;
            options.dataDir = m_dataDir;
            options.extraArgs = {QStringLiteral("--match"), QStringLiteral("padded")};
            QVERIFY(padServer.start(options));
            server = &padServer;
        }
        const int port = server->port();
        const QByteArray drug =
            Post(port, "/api/api01rv2/onlinedruggetv2", DrugBody(QStringLiteral("01"), id, {}));
        const QByteArray med = Post(port, "/api/api01rv2/onlinemedgetv2", MedBody(id));
        const QByteArray spec = Post(port, "/api/api01rv2/onlinespecgetv2", SpecBody(id));
        const QByteArray patient =
            Send(port, "GET", "/api/api01rv2/patientgetv2?id=" + id.toUtf8()).body;
        const QByteArray calendar = Post(port, "/api/api01rv2/medicalgetv2?class=03",
                                         MedicalBody(id, m_visitDay.left(7), QString()));
        for (const QByteArray &answer : {drug, med, spec})
            QCOMPARE(Leaf(answer, QStringLiteral("Api_Result")),
                     found ? QStringLiteral("000") : QStringLiteral("E10"));
        for (const QByteArray &answer : {patient, calendar})
            QCOMPARE(Leaf(answer, QStringLiteral("Api_Result")),
                     found ? QStringLiteral("00") : QStringLiteral("10"));
        // Answers carry the number as ORCA keeps it.
        if (found)
            QCOMPARE(Leaf(patient, QStringLiteral("Patient_ID")), QStringLiteral("00012"));
        else
            QVERIFY(!drug.contains("<MeTrMonth") && !spec.contains("<EffectiveTime"));
    }

    void basicChallenge() {
        StandinServer server;
        StandinOptions options;
        options.dataDir = m_dataDir;
        options.user = QStringLiteral("ormaster");
        options.key = QStringLiteral("s3cret");
        QVERIFY(server.start(options));
        const QByteArray target = "/api/api01rv2/patientgetv2?id=00012";
        const QByteArray good =
            "Authorization: Basic " + QByteArray("ormaster:s3cret").toBase64() + "\r\n";
        const QByteArray wrong =
            "Authorization: Basic " + QByteArray("ormaster:nope").toBase64() + "\r\n";
        for (const QByteArray &auth : {QByteArray(), wrong}) {
            const Reply reply = Send(server.port(), "GET", target, {}, auth);
            QCOMPARE(reply.status, 401);
            QVERIFY(reply.head.contains("\r\nWWW-Authenticate: Basic realm=\"ORCA\""));
        }
        const Reply reply = Send(server.port(), "GET", target, {}, good);
        QCOMPARE(reply.status, 200);
        QCOMPARE(Leaf(reply.body, QStringLiteral("WholeName")), QStringLiteral("架空 一郎"));
        const QJsonArray log = server.requests();
        QCOMPARE(log.size(), 3);
        QCOMPARE(StandinServer::header(log.at(2).toObject(), QStringLiteral("AUTHORIZATION")),
                 QString::fromLatin1(good.mid(15).chopped(2)));
    }

    void requestLog() {
        const QByteArray body = SpecBody(QStringLiteral("00012"));
        Send(m_server.port(), "POST", "/api/api01rv2/onlinespecgetv2", body);
        Send(m_server.port(), "GET", "/api/api01rv2/patientgetv2?id=00001");
        const QJsonArray log = m_server.requests();
        QCOMPARE(log.size(), 2);
        const QJsonObject post = log.at(0).toObject();
        QCOMPARE(post.value(QStringLiteral("method")).toString(), QStringLiteral("POST"));
        QCOMPARE(post.value(QStringLiteral("path")).toString(),
                 QStringLiteral("/api/api01rv2/onlinespecgetv2"));
        QCOMPARE(post.value(QStringLiteral("body")).toString().toUtf8(), body);
        QCOMPARE(StandinServer::header(post, QStringLiteral("content-type")),
                 QStringLiteral("application/xml; charset=UTF-8"));
        const QJsonObject get = log.at(1).toObject();
        QCOMPARE(get.value(QStringLiteral("path")).toString(),
                 QStringLiteral("/api/api01rv2/patientgetv2"));
        QCOMPARE(get.value(QStringLiteral("query")).toString(), QStringLiteral("id=00001"));
        m_server.resetControl();
        QCOMPARE(m_server.requests().size(), 0);
    }

    void faults_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("delayMs");
        QTest::addColumn<int>("expectStatus"); // 0: no answer at all

        QTest::newRow("status") << "api01rv2/patientgetv2"
                                << "status" << 503 << 0 << 503;
        QTest::newRow("status for this query") << "api01rv2/patientgetv2?id=00012"
                                               << "status" << 500 << 0 << 500;
        QTest::newRow("any path") << "*"
                                  << "status" << 502 << 0 << 502;
        QTest::newRow("delay") << "api01rv2/patientgetv2"
                               << "delay" << 0 << 400 << 200;
        QTest::newRow("close") << "api01rv2/patientgetv2"
                               << "close" << 0 << 0 << 0;
        QTest::newRow("reset") << "api01rv2/patientgetv2"
                               << "reset" << 0 << 0 << 0;
        QTest::newRow("result") << "api01rv2/patientgetv2"
                                << "result" << 0 << 0 << 200;
    }

    // A fault applies to `count` requests, then answers are normal again.
    void faults() {
        QFETCH(QString, path);
        QFETCH(QString, kind);
        QFETCH(int, status);
        QFETCH(int, delayMs);
        QFETCH(int, expectStatus);
        const bool result = kind == QStringLiteral("result");
        QVERIFY(m_server.addFault(path, kind, 2, status, delayMs,
                                  result ? QStringLiteral("E100") : QString()));
        const QByteArray target = "/api/api01rv2/patientgetv2?id=00012";
        int sent = 3;
        if (path.contains(u'?')) {
            // Another query of the same path is not affected.
            QCOMPARE(Send(m_server.port(), "GET", "/api/api01rv2/patientgetv2?id=10001").status,
                     200);
            ++sent;
        }
        for (int i = 0; i < 2; ++i) {
            QElapsedTimer timer;
            timer.start();
            const Reply faulted = Send(m_server.port(), "GET", target);
            QVERIFY(timer.elapsed() >= delayMs);
            QCOMPARE(faulted.answered, expectStatus != 0);
            QCOMPARE(faulted.status, expectStatus);
            QCOMPARE(faulted.reset, kind == QStringLiteral("reset"));
            if (result) {
                // The path's own answer record, carrying the code and no data.
                QVERIFY(StyleProblem(faulted.body).isEmpty());
                QVERIFY(faulted.body.contains("\n  <patientinfores type=\"record\">\n"));
                QCOMPARE(Leaf(faulted.body, QStringLiteral("Api_Result")), QStringLiteral("E100"));
                QVERIFY(!faulted.body.contains("Patient_Information"));
            }
        }
        const Reply after = Send(m_server.port(), "GET", target);
        QCOMPARE(after.status, 200);
        QCOMPARE(Leaf(after.body, QStringLiteral("Api_Result")), QStringLiteral("00"));
        QCOMPARE(m_server.requests().size(), sent);
    }

    void badRequestsDoNotHurt() {
        // Malformed documents get an error answer in ORCA's form.
        const QByteArray broken = "<data><onlinedruggetreq type=\"record\"><Patient_ID>00012";
        const Reply drug = Send(m_server.port(), "POST", "/api/api01rv2/onlinedruggetv2", broken);
        QCOMPARE(drug.status, 200);
        QCOMPARE(Leaf(drug.body, QStringLiteral("Api_Result")), QStringLiteral("E99"));
        const Reply accept =
            Send(m_server.port(), "POST", "/api/api01rv2/acceptlstv2?class=03", "not xml at all");
        QCOMPARE(Leaf(accept.body, QStringLiteral("Api_Result")), QStringLiteral("99"));
        QCOMPARE(Send(m_server.port(), "GET", "/api/api01rv2/nosuchv2").status, 404);
        QCOMPARE(Send(m_server.port(), "GET", "/elsewhere").status, 404);
        // Garbage on the wire: a 400, or the connection closes.
        {
            QTcpSocket socket;
            socket.connectToHost(QStringLiteral("127.0.0.1"), quint16(m_server.port()));
            QVERIFY(socket.waitForConnected(5000));
            socket.write(QByteArray("\x01\x02 nonsense\r\nContent-Length: -5\r\n\r\n"));
            socket.waitForBytesWritten(2000);
            socket.waitForReadyRead(5000);
            QVERIFY(socket.readAll().startsWith("HTTP/1.1 400"));
        }
        const Reply lying = Send(m_server.port(), "POST", "/api/api01rv2/onlinedruggetv2",
                                 QByteArray(), "Content-Length: 99999999999\r\n");
        QCOMPARE(lying.status, 413);
        // Still serving.
        QCOMPARE(Send(m_server.port(), "GET", "/api/api01rv2/patientgetv2?id=00012").status, 200);
    }

    void demoHasTodaysReceptionList() {
        StandinServer demo;
        StandinOptions options;
        options.demo = true;
        QVERIFY(demo.start(options));
        const QString today = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
        const QByteArray list =
            Post(demo.port(), "/api/api01rv2/acceptlstv2?class=03", AcceptBody(today));
        QCOMPARE(Leaf(list, QStringLiteral("Api_Result")), QStringLiteral("00"));
        QVERIFY(StyleProblem(list).isEmpty());
        QRegularExpression idRe(QStringLiteral("<Patient_ID type=\"string\">(\\d+)</Patient_ID>"));
        QSet<QString> ids;
        for (auto it = idRe.globalMatch(QString::fromUtf8(list)); it.hasNext();)
            ids.insert(it.next().captured(1));
        QVERIFY(ids.size() >= 18);
        QVERIFY(ids.contains(QStringLiteral("00012")));
        QVERIFY(list.contains(QStringLiteral("𠮷").toUtf8()));
        // Every listed patient is known under its number, with other-institution
        // information for most of them.
        int withDrugs = 0, withCheckups = 0;
        for (const QString &id : ids) {
            const QByteArray drug = Post(demo.port(), "/api/api01rv2/onlinedruggetv2",
                                         DrugBody(QStringLiteral("01"), id, {}));
            QVERIFY2(Leaf(drug, QStringLiteral("Api_Result")) != QStringLiteral("E10"),
                     qPrintable(id));
            withDrugs += drug.contains("<MeTrMonth type=\"string\">");
            withCheckups += Post(demo.port(), "/api/api01rv2/onlinespecgetv2", SpecBody(id))
                                .contains("<EffectiveTime type=\"string\">");
        }
        QVERIFY(withDrugs >= 8 && withDrugs < ids.size());
        QVERIFY(withCheckups >= 4 && withCheckups < ids.size());
    }
};

QTEST_GUILESS_MAIN(TestOrcaStandin)
#include "test_orca_standin.moc"
