#pragma once
// The building blocks behind PdfDateExtract.h, open to tests and the fuzzer:
// the character map, the streams, the ToUnicode reader, the content reader
// and the date readers, each in a file of its own.

#include "pdf/CharMap.h"
#include "pdf/ContentText.h"
#include "pdf/DateText.h"
#include "pdf/Streams.h"
#include "pdf/ToUnicode.h"

#include <QByteArrayView>
#include <QString>

namespace pdf {

// The text of a file's inflated streams: every ToUnicode map read into one
// character map, then the strings of every stream decoded through it.
QString ExtractTextFromStreams(const QList<QByteArray> &streams);

// PdfExtractText on the bytes of a file.
QString ExtractTextFromBytes(QByteArrayView file, const InflateLimits &limits = {});

} // namespace pdf
