#include "OrcaApi.h"

#include "OrcaXml.h"

#include <QDateTime>
#include <QHash>
#include <QJsonDocument>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QUrl>
#include <QXmlStreamReader>

namespace standin {

namespace {

using Kind = XmlNode::Kind;

const QString kContentType = QStringLiteral("application/xml; charset=UTF-8");

// Removes characters up to U+0020 at both ends (U+3000 stays).
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

// Leaf values of a request document, first occurrence of each name.
struct RequestDoc {
    bool wellFormed = true;
    QHash<QString, QString> fields;
    QString value(const char *name) const { return TrimBlanks(fields.value(QLatin1String(name))); }
};

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

XmlNode Answer(const QString &recordName, const QString &result, const QString &message,
               const QString &reskey) {
    const QDateTime now = QDateTime::currentDateTime();
    XmlNode record(Kind::Record, recordName);
    record.leaf(QStringLiteral("Information_Date"), now.toString(QStringLiteral("yyyy-MM-dd")))
        .leaf(QStringLiteral("Information_Time"), now.toString(QStringLiteral("HH:mm:ss")))
        .leaf(QStringLiteral("Api_Result"), result)
        .leaf(QStringLiteral("Api_Result_Message"), message)
        .leaf(QStringLiteral("Reskey"), reskey);
    return record;
}

void AddPatientInfo(XmlNode &parent, const QJsonObject &p) {
    XmlNode &info = parent.record(QStringLiteral("Patient_Information"));
    info.leaf(QStringLiteral("Patient_ID"), Str(p, "id"))
        .leaf(QStringLiteral("WholeName"), Str(p, "name"))
        .leaf(QStringLiteral("WholeName_inKana"), Str(p, "kana"))
        .leaf(QStringLiteral("BirthDate"), Str(p, "birth"))
        .leaf(QStringLiteral("Sex"), Str(p, "sex"));
}

HttpResponse Xml(const XmlNode &record) {
    HttpResponse res;
    res.headers.emplace_back("Content-Type", kContentType.toStdString());
    QByteArray body = RenderAnswer(record);
    res.body.assign(body.constData(), static_cast<size_t>(body.size()));
    return res;
}

HttpResponse Plain(int status, const QByteArray &text) {
    HttpResponse res;
    res.status = status;
    res.headers.emplace_back("Content-Type", "text/plain; charset=UTF-8");
    res.body = text.toStdString();
    return res;
}

HttpResponse Json(int status, const QJsonDocument &doc) {
    HttpResponse res;
    res.status = status;
    res.headers.emplace_back("Content-Type", "application/json");
    res.body = doc.toJson(QJsonDocument::Compact).toStdString();
    return res;
}

HttpResponse JsonError(int status, const QString &message) {
    return Json(status, QJsonDocument(QJsonObject{{QStringLiteral("error"), message}}));
}

// Items of a patient list ("drugs", "medical", ...) with their resolved date.
struct Dated {
    QDate date;
    QJsonObject item;
};

QList<Dated> DatedItems(const DataStore &store, const QJsonObject &patient, const char *key) {
    QList<Dated> out;
    for (const QJsonValue &v : patient.value(QLatin1String(key)).toArray()) {
        QJsonObject o = v.toObject();
        QDate date = store.resolveDate(Str(o, "date"));
        if (!date.isValid()) {
            // A month alone counts as its first day.
            QString month = Str(o, "month");
            date = month.startsWith(QStringLiteral("today"))
                       ? store.resolveDate(month)
                       : QDate::fromString(month + QStringLiteral("-01"),
                                           QStringLiteral("yyyy-MM-dd"));
        }
        if (date.isValid())
            out.append({date, o});
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const Dated &a, const Dated &b) { return a.date < b.date; });
    return out;
}

QString MonthOf(const QDate &d) {
    return d.toString(QStringLiteral("yyyy-MM"));
}

struct OnlineSpec {
    const char *path;
    const char *record;
    const char *reskey;
    const char *noData;
};

const OnlineSpec kOnlineSpecs[] = {
    {"api01rv2/onlinedruggetv2", "onlinedruggetres", "Online Drug Info",
     "該当する薬剤情報が存在しません"},
    {"api01rv2/onlinemedgetv2", "onlinemedgetres", "Online Medical Info",
     "該当する診療情報が存在しません"},
    {"api01rv2/onlinespecgetv2", "onlinespecgetres", "Online Specific Health Checkup Info",
     "該当する特定健診情報が存在しません"},
};

// The answer of a path carrying nothing but the given result code: the record
// the path normally answers with, and no data. A path outside the table gets
// a record named after its last segment.
XmlNode ResultOnly(const QString &apiPath, const QString &query, const QString &code) {
    const QString message = QStringLiteral("処理を終了できませんでした");
    if (apiPath == QStringLiteral("api01rv2/patientgetv2"))
        return Answer(QStringLiteral("patientinfores"), code, message,
                      QStringLiteral("Patient Info"));
    if (apiPath == QStringLiteral("api01rv2/acceptlstv2"))
        return Answer(QStringLiteral("acceptlstres"), code, message,
                      QStringLiteral("Patient Info"));
    for (const OnlineSpec &spec : kOnlineSpecs) {
        if (apiPath == QLatin1String(spec.path))
            return Answer(QLatin1String(spec.record), code, message, QLatin1String(spec.reskey));
    }
    if (apiPath == QStringLiteral("api01rv2/medicalgetv2")) {
        const QString cls = ParseQuery(query).value(QStringLiteral("class"));
        const bool known = cls == QStringLiteral("01") || cls == QStringLiteral("02") ||
                           cls == QStringLiteral("03");
        return Answer(QStringLiteral("medicalget") + (known ? cls : QString()) +
                          QStringLiteral("res"),
                      code, message, QStringLiteral("Medical Info"));
    }
    QString name = apiPath.section(u'/', -1);
    if (name.endsWith(QStringLiteral("v2")))
        name.chop(2);
    static const QRegularExpression plain(QStringLiteral("^\\w+$"));
    if (!plain.match(name).hasMatch())
        name = QStringLiteral("api");
    return Answer(name + QStringLiteral("res"), code, message, QString());
}

} // namespace

