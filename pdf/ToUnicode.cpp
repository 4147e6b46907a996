#include "pdf/ToUnicode.h"

#include "pdf/PdfBytes.h"

namespace pdf {

namespace {

// The "<...>" that starts at the first '<' at or after from: its inner text
// between that '<' and the next '>' after it. False when either is missing.
bool NextBracket(QByteArrayView line, qsizetype from, QByteArrayView &inner, qsizetype &after) {
    const qsizetype open = line.indexOf('<', from);
    if (open < 0)
        return false;
    const qsizetype close = line.indexOf('>', open + 1);
    if (close < 0)
        return false;
    inner = line.sliced(open + 1, close - open - 1);
    after = close + 1;
    return true;
}

void ParseCharEntry(QByteArrayView t, CharMap &map) {
    if (t.size() <= 4 || t[0] != '<')
        return;
    QByteArrayView src, dst;
    qsizetype after = 0;
    if (!NextBracket(t, 0, src, after) || src.isEmpty())
        return;
    if (!NextBracket(t, after, dst, after))
        return;
    const quint16 code = quint16(ReadHex32(src) & 0xFFFF);
    if (code == 0 && src != QByteArrayView("0000"))
        return;
    map.insert(code, CharMap::RangeValue(ReadHex32(dst), 0));
}

void ParseRangeEntry(QByteArrayView t, CharMap &map) {
    if (t.size() <= 4 || t[0] != '<')
        return;
    QByteArrayView lo, hi, dst;
    qsizetype after = 0;
    if (!NextBracket(t, 0, lo, after) || lo.isEmpty())
        return;
    if (!NextBracket(t, after, hi, after) || !NextBracket(t, after, dst, after))
        return;
    const quint16 low = quint16(ReadHex32(lo) & 0xFFFF);
    const quint16 high = quint16(ReadHex32(hi) & 0xFFFF);
    if (low > high)
        return;
    map.insertRange(low, high, ReadHex32(dst));
}

} // namespace

void ParseToUnicodeCMap(QByteArrayView stream, CharMap &map) {
    enum { Outside, CharBlock, RangeBlock } state = Outside;
    ForEachLine(stream, [&](QByteArrayView line) {
        switch (state) {
        case Outside:
            if (line.contains("beginbfchar"))
                state = CharBlock;
            else if (line.contains("beginbfrange"))
                state = RangeBlock;
            break;
        case CharBlock:
            if (line.contains("endbfchar"))
                state = Outside;
            else
                ParseCharEntry(TrimBlanks(line), map);
            break;
        case RangeBlock:
            if (line.contains("endbfrange"))
                state = Outside;
            else
                ParseRangeEntry(TrimBlanks(line), map);
            break;
        }
    });
}

} // namespace pdf
