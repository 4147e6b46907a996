#pragma once
// Small byte helpers shared by the readers of ToUnicode maps and content
// streams: lines, blanks and hexadecimal digits.

#include <QByteArrayView>

#include <cstring>

namespace pdf {

// Calls f(line) for every line of the bytes, split at CR, LF or CR LF.
template <typename F> inline void ForEachLine(QByteArrayView bytes, F &&f) {
    const char *p = bytes.data();
    const qsizetype n = bytes.size();
    qsizetype start = 0;
    while (start < n) {
        // The next CR or LF: the C library finds the LF, and the CR is looked
        // for only up to there.
        const void *lf = std::memchr(p + start, '\n', size_t(n - start));
        const qsizetype lfAt = lf ? static_cast<const char *>(lf) - p : n;
        const void *cr = std::memchr(p + start, '\r', size_t(lfAt - start));
        const qsizetype end = cr ? static_cast<const char *>(cr) - p : lfAt;
        if (end == n)
            break;
        f(QByteArrayView(p + start, end - start));
        start = end + 1;
        if (p[end] == '\r' && start < n && p[start] == '\n')
            ++start;
    }
    if (start < n)
        f(QByteArrayView(p + start, n - start));
}

// The bytes without blanks (every byte up to 0x20) at both ends.
inline QByteArrayView TrimBlanks(QByteArrayView s) {
    qsizetype b = 0, e = s.size();
    while (b < e && uchar(s[b]) <= 0x20)
        ++b;
    while (e > b && uchar(s[e - 1]) <= 0x20)
        --e;
    return s.sliced(b, e - b);
}

inline int HexDigit(char c) {
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
inline quint32 ReadHex32(QByteArrayView s) {
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

} // namespace pdf
