#pragma once
// The text shown by the "Tj" and "TJ" operators of a content stream, decoded
// through the file's character map.

#include "pdf/CharMap.h"

#include <QByteArrayView>
#include <QString>

namespace pdf {

// Two-byte codes through the map ("?" for an unmapped one); a single last byte
// is looked up as a code of its own and shows nothing when unmapped.
QString DecodeCodes(QByteArrayView bytes, const CharMap &map);
void AppendDecodedCodes(QString &out, QByteArrayView bytes, const CharMap &map);

// The strings shown by "Tj" and "TJ" on each line of a content stream.
QString ExtractStreamText(QByteArrayView stream, const CharMap &map);
// The same, appended to out.
void AppendStreamText(QString &out, QByteArrayView stream, const CharMap &map);

} // namespace pdf
