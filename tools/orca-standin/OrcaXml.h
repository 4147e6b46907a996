// Answers in the style of the ORCA API: XML declaration, root element
// "xmlio2", two-blank indentation, one element per line, every element typed
// ("string", "record" or "array" whose members are "<Name>_child" records).
// Leaves with empty values and records or arrays left without content are
// omitted altogether, as ORCA does.
#pragma once

#include <QByteArray>
#include <QString>
#include <deque>

namespace standin {

class XmlNode {
public:
    enum class Kind { Leaf, Record, Array };

    XmlNode(Kind kind, QString name, QString value = QString())
        : m_kind(kind), m_name(std::move(name)), m_value(std::move(value)) {}

    // Adds a leaf and returns this node (for chaining).
    XmlNode &leaf(const QString &name, const QString &value);
    // Adds a record or array member and returns it.
    XmlNode &record(const QString &name);
    XmlNode &array(const QString &name);
    // On an array: adds one "<Name>_child" record and returns it.
    XmlNode &child();

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

QString EscapeXml(const QString &text);

} // namespace standin
