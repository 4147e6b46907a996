#pragma once
#include <QString>
#include <QtGlobal>

#include <vector>

namespace pdf {

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
    bool appendTo(QString &out, quint16 code) const {
        if (!m_pending.empty())
            resolve();
        if (m_values.empty())
            return false;
        const char32_t v = m_values[code];
        if (v == kAbsent)
            return false;
        if (v <= 0xFFFF) {
            out.append(QChar(char16_t(v)));
        } else {
            const QChar pair[2] = {QChar(QChar::highSurrogate(v)), QChar(QChar::lowSurrogate(v))};
            out.append(pair, 2);
        }
        return true;
    }

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

} // namespace pdf
