// Answers in the form the ORCA API writes them: XML declaration, root element
// "xmlio2" (one answer kind has a root of its own), two-blank indentation, one
// element per line, every element typed ("string", "record" or "array" whose
// members are "<Name>_child" records). Leaf values lose their trailing blanks
// and keep their leading ones; leaves left empty, and records or arrays
// without content, are left out altogether.
#pragma once

#include <QByteArray>
#include <QString>
#include <deque>

namespace standin {

class XmlNode {
public:
    enum class Kind { Leaf, Record, Array };

    XmlNode(Kind kind, QString name, QString value = QString());

    // Adds a leaf and returns this node (for chaining).
    XmlNode &leaf(const QString &name, const QString &value);
    // Adds a record or array member and returns it.
    XmlNode &record(const QString &name);
    XmlNode &array(const QString &name);
    // On an array: adds one "<Name>_child" record and returns it.
    XmlNode &child();
    // Adds a node built apart and returns it.
    XmlNode &append(XmlNode node);

    bool isEmpty() const;
    void render(QString *out, int depth) const;

private:
    Kind m_kind;
    QString m_name;
    QString m_value;
    std::deque<XmlNode> m_children; // deque: references stay valid while adding
};

// "<?xml ...?>\n<xmlio2>\n" + the record + "</xmlio2>\n", UTF-8.
QByteArray RenderAnswer(const XmlNode &record);
// "<?xml ...?>\n" + the node as the document's root, UTF-8.
QByteArray RenderDocument(const XmlNode &root);

QString EscapeXml(const QString &text);

} // namespace standin
