// The stand-in ORCA server answers like a clinic's ORCA (checked against the
// real-form samples), challenges for credentials, injects faults and logs
// requests. Exercised over real loopback sockets.
#include "tests/support/StandinServer.h"
#include "tests/support/TestEnv.h"

#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTest>
#include <QXmlStreamReader>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <thread>
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

// Every value of a leaf, in answer order.
QStringList Leaves(const QByteArray &xml, const QString &name) {
    QRegularExpression re(QStringLiteral("<%1 type=\"string\">([^<]*)</%1>").arg(name));
    QStringList out;
    for (auto it = re.globalMatch(QString::fromUtf8(xml)); it.hasNext();)
        out << it.next().captured(1);
    return out;
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

QByteArray MedBody(const QString &id, const QString &month = QString(),
                   const QString &number = QStringLiteral("01")) {
    return QStringLiteral(
               "<data>  <onlinemedgetreq type=\"record\">    <Request_Number "
               "type=\"string\">%3</Request_Number>    <Patient_ID "
               "type=\"string\">%1</Patient_ID>    <MeTrMonth type=\"string\">%2</MeTrMonth>"
               "    <InOut type=\"string\"></InOut>    <MeTrDiHCd "
               "type=\"string\"></MeTrDiHCd>    <PrlsHCd type=\"string\"></PrlsHCd>  "
               "</onlinemedgetreq></data>")
        .arg(id, month, number)
        .toUtf8();
}

QByteArray SpecBody(const QString &id, const QString &number = QStringLiteral("01"),
                    const QString &day = QString()) {
    return QStringLiteral("<data>  <onlinespecgetreq type=\"record\">    <Request_Number "
                          "type=\"string\">%2</Request_Number>    <Patient_ID "
                          "type=\"string\">%1</Patient_ID>    <EffectiveTime "
                          "type=\"string\">%3</EffectiveTime>  </onlinespecgetreq></data>")
        .arg(id, number, day)
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

// The month `monthsAgo` before this one, "yyyy-mm".
QString MonthAgo(int monthsAgo) {
    const QDate today = QDate::currentDate();
    return QDate(today.year(), today.month(), 1)
        .addMonths(-monthsAgo)
        .toString(QStringLiteral("yyyy-MM"));
}

// Day `day` of that month (never after today), "yyyy-mm-dd".
QString DayOfMonthAgo(int monthsAgo, int day) {
    const QDate today = QDate::currentDate();
    const QDate first = QDate(today.year(), today.month(), 1).addMonths(-monthsAgo);
    const QDate d(first.year(), first.month(), std::min(day, first.daysInMonth()));
    return std::min(d, today).toString(QStringLiteral("yyyy-MM-dd"));
}

// The shape of an answer as the shared sample checker sees it: every element
// path with its type attribute (array members folded as X_child), and for
// each path the lists of its children's distinct names in order.
struct Shape {
    QString root, record;
    QHash<QString, QString> types;
    QHash<QString, QList<QStringList>> order;
    QString error;
};

Shape ShapeOf(const QByteArray &xml) {
    Shape s;
    QXmlStreamReader r(xml);
    QStringList path;            // element names from the root
    QList<QStringList> children; // distinct child names per open element
    while (!r.atEnd()) {
        const auto token = r.readNext();
        if (token == QXmlStreamReader::StartElement) {
            const QString tag = r.name().toString();
            if (path.isEmpty())
                s.root = tag;
            else if (path.size() == 1 && s.record.isEmpty())
                s.record = tag;
            if (!children.isEmpty() && !children.last().contains(tag))
                children.last() << tag;
            path << tag;
            children << QStringList();
            const QString key = path.join(u'/');
            if (path.size() > 1 && !s.types.contains(key))
                s.types.insert(key, r.attributes().value(QStringLiteral("type")).toString());
        } else if (token == QXmlStreamReader::EndElement) {
            if (!children.last().isEmpty())
                s.order[path.join(u'/')] << children.last();
            children.removeLast();
            path.removeLast();
        }
    }
    if (r.hasError())
        s.error = r.errorString();
    return s;
}

// What differs from the sample: the record under the root, element paths
// and types, and the order of siblings wherever the sample orders them.
QStringList ShapeProblems(const QByteArray &answer, const Shape &sample) {
    const Shape a = ShapeOf(answer);
    if (!a.error.isEmpty())
        return {QStringLiteral("not well-formed: ") + a.error};
    if (a.root != sample.root || a.record != sample.record)
        return {QStringLiteral("root %1/%2 != %3/%4")
                    .arg(a.root, a.record, sample.root, sample.record)};
    QStringList problems;
    for (auto it = a.types.constBegin(); it != a.types.constEnd(); ++it) {
        if (!sample.types.contains(it.key()))
            problems << QStringLiteral("unknown element ") + it.key();
        else if (sample.types.value(it.key()) != it.value())
            problems << QStringLiteral("type of ") + it.key();
    }
    for (auto it = a.order.constBegin(); it != a.order.constEnd(); ++it) {
        QSet<QPair<QString, QString>> before;
        for (const QStringList &l : sample.order.value(it.key())) {
            for (qsizetype i = 0; i < l.size(); ++i) {
                for (qsizetype j = i + 1; j < l.size(); ++j)
                    before.insert({l[i], l[j]});
            }
        }
        for (const QStringList &kids : it.value()) {
            for (qsizetype i = 0; i < kids.size(); ++i) {
                for (qsizetype j = i + 1; j < kids.size(); ++j) {
                    if (before.contains({kids[j], kids[i]}))
                        problems << QStringLiteral("order under %1: %2 before %3")
                                        .arg(it.key(), kids[i], kids[j]);
                }
            }
        }
    }
    problems.removeDuplicates();
    return problems;
}

QByteArray Sample(const QString &name) {
    QFile file(SourceDir() + QStringLiteral("/tests/tools/orca-samples/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The list mark of one patient, decided from the three online answers as the
// background check does: ◎ when drug information lists a month or medical
// information names an institution other than the clinic (code ending in
// 9900011) or a pharmacy; T when a checkup date exists.
QString MarkOf(int port, const QString &id) {
    bool other = Post(port, "/api/api01rv2/onlinedruggetv2", DrugBody(QStringLiteral("01"), id, {}))
                     .contains("<MeTrMonth type=\"string\">");
    if (!other) {
        for (const QString &code : Leaves(Post(port, "/api/api01rv2/onlinemedgetv2", MedBody(id)),
                                          QStringLiteral("MeTrDiHCd"))) {
            if (!code.endsWith(QStringLiteral("9900011")) && (code.size() < 3 || code[2] != u'4'))
                other = true;
        }
    }
    const bool checkup = Post(port, "/api/api01rv2/onlinespecgetv2", SpecBody(id))
                             .contains("<EffectiveTime type=\"string\">");
    return QString(other ? QStringLiteral("◎") : QString()) +
           (checkup ? QStringLiteral("T") : QString());
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
    StandinServer m_demo;
    QStringList m_demoIds;       // every demo patient, as kept
    QStringList m_receptionDays; // every day with a demo reception list

    const StandinInstitution kAoba{QStringLiteral("1340100018"), QStringLiteral("あおば見本薬局")};
    const StandinInstitution kMidori{QStringLiteral("1310100011"),
                                     QStringLiteral("みどり台内科クリニック")};

    // The requests of one API for the shape comparison, against the demo.
    struct Request {
        QByteArray method, target, body;
    };
    QList<Request> demoRequests(const QString &api);

private slots:
    void initTestCase() {
        m_dataDir = MakeTestAppDir(QStringLiteral("standin-data"));
        const QDate today = QDate::currentDate();
        m_visitDay = today.addDays(-3).toString(QStringLiteral("yyyy-MM-dd"));
        m_drugMonth = today.addDays(-40).toString(QStringLiteral("yyyy-MM"));
        // Written as "12": the server keeps it as 00012.
        QJsonObject patient = StandinServer::makePatient(
            QStringLiteral("12"), QStringLiteral("架空　一郎"), QStringLiteral("1962-04-01"),
            QStringLiteral("カクウ　イチロウ"), QStringLiteral("1"));
        StandinServer::append(
            &patient, QStringLiteral("drugs"),
            StandinServer::dispensing(
                QStringLiteral("today-40"), kAoba,
                {StandinServer::drugLine(QStringLiteral("アムロジピン錠5mg"), QStringLiteral("1"),
                                         QStringLiteral("錠"), 28)},
                kMidori));
        StandinServer::append(&patient, QStringLiteral("medical"),
                              StandinServer::treatment(QStringLiteral("today-40"), kMidori));
        StandinServer::append(&patient, QStringLiteral("checkups"),
                              StandinServer::checkup(QStringLiteral("2024-06-15")));
        StandinServer::append(
            &patient, QStringLiteral("visits"),
            StandinServer::visit(
                m_visitDay,
                {StandinServer::order(QStringLiteral("12"), 1,
                                      {StandinServer::orderLine(QStringLiteral("112007410"),
                                                                QStringLiteral("再診料"))}),
                 StandinServer::order(
                     QStringLiteral("21"), 14,
                     {StandinServer::orderLine(QStringLiteral("620000001"),
                                               QStringLiteral("ランソプラゾールOD錠15mg"),
                                               QStringLiteral("1"), QStringLiteral("錠"))})}));
        QVERIFY(StandinServer::writePatient(m_dataDir, patient));
        QVERIFY(StandinServer::writePatient(
            m_dataDir,
            StandinServer::makePatient(QStringLiteral("10001"), QStringLiteral("港　見本男"))));
        QVERIFY(StandinServer::writeReception(
            m_dataDir, today.toString(QStringLiteral("yyyy-MM-dd")),
            {StandinServer::receptionEntry(QStringLiteral("00012"), QStringLiteral("09:05:00"),
                                           QStringLiteral("09:40:00")),
             StandinServer::receptionEntry(QStringLiteral("10001"), QStringLiteral("09:20:00"))}));
        StandinOptions options;
        options.dataDir = m_dataDir;
        QString error;
        QVERIFY2(m_server.start(options, &error), qPrintable(error));

        // The demo, and its patients and days as the dump lists them.
        const QString dump = MakeTestAppDir(QStringLiteral("standin-demo-dump"));
        QCOMPARE(QProcess::execute(StandinServer::executablePath(),
                                   {QStringLiteral("--dump-demo"), dump}),
                 0);
        for (const QString &f : QDir(dump + QStringLiteral("/patients")).entryList(QDir::Files))
            m_demoIds << f.chopped(5);
        for (const QString &f : QDir(dump + QStringLiteral("/reception")).entryList(QDir::Files))
            m_receptionDays << f.chopped(5);
        QVERIFY(m_demoIds.size() >= 20);
        StandinOptions demo;
        demo.demo = true;
        QVERIFY2(m_demo.start(demo, &error), qPrintable(error));
    }

    void init() {
        m_server.resetControl();
        m_demo.resetControl();
    }

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
        QTest::newRow("drug 02 without a month")
            << QByteArray("POST") << QByteArray("/api/api01rv2/onlinedruggetv2")
            << DrugBody(QStringLiteral("02"), QStringLiteral("00012"), QString())
            << "onlinedruggetres"
            << "E11"
            << "Patient_ID"
            << "00012";
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
        QTest::newRow("checkup results")
            << QByteArray("POST") << QByteArray("/api/api01rv2/onlinespecgetv2")
            << SpecBody(QStringLiteral("00012"), QStringLiteral("02"), QStringLiteral("2024-06-15"))
            << "onlinespecgetres"
            << "000"
            << "ItemName"
            << "身長";
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
        QTest::newRow("calendar of a month without visits")
            << QByteArray("POST") << QByteArray("/api/api01rv2/medicalgetv2?class=03")
            << MedicalBody(QStringLiteral("00012"), QStringLiteral("2001-01"), QString())
            << "medicalget03res"
            << "15"
            << "Patient_ID"
            << "00012";
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
        // The online APIs carry no Reskey, the others do.
        QCOMPARE(reply.body.contains("<Reskey "), !record.startsWith(QStringLiteral("online")));
    }

    // Every demo answer has the form of the real-form samples: the same
    // record, no element the sample lacks, types and sibling order as there.
    void demoAnswersHaveTheSamplesShape_data() {
        QTest::addColumn<QString>("api");
        QTest::addColumn<QString>("sample");
        QTest::addColumn<QString>("success"); // an Api_Result at least one answer has
        QTest::newRow("patientgetv2") << "patientgetv2"
                                      << "patientgetv2.xml"
                                      << "00";
        QTest::newRow("patientgetv2 unknown") << "patientgetv2 unknown"
                                              << "patientgetv2_E10.xml"
                                              << "10";
        QTest::newRow("acceptlstv2 02 and 03") << "acceptlstv2"
                                               << "acceptlstv2_class03.xml"
                                               << "00";
        QTest::newRow("onlinedruggetv2 01") << "drug 01"
                                            << "onlinedruggetv2_01.xml"
                                            << "000";
        QTest::newRow("onlinedruggetv2 02") << "drug 02"
                                            << "onlinedruggetv2_02.xml"
                                            << "000";
        QTest::newRow("onlinedruggetv2 E10") << "drug unknown"
                                             << "onlinedruggetv2_E10.xml"
                                             << "E10";
        QTest::newRow("onlinemedgetv2 01") << "med 01"
                                           << "onlinemedgetv2_01.xml"
                                           << "000";
        QTest::newRow("onlinemedgetv2 02") << "med 02"
                                           << "onlinemedgetv2.xml"
                                           << "000";
        QTest::newRow("onlinespecgetv2 01") << "spec 01"
                                            << "onlinespecgetv2_01.xml"
                                            << "000";
        QTest::newRow("onlinespecgetv2 02") << "spec 02"
                                            << "onlinespecgetv2.xml"
                                            << "000";
        QTest::newRow("medicalgetv2 01") << "medical 01"
                                         << "medicalgetv2_class01.xml"
                                         << "00";
        QTest::newRow("medicalgetv2 02") << "medical 02"
                                         << "medicalgetv2_class02.xml"
                                         << "00";
        QTest::newRow("medicalgetv2 03") << "medical 03"
                                         << "medicalgetv2_class03.xml"
                                         << "00";
    }

    void demoAnswersHaveTheSamplesShape() {
        QFETCH(QString, api);
        QFETCH(QString, sample);
        QFETCH(QString, success);
        const QByteArray sampleXml = Sample(sample);
        QVERIFY2(!sampleXml.isEmpty(), qPrintable(sample));
        const Shape sampleShape = ShapeOf(sampleXml);
        const QList<Request> requests = demoRequests(api);
        QVERIFY(!requests.isEmpty());
        QStringList problems;
        int successes = 0;
        for (const Request &r : requests) {
            const Reply reply = Send(m_demo.port(), r.method, r.target, r.body);
            QCOMPARE(reply.status, 200);
            successes += Leaf(reply.body, QStringLiteral("Api_Result")) == success;
            for (const QString &p : ShapeProblems(reply.body, sampleShape))
                problems << QString::fromUtf8(r.target + ' ' + r.body.left(160)) + u'\n' + p;
            if (problems.size() > 5)
                break;
        }
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u'\n')));
        QVERIFY(successes > 0);
    }

    // The shared sample checker itself, where it and python3 are at hand.
    void sharedShapeCheckerHolds() {
        const QString script = SourceDir() + QStringLiteral("/../shared/tools/orca-shape-check.py");
        const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
        if (python.isEmpty() || !QFile::exists(script))
            QSKIP("python3 or the shared shape checker is not available");
        QProcess checker;
        checker.setProcessChannelMode(QProcess::MergedChannels);
        checker.start(python, {script, QStringLiteral("--url"), m_demo.baseUrl(),
                               QStringLiteral("--patients"), m_demoIds.join(u',')});
        QVERIFY(checker.waitForFinished(120000));
        const QString out = QString::fromUtf8(checker.readAll());
        QVERIFY2(checker.exitCode() == 0, qPrintable(out));
        QVERIFY2(out.contains(QStringLiteral("9/9 APIs answer in real form")), qPrintable(out));
    }

    // "01" lists six months newest first: without a month from last month
    // back, with one ending with it; the current month never without one.
    void monthWindowOfList01_data() {
        QTest::addColumn<QString>("month");
        QTest::addColumn<QStringList>("months");
        QTest::addColumn<QString>("result");
        QTest::newRow("no month: last month back")
            << QString() << QStringList{MonthAgo(1), MonthAgo(3), MonthAgo(6)} << "000";
        QTest::newRow("a month: six ending with it")
            << MonthAgo(3) << QStringList{MonthAgo(3), MonthAgo(6), MonthAgo(7)} << "000";
        QTest::newRow("this month")
            << MonthAgo(0) << QStringList{MonthAgo(0), MonthAgo(1), MonthAgo(3)} << "000";
        QTest::newRow("nothing in the window") << MonthAgo(20) << QStringList{} << "E50";
        QTest::newRow("not a month") << QStringLiteral("2024-5") << QStringList{} << "E11";
    }

    void monthWindowOfList01() {
        QFETCH(QString, month);
        QFETCH(QStringList, months);
        QFETCH(QString, result);
        QJsonObject p =
            StandinServer::makePatient(QStringLiteral("70001"), QStringLiteral("窓口　確認"));
        for (int ago : {0, 1, 3, 6, 7, 13}) {
            StandinServer::append(
                &p, QStringLiteral("drugs"),
                StandinServer::dispensing(
                    DayOfMonthAgo(ago, 10), kAoba,
                    {StandinServer::drugLine(QStringLiteral("見本錠"), QStringLiteral("1"),
                                             QStringLiteral("錠"), 14)},
                    kMidori));
            StandinServer::append(&p, QStringLiteral("medical"),
                                  StandinServer::treatment(DayOfMonthAgo(ago, 10), kMidori));
        }
        QVERIFY(m_server.putPatient(p));
        const QByteArray drug =
            Post(m_server.port(), "/api/api01rv2/onlinedruggetv2",
                 DrugBody(QStringLiteral("01"), QStringLiteral("70001"), month));
        const QByteArray med = Post(m_server.port(), "/api/api01rv2/onlinemedgetv2",
                                    MedBody(QStringLiteral("70001"), month));
        for (const QByteArray &answer : {drug, med}) {
            QCOMPARE(Leaf(answer, QStringLiteral("Api_Result")), result);
            // A top-level MeTrMonth repeats the month sent, and only then.
            QStringList listed = Leaves(answer, QStringLiteral("MeTrMonth"));
            if (!month.isEmpty())
                QCOMPARE(listed.takeFirst(), month);
            QCOMPARE(listed, months);
            // A known patient is named also when there is nothing to list.
            QVERIFY(answer.contains("<WholeName type=\"string\">窓口　確認</WholeName>"));
        }
        // The pharmacy dispensed: its entry names the prescriber after itself.
        if (!months.isEmpty()) {
            const QString entry = QString::fromUtf8(drug).section(
                QStringLiteral("<MeTrD_Inf_child type=\"record\">"), 1, 1);
            QCOMPARE(Leaves(entry.toUtf8(), QStringLiteral("MeTrDiHCd")), QStringList{kAoba.code});
            QVERIFY(entry.indexOf(QStringLiteral("MeTrDiHNm")) <
                    entry.indexOf(QStringLiteral("PrlsHCd")));
            QCOMPARE(Leaves(med, QStringLiteral("InOut")).size(), months.size());
        }
    }

    // More than twenty institutions in a month: W52 and the first twenty.
    void crowdedMonthIsCut() {
        QJsonObject p =
            StandinServer::makePatient(QStringLiteral("70002"), QStringLiteral("多数　受診"));
        for (int i = 0; i < 21; ++i) {
            const StandinInstitution clinic{QStringLiteral("13105%1").arg(i, 5, 10, QChar(u'0')),
                                            QStringLiteral("見本医院%1").arg(i)};
            StandinServer::append(&p, QStringLiteral("drugs"),
                                  StandinServer::dispensing(DayOfMonthAgo(2, 5), clinic, {}));
        }
        QVERIFY(m_server.putPatient(p));
        const QByteArray drug =
            Post(m_server.port(), "/api/api01rv2/onlinedruggetv2",
                 DrugBody(QStringLiteral("01"), QStringLiteral("70002"), QString()));
        QCOMPARE(Leaf(drug, QStringLiteral("Api_Result")), QStringLiteral("W52"));
        QCOMPARE(Leaves(drug, QStringLiteral("MeTrDiHCd")).size(), 20);
    }

    // "02": one member per InOut (ascending), a day once per institution
    // pair, PrDate for a pharmacy's dispensing, absent numbers as 0.
    void drugMonthByInOut() {
        QJsonObject p =
            StandinServer::makePatient(QStringLiteral("70003"), QStringLiteral("詳細　確認"));
        const QString day = DayOfMonthAgo(1, 8);
        QJsonObject noQty = StandinServer::drugLine(QStringLiteral("湿布見本"), QString(),
                                                    QStringLiteral("枚"), 1, QStringLiteral("23"));
        noQty.remove(QStringLiteral("qty"));
        StandinServer::append(&p, QStringLiteral("drugs"),
                              StandinServer::dispensing(day, kAoba, {noQty}, kMidori));
        StandinServer::append(
            &p, QStringLiteral("drugs"),
            StandinServer::dispensing(
                day, kAoba,
                {StandinServer::drugLine(QStringLiteral("見本錠"), QStringLiteral("3"),
                                         QStringLiteral("錠"), 7)},
                {QStringLiteral("1310300033"), QStringLiteral("さくら坂整形外科")}));
        StandinServer::append(
            &p, QStringLiteral("drugs"),
            StandinServer::dispensing(
                DayOfMonthAgo(1, 2),
                {QStringLiteral("1310500055"), QStringLiteral("東町架空診療所")},
                {StandinServer::drugLine(QStringLiteral("院内錠"), QStringLiteral("2"),
                                         QStringLiteral("錠"), 5)}));
        QVERIFY(m_server.putPatient(p));
        const QByteArray answer =
            Post(m_server.port(), "/api/api01rv2/onlinedruggetv2",
                 DrugBody(QStringLiteral("02"), QStringLiteral("70003"), MonthAgo(1)));
        QCOMPARE(Leaf(answer, QStringLiteral("Api_Result")), QStringLiteral("000"));
        QCOMPARE(Leaves(answer, QStringLiteral("InOut")), (QStringList{"2", "4"}));
        QCOMPARE(Leaves(answer, QStringLiteral("DiDay")),
                 (QStringList{DayOfMonthAgo(1, 2).mid(8), day.mid(8), day.mid(8)}));
        QCOMPARE(Leaves(answer, QStringLiteral("PrDate")), (QStringList{day, day}));
        QCOMPARE(Leaves(answer, QStringLiteral("PrlsHCd")),
                 (QStringList{kMidori.code, QStringLiteral("1310300033")}));
        QCOMPARE(Leaves(answer, QStringLiteral("Qua1")), (QStringList{"2", "0", "3"}));
        QCOMPARE(Leaves(answer, QStringLiteral("Times")), (QStringList{"5", "1", "7"}));
    }

    // The online APIs find only the kept form of a number unless padded
    // matching is on; patientgetv2 and medicalgetv2 pad it first, to the
    // configured length. Answers carry the kept number; the online APIs'
    // E10 repeats the number as sent, patientgetv2's 10 carries the header only.
    void patientNumbers_data() {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("onlineFound");
        QTest::addColumn<QString>("kept"); // as patientgetv2 answers; empty: not found
        QTest::newRow("12") << "12" << QStringList() << false << "00012";
        QTest::newRow("0012") << "0012" << QStringList() << false << "00012";
        QTest::newRow("000012 is another number") << "000012" << QStringList() << false << "";
        QTest::newRow("00012 as kept") << "00012" << QStringList() << true << "00012";
        QTest::newRow("12, padded matching")
            << "12" << QStringList{"--match", "padded"} << true << "00012";
        QTest::newRow("length 7: 00012")
            << "00012" << QStringList{"--pad-length", "7"} << false << "0000012";
        QTest::newRow("length 7: 0000012")
            << "0000012" << QStringList{"--pad-length", "7"} << true << "0000012";
    }

    void patientNumbers() {
        QFETCH(QString, id);
        QFETCH(QStringList, args);
        QFETCH(bool, onlineFound);
        QFETCH(QString, kept);
        StandinServer other;
        StandinServer *server = &m_server;
        if (!args.isEmpty()) {
            StandinOptions options;
            options.dataDir = m_dataDir;
            options.extraArgs = args;
            QVERIFY(other.start(options));
            server = &other;
        }
        const int port = server->port();
        const QString month = QStringLiteral("2024-05");
        const QByteArray drug =
            Post(port, "/api/api01rv2/onlinedruggetv2", DrugBody(QStringLiteral("01"), id, month));
        const QByteArray med = Post(port, "/api/api01rv2/onlinemedgetv2", MedBody(id));
        const QByteArray spec = Post(port, "/api/api01rv2/onlinespecgetv2", SpecBody(id));
        for (const QByteArray &answer : {drug, med, spec}) {
            QCOMPARE(Leaf(answer, QStringLiteral("Api_Result")) == QStringLiteral("E10"),
                     !onlineFound);
            QCOMPARE(Leaf(answer, QStringLiteral("Patient_ID")), onlineFound ? kept : id);
            QCOMPARE(answer.contains("<WholeName "), onlineFound);
        }
        QCOMPARE(Leaf(drug, QStringLiteral("MeTrMonth")), month);

        const QByteArray patient =
            Send(port, "GET", "/api/api01rv2/patientgetv2?id=" + id.toUtf8()).body;
        const QByteArray calendar = Post(port, "/api/api01rv2/medicalgetv2?class=03",
                                         MedicalBody(id, m_visitDay.left(7), QString()));
        for (const QByteArray &answer : {patient, calendar}) {
            QCOMPARE(Leaf(answer, QStringLiteral("Api_Result")),
                     kept.isEmpty() ? QStringLiteral("10") : QStringLiteral("00"));
            QCOMPARE(Leaf(answer, QStringLiteral("Patient_ID")), kept);
            QCOMPARE(answer.contains("Patient_Information"), !kept.isEmpty());
        }
    }

    // Class 01 lists every visit of the month of the day asked for; class 02
    // answers one visit of a day and department with 3-digit classes; class
    // 03 a month's items with their 31-day calendar.
    void ownMedicalRecords() {
        const QString first = DayOfMonthAgo(1, 3), second = DayOfMonthAgo(1, 17);
        const QJsonObject revisit = StandinServer::order(
            QStringLiteral("12"), 1,
            {StandinServer::orderLine(QStringLiteral("112007410"), QStringLiteral("再診料"))},
            QStringLiteral("再診料"));
        QJsonObject p =
            StandinServer::makePatient(QStringLiteral("70004"), QStringLiteral("自院　歴子"));
        StandinServer::append(
            &p, QStringLiteral("visits"),
            StandinServer::visit(
                first,
                {revisit, StandinServer::order(
                              QStringLiteral("21"), 14,
                              {StandinServer::orderLine(QStringLiteral("620000001"),
                                                        QStringLiteral("見本錠５ｍｇ"),
                                                        QStringLiteral("1"), QStringLiteral("錠")),
                               StandinServer::orderLine(QStringLiteral("001000101"),
                                                        QStringLiteral("【１日１回朝食後に】"),
                                                        QStringLiteral("1"))})}));
        StandinServer::append(
            &p, QStringLiteral("visits"),
            StandinServer::visit(
                second,
                {revisit,
                 StandinServer::order(QStringLiteral("23"), 1,
                                      {StandinServer::orderLine(
                                          QStringLiteral("620000002"), QStringLiteral("見本軟膏"),
                                          QStringLiteral("10"), QStringLiteral("ｇ"))})},
                QStringLiteral("13"), QStringLiteral("皮膚科")));
        StandinServer::append(&p, QStringLiteral("visits"),
                              StandinServer::visit(DayOfMonthAgo(3, 9), {revisit}));
        QVERIFY(m_server.putPatient(p));
        const int port = m_server.port();
        const QString id = QStringLiteral("70004");
        const auto ask = [&](const char *cls, const QString &date, const QString &dept) {
            return Post(port, QByteArray("/api/api01rv2/medicalgetv2?class=") + cls,
                        MedicalBody(id, date, dept));
        };

        for (const QString &date : {second, MonthAgo(1)}) {
            const QByteArray month = ask("01", date, QString());
            QCOMPARE(Leaves(month, QStringLiteral("Perform_Date")), (QStringList{first, second}));
            QCOMPARE(Leaves(month, QStringLiteral("Department_Code")), (QStringList{"01", "13"}));
            QCOMPARE(Leaves(month, QStringLiteral("Sequential_Number")), (QStringList{"1", "1"}));
        }

        const QByteArray skin = ask("02", second, QStringLiteral("13"));
        QCOMPARE(Leaf(skin, QStringLiteral("Department_Name")), QStringLiteral("皮膚科"));
        QCOMPARE(Leaves(skin, QStringLiteral("Medical_Class")), (QStringList{"120", "230"}));
        QCOMPARE(Leaves(skin, QStringLiteral("Medication_Code")),
                 (QStringList{"112007410", "620000002"}));
        QCOMPARE(Leaf(ask("02", second, QStringLiteral("01")), QStringLiteral("Api_Result")),
                 QStringLiteral("15"));
        const QByteArray internal = ask("02", first, QString());
        QCOMPARE(Leaves(internal, QStringLiteral("Medical_Class")), (QStringList{"120", "210"}));
        QCOMPARE(Leaves(internal, QStringLiteral("Medical_Class_Number")),
                 (QStringList{"1", "14"}));
        QCOMPARE(Leaves(internal, QStringLiteral("Medication_Number")),
                 (QStringList{"1", "1", "1"}));
        QCOMPARE(Leaves(internal, QStringLiteral("Unit_Code_Name")), QStringList{"錠"});
        QCOMPARE(Leaf(ask("02", MonthAgo(1), QString()), QStringLiteral("Api_Result")),
                 QStringLiteral("14"));

        auto calendar = [](QList<int> days) {
            QString c(31, u'0');
            for (int d : days)
                c[d - 1] = u'1';
            return c;
        };
        const int a = first.mid(8).toInt(), b = second.mid(8).toInt();
        const QByteArray month = ask("03", MonthAgo(1), QString());
        QCOMPARE(Leaf(month, QStringLiteral("Perform_Date")), MonthAgo(1));
        QCOMPARE(Leaves(month, QStringLiteral("Medical_Class")), (QStringList{"12", "21", "23"}));
        QCOMPARE(Leaves(month, QStringLiteral("Medication_Code")),
                 (QStringList{"112007410", "620000001", "620000002"}));
        QCOMPARE(Leaves(month, QStringLiteral("Perform_Total_Number")),
                 (QStringList{"02", "01", "01"}));
        QCOMPARE(Leaves(month, QStringLiteral("Perform_Calendar")),
                 (QStringList{calendar({a, b}), calendar({a}), calendar({b})}));
        QCOMPARE(Leaves(month, QStringLiteral("Perform_Day")),
                 (QStringList{first.mid(8), second.mid(8)}));
        QCOMPARE(Leaves(month, QStringLiteral("Perform_Day_Number")), (QStringList{"14", "1"}));
    }

    // Class 01: still in reception, with Display_Order; 02: settled, with
    // Account_Time; 03: all. Acceptance numbers count the whole day's list.
    void acceptListClasses_data() {
        QTest::addColumn<QString>("cls");
        QTest::addColumn<QStringList>("ids");
        QTest::addColumn<QStringList>("acceptIds");
        QTest::addColumn<QStringList>("accountTimes");
        QTest::addColumn<QStringList>("displayOrder");
        QTest::newRow("01") << "01" << QStringList{"10001"} << QStringList{"00002"} << QStringList{}
                            << QStringList{"1"};
        QTest::newRow("02") << "02" << QStringList{"00012"} << QStringList{"00001"}
                            << QStringList{"09:40:00"} << QStringList{};
        QTest::newRow("03") << "03" << QStringList{"00012", "10001"}
                            << QStringList{"00001", "00002"} << QStringList{"09:40:00"}
                            << QStringList{};
    }

    void acceptListClasses() {
        QFETCH(QString, cls);
        QFETCH(QStringList, ids);
        QFETCH(QStringList, acceptIds);
        QFETCH(QStringList, accountTimes);
        QFETCH(QStringList, displayOrder);
        const QString today = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
        const QByteArray list = Post(
            m_server.port(), "/api/api01rv2/acceptlstv2?class=" + cls.toUtf8(), AcceptBody(today));
        QCOMPARE(Leaf(list, QStringLiteral("Api_Result")), QStringLiteral("00"));
        QCOMPARE(Leaves(list, QStringLiteral("Patient_ID")), ids);
        QCOMPARE(Leaves(list, QStringLiteral("Acceptance_Id")), acceptIds);
        QCOMPARE(Leaves(list, QStringLiteral("Account_Time")), accountTimes);
        QCOMPARE(Leaves(list, QStringLiteral("Display_Order")), displayOrder);
        QCOMPARE(Leaf(list, QStringLiteral("WholeName")).isEmpty(), false);

        // A day whose patients are all settled has nobody in reception.
        QVERIFY(m_server.putReception(
            QStringLiteral("today-1"),
            {StandinServer::receptionEntry(QStringLiteral("12"), QStringLiteral("10:00:00"),
                                           QStringLiteral("10:30:00"))}));
        const QString yesterday =
            QDate::currentDate().addDays(-1).toString(QStringLiteral("yyyy-MM-dd"));
        const QByteArray settled =
            Post(m_server.port(), "/api/api01rv2/acceptlstv2?class=" + cls.toUtf8(),
                 AcceptBody(yesterday));
        QCOMPARE(Leaf(settled, QStringLiteral("Api_Result")),
                 cls == QStringLiteral("01") ? QStringLiteral("21") : QStringLiteral("00"));
    }

    // A delay for every answer holds each connection on its own: three
    // requests at once take one delay, not three.
    void delayEveryAnswer() {
        const int delayMs = 800;
        QVERIFY(m_server.addFault(QStringLiteral("*"), QStringLiteral("delay"), -1, 0, delayMs));
        QElapsedTimer timer;
        timer.start();
        std::vector<int> statuses(3, 0);
        std::vector<std::thread> clients;
        for (int i = 0; i < 3; ++i) {
            clients.emplace_back([this, i, &statuses] {
                statuses[i] =
                    Send(m_server.port(), "GET", "/api/api01rv2/patientgetv2?id=00012").status;
            });
        }
        for (std::thread &t : clients)
            t.join();
        const qint64 elapsed = timer.elapsed();
        QCOMPARE(statuses, (std::vector<int>{200, 200, 200}));
        QVERIFY(elapsed >= delayMs);
        QVERIFY2(elapsed < 2 * delayMs, qPrintable(QString::number(elapsed)));
        QCOMPARE(m_server.requests().size(), 3);
    }

    // The demo covers every list mark and the reception cases the viewer
    // has to handle, as its README describes them.
    void demoCoversListMarksAndReceptions() {
        const QHash<QString, QString> marks = {
            {"00001", "◎T"}, {"00002", "T"},  {"00012", "◎"},  {"00045", "◎"},  {"00103", "◎"},
            {"00777", ""},   {"01234", ""},   {"10001", "◎"},  {"10024", "◎T"}, {"10150", "◎T"},
            {"10388", "◎"},  {"11002", "T"},  {"11235", "◎T"}, {"12001", ""},   {"12458", "◎"},
            {"13003", "◎"},  {"13579", "◎T"}, {"20000", "◎T"}, {"20481", ""},   {"21001", "◎T"},
            {"30012", "◎"},  {"31415", "◎T"},
        };
        QCOMPARE(QSet<QString>(m_demoIds.begin(), m_demoIds.end()),
                 QSet<QString>(marks.keyBegin(), marks.keyEnd()));
        for (auto it = marks.constBegin(); it != marks.constEnd(); ++it)
            QCOMPARE(MarkOf(m_demo.port(), it.key()) + u'|' + it.key(),
                     it.value() + u'|' + it.key());
        // ◎ from medical information alone: no drug month for 00045.
        QCOMPARE(Leaf(Post(m_demo.port(), "/api/api01rv2/onlinedruggetv2",
                           DrugBody(QStringLiteral("01"), QStringLiteral("00045"), {})),
                      QStringLiteral("Api_Result")),
                 QStringLiteral("E50"));
        // 01234 has nothing anywhere.
        for (const QByteArray &answer :
             {Post(m_demo.port(), "/api/api01rv2/onlinedruggetv2",
                   DrugBody(QStringLiteral("02"), QStringLiteral("01234"), MonthAgo(0))),
              Post(m_demo.port(), "/api/api01rv2/onlinemedgetv2", MedBody(QStringLiteral("01234"))),
              Post(m_demo.port(), "/api/api01rv2/onlinespecgetv2",
                   SpecBody(QStringLiteral("01234")))})
            QCOMPARE(Leaf(answer, QStringLiteral("Api_Result")), QStringLiteral("E50"));

        const QDate today = QDate::currentDate();
        const QByteArray list = Post(m_demo.port(), "/api/api01rv2/acceptlstv2?class=03",
                                     AcceptBody(today.toString(QStringLiteral("yyyy-MM-dd"))));
        const QStringList ids = Leaves(list, QStringLiteral("Patient_ID"));
        QCOMPARE(ids.size(), 21);
        QCOMPARE(QSet<QString>(ids.begin(), ids.end()).size(), 20);
        QVERIFY(!ids.contains(QStringLiteral("30012")));
        // 00012 twice: the first reception settled, the second still open.
        const QStringList records =
            QString::fromUtf8(list).split(QStringLiteral("<Acceptlst_Information_child "));
        QStringList twice;
        for (const QString &r : records) {
            if (r.contains(QStringLiteral(">00012</Patient_ID>")))
                twice << (r.contains(QStringLiteral("<Account_Time ")) ? QStringLiteral("settled")
                                                                       : QStringLiteral("open"));
        }
        QCOMPARE(twice, (QStringList{"settled", "open"}));
        // Names keep ORCA's full-width space.
        QVERIFY(list.contains("<WholeName type=\"string\">見本　太郎</WholeName>"));
        QVERIFY(list.contains(QStringLiteral("𠮷田　仮子").toUtf8()));
        const QByteArray yesterday =
            Post(m_demo.port(), "/api/api01rv2/acceptlstv2?class=03",
                 AcceptBody(today.addDays(-1).toString(QStringLiteral("yyyy-MM-dd"))));
        QVERIFY(Leaves(yesterday, QStringLiteral("Patient_ID")).contains(QStringLiteral("30012")));
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
        QCOMPARE(Leaf(reply.body, QStringLiteral("WholeName")), QStringLiteral("架空　一郎"));
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
        // Paths outside the table: 404 with the API server's JSON body.
        for (const QByteArray &target :
             {QByteArray("/api/api01rv2/nosuchv2"), QByteArray("/elsewhere")}) {
            const Reply missing = Send(m_server.port(), "GET", target);
            QCOMPARE(missing.status, 404);
            QCOMPARE(missing.body, QByteArray(R"({"Code":404,"Message":"Not Found"})"));
        }
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
};

QList<TestOrcaStandin::Request> TestOrcaStandin::demoRequests(const QString &api) {
    QList<Request> out;
    const auto post = [&out](const char *target, const QByteArray &body) {
        out.append({"POST", target, body});
    };
    const int port = m_demo.port();
    const int months = 15;
    if (api == QStringLiteral("patientgetv2")) {
        for (const QString &id : m_demoIds)
            out.append({"GET", "/api/api01rv2/patientgetv2?id=" + id.toUtf8(), {}});
        out.append({"GET", "/api/api01rv2/patientgetv2?id=1", {}}); // padded by ORCA
    } else if (api == QStringLiteral("patientgetv2 unknown")) {
        out.append({"GET", "/api/api01rv2/patientgetv2?id=99999", {}});
        out.append({"GET", "/api/api01rv2/patientgetv2?id=abc", {}});
    } else if (api == QStringLiteral("acceptlstv2")) {
        for (const QString &day : m_receptionDays) {
            post("/api/api01rv2/acceptlstv2?class=02", AcceptBody(day));
            post("/api/api01rv2/acceptlstv2?class=03", AcceptBody(day));
        }
    } else if (api == QStringLiteral("drug 01") || api == QStringLiteral("med 01")) {
        const bool drug = api == QStringLiteral("drug 01");
        for (const QString &id : m_demoIds) {
            for (const QString &month : {QString(), MonthAgo(6), MonthAgo(12)}) {
                if (drug)
                    post("/api/api01rv2/onlinedruggetv2",
                         DrugBody(QStringLiteral("01"), id, month));
                else
                    post("/api/api01rv2/onlinemedgetv2", MedBody(id, month));
            }
        }
    } else if (api == QStringLiteral("drug 02") || api == QStringLiteral("med 02")) {
        for (const QString &id : m_demoIds) {
            for (int m = 0; m < months; ++m) {
                if (api == QStringLiteral("drug 02"))
                    post("/api/api01rv2/onlinedruggetv2",
                         DrugBody(QStringLiteral("02"), id, MonthAgo(m)));
                else
                    post("/api/api01rv2/onlinemedgetv2",
                         MedBody(id, MonthAgo(m), QStringLiteral("02")));
            }
        }
    } else if (api == QStringLiteral("drug unknown")) {
        post("/api/api01rv2/onlinedruggetv2",
             DrugBody(QStringLiteral("01"), QStringLiteral("99999"), MonthAgo(1)));
        post("/api/api01rv2/onlinedruggetv2",
             DrugBody(QStringLiteral("02"), QStringLiteral("1"), MonthAgo(1)));
    } else if (api == QStringLiteral("spec 01")) {
        for (const QString &id : m_demoIds)
            post("/api/api01rv2/onlinespecgetv2", SpecBody(id));
    } else if (api == QStringLiteral("spec 02")) {
        for (const QString &id : m_demoIds) {
            const QByteArray list = Post(port, "/api/api01rv2/onlinespecgetv2", SpecBody(id));
            for (const QString &day : Leaves(list, QStringLiteral("EffectiveTime")))
                post("/api/api01rv2/onlinespecgetv2", SpecBody(id, QStringLiteral("02"), day));
        }
    } else if (api.startsWith(QStringLiteral("medical"))) {
        for (const QString &id : m_demoIds) {
            for (int m = 0; m < months; ++m) {
                if (api == QStringLiteral("medical 03")) {
                    post("/api/api01rv2/medicalgetv2?class=03",
                         MedicalBody(id, MonthAgo(m), QString()));
                    continue;
                }
                const QByteArray body = MedicalBody(id, DayOfMonthAgo(m, 15), QString());
                if (api == QStringLiteral("medical 01")) {
                    post("/api/api01rv2/medicalgetv2?class=01", body);
                    continue;
                }
                const QByteArray visits = Post(port, "/api/api01rv2/medicalgetv2?class=01", body);
                const QStringList days = Leaves(visits, QStringLiteral("Perform_Date"));
                const QStringList departments = Leaves(visits, QStringLiteral("Department_Code"));
                for (qsizetype i = 0; i < days.size() && i < departments.size(); ++i)
                    post("/api/api01rv2/medicalgetv2?class=02",
                         MedicalBody(id, days[i], departments[i]));
            }
        }
    }
    return out;
}

QTEST_GUILESS_MAIN(TestOrcaStandin)
#include "test_orca_standin.moc"
