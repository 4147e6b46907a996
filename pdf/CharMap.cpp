#include "pdf/CharMap.h"

namespace pdf {

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

QString CharMap::value(quint16 code) const {
    QString s;
    appendTo(s, code);
    return s;
}

} // namespace pdf
