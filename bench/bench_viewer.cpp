// The viewer's own work around its requests:
//  - BM_ReceptionList: one reception list of 100 records read into the list
//    against a patient cache of 50,000 lines (50 of the patients are new and
//    are appended); the goal is under 50 ms.
//  - BM_PatientSelection: a chart-number search and the selection it runs,
//    against the stand-in delaying every answer by 20 ms; the total should lie
//    within 5% of the sum of the server's delays.
//  - BM_RequestSequence: 16 patient requests in a row through the request
//    runner, the same 20 ms delay; shows our own time per request.
// Runs offscreen in a private application folder (MINATORI_BENCH_DIR chooses
// the file system it lives on: every request replaces its response file
// atomically and appends to the log, so a slow disk shows here).

#include "app/Startup.h"
#include "orca/OrcaHttp.h"
#include "orca/OrcaTemplates.h"
#include "orca/OrcaTransport.h"
#include "platform/AppPaths.h"
#include "tests/support/ScriptedUi.h"
#include "tests/support/StandinServer.h"
#include "viewer/DrugInfo.h"
#include "viewer/StringGrid.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <cstdio>

namespace {

// The server's delay per answer (MINATORI_BENCH_DELAY_MS, default 20).
const int kDelayMs = qEnvironmentVariableIntValue("MINATORI_BENCH_DELAY_MS") > 0
                         ? qEnvironmentVariableIntValue("MINATORI_BENCH_DELAY_MS")
                         : (qEnvironmentVariableIsSet("MINATORI_BENCH_DELAY_MS") ? 0 : 20);

QByteArray CacheLines(int count) {
    QByteArray out("\xEF\xBB\xBF");
    for (int i = 0; i < count; ++i)
        out += QByteArray::number(10000 + i) + ",見本　患者" + QByteArray::number(i) + "\r\n";
    return out;
}

QByteArray ReceptionAnswer(int records) {
    QByteArray x = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<xmlio2>\n"
                   "  <acceptlstres type=\"record\">\n"
                   "    <Api_Result type=\"string\">00</Api_Result>\n"
                   "    <Acceptlst_Information type=\"array\">\n";
    for (int i = 0; i < records; ++i) {
        // Half the patients are in the cache, half are new.
        const int id = i % 2 == 0 ? 10000 + i * 400 : 90000 + i;
        x += "      <Acceptlst_Information_child type=\"record\">\n"
             "        <Acceptance_Time type=\"string\">09:00:00</Acceptance_Time>\n"
             "        <Acceptance_Id type=\"string\">" +
             QByteArray::number(i + 1) +
             "</Acceptance_Id>\n"
             "        <Department_WholeName type=\"string\">内科</Department_WholeName>\n"
             "        <Physician_WholeName type=\"string\">医師　太郎</Physician_WholeName>\n"
             "        <Patient_Information type=\"record\">\n"
             "          <Patient_ID type=\"string\">" +
             QByteArray::number(id) +
             "</Patient_ID>\n"
             "          <WholeName type=\"string\">受付　患者" +
             QByteArray::number(i) +
             "</WholeName>\n"
             "          <WholeName_inKana type=\"string\">ウケツケ　カンジャ</WholeName_inKana>\n"
             "          <BirthDate type=\"string\">1960-01-01</BirthDate>\n"
             "        </Patient_Information>\n"
             "      </Acceptlst_Information_child>\n";
    }
    return x + "    </Acceptlst_Information>\n  </acceptlstres>\n</xmlio2>\n";
}

void WriteFile(const QString &path, const QByteArray &data) {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(data);
}

QString g_dir;
StandinServer *g_server = nullptr;

void BM_ReceptionList(benchmark::State &state) {
    const QString cache = g_dir + QStringLiteral("PatientCache.csv");
    const QByteArray cacheBytes = CacheLines(50000);
    const QString answer = g_dir + QStringLiteral("Res_bench_acceptlstv2.txt");
    WriteFile(answer, "\xEF\xBB\xBF" + ReceptionAnswer(100));
    TfrmDrugInfo v;
    v.FCurrentDate = QDate::currentDate();
    for (auto _ : state) {
        state.PauseTiming();
        WriteFile(cache, cacheBytes);
        state.ResumeTiming();
        v.ParseReceptionList(answer);
    }
    if (v.GridPatient->RowCount() != 101)
        state.SkipWithError("the list does not hold 100 patients");
    QFile f(cache);
    f.open(QIODevice::ReadOnly);
    if (f.readAll().count('\n') != 50050)
        state.SkipWithError("the new patients were not appended");
}

void BM_PatientSelection(benchmark::State &state) {
    TfrmDrugInfo v;
    v.LoadSettings();
    int requests = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const int before = g_server->requests().size();
        state.ResumeTiming();
        v.SearchByChartNo(QStringLiteral("12"));
        state.PauseTiming();
        requests = g_server->requests().size() - before;
        state.ResumeTiming();
    }
    state.counters["requests"] = requests;
    state.counters["server_delay_ms"] = requests * kDelayMs;
    if (v.FPatientID != QStringLiteral("00012"))
        state.SkipWithError("the patient was not selected");
}

