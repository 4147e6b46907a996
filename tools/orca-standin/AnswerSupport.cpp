#include "Answers.h"

#include <QDateTime>
#include <QJsonArray>
#include <QRegularExpression>
#include <QUrl>
#include <QXmlStreamReader>

#include <algorithm>

namespace standin {

QString TrimBlanks(const QString &s) {
    qsizetype b = 0, e = s.size();
    while (b < e && s.at(b).unicode() <= 0x20)
        ++b;
    while (e > b && s.at(e - 1).unicode() <= 0x20)
        --e;
    return s.mid(b, e - b);
}

QString Str(const QJsonObject &o, const char *key) {
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isString())
        return v.toString();
    if (v.isDouble())
        return QString::number(v.toDouble(), 'g', 15);
    return {};
}

QString Or(const QString &value, const QString &fallback) {
    return value.isEmpty() ? fallback : value;
}

RequestDoc ParseRequest(const QByteArray &body) {
    RequestDoc doc;
    if (TrimBlanks(QString::fromUtf8(body)).isEmpty())
        return doc;
    QXmlStreamReader xml(body);
    QStringList stack;
    QString text;
    int elements = 0;
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartElement:
            stack.append(xml.name().toString());
            text.clear();
            if (++elements > 10000 || stack.size() > 64)
                doc.wellFormed = false;
            break;
        case QXmlStreamReader::Characters:
            if (text.size() < 65536)
                text += xml.text();
            break;
        case QXmlStreamReader::EndElement:
            if (!stack.isEmpty()) {
                if (!doc.fields.contains(stack.last()))
                    doc.fields.insert(stack.last(), text);
                stack.removeLast();
            }
            text.clear();
            break;
        default:
            break;
        }
        if (!doc.wellFormed)
            break;
    }
    if (xml.hasError() || elements == 0)
        doc.wellFormed = false;
    return doc;
}

QHash<QString, QString> ParseQuery(const QString &query) {
    QHash<QString, QString> out;
    for (const QString &pair : query.split(u'&', Qt::SkipEmptyParts)) {
        qsizetype eq = pair.indexOf(u'=');
        QString key = eq < 0 ? pair : pair.left(eq);
        QString value = eq < 0 ? QString() : pair.mid(eq + 1);
        value.replace(u'+', u' ');
        out.insert(key, QUrl::fromPercentEncoding(value.toUtf8()));
    }
    return out;
}

XmlNode AnswerRecord(const QString &record, const QString &result, const QString &message,
                     const QString &reskey) {
    const QDateTime now = QDateTime::currentDateTime();
    XmlNode node(XmlNode::Kind::Record, record);
    node.leaf(QStringLiteral("Information_Date"), now.toString(QStringLiteral("yyyy-MM-dd")))
        .leaf(QStringLiteral("Information_Time"), now.toString(QStringLiteral("HH:mm:ss")))
        .leaf(QStringLiteral("Api_Result"), result)
        .leaf(QStringLiteral("Api_Result_Message"), message)
        .leaf(QStringLiteral("Reskey"), reskey);
    return node;
}

void AddPatientInformation(XmlNode &parent, const QJsonObject &p) {
    parent.record(QStringLiteral("Patient_Information"))
        .leaf(QStringLiteral("Patient_ID"), Str(p, "id"))
        .leaf(QStringLiteral("WholeName"), Str(p, "name"))
        .leaf(QStringLiteral("WholeName_inKana"), Str(p, "kana"))
        .leaf(QStringLiteral("BirthDate"), Str(p, "birth"))
        .leaf(QStringLiteral("Sex"), Str(p, "sex"));
}

QJsonObject Insurance(const QJsonObject &patient) {
    return patient.value(QStringLiteral("insurance")).toObject();
}

void AddQualification(XmlNode &parent, const QJsonObject &patient) {
    const QJsonObject ins = Insurance(patient);
    parent.record(QStringLiteral("QuaInf"))
        .leaf(QStringLiteral("InsNum"), Str(ins, "number"))
        .leaf(QStringLiteral("InsCdSym"), Str(ins, "symbol"))
        .leaf(QStringLiteral("InsCdNum"), Str(ins, "insured_number"));
}

bool IsPharmacyCode(const QString &code) {
    return code.size() >= 3 && code.at(2) == u'4';
}

QString DateText(const QDate &d) {
    return d.toString(QStringLiteral("yyyy-MM-dd"));
}

QString MonthText(const QDate &d) {
    return d.toString(QStringLiteral("yyyy-MM"));
}

QDate ParseMonth(const QString &text) {
    static const QRegularExpression month(QStringLiteral("^\\d{4}-\\d{2}$"));
    if (!month.match(text).hasMatch())
        return {};
    return QDate::fromString(text + QStringLiteral("-01"), QStringLiteral("yyyy-MM-dd"));
}

QList<Dated> DatedItems(const DataStore &store, const QJsonObject &patient, const char *key) {
    QList<Dated> out;
    for (const QJsonValue &v : patient.value(QLatin1String(key)).toArray()) {
        const QJsonObject o = v.toObject();
        QDate date = store.resolveDate(Str(o, "date"));
        if (!date.isValid()) {
            const QString month = Str(o, "month");
            date = month.startsWith(QStringLiteral("today")) ? store.resolveDate(month)
                                                             : ParseMonth(month);
            if (date.isValid())
                date = QDate(date.year(), date.month(), 1);
        }
        if (date.isValid())
            out.append({date, o});
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const Dated &a, const Dated &b) { return a.date < b.date; });
    return out;
}

QByteArray AnswerResultOnly(const QString &apiPath, const QString &query, const QString &code) {
    const QString message = QStringLiteral("処理を終了できませんでした");
    static const QHash<QString, QPair<QString, QString>> records = {
        {QStringLiteral("api01rv2/patientgetv2"),
         {QStringLiteral("patientinfores"), QStringLiteral("Patient Info")}},
        {QStringLiteral("api01rv2/acceptlstv2"),
         {QStringLiteral("acceptlstres"), QStringLiteral("Patient Info")}},
        {QStringLiteral("api01rv2/onlinedruggetv2"), {QStringLiteral("onlinedruggetres"), {}}},
        {QStringLiteral("api01rv2/onlinemedgetv2"), {QStringLiteral("onlinemedgetres"), {}}},
        {QStringLiteral("api01rv2/onlinespecgetv2"), {QStringLiteral("onlinespecgetres"), {}}},
    };
    auto it = records.constFind(apiPath);
    if (it != records.constEnd())
        return RenderAnswer(AnswerRecord(it->first, code, message, it->second));
    if (apiPath == QStringLiteral("api01rv2/medicalgetv2")) {
        const QString cls = ParseQuery(query).value(QStringLiteral("class"));
        const bool known = cls == QStringLiteral("01") || cls == QStringLiteral("02") ||
                           cls == QStringLiteral("03");
        return RenderAnswer(AnswerRecord(QStringLiteral("medicalget") + (known ? cls : QString()) +
                                             QStringLiteral("res"),
                                         code, message, QStringLiteral("Medical Info")));
    }
    QString name = apiPath.section(u'/', -1);
    if (name.endsWith(QStringLiteral("v2")))
        name.chop(2);
    static const QRegularExpression plain(QStringLiteral("^\\w+$"));
    if (!plain.match(name).hasMatch())
        name = QStringLiteral("api");
    return RenderAnswer(AnswerRecord(name + QStringLiteral("res"), code, message, QString()));
}

} // namespace standin
