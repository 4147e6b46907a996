#include "pdf/PdfDateExtract.h"

#include "core/CoreSource.h"
#include "pdf/PdfDateExtractInternal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace pdf {

QString ExtractTextFromStreams(const QList<QByteArray> &streams) {
    CharMap map;
    for (const QByteArray &s : streams) {
        if (FindBytes(s, "beginbfchar", 0) >= 0 || FindBytes(s, "beginbfrange", 0) >= 0)
            ParseToUnicodeCMap(s, map);
    }
    QString text;
    if (map.isEmpty())
        return text;
    for (const QByteArray &s : streams)
        AppendStreamText(text, s, map);
    return text;
}

QString ExtractTextFromBytes(QByteArrayView file, const InflateLimits &limits) {
    return ExtractTextFromStreams(InflateAllStreams(file, limits));
}

} // namespace pdf

QString PdfExtractText(const QString &path) {
    QFile f(path);
    if (!f.exists())
        return {};
    // A file that exists but cannot be read (locked, no permission, a folder
    // of that name) is the caller's error.
    const auto fail = [&] {
        return EAppError(QStringLiteral("EFOpenError"),
                         QStringLiteral("Cannot open file \"%1\". %2")
                             .arg(QDir::toNativeSeparators(path), f.errorString()));
    };
    if (QFileInfo(path).isDir() || !f.open(QIODevice::ReadOnly))
        throw fail();
    // Read as the stream search moves on rather than whole: the same text,
    // without holding the file in memory.
    pdf::FileBytes bytes(f);
    const QList<QByteArray> streams = pdf::InflateAllStreams(bytes);
    if (bytes.failed())
        throw fail();
    return pdf::ExtractTextFromStreams(streams);
}

QString PdfCheckupDate(const QString &path) {
    return pdf::CheckupDateFromText(PdfExtractText(path));
}

void PdfDrugDates(const QString &path, QStringList &list) {
    const QString text = PdfExtractText(path);
    if (text.isEmpty())
        return;
    pdf::DrugDatesFromText(text, list);
}
