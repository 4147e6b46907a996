#include "pdf/Streams.h"

#include <algorithm>
#include <cstring>
#include <zlib.h>

namespace pdf {

qsizetype FindBytes(QByteArrayView haystack, QByteArrayView needle, qsizetype start) {
    if (start < 0)
        start = 0;
    if (start > haystack.size())
        return -1;
    if (needle.isEmpty())
        return start;
    // The C library's search: several times faster than QByteArrayView::indexOf
    // on the megabytes of picture data the keyword search runs through.
    const void *hit = ::memmem(haystack.data() + start, size_t(haystack.size() - start),
                               needle.data(), size_t(needle.size()));
    return hit ? static_cast<const char *>(hit) - haystack.data() : -1;
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

namespace {

// The whole file in memory, seen through the interface of FileBytes.
class MemoryBytes {
public:
    explicit MemoryBytes(QByteArrayView bytes) : m_bytes(bytes) {}
    int at(qsizetype pos) { return pos < m_bytes.size() ? uchar(m_bytes[pos]) : -1; }
    qsizetype find(QByteArrayView needle, qsizetype from) {
        return FindBytes(m_bytes, needle, from);
    }
    QByteArrayView view(qsizetype from, qsizetype to) { return m_bytes.sliced(from, to - from); }
    void release(qsizetype) {}

private:
    QByteArrayView m_bytes;
};

// The "stream" keyword proper: the word followed by CR or LF. The same letters
// inside a string or a name (a title "(... stream ...)") are not a keyword.
template <typename Bytes> qsizetype FindStreamKeyword(Bytes &file, qsizetype from) {
    for (;;) {
        const qsizetype at = file.find("stream", from);
        if (at < 0)
            return -1;
        const int after = file.at(at + 6);
        if (after == '\r' || after == '\n')
            return at;
        from = at + 1;
    }
}

template <typename Bytes>
QList<QByteArray> InflateStreamsOf(Bytes &file, const InflateLimits &limits) {
    QList<QByteArray> streams;
    qsizetype budget = limits.perFile;
    qsizetype offset = 0;
    while (file.at(offset) >= 0 && budget > 0) {
        const qsizetype kw = FindStreamKeyword(file, offset);
        if (kw < 0)
            break;
        qsizetype start = kw + 6;
        if (file.at(start) == '\r')
            ++start;
        if (file.at(start) == '\n')
            ++start;
        const qsizetype end = file.find("endstream", start);
        if (end < 0)
            break;
        qsizetype produced = 0;
        const auto data = InflateStream(file.view(start, end), 0, end - start,
                                        std::min(limits.perStream, budget), &produced);
        budget -= produced;
        if (data && !data->isEmpty())
            streams.append(*data);
        offset = end + 9;
        file.release(offset);
    }
    return streams;
}

} // namespace

QList<QByteArray> InflateAllStreams(QByteArrayView file, const InflateLimits &limits) {
    MemoryBytes bytes(file);
    return InflateStreamsOf(bytes, limits);
}

QList<QByteArray> InflateAllStreams(FileBytes &file, const InflateLimits &limits) {
    return InflateStreamsOf(file, limits);
}

// ---------------------------------------------------------------------------
// FileBytes

FileBytes::FileBytes(QIODevice &device, qsizetype block)
    : m_device(device), m_block(qMax<qsizetype>(block, 1)) {}

bool FileBytes::load() {
    if (m_end || m_failed)
        return false;
    // Bytes before the last release are dropped first, so the buffer holds
    // one stream and the block after it at most.
    if (m_released > m_base) {
        m_buffer.remove(0, m_released - m_base);
        m_base = m_released;
    }
    const qsizetype size = m_buffer.size();
    m_buffer.resize(size + m_block);
    const qint64 got = m_device.read(m_buffer.data() + size, m_block);
    m_buffer.resize(size + qMax<qint64>(got, 0));
    if (got < 0)
        m_failed = true;
    if (got <= 0)
        m_end = true;
    return got > 0;
}

int FileBytes::at(qsizetype pos) {
    while (pos >= m_base + m_buffer.size()) {
        if (!load())
            return -1;
    }
    return uchar(m_buffer[pos - m_base]);
}

qsizetype FileBytes::find(QByteArrayView needle, qsizetype from) {
    qsizetype searchFrom = from;
    for (;;) {
        const qsizetype hit = FindBytes(m_buffer, needle, searchFrom - m_base);
        if (hit >= 0)
            return m_base + hit;
        // A match may still begin in the last bytes, completed by the next block.
        searchFrom = qMax(searchFrom, m_base + m_buffer.size() - needle.size() + 1);
        if (!load())
            return -1;
    }
}

QByteArrayView FileBytes::view(qsizetype from, qsizetype to) {
    return QByteArrayView(m_buffer).sliced(from - m_base, to - from);
}

void FileBytes::release(qsizetype before) {
    m_released = before;
}

} // namespace pdf
