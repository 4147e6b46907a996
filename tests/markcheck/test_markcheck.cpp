// The mark worker: its decision rules on answers in ORCA's form, the cache
// freshness rule, and whole runs against the stand-in over loopback (requests
// read from the stand-in's log, log lines from Log.txt).
#include "core/CoreSource.h"
#include "markcheck/MarkRules.h"
#include "markcheck/TainMarkCheck.h"
#include "orca/OrcaHttp.h"
#include "tests/support/StandinServer.h"
#include "tests/support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>
#include <QTimeZone>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

const QString kUser = QStringLiteral("ormaster");
const QString kKey = QStringLiteral("mark-key");
const QString kSelf = QStringLiteral("9900011");
const QString kDoubleCircle = QString(QChar(0x25CE));

QString fixtureText(const QString &name) {
    QFile f(SourceDir() + QStringLiteral("/tests/data/orca/") + name);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

QString medAnswer(const QStringList &codes) {
    QString s = QStringLiteral("<xmlio2>\n  <onlinemedgetres type=\"record\">\n");
    for (const QString &c : codes)
        s += QStringLiteral("            <MeTrDiHCd type=\"string\">%1</MeTrDiHCd>\n").arg(c);
    return s + QStringLiteral("  </onlinemedgetres>\n</xmlio2>\n");
}

struct Result {
    QString id, mark;
    bool ok;
};

// Log lines without timestamps, "(<n>ms)" and "<n>ms" written as N.
QStringList logLines() {
    static const QRegularExpression ms(QStringLiteral("\\d+ms"));
    QStringList out;
    for (QString line : ReadLogMessages(LogFilePath()))
        out << line.replace(ms, QStringLiteral("Nms"));
    return out;
}

// The Patient_ID of each logged request of a path, in order.
QStringList sentIds(StandinServer &server, const QString &path) {
    static const QRegularExpression id(QStringLiteral("<Patient_ID type=\"string\">([^<]*)<"));
    QStringList out;
    for (const QJsonValue &v : server.requests()) {
        const QJsonObject r = v.toObject();
        if (r.value(QStringLiteral("path")).toString() == QStringLiteral("/api/") + path)
            out << id.match(r.value(QStringLiteral("body")).toString()).captured(1);
    }
    return out;
}

} // namespace

class TestMarkCheck : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void decisionRules_data();
    void decisionRules();
    void freshness_data();
    void freshness();
    void composeMark();

    void runMarksEachPatient();
    void paddedNumberRetry();
    void failedCheckupQueryIsNotOk();
    void failedRealNumberIsNotSavedByPaddedE10s();
    void statusErrorIsNotRetried();
    void terminationMidRun();
    void destroyedWorkerDeliversNothing();
    void unwritableLogEndsOnlyTheWorker();
    void answerSizeCap();

private:
    std::unique_ptr<TTainMarkThread> makeWorker(const QStringList &ids);
    void runToEnd(TTainMarkThread &worker);

    StandinServer m_server;
    QList<Result> m_results;
};

void TestMarkCheck::initTestCase() {
    OrcaGlobalInit();
    StandinOptions o;
    o.user = kUser;
    o.key = kKey;
    QString error;
    QVERIFY2(m_server.start(o, &error), qPrintable(error));

    auto patient = [](const QString &id) {
        QJsonObject p = StandinServer::makePatient(id, QStringLiteral("見本 ") + id);
        p[QStringLiteral("birth")] = QStringLiteral("1960-01-01");
        return p;
    };
    auto drug = [] { return StandinServer::sampleDispensing(QStringLiteral("today-40")); };
    auto medical = [](const char *code, const char *name) {
        return QJsonObject{
            {"date", "today-20"}, {"institution_code", code}, {"institution_name", name}};
    };
    // 00012: other institution's drugs and a checkup -> ◎T from two queries.
    QJsonObject p12 = patient(QStringLiteral("00012"));
    p12[QStringLiteral("drugs")] = QJsonArray{drug()};
    p12[QStringLiteral("checkups")] =
        QJsonArray{QJsonObject{{"date", "today-100"},
                               {"institution_code", "1310800088"},
                               {"institution_name", "区民見本健診センター"}}};
    // 00020: medical records of a pharmacy and of the clinic itself only -> nothing.
    QJsonObject p20 = patient(QStringLiteral("00020"));
    p20[QStringLiteral("medical")] =
        QJsonArray{medical("1340100018", "あおば見本薬局"), medical("1319900011", "自院")};
    // 00030: a hospital's medical record -> ◎.
    QJsonObject p30 = patient(QStringLiteral("00030"));
    p30[QStringLiteral("medical")] = QJsonArray{medical("1310100011", "みどり台内科クリニック")};
    for (const QJsonObject &p : {p12, p20, p30})
        QVERIFY(m_server.putPatient(p));
}