OrcaApi::OrcaApi(ApiSettings settings, DataStore &store, ControlState &control)
    : m_settings(std::move(settings)), m_store(store), m_control(control) {}

bool OrcaApi::authorised(const HttpRequest &request) const {
    if (m_settings.user.isEmpty() && m_settings.key.isEmpty())
        return true;
    const std::string auth = request.header("Authorization");
    if (auth.size() < 6)
        return false;
    std::string scheme = auth.substr(0, 6);
    for (char &c : scheme)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (scheme != "basic ")
        return false;
    QByteArray decoded = QByteArray::fromBase64(QByteArray::fromStdString(auth.substr(6)));
    return decoded == (m_settings.user + u':' + m_settings.key).toUtf8();
}

HandlerResult OrcaApi::handleApi(const HttpRequest &request) {
    const QString path = QString::fromUtf8(request.path.data(), qsizetype(request.path.size()));
    const QString query = QString::fromUtf8(request.query.data(), qsizetype(request.query.size()));
    QJsonObject headers;
    for (const auto &[name, value] : request.headers) {
        QString key = QString::fromLatin1(name.data(), qsizetype(name.size())).toLower();
        QString text = QString::fromUtf8(value.data(), qsizetype(value.size()));
        if (headers.contains(key))
            text = headers.value(key).toString() + QStringLiteral(", ") + text;
        headers.insert(key, text);
    }
    m_control.logRequest(QJsonObject{
        {QStringLiteral("method"), QString::fromLatin1(request.method.c_str())},
        {QStringLiteral("path"), path},
        {QStringLiteral("query"), query},
        {QStringLiteral("headers"), headers},
        {QStringLiteral("body"),
         QString::fromUtf8(request.body.data(),
                           qsizetype(std::min<size_t>(request.body.size(), 1024 * 1024)))}});

    HandlerResult result;
    const QString prefix = QStringLiteral("/api/");
    if (!path.startsWith(prefix)) {
        result.response = Plain(404, "404 Not Found\n");
        return result;
    }
    const QString apiPath = path.mid(prefix.size());
    if (auto fault = m_control.takeFault(apiPath, query)) {
        switch (fault->kind) {
        case Fault::Kind::Close:
            result.action = HandlerResult::Action::Close;
            return result;
        case Fault::Kind::Reset:
            result.action = HandlerResult::Action::Reset;
            return result;
        case Fault::Kind::Status:
            result.response = Plain(fault->status, QByteArray::number(fault->status) + ' ' +
                                                       StatusText(fault->status) + '\n');
            return result;
        case Fault::Kind::Result:
            result.response = Xml(ResultOnly(apiPath, query, fault->result));
            return result;
        case Fault::Kind::Delay:
            result.delayMs = fault->delayMs;
            if (fault->status != 0) {
                result.response = Plain(fault->status, QByteArray::number(fault->status) + ' ' +
                                                           StatusText(fault->status) + '\n');
                return result;
            }
            break;
        }
    }
    if (!authorised(request)) {
        result.response = Plain(401, "401 Unauthorized\n");
        result.response.headers.emplace_back("WWW-Authenticate", "Basic realm=\"ORCA\"");
        return result;
    }
    result.response =
        answer(apiPath, query, QByteArray(request.body.data(), qsizetype(request.body.size())));
    return result;
}

