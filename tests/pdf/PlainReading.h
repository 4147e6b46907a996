#pragma once
// The line rules of the text extractor read plainly, one scan per string and
// no shortcuts, to hold the extractor to: the tests and the fuzzer compare the
// two on many lines.

#include "pdf/PdfDateExtractInternal.h"

#include <QByteArray>
#include <QString>

#include <cctype>

inline int PlainHex(char c) {
    const int v = QByteArray(1, c).toInt(nullptr, 16);
    return (std::isxdigit(uchar(c)) ? v : -1);
}

inline QByteArray PlainHexBytes(const QByteArray &hex) {
    QByteArray out;
    for (qsizetype k = 0; k + 1 < hex.size(); k += 2) {
        const int hi = PlainHex(hex[k]), lo = PlainHex(hex[k + 1]);
        out.append(hi < 0 || lo < 0 ? char(0) : char(hi * 16 + lo));
    }
    return out;
}

inline QByteArray PlainUnescape(const QByteArray &s) {
    QByteArray out;
    for (qsizetype k = 0; k < s.size(); ++k) {
        if (s[k] != '\\') {
            out.append(s[k]);
        } else if (k + 1 == s.size()) {
            out.append('\\');
        } else {
            const char e = s[++k];
            const QByteArray named = "nrtbf()\\";
            const QByteArray value = "\n\r\t\b\f()\\";
            if (named.contains(e)) {
                out.append(value[named.indexOf(e)]);
            } else if (e >= '0' && e <= '7') {
                int v = e - '0', digits = 1;
                while (digits < 3 && k + 1 < s.size() && s[k + 1] >= '0' && s[k + 1] <= '7') {
                    v = v * 8 + (s[++k] - '0');
                    ++digits;
                }
                out.append(char(v & 0xFF));
            } else {
                out.append(e);
            }
        }
    }
    return out;
}

inline QString PlainLineText(const QByteArray &line, const pdf::CharMap &map) {
    QString out;
    const qsizetype n = line.size();
    const qsizetype P = line.indexOf("Tj") + 1; // positions from 1
    if (P > 2) {
        for (qsizetype pos = 1; pos < P;) {
            const char c = line[pos - 1];
            if (c == '<') {
                const qsizetype close = line.indexOf('>', pos);
                if (close < 0) {
                    ++pos;
                    continue;
                }
                out += pdf::DecodeCodes(PlainHexBytes(line.mid(pos, close - pos)), map);
                pos = close + 2;
            } else if (c == '(') {
                int depth = 1;
                qsizetype j = pos;
                for (; j < n; ++j) {
                    if (line[j] == '\\')
                        ++j;
                    else if (line[j] == '(')
                        ++depth;
                    else if (line[j] == ')' && --depth == 0)
                        break;
                }
                if (j >= n) {
                    ++pos;
                    continue;
                }
                out += pdf::DecodeCodes(PlainUnescape(line.mid(pos, j - pos)), map);
                pos = j + 2;
            } else {
                ++pos;
            }
        }
    }
    const qsizetype Q = line.indexOf("TJ") + 1;
    if (Q > 2 && (Q + 1 == n || line[Q + 1] == ' ')) {
        const QByteArray before = line.left(Q - 1);
        for (qsizetype pos = 1; pos < Q;) {
            const char c = line[pos - 1];
            if (c == '<' || c == '(') {
                const qsizetype close = before.indexOf(c == '<' ? '>' : ')', pos);
                if (close < 0) {
                    ++pos;
                    continue;
                }
                const QByteArray inner = line.mid(pos, close - pos);
                out += pdf::DecodeCodes(c == '<' ? PlainHexBytes(inner) : inner, map);
                pos = close + 2;
            } else {
                ++pos;
            }
        }
    }
    return out;
}

// A whole stream: lines split at CR, LF or CR LF.
inline QString PlainStreamText(const QByteArray &stream, const pdf::CharMap &map) {
    QString out;
    if (map.isEmpty())
        return out;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= stream.size(); ++i) {
        if (i < stream.size() && stream[i] != '\r' && stream[i] != '\n')
            continue;
        if (i > start)
            out += PlainLineText(stream.mid(start, i - start), map);
        if (i + 1 < stream.size() && stream[i] == '\r' && stream[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    return out;
}
