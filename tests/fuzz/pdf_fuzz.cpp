// libFuzzer target for the PDF text reader and both date readers. The first
// byte picks what the rest is:
//   0: a whole file, read whole and in small blocks;
//   1: a ToUnicode map and a content stream, split at the first NUL byte, read
//      directly (and checked against the plain reading) and also packed as a
//      file with compressed streams;
//   2: an extracted text for the date readers.
// Every text read also goes through both date readers.

#include "pdf/PdfDateExtractInternal.h"
#include "tests/pdf/PlainReading.h"

#include <QBuffer>
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <zlib.h>

namespace {

// Smaller than the program's bounds so that every run stays quick; the same code
// decides either way.
const pdf::InflateLimits kLimits{1 << 20, 4 << 20};

QByteArray Deflate(const QByteArray &data) {
    uLongf size = compressBound(uLong(data.size()));
    QByteArray out(qsizetype(size), Qt::Uninitialized);
    if (compress(reinterpret_cast<Bytef *>(out.data()), &size,
                 reinterpret_cast<const Bytef *>(data.constData()), uLong(data.size())) != Z_OK)
        abort();
    out.resize(qsizetype(size));
    return out;
}

void ReadDates(const QString &text) {
    const QString month = pdf::CheckupDateFromText(text);
    if (!month.isEmpty() && (month.size() != 7 || !month.startsWith(QLatin1String("20"))))
        abort();
    QStringList list;
    pdf::DrugDatesFromText(text, list);
    pdf::DrugDatesFromText(text, list); // a second pass adds nothing new
    QStringList again = list;
    pdf::DrugDatesFromText(text, again);
    if (again != list)
        abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0)
        return 0;
    const QByteArray in(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    switch (data[0] % 3) {
    case 0: {
        const QString text = pdf::ExtractTextFromBytes(in, kLimits);
        // Read in small blocks, as from a file, the streams are the same.
        QBuffer device;
        device.setData(in);
        device.open(QIODevice::ReadOnly);
        pdf::FileBytes blocks(device, 1 + qsizetype(in.size() % 97));
        if (pdf::ExtractTextFromStreams(pdf::InflateAllStreams(blocks, kLimits)) != text) {
            fprintf(stderr, "text read in blocks differs\n");
            abort();
        }
        ReadDates(text);
        break;
    }
    case 1: {
        const qsizetype cut = in.indexOf('\0');
        const QByteArray cmap = cut < 0 ? in : in.left(cut);
        const QByteArray content = cut < 0 ? QByteArray() : in.mid(cut + 1);
        pdf::CharMap map;
        pdf::ParseToUnicodeCMap(cmap, map);
        const QString text = pdf::ExtractStreamText(content, map);
        if (text != PlainStreamText(content, map)) {
            fprintf(stderr, "stream text differs from the plain reading\n");
            abort();
        }
        ReadDates(text);
        const QByteArray file = "%PDF-1.4\n1 0 obj\n<< /Filter /FlateDecode >>\nstream\n" +
                                Deflate(cmap) + "\nendstream\nendobj\n2 0 obj\n<< >>\nstream\r\n" +
                                Deflate(content) + "\r\nendstream\nendobj\n";
        ReadDates(pdf::ExtractTextFromBytes(file, kLimits));
        break;
    }
    default:
        ReadDates(QString::fromUtf8(in));
        break;
    }
    return 0;
}