HttpResponse OrcaApi::answer(const QString &apiPath, const QString &query, const QByteArray &body) {
    const QHash<QString, QString> params = ParseQuery(query);
    const RequestDoc doc = ParseRequest(body);
    const QString ok00 = QStringLiteral("00");
    const QString done = QStringLiteral("処理終了");

    if (apiPath == QStringLiteral("api01rv2/patientgetv2")) {
        const QString reskey = QStringLiteral("Patient Info");
        const QString id = TrimBlanks(params.value(QStringLiteral("id")));
        if (id.isEmpty())
            return Xml(Answer(QStringLiteral("patientinfores"), QStringLiteral("01"),
                              QStringLiteral("患者番号が未設定です"), reskey));
        auto patient = m_store.findPatient(id);
        if (!patient)
            return Xml(Answer(QStringLiteral("patientinfores"), QStringLiteral("10"),
                              QStringLiteral("該当する患者が存在しません"), reskey));
        XmlNode record = Answer(QStringLiteral("patientinfores"), ok00, done, reskey);
        XmlNode &info = record.record(QStringLiteral("Patient_Information"));
        info.leaf(QStringLiteral("Patient_ID"), Str(*patient, "id"))
            .leaf(QStringLiteral("WholeName"), Str(*patient, "name"))
            .leaf(QStringLiteral("WholeName_inKana"), Str(*patient, "kana"))
            .leaf(QStringLiteral("BirthDate"), Str(*patient, "birth"))
            .leaf(QStringLiteral("Sex"), Str(*patient, "sex"));
        XmlNode &home = info.record(QStringLiteral("Home_Address_Information"));
        home.leaf(QStringLiteral("Address_ZipCode"), Str(*patient, "zip"))
            .leaf(QStringLiteral("WholeAddress1"), Str(*patient, "address"))
            .leaf(QStringLiteral("PhoneNumber1"), Str(*patient, "phone"));
        return Xml(record);
    }

    if (apiPath == QStringLiteral("api01rv2/acceptlstv2")) {
        const QString name = QStringLiteral("acceptlstres");
        const QString reskey = QStringLiteral("Patient Info");
        const QString cls = params.value(QStringLiteral("class"));
        if (cls != QStringLiteral("01") && cls != QStringLiteral("02") &&
            cls != QStringLiteral("03"))
            return Xml(
                Answer(name, QStringLiteral("91"), QStringLiteral("処理区分が不正です"), reskey));
        if (!doc.wellFormed)
            return Xml(Answer(name, QStringLiteral("99"),
                              QStringLiteral("リクエストデータに誤りがあります"), reskey));
        QString dateText = doc.value("Acceptance_Date");
        QDate day = dateText.isEmpty() ? QDate::currentDate()
                                       : QDate::fromString(dateText, QStringLiteral("yyyy-MM-dd"));
        if (!day.isValid())
            return Xml(
                Answer(name, QStringLiteral("90"), QStringLiteral("受付日付が不正です"), reskey));
        const QString department = doc.value("Department_Code");
        QList<QJsonObject> shown;
        for (const QJsonValue &v : m_store.reception(day)) {
            const QJsonObject e = v.toObject();
            const QString account = Str(e, "account_time");
            if ((cls == QStringLiteral("01") && !account.isEmpty()) ||
                (cls == QStringLiteral("02") && account.isEmpty()))
                continue;
            if (!department.isEmpty() &&
                department != Or(Str(e, "department"), QStringLiteral("01")))
                continue;
            shown.append(e);
        }
        XmlNode out = shown.isEmpty()
                          ? Answer(name, QStringLiteral("21"),
                                   QStringLiteral("対象の受付はありませんでした"), reskey)
                          : Answer(name, ok00, done, reskey);
        out.leaf(QStringLiteral("Acceptance_Date"), day.toString(QStringLiteral("yyyy-MM-dd")));
        XmlNode &list = out.array(QStringLiteral("Acceptlst_Information"));
        int count = 0;
        for (const QJsonObject &e : shown) {
            ++count;
            const QString id = Str(e, "id");
            const QJsonObject p = m_store.findPatient(id).value_or(QJsonObject{});
            XmlNode &c = list.child();
            c.leaf(QStringLiteral("Acceptance_Time"),
                   Or(Str(e, "time"), QStringLiteral("09:00:00")))
                .leaf(QStringLiteral("Acceptance_Id"),
                      Or(Str(e, "accept_id"), QString::asprintf("%05d", count)))
                .leaf(QStringLiteral("Department_Code"),
                      Or(Str(e, "department"), QStringLiteral("01")))
                .leaf(QStringLiteral("Department_WholeName"),
                      Or(Str(e, "department_name"), QStringLiteral("内科")))
                .leaf(QStringLiteral("Physician_Code"),
                      Or(Str(e, "physician_code"), QStringLiteral("10001")))
                .leaf(QStringLiteral("Physician_WholeName"), Str(e, "physician_name"))
                .leaf(QStringLiteral("Medical_Information"), QStringLiteral("01"))
                .leaf(QStringLiteral("Account_Time"), Str(e, "account_time"));
            XmlNode &pi = c.record(QStringLiteral("Patient_Information"));
            pi.leaf(QStringLiteral("Patient_ID"), id)
                .leaf(QStringLiteral("WholeName"), Or(Str(e, "name"), Str(p, "name")))
                .leaf(QStringLiteral("WholeName_inKana"), Or(Str(e, "kana"), Str(p, "kana")))
                .leaf(QStringLiteral("BirthDate"), Str(p, "birth"))
                .leaf(QStringLiteral("Sex"), Str(p, "sex"));
            c.leaf(QStringLiteral("Insurance_Combination_Number"), QStringLiteral("0001"));
        }
        return Xml(out);
    }

    // The three online APIs share their request handling.
    for (int kind = 0; kind < 3; ++kind) {
        const OnlineSpec &spec = kOnlineSpecs[kind];
        if (apiPath != QLatin1String(spec.path))
            continue;
        const QString name = QLatin1String(spec.record);
        const QString reskey = QLatin1String(spec.reskey);
        if (!doc.wellFormed)
            return Xml(Answer(name, QStringLiteral("E99"),
                              QStringLiteral("リクエストデータに誤りがあります"), reskey));
        const QString number = doc.value("Request_Number");
        const bool drug = kind == 0;
        const bool med = kind == 1;
        if (number != QStringLiteral("01") && !(drug && number == QStringLiteral("02")))
            return Xml(Answer(name, QStringLiteral("E02"),
                              QStringLiteral("リクエスト番号が不正です"), reskey));
        const QString id = doc.value("Patient_ID");
        if (id.isEmpty())
            return Xml(Answer(name, QStringLiteral("E01"), QStringLiteral("患者番号が未設定です"),
                              reskey));
        auto patient = m_store.findPatient(id);
        if (!patient)
            return Xml(Answer(name, QStringLiteral("E10"),
                              QStringLiteral("該当する患者が存在しません"), reskey));
        const QString month = doc.value("MeTrMonth");
        const QString inOut = doc.value("InOut");
        const bool details = drug && number == QStringLiteral("02");
        if (details && month.isEmpty())
            return Xml(Answer(name, QStringLiteral("E03"), QStringLiteral("診療年月が未設定です"),
                              reskey));

        XmlNode out = Answer(name, QStringLiteral("000"), done, reskey);
        out.leaf(QStringLiteral("Request_Number"), number);
        AddPatientInfo(out, *patient);
        bool any = false;

        if (drug || med) {
            const QString hCd = doc.value("MeTrDiHCd");
            const QString pCd = doc.value("PrlsHCd");
            // month -> records of that month, oldest first
            QMap<QString, QList<QJsonObject>> byMonth;
            for (const Dated &d : DatedItems(m_store, *patient, drug ? "drugs" : "medical")) {
                const QString m = MonthOf(d.date);
                const QString io = Or(Str(d.item, "inout"), QStringLiteral("2"));
                if (!month.isEmpty() && m != month)
                    continue;
                if (!inOut.isEmpty() && io != inOut)
                    continue;
                if (!hCd.isEmpty() && Str(d.item, "institution_code") != hCd)
                    continue;
                if (!pCd.isEmpty() && Str(d.item, "prescriber_code") != pCd)
                    continue;
                QJsonObject item = d.item;
                item.insert(QStringLiteral("inout"), io);
                item.insert(QStringLiteral("day"), d.date.toString(QStringLiteral("dd")));
                byMonth[m].append(item);
            }
            XmlNode &months = out.array(QStringLiteral("MeTrMonthInf"));
            for (auto it = byMonth.constEnd(); it != byMonth.constBegin();) {
                --it;
                any = true;
                XmlNode &mc = months.child();
                mc.leaf(QStringLiteral("MeTrMonth"), it.key());
                if (med) {
                    XmlNode &recs = mc.array(QStringLiteral("MeTrD_Inf"));
                    QSet<QString> seen;
                    for (const QJsonObject &r : it.value()) {
                        const QString key = Str(r, "institution_code") + u'|' +
                                            Str(r, "prescriber_code") + u'|' + Str(r, "inout");
                        if (seen.contains(key))
                            continue;
                        seen.insert(key);
                        recs.child()
                            .leaf(QStringLiteral("MeTrDiHCd"), Str(r, "institution_code"))
                            .leaf(QStringLiteral("MeTrDiHNm"), Str(r, "institution_name"))
                            .leaf(QStringLiteral("PrlsHCd"), Str(r, "prescriber_code"))
                            .leaf(QStringLiteral("PrlsHNm"), Str(r, "prescriber_name"))
                            .leaf(QStringLiteral("InOut"), Str(r, "inout"));
                    }
                } else if (!details) {
                    // Request "01": which institutions appear in the month. The
                    // codes come first and the dispensing institution's name
                    // closes each entry.
                    XmlNode &recs = mc.array(QStringLiteral("MeTrDiHInf"));
                    QSet<QString> seen;
                    for (const QJsonObject &r : it.value()) {
                        const QString key =
                            Str(r, "institution_code") + u'|' + Str(r, "prescriber_code");
                        if (seen.contains(key))
                            continue;
                        seen.insert(key);
                        recs.child()
                            .leaf(QStringLiteral("MeTrDiHCd"), Str(r, "institution_code"))
                            .leaf(QStringLiteral("PrlsHCd"), Str(r, "prescriber_code"))
                            .leaf(QStringLiteral("PrlsHNm"), Str(r, "prescriber_name"))
                            .leaf(QStringLiteral("MeTrDiHNm"), Str(r, "institution_name"))
                            .leaf(QStringLiteral("InOut"), Str(r, "inout"));
                    }
                } else {
                    // Request "02": every dispensing day with its drugs.
                    XmlNode &days =
                        mc.record(QStringLiteral("DiDateInfs")).array(QStringLiteral("DiDateInf"));
                    QList<QString> order;
                    QHash<QString, QList<QJsonObject>> groups;
                    for (const QJsonObject &r : it.value()) {
                        const QString key = Str(r, "day") + u'|' + Str(r, "institution_code") +
                                            u'|' + Str(r, "prescriber_code");
                        if (!groups.contains(key))
                            order.append(key);
                        groups[key].append(r);
                    }
                    for (const QString &key : order) {
                        const QJsonObject &r = groups[key].first();
                        XmlNode &day = days.child();
                        day.leaf(QStringLiteral("DiDay"), Str(r, "day"))
                            .leaf(QStringLiteral("MeTrDiHCd"), Str(r, "institution_code"))
                            .leaf(QStringLiteral("MeTrDiHNm"), Str(r, "institution_name"))
                            .leaf(QStringLiteral("PrlsHCd"), Str(r, "prescriber_code"))
                            .leaf(QStringLiteral("PrlsHNm"), Str(r, "prescriber_name"))
                            .leaf(QStringLiteral("InOut"), Str(r, "inout"));
                        XmlNode &drugs =
                            day.record(QStringLiteral("DrugInfs")).array(QStringLiteral("DrugInf"));
                        for (const QJsonObject &g : groups[key]) {
                            for (const QJsonValue &iv :
                                 g.value(QStringLiteral("items")).toArray()) {
                                const QJsonObject item = iv.toObject();
                                drugs.child()
                                    .leaf(QStringLiteral("MeTrIdCl"), Str(item, "class"))
                                    .leaf(QStringLiteral("DrugCd"), Str(item, "code"))
                                    .leaf(QStringLiteral("DrugN"), Str(item, "name"))
                                    .leaf(QStringLiteral("Unit"), Str(item, "unit"))
                                    .leaf(QStringLiteral("Qua1"), Str(item, "qty"))
                                    .leaf(QStringLiteral("Times"), Str(item, "times"));
                            }
                        }
                    }
                }
            }
        } else {
            XmlNode &list = out.array(QStringLiteral("Spec_Information"));
            const QList<Dated> checkups = DatedItems(m_store, *patient, "checkups");
            for (auto it = checkups.crbegin(); it != checkups.crend(); ++it) {
                any = true;
                XmlNode &c = list.child();
                c.leaf(QStringLiteral("EffectiveTime"),
                       it->date.toString(QStringLiteral("yyyy-MM-dd")))
                    .leaf(QStringLiteral("SpecHCd"), Str(it->item, "institution_code"))
                    .leaf(QStringLiteral("SpecHNm"), Str(it->item, "institution_name"));
                XmlNode &results = c.array(QStringLiteral("SpecResult"));
                for (const QJsonValue &rv : it->item.value(QStringLiteral("items")).toArray()) {
                    const QJsonObject r = rv.toObject();
                    results.child()
                        .leaf(QStringLiteral("ItemNm"), Str(r, "name"))
                        .leaf(QStringLiteral("ResultValue"), Str(r, "value"))
                        .leaf(QStringLiteral("ResultUnit"), Str(r, "unit"));
                }
            }
        }
        if (!any) {
            XmlNode none = Answer(name, QStringLiteral("E50"), QLatin1String(spec.noData), reskey);
            none.leaf(QStringLiteral("Request_Number"), number);
            AddPatientInfo(none, *patient);
            return Xml(none);
        }
        return Xml(out);
    }

    if (apiPath == QStringLiteral("api01rv2/medicalgetv2")) {
        const QString reskey = QStringLiteral("Medical Info");
        const QString cls = params.value(QStringLiteral("class"));
        const QString name = QStringLiteral("medicalget") + cls + QStringLiteral("res");
        if (cls != QStringLiteral("01") && cls != QStringLiteral("02") &&
            cls != QStringLiteral("03"))
            return Xml(Answer(QStringLiteral("medicalgetres"), QStringLiteral("91"),
                              QStringLiteral("処理区分が不正です"), reskey));
        if (!doc.wellFormed)
            return Xml(Answer(name, QStringLiteral("99"),
                              QStringLiteral("リクエストデータに誤りがあります"), reskey));
        const QString id = doc.value("Patient_ID");
        if (id.isEmpty())
            return Xml(
                Answer(name, QStringLiteral("01"), QStringLiteral("患者番号が未設定です"), reskey));
        auto patient = m_store.findPatient(id);
        if (!patient)
            return Xml(Answer(name, QStringLiteral("10"),
                              QStringLiteral("該当する患者が存在しません"), reskey));
        // Perform_Date: "yyyy-mm" (a month) or "yyyy-mm-dd" (a day); empty = this month.
        QString perform = doc.value("Perform_Date");
        if (perform.isEmpty())
            perform = QDate::currentDate().toString(QStringLiteral("yyyy-MM"));
        const bool wholeMonth = perform.size() == 7;
        const QDate first = QDate::fromString(
            wholeMonth ? perform + QStringLiteral("-01") : perform, QStringLiteral("yyyy-MM-dd"));
        if (!first.isValid() || (perform.size() != 7 && perform.size() != 10))
            return Xml(
                Answer(name, QStringLiteral("14"), QStringLiteral("診療日付が不正です"), reskey));
        const QString department = doc.value("Department_Code");
        QList<Dated> visits;
        for (const Dated &d : DatedItems(m_store, *patient, "visits")) {
            bool inRange = wholeMonth
                               ? (d.date.year() == first.year() && d.date.month() == first.month())
                               : d.date == first;
            const QString dept = Or(Str(d.item, "department"), QStringLiteral("01"));
            if (inRange && (department.isEmpty() || dept == department))
                visits.append(d);
        }
        if (visits.isEmpty()) {
            XmlNode none = Answer(name, QStringLiteral("21"),
                                  QStringLiteral("該当する診療行為がありません"), reskey);
            AddPatientInfo(none, *patient);
            return Xml(none);
        }
        XmlNode out = Answer(name, ok00, done, reskey);
        AddPatientInfo(out, *patient);
        if (cls == QStringLiteral("03")) {
            // One calendar per department and code: position N is day N.
            out.leaf(QStringLiteral("Perform_Month"), MonthOf(first));
            QList<QString> order;
            QHash<QString, QPair<QString, QString>> names; // key -> (code, name)
            QHash<QString, QString> calendars;
            QHash<QString, QString> departments;
            for (const Dated &d : visits) {
                const QString dept = Or(Str(d.item, "department"), QStringLiteral("01"));
                for (const QJsonValue &ov : d.item.value(QStringLiteral("orders")).toArray()) {
                    for (const QJsonValue &iv :
                         ov.toObject().value(QStringLiteral("items")).toArray()) {
                        const QJsonObject item = iv.toObject();
                        const QString code = Str(item, "code");
                        if (code.isEmpty())
                            continue;
                        const QString key = dept + u'|' + code;
                        if (!calendars.contains(key)) {
                            order.append(key);
                            calendars.insert(key, QString(31, u'0'));
                            names.insert(key, {code, Str(item, "name")});
                            departments.insert(key, dept);
                        }
                        calendars[key][d.date.day() - 1] = u'1';
                    }
                }
            }
            XmlNode &list = out.array(QStringLiteral("Medical_Information"));
            for (const QString &key : order) {
                const QString cal = calendars.value(key);
                list.child()
                    .leaf(QStringLiteral("Department_Code"), departments.value(key))
                    .leaf(QStringLiteral("Medication_Code"), names.value(key).first)
                    .leaf(QStringLiteral("Medication_Name"), names.value(key).second)
                    .leaf(QStringLiteral("Perform_Day_Number"), QString::number(cal.count(u'1')))
                    .leaf(QStringLiteral("Perform_Calendar"), cal);
            }
            return Xml(out);
        }
        if (cls == QStringLiteral("01")) {
            XmlNode &list = out.array(QStringLiteral("Medical_List_Information"));
            int seq = 0;
            for (const Dated &d : visits) {
                list.child()
                    .leaf(QStringLiteral("Perform_Date"),
                          d.date.toString(QStringLiteral("yyyy-MM-dd")))
                    .leaf(QStringLiteral("Department_Code"),
                          Or(Str(d.item, "department"), QStringLiteral("01")))
                    .leaf(QStringLiteral("Department_Name"),
                          Or(Str(d.item, "department_name"), QStringLiteral("内科")))
                    .leaf(QStringLiteral("Sequential_Number"), QString::number(++seq))
                    .leaf(QStringLiteral("Insurance_Combination_Number"), QStringLiteral("0001"));
            }
            return Xml(out);
        }
        // class 02: the treatment of the day with its drugs.
        const Dated &firstVisit = visits.first();
        out.leaf(QStringLiteral("Perform_Date"),
                 firstVisit.date.toString(QStringLiteral("yyyy-MM-dd")))
            .leaf(QStringLiteral("Department_Code"),
                  Or(Str(firstVisit.item, "department"), QStringLiteral("01")))
            .leaf(QStringLiteral("Department_Name"),
                  Or(Str(firstVisit.item, "department_name"), QStringLiteral("内科")));
        XmlNode &list = out.array(QStringLiteral("Medical_Information"));
        for (const Dated &d : visits) {
            for (const QJsonValue &ov : d.item.value(QStringLiteral("orders")).toArray()) {
                const QJsonObject order = ov.toObject();
                XmlNode &c = list.child();
                c.leaf(QStringLiteral("Medical_Class"), Str(order, "class"))
                    .leaf(QStringLiteral("Medical_Class_Name"), Str(order, "class_name"))
                    .leaf(QStringLiteral("Medical_Class_Number"), Str(order, "count"));
                XmlNode &items = c.array(QStringLiteral("Medication_info"));
                for (const QJsonValue &iv : order.value(QStringLiteral("items")).toArray()) {
                    const QJsonObject item = iv.toObject();
                    items.child()
                        .leaf(QStringLiteral("Medication_Code"), Str(item, "code"))
                        .leaf(QStringLiteral("Medication_Name"), Str(item, "name"))
                        .leaf(QStringLiteral("Medication_Number"), Str(item, "qty"))
                        .leaf(QStringLiteral("Unit_Code_Name"), Str(item, "unit"));
                }
            }
        }
        return Xml(out);
    }

    return Plain(404, "404 Not Found\n");
}

