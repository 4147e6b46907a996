#include "pdf/ContentText.h"

#include "pdf/PdfBytes.h"

#include <QByteArray>

#include <algorithm>
#include <cstring>
#include <vector>

namespace pdf {

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
        // The first "Tj" and the first "TJ" of the line, in one pass.
        qsizetype tj = -1, tJ = -1;
        const char *p = line.data();
        const qsizetype n = line.size();
        for (qsizetype from = 0; from + 1 < n && (tj < 0 || tJ < 0);) {
            const void *t = std::memchr(p + from, 'T', size_t(n - 1 - from));
            if (!t)
                break;
            const qsizetype at = static_cast<const char *>(t) - p;
            if (p[at + 1] == 'j' && tj < 0)
                tj = at;
            else if (p[at + 1] == 'J' && tJ < 0)
                tJ = at;
            from = at + 1;
        }
        if (tj >= 2)
            readTj(line, tj, out);
        if (tJ >= 2 && (tJ + 2 == n || line[tJ + 2] == ' '))
            readTJ(line, tJ, out);
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

    // The strings before the first "Tj", at p.
    void readTj(QByteArrayView line, qsizetype p, QString &out) {
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

    // The strings before the first "TJ", at q.
    void readTJ(QByteArrayView line, qsizetype q, QString &out) {
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

void AppendStreamText(QString &out, QByteArrayView stream, const CharMap &map) {
    if (map.isEmpty())
        return;
    LineReader reader(map);
    ForEachLine(stream, [&](QByteArrayView line) { reader.read(line, out); });
}

QString ExtractStreamText(QByteArrayView stream, const CharMap &map) {
    QString out;
    AppendStreamText(out, stream, map);
    return out;
}

} // namespace pdf
