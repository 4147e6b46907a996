#pragma once
// Finding the streams of a PDF file and inflating them.

#include <QByteArray>
#include <QByteArrayView>
#include <QIODevice>
#include <QList>

#include <optional>

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

// The bytes of a file, read block by block as the stream search moves on: it
// holds the stream being read and the block after it, never the whole file.
class FileBytes {
public:
    static constexpr qsizetype kBlock = 256 * 1024; // bytes read at a time

    explicit FileBytes(QIODevice &device, qsizetype block = kBlock);
    // Whether a read failed; the bytes then end where it did.
    bool failed() const { return m_failed; }

    // The byte at pos (0..255), or -1 past the end.
    int at(qsizetype pos);
    // Offset of the first occurrence of needle at or after from, or -1.
    qsizetype find(QByteArrayView needle, qsizetype from);
    // Bytes already read; valid until the next call of another member.
    QByteArrayView view(qsizetype from, qsizetype to);
    // Nothing before this offset is asked for again.
    void release(qsizetype before);

private:
    bool load();

    QIODevice &m_device;
    const qsizetype m_block;
    QByteArray m_buffer;
    qsizetype m_base = 0; // file offset of m_buffer[0]
    qsizetype m_released = 0;
    bool m_end = false;
    bool m_failed = false;
};

// The inflated contents of every stream of the file that inflated to at least
// one byte, in file order.
QList<QByteArray> InflateAllStreams(QByteArrayView file, const InflateLimits &limits = {});
QList<QByteArray> InflateAllStreams(FileBytes &file, const InflateLimits &limits = {});

} // namespace pdf
