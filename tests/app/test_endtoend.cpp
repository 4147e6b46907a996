// The real program from outside: the built executable in an application folder
// of its own, offscreen, against the stand-in ORCA server with its demo data,
// driven through the test hook as a user would drive it. What this adds to the
// window tests: start-up, the settings file as the program reads it, the real
// event loop with its request thread and mark worker, and the files on disk.
#include "tests/app/DemoToday.h"
#include "tests/support/ProgramProcess.h"
#include "tests/support/StandinServer.h"
#include "tests/support/TestEnv.h"

#include <QDate>
#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

#include <sys/stat.h>

namespace {

constexpr int kWaitMs = 60000;

QString PatientOf(const QJsonObject &request) {
    static const QRegularExpression id(QStringLiteral("<Patient_ID type=\"string\">([^<]*)<"));
    const QRegularExpressionMatch m = id.match(request.value(QStringLiteral("body")).toString());
    if (m.hasMatch())
        return m.captured(1);
    const QString query = request.value(QStringLiteral("query")).toString();
    return query.startsWith(QStringLiteral("id=")) ? query.mid(3) : QString();
}

// "onlinedruggetv2", or with the query "acceptlstv2?class=03".
QString ApiOf(const QJsonObject &request) {
    const QString path = request.value(QStringLiteral("path")).toString().section(u'/', -1);
    const QString query = request.value(QStringLiteral("query")).toString();
    return query.isEmpty() || query.startsWith(QStringLiteral("id=")) ? path : path + u'?' + query;
}

QStringList Lines(const QString &text) {
    return text.split(u'\n');
}

mode_t ModeOf(const QString &path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 0777 : 0;
}

} // namespace

class TestEndToEnd : public QObject {
    Q_OBJECT
private slots:
    void receptionMarksAndOnePatient();
};

