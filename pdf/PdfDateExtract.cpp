#include "pdf/PdfDateExtract.h"

#include "core/CoreSource.h"
#include "pdf/PdfDateExtractInternal.h"
#include "platform/Utf16.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <climits>
#include <zlib.h>

namespace pdf {

// ---------------------------------------------------------------------------
// Character map

char32_t CharMap::RangeValue(quint32 dest, quint32 k) {
    const quint32 high = dest >> 16;
    const quint32 low = dest & 0xFFFF;
    if (high >= 0xD800 && high <= 0xDBFF && low >= 0xDC00 && low <= 0xDFFF) {
        const quint32 cp = 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
        if (cp + k <= 0x10FFFF)
            return cp + k;
    }
    return (low + k) & 0xFFFF;
}

void CharMap::insert(quint16 code, char32_t value) {
    m_pending.push_back({code, code, quint32(value), true});
}

void CharMap::insertRange(quint16 low, quint16 high, quint32 destination) {
    if (low <= high)
        m_pending.push_back({low, high, destination, false});
}

void CharMap::resolve() const {
    if (m_pending.empty())
        return;
    if (m_values.empty())
        m_values.assign(0x10000, kAbsent);

    // Walk the queued definitions from the last one back; each code takes the
    // value of the last definition that covers it. next[c] leads to the first
    // code >= c not yet taken by a later definition (path-halving union-find).
    std::vector<quint32> next(0x10001);
    for (quint32 c = 0; c <= 0x10000; ++c)
        next[c] = c;
    auto find = [&next](quint32 c) {
        while (next[c] != c) {
            next[c] = next[next[c]];
            c = next[c];
        }
        return c;
    };
    for (auto op = m_pending.rbegin(); op != m_pending.rend(); ++op) {
        for (quint32 c = find(op->low); c <= op->high; c = find(c + 1)) {
            const char32_t v = op->isValue ? char32_t(op->dest) : RangeValue(op->dest, c - op->low);
            if (m_values[c] == kAbsent)
                ++m_count;
            m_values[c] = v;
            next[c] = c + 1;
        }
    }
    m_pending.clear();
    m_pending.shrink_to_fit();
}

bool CharMap::isEmpty() const {
    resolve();
    return m_count == 0;
}

qsizetype CharMap::size() const {
    resolve();
    return m_count;
}

bool CharMap::appendTo(QString &out, quint16 code) const {
    resolve();
    if (m_values.empty())
        return false;
    const char32_t v = m_values[code];
    if (v == kAbsent)
        return false;
    if (v <= 0xFFFF) {
        out.append(QChar(char16_t(v)));
    } else {
        out.append(QChar(QChar::highSurrogate(v)));
        out.append(QChar(QChar::lowSurrogate(v)));
    }
    return true;
}

QString CharMap::value(quint16 code) const {
    QString s;
    appendTo(s, code);
    return s;
}

// ---------------------------------------------------------------------------
// Bytes

namespace {

// Calls f(line) for every line of the bytes, split at CR, LF or CR LF.
template <typename F> void ForEachLine(QByteArrayView bytes, F &&f) {
    const char *p = bytes.data();
    const qsizetype n = bytes.size();
    qsizetype start = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const char c = p[i];
        if (c != '\r' && c != '\n')
            continue;
        f(QByteArrayView(p + start, i - start));
        if (c == '\r' && i + 1 < n && p[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < n)
        f(QByteArrayView(p + start, n - start));
}

QByteArrayView TrimBlanks(QByteArrayView s) {
    qsizetype b = 0, e = s.size();
    while (b < e && uchar(s[b]) <= 0x20)
        ++b;
    while (e > b && uchar(s[e - 1]) <= 0x20)
        --e;
    return s.sliced(b, e - b);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// A hexadecimal number of at most 32 bits; anything else (empty, a stray
// character, a larger value) reads as 0.
quint32 ReadHex32(QByteArrayView s) {
    if (s.isEmpty())
        return 0;
    quint64 v = 0;
    for (char c : s) {
        const int d = HexDigit(c);
        if (d < 0)
            return 0;
        v = (v << 4) | quint64(d);
        if (v > 0xFFFFFFFFull)
            return 0;
    }
    return quint32(v);
}

} // namespace

qsizetype FindBytes(QByteArrayView haystack, QByteArrayView needle, qsizetype start) {
    if (start < 0)
        start = 0;
    if (start > haystack.size())
        return -1;
    return haystack.indexOf(needle, start);
}

std::optional<QByteArray> InflateStream(QByteArrayView bytes, qsizetype offset, qsizetype count,
                                        qsizetype limit, qsizetype *produced) {
    if (produced)
        *produced = 0;
    if (offset < 0 || count < 0 || offset > bytes.size())
        return std::nullopt;
    count = std::min(count, bytes.size() - offset);

    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        return std::nullopt;
    const uchar *in = reinterpret_cast<const uchar *>(bytes.data()) + offset;
    qsizetype inLeft = count;
    auto feed = [&]() {
        const uInt piece = uInt(std::min<qsizetype>(inLeft, 1 << 30));
        z.next_in = const_cast<Bytef *>(in);
        z.avail_in = piece;
        in += piece;
        inLeft -= piece;
    };
    feed();

    QByteArray out;
    bool ok = true;
    uchar piece[4096];
    for (;;) {
        if (z.avail_in == 0 && inLeft > 0)
            feed();
        z.next_out = piece;
        z.avail_out = sizeof piece;
        const int ret = inflate(&z, Z_NO_FLUSH);
        const qsizetype got = qsizetype(sizeof piece - z.avail_out);
        if (got > 0) {
            if (produced)
                *produced += got;
            if (out.size() + got > limit) {
                ok = false;
                break;
            }
            out.append(reinterpret_cast<const char *>(piece), got);
        }
        if (ret == Z_STREAM_END)
            break;
        if (ret == Z_OK)
            continue;
        if (ret == Z_BUF_ERROR && z.avail_in == 0 && inLeft == 0)
            break;  // the data ends early: keep what it gave
        ok = false; // data error, dictionary wanted, out of memory
        break;
    }
    inflateEnd(&z);
    if (!ok)
        return std::nullopt;
    return out;
}

// ---------------------------------------------------------------------------
// ToUnicode maps

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

// ---------------------------------------------------------------------------
// Content streams

void AppendDecodedCodes(QString &out, QByteArrayView bytes, const CharMap &map) {
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    for (; i + 1 < n; i += 2) {
        const quint16 code = quint16(uchar(bytes[i]) << 8 | uchar(bytes[i + 1]));
        if (!map.appendTo(out, code))
            out.append(QLatin1Char('?'));
    }
    if (i < n)
        map.appendTo(out, uchar(bytes[i]));
}

QString DecodeCodes(QByteArrayView bytes, const CharMap &map) {
    QString out;
    AppendDecodedCodes(out, bytes, map);
    return out;
}

namespace {

// First occurrence of ch at or after from, for a scan whose from only grows:
// one search serves every later call until the scan passes the hit.
class ForwardFinder {
public:
    ForwardFinder(QByteArrayView line, char ch) : m_line(line), m_ch(ch) {}
    qsizetype find(qsizetype from) {
        if (m_hit == kNone || (m_hit != kUnknown && m_hit >= from))
            return m_hit;
        m_hit = m_line.indexOf(m_ch, from);
        if (m_hit < 0)
            m_hit = kNone;
        return m_hit;
    }
    static constexpr qsizetype kNone = -1;

private:
    static constexpr qsizetype kUnknown = -2;
    QByteArrayView m_line;
    char m_ch;
    qsizetype m_hit = kUnknown;
};

class LineReader {
public:
    explicit LineReader(const CharMap &map) : m_map(map) {}

    void read(QByteArrayView line, QString &out) {
        readTj(line, out);
        readTJ(line, out);
    }

private:
    void decodeHex(QByteArrayView hex, QString &out) {
        const qsizetype count = hex.size() / 2;
        m_bytes.resize(count);
        for (qsizetype k = 0; k < count; ++k) {
            const int hi = HexDigit(hex[2 * k]);
            const int lo = HexDigit(hex[2 * k + 1]);
            m_bytes[k] = (hi < 0 || lo < 0) ? 0 : char(hi << 4 | lo);
        }
        AppendDecodedCodes(out, m_bytes, m_map);
    }

    // The string of a "Tj": the matching ')' with nesting and escapes, then the
    // escapes resolved.
    qsizetype matchParen(QByteArrayView line, qsizetype open) {
        if (!m_unmatched.empty() && m_unmatched[open + 1])
            return -1;
        const qsizetype n = line.size();
        int depth = 1;
        for (qsizetype j = open + 1; j < n; ++j) {
            const char c = line[j];
            if (c == '\\')
                ++j;
            else if (c == '(')
                ++depth;
            else if (c == ')' && --depth == 0)
                return j;
        }
        // Unmatched. Mark every '(' of the line that has no match either, so
        // that a line full of them costs one pass instead of one per '('.
        markUnmatched(line);
        return -1;
    }

    // A '(' at i has a match when, scanning the tokens after it (a backslash and
    // the character after it form one token), the running depth drops below its
    // starting value. Every '(' is followed by a token boundary of the scan that
    // starts at the line's beginning, so one backward pass over those
    // boundaries answers all of them: m(b) = min(0, step(b) + m(next boundary)),
    // and the '(' before boundary b has no match when m(b) == 0.
    void markUnmatched(QByteArrayView line) {
        const qsizetype n = line.size();
        std::vector<bool> bits(size_t(n) + 1, false);
        for (qsizetype j = 0; j < n;) {
            bits[j] = true; // token boundary
            j += (line[j] == '\\') ? 2 : 1;
        }
        // Backward: bits[b] turns from "boundary" into "the '(' at b-1 is
        // unmatched". Nothing follows a '(' that ends the line.
        bits[n] = n > 0 && line[n - 1] == '(';
        qsizetype m = 0; // m at the nearest boundary to the right
        for (qsizetype b = n - 1; b >= 0; --b) {
            if (!bits[b])
                continue;
            const char c = line[b];
            const int step = (c == '(') ? 1 : (c == ')') ? -1 : 0; // an escape pair steps 0
            m = std::min<qsizetype>(0, step + m);
            bits[b] = b > 0 && line[b - 1] == '(' && m == 0;
        }
        m_unmatched.swap(bits);
    }

    void decodeEscaped(QByteArrayView s, QString &out) {
        m_bytes.clear();
        const qsizetype n = s.size();
        for (qsizetype k = 0; k < n; ++k) {
            const char c = s[k];
            if (c != '\\') {
                m_bytes.append(c);
                continue;
            }
            if (k + 1 >= n) {
                m_bytes.append('\\');
                break;
            }
            const char e = s[++k];
            switch (e) {
            case 'n':
                m_bytes.append('\n');
                break;
            case 'r':
                m_bytes.append('\r');
                break;
            case 't':
                m_bytes.append('\t');
                break;
            case 'b':
                m_bytes.append('\b');
                break;
            case 'f':
                m_bytes.append('\f');
                break;
            default:
                if (e >= '0' && e <= '7') {
                    int v = e - '0';
                    for (int d = 1; d < 3 && k + 1 < n && s[k + 1] >= '0' && s[k + 1] <= '7'; ++d)
                        v = v * 8 + (s[++k] - '0');
                    m_bytes.append(char(v & 0xFF));
                } else {
                    m_bytes.append(e); // '(', ')', '\\' and any other character
                }
                break;
            }
        }
        AppendDecodedCodes(out, m_bytes, m_map);
    }

    void readTj(QByteArrayView line, QString &out) {
        const qsizetype p = line.indexOf("Tj");
        if (p < 2)
            return;
        m_unmatched.clear();
        ForwardFinder gt(line, '>');
        for (qsizetype i = 0; i < p;) {
            const char c = line[i];
            if (c == '<') {
                const qsizetype close = gt.find(i + 1);
                if (close < 0) {
                    ++i;
                    continue;
                }
                decodeHex(line.sliced(i + 1, close - i - 1), out);
                i = close + 1;
            } else if (c == '(') {
                const qsizetype close = matchParen(line, i);
                if (close < 0) {
                    ++i;
                    continue;
                }
                decodeEscaped(line.sliced(i + 1, close - i - 1), out);
                i = close + 1;
            } else {
                ++i;
            }
        }
    }

    void readTJ(QByteArrayView line, QString &out) {
        const qsizetype q = line.indexOf("TJ");
        if (q < 2 || (q + 2 < line.size() && line[q + 2] != ' '))
            return;
        ForwardFinder gt(line, '>');
        ForwardFinder paren(line, ')');
        for (qsizetype i = 0; i < q;) {
            const char c = line[i];
            if (c == '<' || c == '(') {
                const qsizetype close = (c == '<' ? gt : paren).find(i + 1);
                if (close < 0 || close >= q) {
                    ++i;
                    continue;
                }
                const QByteArrayView inner = line.sliced(i + 1, close - i - 1);
                if (c == '<')
                    decodeHex(inner, out);
                else
                    AppendDecodedCodes(out, inner, m_map);
                i = close + 1;
            } else {
                ++i;
            }
        }
    }

    const CharMap &m_map;
    QByteArray m_bytes;
    std::vector<bool> m_unmatched; // per line, filled on the first unmatched '('
};

} // namespace

QString ExtractStreamText(QByteArrayView stream, const CharMap &map) {
    QString out;
    if (map.isEmpty())
        return out;
    LineReader reader(map);
    ForEachLine(stream, [&](QByteArrayView line) { reader.read(line, out); });
    return out;
}

// ---------------------------------------------------------------------------
// Files

namespace {

// The "stream" keyword proper: the word followed by CR or LF. The same letters
// inside a string or a name (a title "(... stream ...)") are not a keyword.
qsizetype FindStreamKeyword(QByteArrayView file, qsizetype from) {
    for (;;) {
        const qsizetype at = FindBytes(file, "stream", from);
        if (at < 0)
            return -1;
        const qsizetype after = at + 6;
        if (after < file.size() && (file[after] == '\r' || file[after] == '\n'))
            return at;
        from = at + 1;
    }
}

} // namespace

QList<QByteArray> InflateAllStreams(QByteArrayView file, const InflateLimits &limits) {
    QList<QByteArray> streams;
    qsizetype budget = limits.perFile;
    qsizetype offset = 0;
    while (offset < file.size() && budget > 0) {
        const qsizetype kw = FindStreamKeyword(file, offset);
        if (kw < 0)
            break;
        qsizetype start = kw + 6;
        if (start < file.size() && file[start] == '\r')
            ++start;
        if (start < file.size() && file[start] == '\n')
            ++start;
        const qsizetype end = FindBytes(file, "endstream", start);
        if (end < 0)
            break;
        qsizetype produced = 0;
        const auto data =
            InflateStream(file, start, end - start, std::min(limits.perStream, budget), &produced);
        budget -= produced;
        if (data && !data->isEmpty())
            streams.append(*data);
        offset = end + 9;
    }
    return streams;
}

QString ExtractTextFromBytes(QByteArrayView file, const InflateLimits &limits) {
    const QList<QByteArray> streams = InflateAllStreams(file, limits);
    CharMap map;
    for (const QByteArray &s : streams) {
        if (s.contains("beginbfchar") || s.contains("beginbfrange"))
            ParseToUnicodeCMap(s, map);
    }
    QString text;
    if (map.isEmpty())
        return text;
    for (const QByteArray &s : streams)
        text += ExtractStreamText(s, map);
    return text;
}

// ---------------------------------------------------------------------------
// Dates

QString CheckupDateFromText(const QString &text) {
    if (text.isEmpty())
        return {};
    static const QRegularExpression re(QStringLiteral(R"((20\d{2})[/\-\.](\d{2})[/\-\.](\d{2}))"));
    const qsizetype performed = text.indexOf(QStringLiteral(u"実施"));
    // The map may have given half a surrogate pair; the expression would then
    // match nothing in the whole text.
    const QString subject = platform::ReplaceLoneSurrogates(text);
    QString greatest;
    for (auto it = re.globalMatch(subject); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const QString result = m.captured(1) + QLatin1Char('-') + m.captured(2);
        // Matches come from the left, so the first one after the word is the nearest.
        if (performed >= 0 && m.capturedStart(0) > performed)
            return result;
        if (result > greatest)
            greatest = result;
    }
    return greatest;
}

namespace {

bool IsDigit(QChar c) {
    return c.unicode() >= '0' && c.unicode() <= '9';
}

// The key under which QString::compare(..., Qt::CaseInsensitive) sees a text.
QString FoldKey(const QString &s) {
    QString key;
    key.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s.at(i);
        if (c.isHighSurrogate() && i + 1 < s.size() && s.at(i + 1).isLowSurrogate()) {
            const char32_t folded = QChar::toCaseFolded(QChar::surrogateToUcs4(c, s.at(i + 1)));
            key.append(QChar::fromUcs4(folded));
            ++i;
        } else {
            key.append(QChar(char16_t(QChar::toCaseFolded(char32_t(c.unicode())))));
        }
    }
    return key;
}

} // namespace

void DrugDatesFromText(const QString &text, QStringList &list) {
    static const QString kHistory = QStringLiteral(u"受診歴");
    const qsizetype first = text.indexOf(kHistory);
    if (first < 0)
        return;
    const qsizetype second = text.indexOf(kHistory, first + 1);
    if (second < 0)
        return;

    const QChar kYear(u'年'), kMonth(u'月'), kComma(u'、'), kShin(u'診'), kRyo(u'療'), kReki(u'歴');
    QSet<QString> held;
    for (const QString &e : std::as_const(list))
        held.insert(FoldKey(e));

    const qsizetype n = text.size();
    QString name;
    int idle = 0;
    qsizetype i = second + kHistory.size();
    auto idleTick = [&]() { return ++idle > 50 && !list.isEmpty(); };

    while (i < n) {
        const QChar c = text.at(i);
        const QChar nextChar = i + 1 < n ? text.at(i + 1) : QChar();
        if (c == kShin && i + 1 < n && nextChar == kRyo)
            break;
        if (i + 2 < n && c == kYear && nextChar == kMonth && text.at(i + 2) == u'日')
            break;
        if (c == u'*' && i + 1 < n && nextChar == u'1')
            break;
        if (IsDigit(c)) {
            qsizetype j = i;
            while (j < n && IsDigit(text.at(j)))
                ++j;
            qsizetype resume = j;
            if (j < n && text.at(j) == kYear) {
                qsizetype k = j + 1;
                while (k < n && IsDigit(text.at(k)))
                    ++k;
                resume = k;
                if (k < n && text.at(k) == kMonth) {
                    const QString yearDigits = text.mid(i, j - i);
                    bool ok = false;
                    int month = QStringView(text).sliced(j + 1, k - j - 1).toInt(&ok);
                    if (!ok)
                        month = 0;
                    const QString mm = QString::asprintf("%.2d", month);
                    QString date;
                    if (yearDigits.size() == 2)
                        date = QLatin1String("20") + yearDigits + QLatin1Char('-') + mm;
                    else if (yearDigits.size() == 4)
                        date = yearDigits + QLatin1Char('-') + mm;
                    if (!name.isEmpty() && !date.isEmpty() && month > 0) {
                        const QString entry = name + QLatin1Char('=') + date;
                        const QString key = FoldKey(entry);
                        if (!held.contains(key)) {
                            held.insert(key);
                            list.append(entry);
                        }
                    }
                    idle = 0;
                    i = k + 1;
                    continue;
                }
            }
            if (idleTick())
                break;
            i = resume;
            continue;
        }
        if (c == kShin && i + 1 < n && (nextChar == u' ' || nextChar == kRyo) && !list.isEmpty())
            break;
        if (c.unicode() > 0x2000 && c != kYear && c != kMonth && c != kComma && i > 0 &&
            (text.at(i - 1) == kMonth || text.at(i - 1) == kReki)) {
            // An institution name runs up to the next run of digits followed by 年.
            qsizetype r = i, run = -1;
            while (r < n) {
                if (!IsDigit(text.at(r))) {
                    ++r;
                    continue;
                }
                const qsizetype s = r;
                while (r < n && IsDigit(text.at(r)))
                    ++r;
                if (r < n && text.at(r) == kYear) {
                    run = s;
                    break;
                }
            }
            if (run < 0) {
                name.clear();
                break;
            }
            name = text.mid(i, run - i);
            i = run;
            continue;
        }
        ++i;
        if (idleTick())
            break;
    }
}

} // namespace pdf

// ---------------------------------------------------------------------------
// Public interface

namespace {

// The whole file, or nothing when it is missing. A file that exists but cannot
// be read (locked, no permission, a folder of that name) is the caller's error.
QByteArray ReadWholeFile(const QString &path) {
    QFile f(path);
    if (!f.exists())
        return {};
    const auto fail = [&] {
        return EAppError(QStringLiteral("EFOpenError"),
                         QStringLiteral("Cannot open file \"%1\". %2")
                             .arg(QDir::toNativeSeparators(path), f.errorString()));
    };
    if (QFileInfo(path).isDir() || !f.open(QIODevice::ReadOnly))
        throw fail();
    QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError)
        throw fail();
    return bytes;
}

} // namespace

QString PdfExtractText(const QString &path) {
    const QByteArray bytes = ReadWholeFile(path);
    if (bytes.isEmpty())
        return {};
    return pdf::ExtractTextFromBytes(bytes);
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