HandlerResult OrcaApi::handleControl(const HttpRequest &request) {
    HandlerResult result;
    const QByteArray body(request.body.data(), qsizetype(request.body.size()));
    const std::string &path = request.path;
    const bool post = request.method == "POST";
    auto ok = [] { return Json(200, QJsonDocument(QJsonObject{{QStringLiteral("ok"), true}})); };
    QJsonParseError perr{};
    const QJsonDocument json = post ? QJsonDocument::fromJson(body, &perr) : QJsonDocument();

    if (path == "/_control/requests" && request.method == "GET") {
        result.response = Json(200, QJsonDocument(m_control.requests()));
    } else if (path == "/_control/faults" && request.method == "GET") {
        result.response = Json(200, QJsonDocument(m_control.pendingFaults()));
    } else if (path == "/_control/reset" && post) {
        m_control.reset();
        result.response = ok();
    } else if (path == "/_control/fault" && post) {
        QString error;
        if (!json.isObject())
            result.response = JsonError(400, QStringLiteral("JSON object expected"));
        else if (!m_control.addFault(json.object(), &error))
            result.response = JsonError(400, error);
        else
            result.response = ok();
    } else if (path == "/_control/patient" && post) {
        QJsonArray patients = json.isArray() ? json.array() : QJsonArray{json.object()};
        bool good = !json.isNull();
        for (const QJsonValue &v : patients)
            good = good && v.isObject() && m_store.putPatient(v.toObject());
        result.response = good ? ok() : JsonError(400, QStringLiteral("patient needs an \"id\""));
    } else if (path == "/_control/reception" && post) {
        const QJsonObject o = json.object();
        const QDate day = m_store.resolveDate(o.value(QStringLiteral("date")).toString());
        if (!m_store.putReception(day, o.value(QStringLiteral("entries")).toArray()))
            result.response = JsonError(400, QStringLiteral("valid \"date\" expected"));
        else
            result.response = ok();
    } else {
        result.response = JsonError(404, QStringLiteral("unknown control path"));
    }
    return result;
}

} // namespace standin
