#include "OrcaXml.h"

namespace standin {

namespace {

const QString kDeclaration = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");

// ORCA's fields are fixed-width: blanks after a value are padding.
QString TrimTrailingBlanks(const QString &s) {
    qsizetype e = s.size();
    while (e > 0 && s.at(e - 1).unicode() <= 0x20)
        --e;
    return s.left(e);
}

} // namespace

XmlNode::XmlNode(Kind kind, QString name, QString value)
    : m_kind(kind), m_name(std::move(name)),
      m_value(kind == Kind::Leaf ? TrimTrailingBlanks(value) : QString()) {}

XmlNode &XmlNode::leaf(const QString &name, const QString &value) {
    m_children.emplace_back(Kind::Leaf, name, value);
    return *this;
}

XmlNode &XmlNode::record(const QString &name) {
    return m_children.emplace_back(Kind::Record, name);
}

XmlNode &XmlNode::array(const QString &name) {
    return m_children.emplace_back(Kind::Array, name);
}

XmlNode &XmlNode::child() {
    return m_children.emplace_back(Kind::Record, m_name + QStringLiteral("_child"));
}

XmlNode &XmlNode::append(XmlNode node) {
    return m_children.emplace_back(std::move(node));
}

bool XmlNode::isEmpty() const {
    if (m_kind == Kind::Leaf)
        return m_value.isEmpty();
    for (const XmlNode &c : m_children) {
        if (!c.isEmpty())
            return false;
    }
    return true;
}

QString EscapeXml(const QString &text) {
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (c == u'&')
            out += QStringLiteral("&amp;");
        else if (c == u'<')
            out += QStringLiteral("&lt;");
        else if (c == u'>')
            out += QStringLiteral("&gt;");
        else if (c.unicode() < 0x20 && c != u'\t')
            out += u' '; // a value never breaks its line
        else
            out += c;
    }
    return out;
}

void XmlNode::render(QString *out, int depth) const {
    if (isEmpty())
        return;
    const QString indent(depth * 2, u' ');
    if (m_kind == Kind::Leaf) {
        *out += indent + u'<' + m_name + QStringLiteral(" type=\"string\">") + EscapeXml(m_value) +
                QStringLiteral("</") + m_name + QStringLiteral(">\n");
        return;
    }
    *out += indent + u'<' + m_name +
            (m_kind == Kind::Array ? QStringLiteral(" type=\"array\">\n")
                                   : QStringLiteral(" type=\"record\">\n"));
    for (const XmlNode &c : m_children)
        c.render(out, depth + 1);
    *out += indent + QStringLiteral("</") + m_name + QStringLiteral(">\n");
}

QByteArray RenderAnswer(const XmlNode &record) {
    QString out = kDeclaration + QStringLiteral("<xmlio2>\n");
    record.render(&out, 1);
    out += QStringLiteral("</xmlio2>\n");
    return out.toUtf8();
}

QByteArray RenderDocument(const XmlNode &root) {
    QString out = kDeclaration;
    root.render(&out, 0);
    return out.toUtf8();
}

} // namespace standin
