// A full checkup CSV export of many patients (MINATORI_BENCH_PATIENTS, default
// 2000) from the viewer against the stand-in ORCA server on loopback: two
// requests per patient, the answers read, the CSV and the cache written.
// Besides the wall time it reports the time per patient, and the CPU time of
// this process per patient (the client's own work: the window thread and the
// request thread; the stand-in runs in a process of its own).

#include "app/Startup.h"
#include "core/CoreSource.h"
#include "orca/OrcaHttp.h"
#include "platform/AppPaths.h"
#include "tests/support/ScriptedUi.h"
#include "tests/support/StandinServer.h"
#include "tests/support/TestEnv.h"
#include "viewer/DrugInfo.h"
#include "viewer/TokuteiExport.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>

#include <benchmark/benchmark.h>
#include <cstdio>
#include <ctime>

namespace {

int g_patients = 2000;
StandinServer *g_server = nullptr;
ScriptedUi *g_ui = nullptr;
TfrmDrugInfo *g_viewer = nullptr;
QString g_out;

double ProcessCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

bool SetUp() {
    const QString dir = MakeTestAppDir(QStringLiteral("bench-checkupexport"));
    g_out = dir + QStringLiteral("export.csv");
    StandinOptions o;
    o.demo = false;
    QString error;
    if (!g_server->start(o, &error)) {
        std::fprintf(stderr, "stand-in: %s\n", qPrintable(error));
        return false;
    }
    QByteArray cache("\xEF\xBB\xBF");
    for (int i = 1; i <= g_patients; ++i) {
        const QString id = QStringLiteral("%1").arg(i, 5, 10, QLatin1Char('0'));
        const QString name = QStringLiteral("見本 患者%1").arg(i);
        QJsonObject p = StandinServer::makePatient(id, name,
                                                   QStringLiteral("%1-%2-%3")
                                                       .arg(1940 + i % 50)
                                                       .arg(1 + i % 12, 2, 10, QLatin1Char('0'))
                                                       .arg(1 + i % 28, 2, 10, QLatin1Char('0')));
        // About half of them with one to three yearly checkups.
        QJsonArray checkups;
        for (int k = 0; k < (i % 2 == 0 ? 1 + i % 3 : 0); ++k)
            checkups << QJsonObject{
                {QStringLiteral("date"), QStringLiteral("%1-06-15").arg(2021 + k)},
                {QStringLiteral("institution_code"), QStringLiteral("1310800088")},
                {QStringLiteral("institution_name"), QStringLiteral("区民見本健診センター")}};
        if (!checkups.isEmpty())
            p.insert(QStringLiteral("checkups"), checkups);
        if (!g_server->putPatient(p))
            return false;
        cache += (id + QLatin1Char(',') + name).toUtf8() + "\r\n";
    }
    QFile f(TfrmDrugInfo::PatientCachePath());
    if (!f.open(QIODevice::WriteOnly) || f.write(cache) != cache.size())
        return false;
    f.close();
    QFile ini(UserIniPath());
    if (!ini.open(QIODevice::WriteOnly))
        return false;
    ini.write(("[PARAMA]\r\nURL=" + g_server->baseUrl() + "\r\n[COKBN]\r\nCHCK=1\r\n").toUtf8());
    ini.close();

    g_viewer = new TfrmDrugInfo;
    g_viewer->show();
    QElapsedTimer wait;
    wait.start();
    while (!(g_viewer->IsShownOnce() && g_viewer->FCurrentDate.isValid() &&
             !g_viewer->FRunner.IsBusy())) {
        if (wait.elapsed() > 20000)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

void BM_CheckupExportFull(benchmark::State &state) {
    double wall = 0;
    double cpu = 0;
    qint64 rows = 0;
    for (auto _ : state) {
        // No last fetch: a full run without the choice.
        WriteSetting(QStringLiteral("TOKUTEI"), QStringLiteral("LASTFETCH"), QString());
        g_ui->fileAnswers = {g_out};
        g_ui->calls.clear();
        const int requestsBefore = g_viewer->FRunner.RequestCount();
        QElapsedTimer t;
        t.start();
        const double cpuStart = ProcessCpuSeconds();
        g_viewer->MenuExportTkk->trigger();
        cpu += ProcessCpuSeconds() - cpuStart;
        wall += double(t.nsecsElapsed()) / 1e9;
        const int requests = g_viewer->FRunner.RequestCount() - requestsBefore;
        if (requests != 2 * g_patients || !g_ui->callsOf(QStringLiteral("errorBox")).isEmpty()) {
            state.SkipWithError("the export did not ask about every patient");
            return;
        }
        QFile csv(g_out);
        rows = csv.open(QIODevice::ReadOnly) ? csv.readAll().count('\n') - 1 : 0;
        QCoreApplication::processEvents();
    }
    const double runs = double(state.iterations());
    state.counters["patients"] = g_patients;
    state.counters["rows"] = double(rows);
    state.counters["wall_ms_per_patient"] = wall / runs / g_patients * 1e3;
    state.counters["client_cpu_ms_per_patient"] = cpu / runs / g_patients * 1e3;
}
BENCHMARK(BM_CheckupExportFull)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

} // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    g_patients = qEnvironmentVariableIntValue("MINATORI_BENCH_PATIENTS");
    if (g_patients <= 0)
        g_patients = 2000;
    OrcaGlobalInit();
    ScriptedUi ui;
    StandinServer server;
    g_ui = &ui;
    g_server = &server;
    if (!SetUp()) {
        std::fprintf(stderr, "set-up failed\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    delete g_viewer;
    return 0;
}