void TestMarkCheck::init() {
    MakeTestAppDir(QStringLiteral("markcheck"));
    m_server.resetControl();
    m_results.clear();
}

void TestMarkCheck::cleanup() {
    QFile::remove(LogFilePath());
}

std::unique_ptr<TTainMarkThread> TestMarkCheck::makeWorker(const QStringList &ids) {
    auto w =
        std::make_unique<TTainMarkThread>(ids, m_server.baseUrl(), false, kUser, kKey, kSelf,
                                          [this](const QString &id, const QString &mark, bool ok) {
                                              m_results << Result{id, mark, ok};
                                          });
    w->SetTimeouts(3000, 3000);
    return w;
}

void TestMarkCheck::runToEnd(TTainMarkThread &worker) {
    worker.start();
    QVERIFY(worker.wait(60000));
    QCoreApplication::processEvents(); // the queued results
}

void TestMarkCheck::decisionRules_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("self");
    QTest::addColumn<bool>("found");
    QTest::newRow("drug months") << "drug" << fixtureText("onlinedruggetv2_01.xml") << kSelf
                                 << true;
    // (The E10 sample answers a request with a month, which it repeats; the
    // worker never sends one.)
    QTest::newRow("drug no data")
        << "drug"
        << "<xmlio2>\n  <onlinedruggetres type=\"record\">\n    <Api_Result "
           "type=\"string\">E50</Api_Result>\n  </onlinedruggetres>\n</xmlio2>\n"
        << kSelf << false;
    QTest::newRow("medical sample")
        << "med" << fixtureText("onlinemedgetv2_01.xml") << kSelf << true;
    QTest::newRow("own clinic only") << "med" << medAnswer({"1319900011"}) << kSelf << false;
    QTest::newRow("own code, no clinic code set")
        << "med" << medAnswer({"1319900011"}) << "" << true;
    QTest::newRow("pharmacy only") << "med" << medAnswer({"1340100018"}) << kSelf << false;
    QTest::newRow("pharmacy then hospital")
        << "med" << medAnswer({"1340100018", "1319900011", "1310100011"}) << kSelf << true;
    QTest::newRow("two characters") << "med" << medAnswer({"13"}) << kSelf << true;
    QTest::newRow("empty code") << "med" << medAnswer({""}) << kSelf << true;
    QTest::newRow("no records") << "med" << medAnswer({}) << kSelf << false;
    QTest::newRow("checkup dates")
        << "spec" << fixtureText("onlinespecgetv2_01.xml") << kSelf << true;
    QTest::newRow("no checkup") << "spec" << fixtureText("onlinedruggetv2_E10.xml") << kSelf
                                << false;
}

void TestMarkCheck::decisionRules() {
    QFETCH(QString, kind);
    QFETCH(QString, answer);
    QFETCH(QString, self);
    QFETCH(bool, found);
    QVERIFY(!answer.isEmpty() || kind == QLatin1String("med"));
    if (kind == QLatin1String("drug"))
        QCOMPARE(DrugAnswerHasMonth(answer), found);
    else if (kind == QLatin1String("med"))
        QCOMPARE(MedAnswerHasOtherInstitution(answer, self), found);
    else
        QCOMPARE(CheckupAnswerHasDate(answer), found);
}

void TestMarkCheck::freshness_data() {
    QTest::addColumn<int>("secondsAgo");
    QTest::addColumn<bool>("fresh");
    QTest::newRow("just now") << 0 << true;
    QTest::newRow("29 min") << 29 * 60 << true;
    QTest::newRow("29 min 59 s") << 29 * 60 + 59 << true;
    QTest::newRow("30 min") << 30 * 60 << false;
    QTest::newRow("2 h") << 7200 << false;
    QTest::newRow("in the future (clock set back)") << -60 << false;
}

void TestMarkCheck::freshness() {
    QFETCH(int, secondsAgo);
    QFETCH(bool, fresh);
    const QDateTime now(QDate(2024, 5, 10), QTime(10, 0), QTimeZone("Asia/Tokyo"));
    QCOMPARE(IsMarkFresh(TTainMark{QStringLiteral("T"), now.addSecs(-secondsAgo)}, now), fresh);
    QVERIFY(!IsMarkFresh(TTainMark{QStringLiteral("T"), QDateTime()}, now));
}

void TestMarkCheck::composeMark() {
    QCOMPARE(ComposeMark(false, false), QString());
    QCOMPARE(ComposeMark(true, false), kDoubleCircle);
    QCOMPARE(ComposeMark(false, true), QStringLiteral("T"));
    QCOMPARE(ComposeMark(true, true), kDoubleCircle + QStringLiteral("T"));
}

