#include "PdfBuilder.h"

#include <QFile>

#include <zlib.h>

QByteArray PdfBuilder::Deflate(const QByteArray &data) {
    uLongf size = compressBound(uLong(data.size()));
    QByteArray out(qsizetype(size), Qt::Uninitialized);
    if (compress2(reinterpret_cast<Bytef *>(out.data()), &size,
                  reinterpret_cast<const Bytef *>(data.constData()), uLong(data.size()),
                  Z_BEST_COMPRESSION) != Z_OK)
        return {};
    out.resize(qsizetype(size));
    return out;
}

QByteArray PdfBuilder::CMapFrame(const QByteArray &body) {
    return "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
           "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
           "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n" +
           body + "\nendcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
}

PdfBuilder &PdfBuilder::toUnicode(const QByteArray &body) {
    const QByteArray data = Deflate(CMapFrame(body));
    return raw(QByteArray::number(++m_objects) + " 0 obj\n<< /Length " +
               QByteArray::number(data.size()) + " /Filter /FlateDecode >>\nstream\n" + data +
               "\nendstream\nendobj\n");
}

PdfBuilder &PdfBuilder::content(const QByteArray &ops) {
    const QByteArray data = Deflate(ops);
    return raw(QByteArray::number(++m_objects) + " 0 obj\n<< /Length " +
               QByteArray::number(data.size()) + " /Filter /FlateDecode >>\nstream\r\n" + data +
               "\r\nendstream\nendobj\n");
}

PdfBuilder &PdfBuilder::stream(const QByteArray &data, const QByteArray &afterKeyword,
                               const QByteArray &beforeEnd) {
    return raw(QByteArray::number(++m_objects) + " 0 obj\n<< /Length " +
               QByteArray::number(data.size()) + " >>\nstream" + afterKeyword + data + beforeEnd +
               "endstream\nendobj\n");
}

PdfBuilder &PdfBuilder::raw(const QByteArray &bytes) {
    m_body += bytes;
    return *this;
}

QByteArray PdfBuilder::bytes() const {
    return "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n" + m_body + "%%EOF\n";
}

bool PdfBuilder::write(const QString &path) const {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes()) == bytes().size();
}