QString MonthRequest() {
    return FillPlaceholder(
        FillPlaceholder(kDrugInfoTemplate, kPlaceholderRequestNumber, QStringLiteral("02")),
        kPlaceholderMonth, QDate::currentDate().toString(QStringLiteral("yyyy-MM")));
}

void BM_RequestSequence(benchmark::State &state) {
    TfrmDrugInfo v;
    v.LoadSettings();
    const QString body = MonthRequest();
    for (auto _ : state) {
        TBusyScope busy(v.FRunner);
        for (int i = 0; i < 16; ++i) {
            if (v.OrcaCallWithIdRetry(kPathOnlineDrug, body, QStringLiteral("00012")).isEmpty())
                state.SkipWithError("a request failed");
        }
    }
    state.counters["requests"] = 16;
    state.counters["server_delay_ms"] = 16 * kDelayMs;
}

// The same requests straight through the transport on this thread: what the
// requests cost without the runner.
void BM_TransportSequence(benchmark::State &state) {
    TOrcaTransport transport;
    transport.stURL = g_server->baseUrl();
    const QString body = MonthRequest();
    for (auto _ : state) {
        for (int i = 0; i < 16; ++i) {
            if (transport
                    .CallOrcaApiWithIdRetry(kPathOnlineDrug, body, kPlaceholderPatientId,
                                            QStringLiteral("00012"))
                    .isEmpty())
                state.SkipWithError("a request failed");
        }
    }
    state.counters["requests"] = 16;
    state.counters["server_delay_ms"] = 16 * kDelayMs;
}

} // namespace

BENCHMARK(BM_ReceptionList)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_PatientSelection)->Unit(benchmark::kMillisecond)->Iterations(30);
BENCHMARK(BM_RequestSequence)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_TransportSequence)->Unit(benchmark::kMillisecond)->Iterations(10);

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    OrcaGlobalInit();
    QApplication app(argc, argv);
    RegisterJapaneseFonts();
    ScriptedUi ui;
    // MINATORI_BENCH_DIR: where the application folder is made (the response
    // files, the log and the cache land there); default the temporary folder.
    QTemporaryDir dir(qEnvironmentVariable("MINATORI_BENCH_DIR", QDir::tempPath()) +
                      QStringLiteral("/bench-viewer-XXXXXX"));
    g_dir = dir.path() + QLatin1Char('/');
    platform::SetExecutableDirOverride(g_dir);

    // A small data folder: the server's own time per answer stays small, so
    // the delay dominates as it would with a distant server.
    const QString data = g_dir + QStringLiteral("standin-data");
    QJsonObject patient = StandinServer::makePatient(
        QStringLiteral("00012"), QStringLiteral("架空 一郎"), QStringLiteral("1962-04-01"));
    QJsonArray drugs;
    for (int month = 1; month <= 6; ++month)
        drugs.append(StandinServer::sampleDispensing(QStringLiteral("today-%1").arg(month * 30)));
    patient[QStringLiteral("drugs")] = drugs;
    StandinServer::writePatient(data, patient);

    StandinServer server;
    StandinOptions options;
    options.dataDir = data;
    options.extraArgs = {QStringLiteral("--match"), QStringLiteral("padded")};
    QString error;
    if (!server.start(options, &error)) {
        std::fprintf(stderr, "stand-in: %s\n", qPrintable(error));
        return 1;
    }
    if (kDelayMs > 0)
        server.addFault(QStringLiteral("*"), QStringLiteral("delay"), -1, 0, kDelayMs);
    g_server = &server;
    WriteFile(g_dir + QStringLiteral("user.ini"),
              "[PARAMA]\r\nURL=" + server.baseUrl().toUtf8() + "\r\nKIKANCD=9900011\r\n");

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
