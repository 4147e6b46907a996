#include "platform/Utf16.h"

namespace platform {

QString ReplaceLoneSurrogates(const QString &text) {
    QString out = text;
    const qsizetype n = out.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = out.at(i);
        if (c.isHighSurrogate() && i + 1 < n && out.at(i + 1).isLowSurrogate())
            ++i; // a whole pair
        else if (c.isSurrogate())
            out[i] = QChar::ReplacementCharacter;
    }
    return out;
}

} // namespace platform