void TestMarkCheck::runMarksEachPatient() {
    auto w = makeWorker({QStringLiteral("00012"), QStringLiteral("00020"), QStringLiteral("00030"),
                         QStringLiteral("99999")});
    runToEnd(*w);
    QCOMPARE(m_results.size(), 4);
    QCOMPARE(m_results[0].id, QStringLiteral("00012"));
    QCOMPARE(m_results[0].mark, kDoubleCircle + QStringLiteral("T"));
    QCOMPARE(m_results[1].mark, QString());
    QCOMPARE(m_results[2].mark, kDoubleCircle);
    QCOMPARE(m_results[3].mark, QString()); // unknown everywhere: answered E10
    for (const Result &r : m_results)
        QVERIFY(r.ok);

    // The medical query is skipped once the drug query found other institutions.
    QCOMPARE(sentIds(m_server, QStringLiteral("api01rv2/onlinemedgetv2")),
             QStringList({"00020", "00030", "99999", "099999", "0099999"}));
    QCOMPARE(sentIds(m_server, QStringLiteral("api01rv2/onlinespecgetv2")),
             QStringList({"00012", "00020", "00030", "99999", "099999", "0099999"}));
    // Every request carries the credentials from the start: no challenge.
    for (const QJsonValue &v : m_server.requests()) {
        const QJsonObject r = v.toObject();
        QVERIFY(StandinServer::header(r, QStringLiteral("authorization")).startsWith("Basic "));
        QCOMPARE(r.value(QStringLiteral("method")).toString(), QStringLiteral("POST"));
        QCOMPARE(StandinServer::header(r, QStringLiteral("content-type")),
                 QStringLiteral("application/xml; charset=UTF-8"));
    }
    QCOMPARE(w->CallCount(), m_server.requests().size());
    QCOMPARE(
        logLines(),
        QStringList{QStringLiteral("MarkCheck: 4人 API %1回 失敗 0人 Nms").arg(w->CallCount())});
}

void TestMarkCheck::paddedNumberRetry() {
    // The list knows the patient as 12; ORCA keeps 00012.
    auto w = makeWorker({QStringLiteral(" 12 ")});
    runToEnd(*w);
    QCOMPARE(sentIds(m_server, QStringLiteral("api01rv2/onlinedruggetv2")),
             QStringList({"12", "0012", "00012"}));
    QCOMPARE(m_results.size(), 1);
    QCOMPARE(m_results[0].id, QStringLiteral(" 12 ")); // as handed over
    QCOMPARE(m_results[0].mark, kDoubleCircle + QStringLiteral("T"));
}

void TestMarkCheck::failedCheckupQueryIsNotOk() {
    // Every checkup request breaks off without an answer (an invalid reply).
    QVERIFY(
        m_server.addFault(QStringLiteral("api01rv2/onlinespecgetv2"), QStringLiteral("close"), -1));
    auto w = makeWorker({QStringLiteral("1234567")});
    runToEnd(*w);
    QCOMPARE(m_results.size(), 1);
    QVERIFY(!m_results[0].ok);
    QCOMPARE(w->FailCount(), 1);
    const QStringList errors = logLines().filter(QStringLiteral("MarkCheck HTTP Error"));
    QCOMPARE(errors.size(), 3);
    for (int i = 0; i < 3; ++i) {
        QVERIFY2(
            errors[i].startsWith(QStringLiteral("MarkCheck HTTP Error (attempt %1): ").arg(i + 1)),
            qPrintable(errors[i]));
        QVERIFY(errors[i].contains(QStringLiteral("(12152)")));
        QVERIFY(errors[i].endsWith(QStringLiteral(" API: api01rv2/onlinespecgetv2")));
    }
    // drug + medical + three checkup attempts
    QCOMPARE(w->CallCount(), 5);
    QVERIFY(logLines().last().startsWith(QStringLiteral("MarkCheck: 1人 API 5回 失敗 1人 ")));
}

void TestMarkCheck::failedRealNumberIsNotSavedByPaddedE10s() {
    // The checkup query for 00012 fails; the padded forms 000012 and 0000012
    // are then answered E10 (no such number). That says nothing about 00012.
    // (The first attempt goes out on the kept connection; when that dies
    // without an answer the HTTP library sends it once more on a new one.)
    QVERIFY(
        m_server.addFault(QStringLiteral("api01rv2/onlinespecgetv2"), QStringLiteral("close"), 4));
    auto w = makeWorker({QStringLiteral("00012")});
    runToEnd(*w);
    QCOMPARE(sentIds(m_server, QStringLiteral("api01rv2/onlinespecgetv2")),
             QStringList({"00012", "00012", "00012", "00012", "000012", "0000012"}));
    QCOMPARE(logLines().filter(QStringLiteral("MarkCheck HTTP Error")).size(), 3);
    QCOMPARE(m_results.size(), 1);
    QVERIFY(!m_results[0].ok);
    QCOMPARE(m_results[0].mark, kDoubleCircle);
}

