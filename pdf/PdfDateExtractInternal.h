#pragma once
// The building blocks behind PdfDateExtract.h, open to tests and the fuzzer.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace pdf {

constexpr qsizetype kMiB = 1024 * 1024;

// Bounds that keep a hostile file from exhausting memory: a stream that inflates
// past perStream bytes is dropped, and once the streams of one file have
// inflated to perFile bytes in all (dropped ones included) no further stream is
// inflated.
struct InflateLimits {
    qsizetype perStream = 64 * kMiB;
    qsizetype perFile = 256 * kMiB;
};

// One character map per file, shared by all of its fonts: a 16-bit code maps to
// one UTF-16 unit, or to a surrogate pair when the map's destination was one. A
// later definition of a code replaces an earlier one.
class CharMap {
public:
    // A single entry; value is a UTF-16 unit (0..0xFFFF) or a code point above 0xFFFF.
    void insert(quint16 code, char32_t value);
    // Every code from low to high (low <= high) maps to the destination read as
    // a 32-bit number plus the code's offset from low (see RangeValue).
    void insertRange(quint16 low, quint16 high, quint32 destination);

    bool isEmpty() const;
    qsizetype size() const;
    // The mapped text, or an empty text when the code has no entry.
    QString value(quint16 code) const;
    // Appends the mapped text; false (nothing appended) when the code has no entry.
    bool appendTo(QString &out, quint16 code) const;

    // What a destination written as the 32-bit number dest gives at offset k of
    // a range (k = 0 for a single entry): two UTF-16 units forming a surrogate
    // pair give the pair's code point + k (while that stays a code point);
    // anything else gives the low 16 bits + k, kept to 16 bits.
    static char32_t RangeValue(quint32 dest, quint32 k);

private:
    static constexpr char32_t kAbsent = 0xFFFFFFFFu;
    struct Op {
        quint16 low;
        quint16 high;
        quint32 dest; // for single entries (isValue): the value itself
        bool isValue;
    };
    void resolve() const;

    // Definitions are queued and folded into the table on first lookup, last one
    // first, so that a map of many overlapping ranges still costs one pass over
    // the 65,536 codes.
    mutable std::vector<Op> m_pending;
    mutable std::vector<char32_t> m_values; // 65,536 entries once anything is stored
    mutable qsizetype m_count = 0;
};

// Offset of the first occurrence of needle in haystack at or after start, or -1.
qsizetype FindBytes(QByteArrayView haystack, QByteArrayView needle, qsizetype start);

// Inflates count bytes from offset as a zlib stream, in pieces of 4096 bytes,
// until the decompressor yields no more; bytes after the end of the compressed
// data are ignored and data that simply ends early gives what was inflated so
// far. Empty optional on a decompression error or when the output would exceed
// limit bytes. *produced (optional) receives the number of bytes inflated,
// counted also when the result is dropped.
std::optional<QByteArray> InflateStream(QByteArrayView bytes, qsizetype offset, qsizetype count,
                                        qsizetype limit = InflateLimits{}.perStream,
                                        qsizetype *produced = nullptr);

// Reads the bfchar and bfrange blocks of one ToUnicode stream into map.
void ParseToUnicodeCMap(QByteArrayView stream, CharMap &map);

// Two-byte codes through the map ("?" for an unmapped one); a single last byte
// is looked up as a code of its own and shows nothing when unmapped.
QString DecodeCodes(QByteArrayView bytes, const CharMap &map);
void AppendDecodedCodes(QString &out, QByteArrayView bytes, const CharMap &map);

// The strings shown by "Tj" and "TJ" on each line of a content stream.
QString ExtractStreamText(QByteArrayView stream, const CharMap &map);

// The inflated contents of every stream of the file that inflated to at least
// one byte, in file order.
QList<QByteArray> InflateAllStreams(QByteArrayView file, const InflateLimits &limits = {});

// PdfExtractText on the bytes of a file.
QString ExtractTextFromBytes(QByteArrayView file, const InflateLimits &limits = {});

// The two date readers on an extracted text.
QString CheckupDateFromText(const QString &text);
void DrugDatesFromText(const QString &text, QStringList &list);

} // namespace pdf
