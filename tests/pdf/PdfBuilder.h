#pragma once
#include <QByteArray>
#include <QString>

// Writes small PDF files for the tests: ToUnicode maps and content streams are
// zlib-compressed (FlateDecode) as PDF producers store them; raw pieces go in
// unchanged. Objects are numbered in order; no cross-reference table is
// written, since the reader under test never looks for one.
class PdfBuilder {
public:
    // A ToUnicode map: body holds the bfchar/bfrange blocks, framed by the
    // usual CMap header and trailer.
    PdfBuilder &toUnicode(const QByteArray &body);
    // A compressed content stream holding ops.
    PdfBuilder &content(const QByteArray &ops);
    // A stream object with data as given and the given keyword line ends:
    // "stream" + afterKeyword + data + beforeEnd + "endstream".
    PdfBuilder &stream(const QByteArray &data, const QByteArray &afterKeyword = "\r\n",
                       const QByteArray &beforeEnd = "\r\n");
    // Any bytes, e.g. an object holding a dictionary.
    PdfBuilder &raw(const QByteArray &bytes);

    QByteArray bytes() const;
    bool write(const QString &path) const;

    static QByteArray Deflate(const QByteArray &data);
    static QByteArray CMapFrame(const QByteArray &body);

private:
    QByteArray m_body;
    int m_objects = 0;
};