void TestEndToEnd::receptionMarksAndOnePatient() {
    StandinServer server;
    StandinOptions o;
    o.demo = true;
    o.user = QStringLiteral("demo");
    o.key = QStringLiteral("demo-key");
    QString error;
    QVERIFY2(server.start(o, &error), qPrintable(error));
    const QString credentials =
        QStringLiteral("Basic ") + QString::fromLatin1(QByteArray("demo:demo-key").toBase64());
    const QDate today = QDate::currentDate();

    // An application folder as the demo sets one up.
    const QString dir = MakeTestAppDir(QStringLiteral("app"));
    QVERIFY(WriteAll(dir + QStringLiteral("user.ini"), DemoSettings(server.baseUrl())));
    ProgramProcess program(dir);
    QVERIFY2(program.start(&error), qPrintable(error));
    QVERIFY2(program.waitForWindow(QStringLiteral("frmMain"), kWaitMs, &error), qPrintable(error));

    // ---- the viewer opens on today's list; the marks come in ----
    QVERIFY2(program.command(QStringLiteral("click frmMain/Button1"), nullptr, &error),
             qPrintable(error));
    QVERIFY2(program.waitForWindow(QStringLiteral("frmDrugInfo"), kWaitMs, &error),
             qPrintable(error));
    QVERIFY2(program.waitFor(
                 QStringLiteral("grid GridPatient"),
                 [](const QJsonValue &v) { return v.toArray().size() == 1 + kDemoTodayCount; },
                 kWaitMs, &error),
             qPrintable(error));
    QVERIFY2(program.waitIdle(kWaitMs, &error), qPrintable(error));

    QJsonValue grid;
    QVERIFY2(program.command(QStringLiteral("grid GridPatient"), &grid, &error), qPrintable(error));
    QCOMPARE(grid.toArray().at(0).toArray(),
             (QJsonArray{QString(), QStringLiteral("カルテ番号"), QStringLiteral("患者氏名"),
                         QStringLiteral("マイナ")}));
    for (int i = 0; i < kDemoTodayCount; ++i) {
        const DemoListed &p = kDemoToday[i];
        QCOMPARE(grid.toArray().at(i + 1).toArray(),
                 (QJsonArray{QString::number(i + 1), QString::fromUtf8(p.id),
                             QString::fromUtf8(p.name), QString::fromUtf8(p.mark)}));
    }
    const QByteArray cache = DemoPatientCache();
    QString text;
    QVERIFY2(program.text(QStringLiteral("LabelDate"), &text, &error), qPrintable(error));
    QCOMPARE(text, today.toString(QStringLiteral("yyyy年MM月dd日")));
    // Every patient met went into the patient cache, in the order met.
    QCOMPARE(ReadAll(dir + QStringLiteral("PatientCache.csv")), cache);

    // The list request asked for today, first without credentials and, after
    // the server's challenge, with them; the mark worker sent them from its
    // first request and asked about each listed patient once.
    QJsonArray requests = server.requests();
    QVERIFY(requests.size() >= 2);
    for (int i = 0; i < 2; ++i) {
        const QJsonObject r = requests.at(i).toObject();
        QCOMPARE(ApiOf(r), QStringLiteral("acceptlstv2?class=03"));
        QCOMPARE(StandinServer::header(r, QStringLiteral("Authorization")),
                 i == 0 ? QString() : credentials);
        QVERIFY(r.value(QStringLiteral("body"))
                    .toString()
                    .contains(QStringLiteral("<Acceptance_Date type=\"string\">") +
                              today.toString(Qt::ISODate) + QStringLiteral("</Acceptance_Date>")));
    }
    QStringList expected, sent;
    for (const DemoListed &p : kDemoToday) {
        expected << QStringLiteral("onlinedruggetv2 ") + QString::fromUtf8(p.id);
        if (p.medicalAsked)
            expected << QStringLiteral("onlinemedgetv2 ") + QString::fromUtf8(p.id);
        expected << QStringLiteral("onlinespecgetv2 ") + QString::fromUtf8(p.id);
    }
    for (int i = 2; i < requests.size(); ++i) {
        const QJsonObject r = requests.at(i).toObject();
        sent << ApiOf(r) + u' ' + PatientOf(r);
        QCOMPARE(StandinServer::header(r, QStringLiteral("Authorization")), credentials);
    }
    QCOMPARE(sent, expected);

    QStringList log = ReadLogMessages(dir + QStringLiteral("Log.txt"));
    QCOMPARE(log.size(), 2);
    QVERIFY2(QRegularExpression(QStringLiteral("^API: api01rv2/acceptlstv2\\?class=03 -> 200 "
                                               "\\(\\d+ms\\)$"))
                 .match(log.at(0))
                 .hasMatch(),
             qPrintable(log.at(0)));
    QVERIFY2(QRegularExpression(
                 QStringLiteral("^MarkCheck: 20人 API %1回 失敗 0人 \\d+ms$").arg(expected.size()))
                 .match(log.at(1))
                 .hasMatch(),
             qPrintable(log.at(1)));

    // ---- a double-click on 00012 (a neurosurgeon's prescriptions through a
    // pharmacy; the clinic's own ones dispensed outside) ----
    const int before = int(requests.size());
    QVERIFY2(program.command(QStringLiteral("dblclick GridPatient 2"), nullptr, &error),
             qPrintable(error));
    QVERIFY2(program.waitFor(
                 QStringLiteral("text frmDrugInfo/Label1"),
                 [](const QJsonValue &v) { return v.toString() == QLatin1String("00012"); },
                 kWaitMs, &error),
             qPrintable(error));
    QVERIFY2(program.waitIdle(kWaitMs, &error), qPrintable(error));

    QVERIFY2(program.text(QStringLiteral("frmDrugInfo/Label2"), &text, &error), qPrintable(error));
    QCOMPARE(text, QStringLiteral("架空　一郎"));
    // Whole 365.25-day years since 1962-04-01.
    const qint64 age = QDate(1962, 4, 1).daysTo(today) * 86400000LL / 31557600000LL;
    QVERIFY2(program.text(QStringLiteral("LabelAge"), &text, &error), qPrintable(error));
    QCOMPARE(text, QString::number(age) + QStringLiteral("歳"));
    QVERIFY2(program.command(QStringLiteral("grid GridPatient"), &grid, &error), qPrintable(error));
    QCOMPARE(grid.toArray().at(2).toArray().at(3).toString(), QStringLiteral("◎"));

    // The institution grid: the neurosurgeon alone (the clinic's own
    // prescriptions are known by its code), marked in every month shown.
    QVERIFY2(program.command(QStringLiteral("grid GridInstitution"), &grid, &error),
             qPrintable(error));
    const QJsonArray institutions = grid.toArray();
    QCOMPARE(institutions.size(), 2);
    const QJsonArray months = institutions.at(0).toArray();
    const QJsonArray marks = institutions.at(1).toArray();
    QVERIFY(months.size() >= 2);
    QCOMPARE(months.at(0).toString(), QStringLiteral("医療機関名"));
    QCOMPARE(marks.at(0).toString(), QStringLiteral("ほしぞら脳神経外科"));
    for (int c = 1; c < months.size(); ++c) {
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d\\d/\\d\\d$"))
                     .match(months.at(c).toString())
                     .hasMatch(),
                 qPrintable(months.at(c).toString()));
        if (c > 1)
            QVERIFY(months.at(c).toString() < months.at(c - 1).toString());
        QCOMPARE(marks.at(c).toString(), QStringLiteral("○"));
    }

    // Other institutions: the latest day of the neurosurgeon's prescriptions
    // (every 60 days, the last 25 days ago) with its drug; nothing of the
    // clinic's own.
    QVERIFY2(program.text(QStringLiteral("MemoTain"), &text, &error), qPrintable(error));
    const QStringList tain = Lines(text);
    const QRegularExpressionMatch head =
        QRegularExpression(QStringLiteral("^(\\d{4}\\.\\d\\d\\.\\d\\d)　ほしぞら脳神経外科$"))
            .match(tain.value(0));
    QVERIFY2(head.hasMatch(), qPrintable(text));
    const QDate latest = QDate::fromString(head.captured(1), QStringLiteral("yyyy.MM.dd"));
    QVERIFY2(latest <= today.addDays(-25) && latest >= today.addDays(-27), qPrintable(text));
    QCOMPARE(months.at(1).toString(), latest.toString(QStringLiteral("yy/MM")));
    QVERIFY2(tain.value(1).startsWith(QStringLiteral("スマトリプタン錠５０ｍｇ「見本」　")),
             qPrintable(text));
    QVERIFY2(!text.contains(QStringLiteral("みなと見本クリニック")) &&
                 !text.contains(QStringLiteral("メトホルミン")),
             qPrintable(text));

    // The clinic's own history of the month shown: each visit day with its
    // 28 days of the two diabetes drugs, newest first.
    QString month;
    QVERIFY2(program.text(QStringLiteral("LabelSelfMonth"), &month, &error), qPrintable(error));
    const QDate shown = QDate::fromString(month, QStringLiteral("yyyy年MM月"));
    QVERIFY2(shown.isValid() && shown <= today && shown >= today.addMonths(-2), qPrintable(month));
    QVERIFY2(program.text(QStringLiteral("MemoSelf"), &text, &error), qPrintable(error));
    const QStringList days = text.split(QStringLiteral("\n\n"));
    QDate previous = today.addDays(1);
    for (const QString &day : days) {
        const QStringList block = Lines(day);
        QCOMPARE(block.size(), 4);
        const QDate d = QDate::fromString(block.at(0), QStringLiteral("yyyy.MM.dd"));
        QVERIFY2(d.isValid() && d < previous && d.year() == shown.year() &&
                     d.month() == shown.month(),
                 qPrintable(text));
        previous = d;
        QCOMPARE(block.mid(1),
                 (QStringList{QStringLiteral("メトホルミン塩酸塩錠２５０ｍｇＭＴ「見本」　2錠"),
                              QStringLiteral("シタグリプチン錠５０ｍｇ「見本」　1錠"),
                              QStringLiteral("　　28日分")}));
    }

    // Every request of the selection was about 00012, each first without and
    // then with the credentials, and each answered one is in the log.
    requests = server.requests();
    QStringList selection;
    for (int i = before; i < requests.size(); i += 2) {
        QVERIFY(i + 1 < requests.size());
        QJsonObject probe = requests.at(i).toObject();
        QJsonObject sent = requests.at(i + 1).toObject();
        QCOMPARE(PatientOf(sent), QStringLiteral("00012"));
        QCOMPARE(StandinServer::header(probe, QStringLiteral("Authorization")), QString());
        QCOMPARE(StandinServer::header(sent, QStringLiteral("Authorization")), credentials);
        QCOMPARE(probe.value(QStringLiteral("body")), sent.value(QStringLiteral("body")));
        QCOMPARE(ApiOf(probe), ApiOf(sent));
        selection << ApiOf(sent);
    }
    QCOMPARE(selection.value(0), QStringLiteral("onlinedruggetv2"));
    for (const char *api : {"onlinespecgetv2", "onlinemedgetv2", "medicalgetv2?class=03",
                            "medicalgetv2?class=01", "medicalgetv2?class=02"})
        QVERIFY2(selection.contains(QLatin1String(api)), api);
    log = ReadLogMessages(dir + QStringLiteral("Log.txt"));
    QStringList answered;
    for (const QString &line : log) {
        if (line.startsWith(QStringLiteral("API: ")))
            answered << line.section(u' ', 1, 1).section(u'/', 1);
    }
    QCOMPARE(answered, QStringList{QStringLiteral("acceptlstv2?class=03")} + selection);

    // The files the program wrote, all of them for this user alone: the log,
    // the patient cache (unchanged by the selection) and the last answer of
    // each API path.
    QCOMPARE(ReadAll(dir + QStringLiteral("PatientCache.csv")), cache);
    QStringList files = QDir(dir).entryList(QDir::Files, QDir::Name);
    QStringList written;
    for (const QString &api : selection + QStringList{QStringLiteral("acceptlstv2?class=03")}) {
        QString name = QStringLiteral("Res_api01rv2_") + api + QStringLiteral(".txt");
        name.replace(u'?', u'_').replace(u'=', u'_');
        if (!written.contains(name))
            written << name;
    }
    written << QStringLiteral("Log.txt") << QStringLiteral("PatientCache.csv");
    for (const QString &name : std::as_const(written))
        QCOMPARE(ModeOf(dir + name), mode_t(0600));
    written << QStringLiteral("minatori") << QStringLiteral("user.ini");
    written.sort();
    QCOMPARE(files, written);
    QVERIFY(ReadAll(dir + QStringLiteral("Res_api01rv2_acceptlstv2_class_03.txt"))
                .contains("<Patient_ID type=\"string\">21001</Patient_ID>"));
    QVERIFY(ReadAll(dir + QStringLiteral("Res_api01rv2_onlinedruggetv2.txt"))
                .contains("<Patient_ID type=\"string\">00012</Patient_ID>"));

    // No message box came up on the way.
    QJsonValue seam;
    QVERIFY2(program.command(QStringLiteral("seam"), &seam, &error), qPrintable(error));
    QCOMPARE(seam.toArray(), QJsonArray());

    // ---- closing the viewer and the main menu ends the program ----
    QVERIFY2(program.command(QStringLiteral("click frmDrugInfo/BtnClose"), nullptr, &error),
             qPrintable(error));
    QVERIFY2(program.waitFor(
                 QStringLiteral("windows"),
                 [](const QJsonValue &v) { return v.toArray().size() == 1; }, kWaitMs, &error),
             qPrintable(error));
    QVERIFY2(program.command(QStringLiteral("click frmMain/BitBtn1"), nullptr, &error),
             qPrintable(error));
    int exitCode = -1;
    QVERIFY2(program.waitForExit(kWaitMs, &exitCode, &error), qPrintable(error));
    QCOMPARE(exitCode, 0);
}

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "test_endtoend.moc"
