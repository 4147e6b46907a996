// PDF text extraction on a long document. Environment: MINATORI_BENCH_PDF
// names the document; when it does not exist it is made: a print-like
// document by bench/make_print_pdf.py, or with MINATORI_BENCH_KIND=drug a
// drug-information document by tests/data/pdf/make_fixtures.py, of
// MINATORI_BENCH_PAGES pages (76 or 1000). Besides the timings it prints the
// document's inflated size and how far the process's peak memory rose during
// one extraction.

#include "pdf/PdfDateExtract.h"
#include "pdf/PdfDateExtractInternal.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <benchmark/benchmark.h>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

namespace {

QString g_path;

QString DocumentPath() {
    const bool drug = qEnvironmentVariable("MINATORI_BENCH_KIND") == QLatin1String("drug");
    const QString pages = qEnvironmentVariable("MINATORI_BENCH_PAGES", drug ? QStringLiteral("1000")
                                                                            : QStringLiteral("76"));
    QString path = qEnvironmentVariable("MINATORI_BENCH_PDF");
    if (path.isEmpty())
        path = QCoreApplication::applicationDirPath() +
               (drug ? QStringLiteral("/bench-drug-") : QStringLiteral("/bench-print-")) + pages +
               QStringLiteral(".pdf");
    if (!QFile::exists(path)) {
        const QString source = QStringLiteral(MINATORI_SOURCE_DIR);
        const QStringList args =
            drug ? QStringList{source + QStringLiteral("/tests/data/pdf/make_fixtures.py"),
                               QStringLiteral("bench"), path, pages}
                 : QStringList{source + QStringLiteral("/bench/make_print_pdf.py"), path, pages};
        std::fprintf(stderr, "making %s (%s pages)\n", qPrintable(path), qPrintable(pages));
        if (QProcess::execute(QStringLiteral("/usr/bin/python3"), args) != 0)
            return {};
    }
    return path;
}

long ResidentKiB() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLong() * (sysconf(_SC_PAGESIZE) / 1024) : 0;
}

long PeakKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void BM_PdfExtractText(benchmark::State &state) {
    const qint64 size = QFileInfo(g_path).size();
    qsizetype chars = 0;
    for (auto _ : state) {
        const QString text = PdfExtractText(g_path);
        chars = text.size();
        benchmark::DoNotOptimize(text.constData());
    }
    state.SetBytesProcessed(state.iterations() * size);
    state.counters["text_chars"] = double(chars);
}
BENCHMARK(BM_PdfExtractText)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PdfDrugDates(benchmark::State &state) {
    for (auto _ : state) {
        QStringList list;
        PdfDrugDates(g_path, list);
        benchmark::DoNotOptimize(list.size());
    }
}
BENCHMARK(BM_PdfDrugDates)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    g_path = DocumentPath();
    if (g_path.isEmpty()) {
        std::fprintf(stderr, "no benchmark document\n");
        return 1;
    }

    // Memory first, in a process that has not extracted anything yet.
    const long before = ResidentKiB();
    const qsizetype chars = PdfExtractText(g_path).size();
    const long peak = PeakKiB();
    QFile f(g_path);
    qsizetype inflated = 0;
    if (f.open(QIODevice::ReadOnly)) {
        for (const QByteArray &s : pdf::InflateAllStreams(f.readAll()))
            inflated += s.size();
    }
    std::printf("document: %s, %lld bytes, %lld bytes inflated, %lld characters of text\n",
                qPrintable(g_path), qlonglong(f.size()), qlonglong(inflated), qlonglong(chars));
    std::printf("memory: peak resident size rose by %.1f MiB during one extraction "
                "(%.2f x the inflated size)\n",
                (peak - before) / 1024.0, inflated ? (peak - before) * 1024.0 / inflated : 0.0);
    std::fflush(stdout);

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