void TestMarkCheck::statusErrorIsNotRetried() {
    QVERIFY(m_server.addFault(QStringLiteral("api01rv2/onlinedruggetv2"), QStringLiteral("status"),
                              1, 500));
    auto w = makeWorker({QStringLiteral("00030")});
    runToEnd(*w);
    QCOMPARE(
        logLines().filter(QStringLiteral("MarkCheck API: ")),
        QStringList{QStringLiteral("MarkCheck API: api01rv2/onlinedruggetv2 -> ResponseCode=500")});
    // The failed drug query counts as nothing found; the medical one still marks.
    QCOMPARE(m_results.size(), 1);
    QCOMPARE(m_results[0].mark, kDoubleCircle);
    QVERIFY(m_results[0].ok);
}

void TestMarkCheck::terminationMidRun() {
    QVERIFY(m_server.addFault(QStringLiteral("api01rv2/onlinedruggetv2"), QStringLiteral("delay"),
                              1, 0, 1500));
    auto w = makeWorker({QStringLiteral("00012"), QStringLiteral("00030")});
    w->start();
    QTest::qWait(300);
    w->Terminate();
    QVERIFY(w->wait(10000));
    QCoreApplication::processEvents();
    QVERIFY(m_results.isEmpty()); // the patient in flight is not delivered
    QCOMPARE(w->CallCount(), 1);
    QCOMPARE(logLines(), QStringList{QStringLiteral("MarkCheck: 2人 API 1回 失敗 0人 Nms (中断)")});
}

void TestMarkCheck::destroyedWorkerDeliversNothing() {
    auto w = makeWorker({QStringLiteral("00012"), QStringLiteral("00030")});
    w->start();
    QVERIFY(w->wait(30000)); // results are queued, none delivered yet
    w.reset();
    QCoreApplication::processEvents();
    QVERIFY(m_results.isEmpty());
}

void TestMarkCheck::unwritableLogEndsOnlyTheWorker() {
    QVERIFY(QDir().mkpath(LogFilePath())); // the log cannot be opened
    QVERIFY(m_server.addFault(QStringLiteral("api01rv2/onlinedruggetv2"), QStringLiteral("status"),
                              1, 500));
    auto w = makeWorker({QStringLiteral("00012"), QStringLiteral("00030")});
    runToEnd(*w);
    QVERIFY(w->isFinished());
    QVERIFY(w->Aborted());
    QVERIFY(m_results.isEmpty());
    QCOMPARE(m_server.requests().size(), 1); // ended at the first log line
    QVERIFY(QDir().rmdir(LogFilePath()));
}

void TestMarkCheck::answerSizeCap() {
    // A server that answers 200 with an endless body.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QCOMPARE(::bind(listener, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
    QCOMPARE(::listen(listener, 4), 0);
    socklen_t len = sizeof addr;
    ::getsockname(listener, reinterpret_cast<sockaddr *>(&addr), &len);
    const int port = ntohs(addr.sin_port);
    std::thread server([listener] {
        for (;;) {
            const int fd = ::accept(listener, nullptr, nullptr);
            if (fd < 0)
                return; // the listener was shut down
            char buf[4096];
            (void)::recv(fd, buf, sizeof buf, 0);
            const QByteArray head = "HTTP/1.1 200 OK\r\nContent-Length: 100000000\r\n\r\n";
            ::send(fd, head.constData(), size_t(head.size()), MSG_NOSIGNAL);
            const QByteArray chunk(1 << 20, 'x');
            for (int i = 0; i < 100; ++i) {
                if (::send(fd, chunk.constData(), size_t(chunk.size()), MSG_NOSIGNAL) < 0)
                    break;
            }
            ::close(fd);
        }
    });
    // Not a number: one candidate per query, so three requests in all.
    TTainMarkThread w({QStringLiteral("A12")}, QStringLiteral("http://127.0.0.1:%1/api/").arg(port),
                      false, kUser, kKey, kSelf, nullptr);
    w.start();
    const bool ended = w.wait(60000);
    ::shutdown(listener, SHUT_RDWR);
    ::close(listener);
    server.join();
    QVERIFY(ended);
    const QStringList errors = logLines().filter(QStringLiteral("MarkCheck Error: "));
    QCOMPARE(errors.size(), 3);
    QVERIFY2(errors[0].contains(QStringLiteral("larger than 67108864 bytes")),
             qPrintable(errors[0]));
    QCOMPARE(w.FailCount(), 1);
}

QTEST_GUILESS_MAIN(TestMarkCheck)
#include "test_markcheck.moc"
