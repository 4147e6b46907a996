// The online APIs: other institutions' drug information (onlinedruggetv2),
// medical information (onlinemedgetv2) and specific health checkups
// (onlinespecgetv2), as the online qualification service hands them to ORCA.
#include "Answers.h"

#include <QJsonArray>
#include <QMap>

#include <algorithm>
#include <optional>

namespace standin {

namespace {

const QString kDone = QStringLiteral("処理終了");
const QString kNoData = QStringLiteral("対象がありませんでした");
const QString kTooMany = QStringLiteral("該当件数が上限を超えたため、一部を返却しました");

// An "01" answer covers six months; each month lists at most this many
// institution entries.
constexpr int kWindowMonths = 6;
constexpr int kEntriesPerMonth = 20;
// Checkup answers: dates in an "01" answer, result items in an "02" answer.
constexpr int kCheckupDates = 20;
constexpr int kCheckupItems = 200;

// The request up to the patient: checks shared by the three APIs.
struct OnlineRequest {
    QString record;
    QString number;                     // Request_Number
    QString sentId;                     // Patient_ID as sent
    std::optional<QJsonObject> patient; // set when the request may go on
    std::optional<XmlNode> error;       // the answer when it may not
};

OnlineRequest StartOnline(const ApiCall &call, const QString &record, const QStringList &numbers) {
    OnlineRequest r{record, call.doc.value("Request_Number"), call.doc.value("Patient_ID"), {}, {}};
    if (!call.doc.wellFormed) {
        r.error = AnswerRecord(record, QStringLiteral("E99"),
                               QStringLiteral("リクエストデータに誤りがあります"), QString());
    } else if (!numbers.contains(r.number)) {
        r.error = AnswerRecord(record, QStringLiteral("E02"),
                               QStringLiteral("リクエスト番号が不正です"), QString());
    } else if (r.sentId.isEmpty()) {
        r.error = AnswerRecord(record, QStringLiteral("E01"),
                               QStringLiteral("患者番号の設定がありません"), QString());
    } else if (!(r.patient = call.store.findPatient(r.sentId))) {
        // The number comes back as it was sent.
        r.error = AnswerRecord(record, QStringLiteral("E10"),
                               QStringLiteral("患者番号に該当する患者が存在しません"), QString());
        r.error->record(QStringLiteral("Patient_Information"))
            .leaf(QStringLiteral("Patient_ID"), r.sentId);
    }
    return r;
}

// Header and patient of an answer about a known patient.
XmlNode PatientAnswer(const OnlineRequest &r, const QString &result, const QString &message) {
    XmlNode out = AnswerRecord(r.record, result, message, QString());
    AddPatientInformation(out, *r.patient);
    return out;
}

QString DrugInOut(const QJsonObject &entry) {
    const QString given = Str(entry, "inout");
    if (!given.isEmpty())
        return given;
    return IsPharmacyCode(Str(entry, "institution_code")) ? QStringLiteral("4")
                                                          : QStringLiteral("2");
}

QString MedicalInOut(const QJsonObject &entry) {
    return Or(Str(entry, "inout"), QStringLiteral("2"));
}

// A number ORCA always writes: "0" when the data has none.
QString Number(const QJsonObject &o, const char *key) {
    return Or(TrimBlanks(Str(o, key)), QStringLiteral("0"));
}

// The entries of one list that a request selects (InOut, MeTrDiHCd and
// PrlsHCd filter when given), each with its InOut settled.
QList<Dated> Selected(const ApiCall &call, const QJsonObject &patient, const char *list,
                      bool drug) {
    const QString inOut = call.doc.value("InOut");
    const QString hCd = call.doc.value("MeTrDiHCd");
    const QString pCd = call.doc.value("PrlsHCd");
    QList<Dated> out;
    for (Dated d : DatedItems(call.store, patient, list)) {
        const QString io = drug ? DrugInOut(d.item) : MedicalInOut(d.item);
        if ((!inOut.isEmpty() && io != inOut) ||
            (!hCd.isEmpty() && Str(d.item, "institution_code") != hCd) ||
            (!pCd.isEmpty() && Str(d.item, "prescriber_code") != pCd))
            continue;
        d.item.insert(QStringLiteral("inout"), io);
        out.append(d);
    }
    return out;
}

// Request "01" of the drug and medical APIs: for each month of the window,
// newest first, which institutions appear. Without a month the window starts
// at last month; with one it ends with that month.
QByteArray MonthList(const ApiCall &call, const OnlineRequest &r, bool drug) {
    const QString monthText = call.doc.value("MeTrMonth");
    QDate newest = monthText.isEmpty()
                       ? QDate(call.today.year(), call.today.month(), 1).addMonths(-1)
                       : ParseMonth(monthText);
    if (!newest.isValid()) {
        XmlNode out = PatientAnswer(r, QStringLiteral("E11"), QStringLiteral("診療年月が不正です"));
        out.leaf(QStringLiteral("MeTrMonth"), monthText);
        return RenderAnswer(out);
    }
    const QDate oldest = newest.addMonths(1 - kWindowMonths);
    const QDate end = newest.addMonths(1);

    // month -> key -> entry; keys sort as ORCA lists them.
    QMap<QString, QMap<QString, QJsonObject>> months;
    for (const Dated &d : Selected(call, *r.patient, drug ? "drugs" : "medical", drug)) {
        if (d.date < oldest || d.date >= end)
            continue;
        const QJsonObject &e = d.item;
        const QString code = Str(e, "institution_code");
        const QString key = drug ? code + u'|' + Str(e, "prescriber_code")
                                 : Str(e, "inout") + u'|' + code + u'|' + Str(e, "prescriber_code");
        QMap<QString, QJsonObject> &entries = months[MonthText(d.date)];
        if (!entries.contains(key))
            entries.insert(key, e);
    }
    bool cut = false;
    XmlNode list(XmlNode::Kind::Array, QStringLiteral("MeTrMonth_Information"));
    for (auto m = months.constEnd(); m != months.constBegin();) {
        --m;
        XmlNode &month = list.child();
        month.leaf(QStringLiteral("MeTrMonth"), m.key());
        XmlNode &entries = month.array(QStringLiteral("MeTrD_Inf"));
        int count = 0;
        for (const QJsonObject &e : m.value()) {
            if (++count > kEntriesPerMonth) {
                cut = true;
                break;
            }
            XmlNode &c = entries.child();
            c.leaf(QStringLiteral("MeTrDiHCd"), Str(e, "institution_code"))
                .leaf(QStringLiteral("MeTrDiHNm"), Str(e, "institution_name"))
                .leaf(QStringLiteral("PrlsHCd"), Str(e, "prescriber_code"))
                .leaf(QStringLiteral("PrlsHNm"), Str(e, "prescriber_name"));
            if (!drug)
                c.leaf(QStringLiteral("InOut"), Str(e, "inout"));
        }
    }
    XmlNode out = months.isEmpty() ? PatientAnswer(r, QStringLiteral("E50"), kNoData)
                  : cut            ? PatientAnswer(r, QStringLiteral("W52"), kTooMany)
                                   : PatientAnswer(r, QStringLiteral("000"), kDone);
    out.leaf(QStringLiteral("MeTrMonth"), monthText);
    out.append(std::move(list));
    return RenderAnswer(out);
}

// The drug "02" answer: every dispensing day of one month with its drugs,
// grouped by InOut (1 inpatient, 2 outpatient, 4 dispensed by a pharmacy).
QByteArray DrugMonth(const ApiCall &call, const OnlineRequest &r) {
    const QString monthText = call.doc.value("MeTrMonth");
    const QDate month = ParseMonth(monthText);
    if (!month.isValid()) {
        XmlNode out = PatientAnswer(r, QStringLiteral("E11"), QStringLiteral("診療年月が不正です"));
        out.leaf(QStringLiteral("MeTrMonth"), monthText);
        return RenderAnswer(out);
    }
    // InOut -> (day, dispenser, prescriber) -> the day's entries, in date order.
    QMap<QString, QList<QPair<QString, QList<Dated>>>> groups;
    for (const Dated &d : Selected(call, *r.patient, "drugs", true)) {
        if (d.date.year() != month.year() || d.date.month() != month.month())
            continue;
        const QString key = d.date.toString(QStringLiteral("dd")) + u'|' +
                            Str(d.item, "institution_code") + u'|' + Str(d.item, "prescriber_code");
        auto &days = groups[Str(d.item, "inout")];
        auto it = std::find_if(days.begin(), days.end(),
                               [&key](const auto &day) { return day.first == key; });
        if (it == days.end())
            days.append({key, {d}});
        else
            it->second.append(d);
    }
    if (groups.isEmpty()) {
        XmlNode out = PatientAnswer(r, QStringLiteral("E50"), kNoData);
        out.leaf(QStringLiteral("MeTrMonth"), monthText);
        return RenderAnswer(out);
    }
    XmlNode out = PatientAnswer(r, QStringLiteral("000"), kDone);
    out.leaf(QStringLiteral("MeTrMonth"), monthText);
    AddQualification(out, *r.patient);
    XmlNode &inOuts = out.array(QStringLiteral("MeTrMonthInf"));
    for (auto g = groups.constBegin(); g != groups.constEnd(); ++g) {
        XmlNode &io = inOuts.child();
        io.leaf(QStringLiteral("InOut"), g.key());
        XmlNode &days = io.record(QStringLiteral("DiDateInfs")).array(QStringLiteral("DiDateInf"));
        for (const auto &[key, entries] : g.value()) {
            const Dated &first = entries.first();
            const QJsonObject &e = first.item;
            // The prescription's date: given, or for a pharmacy the day itself.
            QDate prescribed = call.store.resolveDate(Str(e, "prescribed"));
            if (!prescribed.isValid() && g.key() == QStringLiteral("4"))
                prescribed = first.date;
            XmlNode &day = days.child();
            day.leaf(QStringLiteral("DiDay"), first.date.toString(QStringLiteral("dd")))
                .leaf(QStringLiteral("PrDate"),
                      prescribed.isValid() ? DateText(prescribed) : QString())
                .leaf(QStringLiteral("MeTrDiHCd"), Str(e, "institution_code"))
                .leaf(QStringLiteral("MeTrDiHNm"), Str(e, "institution_name"))
                .leaf(QStringLiteral("PrlsHCd"), Str(e, "prescriber_code"))
                .leaf(QStringLiteral("PrlsHNm"), Str(e, "prescriber_name"));
            XmlNode &drugs =
                day.record(QStringLiteral("DrugInfs")).array(QStringLiteral("DrugInf"));
            for (const Dated &entry : entries) {
                for (const QJsonValue &v : entry.item.value(QStringLiteral("items")).toArray()) {
                    const QJsonObject item = v.toObject();
                    drugs.child()
                        .leaf(QStringLiteral("MeTrIdCl"), Str(item, "class"))
                        .leaf(QStringLiteral("UsageN"), Str(item, "usage"))
                        .leaf(QStringLiteral("DrugC"), Str(item, "code"))
                        .leaf(QStringLiteral("DrugN"), Str(item, "name"))
                        .leaf(QStringLiteral("IngreN"), Str(item, "ingredient"))
                        .leaf(QStringLiteral("Unit"), Str(item, "unit"))
                        .leaf(QStringLiteral("Qua1"), Number(item, "qty"))
                        .leaf(QStringLiteral("OnDose"), Number(item, "dose"))
                        .leaf(QStringLiteral("Times"), Number(item, "times"));
                }
            }
        }
    }
    return RenderAnswer(out);
}

// The medical "02" answer has a root of its own: one member per treatment
// day and institution, each holding a record "data"; the header only in the
// first.
QByteArray MedicalDays(const ApiCall &call, const OnlineRequest &r) {
    XmlNode root(XmlNode::Kind::Array, QStringLiteral("xml_onlinemedgetv2res2"));
    const QString monthText = call.doc.value("MeTrMonth");
    const QDate month = ParseMonth(monthText);
    struct Day {
        QString key;
        QList<Dated> entries;
    };
    QList<Day> days;
    if (month.isValid()) {
        for (const Dated &d : Selected(call, *r.patient, "medical", false)) {
            if (d.date.year() != month.year() || d.date.month() != month.month())
                continue;
            const QString key = DateText(d.date) + u'|' + Str(d.item, "institution_code") + u'|' +
                                Str(d.item, "inout");
            auto it = std::find_if(days.begin(), days.end(),
                                   [&key](const Day &day) { return day.key == key; });
            if (it == days.end())
                days.append({key, {d}});
            else
                it->entries.append(d);
        }
    }
    XmlNode header = !month.isValid() ? PatientAnswer(r, QStringLiteral("E11"),
                                                      QStringLiteral("診療年月が不正です"))
                     : days.isEmpty() ? PatientAnswer(r, QStringLiteral("E50"), kNoData)
                                      : PatientAnswer(r, QStringLiteral("000"), kDone);
    if (days.isEmpty()) {
        root.child().append(std::move(header));
        return RenderDocument(root);
    }
    AddQualification(header, *r.patient);
    bool first = true;
    for (const Day &day : days) {
        XmlNode data = first ? header : XmlNode(XmlNode::Kind::Record, QStringLiteral("data"));
        first = false;
        const Dated &head = day.entries.first();
        XmlNode &inf = data.record(QStringLiteral("MeTrMonthInf"));
        inf.leaf(QStringLiteral("InOut"), Str(head.item, "inout"))
            .leaf(QStringLiteral("MeTrDiHCd"), Str(head.item, "institution_code"))
            .leaf(QStringLiteral("MeTrDiHNm"), Str(head.item, "institution_name"));
        XmlNode &date =
            inf.record(QStringLiteral("DiDateInfs")).record(QStringLiteral("DiDateInf"));
        date.leaf(QStringLiteral("DiDate"), DateText(head.date));
        XmlNode &items = date.record(QStringLiteral("MeTrInfs")).array(QStringLiteral("MeTrInf"));
        for (const Dated &entry : day.entries) {
            for (const QJsonValue &v : entry.item.value(QStringLiteral("items")).toArray()) {
                const QJsonObject item = v.toObject();
                items.child()
                    .leaf(QStringLiteral("MeTrIdCl"), Str(item, "class"))
                    .leaf(QStringLiteral("SinInfCd"), Str(item, "code"))
                    .leaf(QStringLiteral("SinInfN"), Str(item, "name"))
                    .leaf(QStringLiteral("Qua1"), Number(item, "qty"))
                    .leaf(QStringLiteral("Qua2"), Number(item, "qty2"))
                    .leaf(QStringLiteral("Times"), Number(item, "times"));
            }
        }
        root.child().append(std::move(data));
    }
    return RenderDocument(root);
}

} // namespace

QByteArray AnswerOnlineDrug(const ApiCall &call) {
    const OnlineRequest r = StartOnline(call, QStringLiteral("onlinedruggetres"),
                                        {QStringLiteral("01"), QStringLiteral("02")});
    if (r.error) {
        XmlNode out = *r.error;
        out.leaf(QStringLiteral("MeTrMonth"), call.doc.value("MeTrMonth"));
        return RenderAnswer(out);
    }
    return r.number == QStringLiteral("01") ? MonthList(call, r, true) : DrugMonth(call, r);
}

QByteArray AnswerOnlineMed(const ApiCall &call) {
    // The "02" answer's records are named "data" under a root of their own.
    const bool days =
        call.doc.wellFormed && call.doc.value("Request_Number") == QStringLiteral("02");
    const OnlineRequest r =
        StartOnline(call, days ? QStringLiteral("data") : QStringLiteral("onlinemedgetres"),
                    {QStringLiteral("01"), QStringLiteral("02")});
    if (r.error) {
        XmlNode out = *r.error;
        if (days) {
            XmlNode root(XmlNode::Kind::Array, QStringLiteral("xml_onlinemedgetv2res2"));
            root.child().append(std::move(out));
            return RenderDocument(root);
        }
        out.leaf(QStringLiteral("MeTrMonth"), call.doc.value("MeTrMonth"));
        return RenderAnswer(out);
    }
    return r.number == QStringLiteral("01") ? MonthList(call, r, false) : MedicalDays(call, r);
}

QByteArray AnswerOnlineSpec(const ApiCall &call) {
    const OnlineRequest r = StartOnline(call, QStringLiteral("onlinespecgetres"),
                                        {QStringLiteral("01"), QStringLiteral("02")});
    if (r.error)
        return RenderAnswer(*r.error);
    const QList<Dated> checkups = DatedItems(call.store, *r.patient, "checkups");
    if (r.number == QStringLiteral("01")) {
        // Every checkup date, newest first.
        QStringList dates;
        for (auto it = checkups.crbegin(); it != checkups.crend(); ++it) {
            if (!dates.contains(DateText(it->date)))
                dates << DateText(it->date);
        }
        if (dates.isEmpty())
            return RenderAnswer(PatientAnswer(r, QStringLiteral("E50"), kNoData));
        const bool cut = dates.size() > kCheckupDates;
        XmlNode out = cut ? PatientAnswer(r, QStringLiteral("E51"), kTooMany)
                          : PatientAnswer(r, QStringLiteral("000"), kDone);
        XmlNode &list = out.array(QStringLiteral("EffectiveTime_Information"));
        for (const QString &d : dates.mid(0, kCheckupDates))
            list.child().leaf(QStringLiteral("EffectiveTime"), d);
        return RenderAnswer(out);
    }
    // "02": the results of the checkup of one day.
    const QString dayText = call.doc.value("EffectiveTime");
    const QDate day = QDate::fromString(dayText, QStringLiteral("yyyy-MM-dd"));
    if (!day.isValid()) {
        XmlNode out =
            PatientAnswer(r, QStringLiteral("E11"), QStringLiteral("実施年月日が不正です"));
        out.leaf(QStringLiteral("Req_EffectiveTime"), dayText);
        return RenderAnswer(out);
    }
    XmlNode list(XmlNode::Kind::Array, QStringLiteral("SpecificHealthCheckupInfo"));
    int items = 0;
    bool found = false;
    for (const Dated &c : checkups) {
        if (c.date != day)
            continue;
        found = true;
        XmlNode &info = list.child();
        info.leaf(QStringLiteral("EffectiveTime"), DateText(c.date));
        XmlNode &results = info.record(QStringLiteral("HealthCheckupResultAndQuestionInfos"))
                               .array(QStringLiteral("HealthCheckupResultAndQuestionInfo"));
        for (const QJsonValue &v : c.item.value(QStringLiteral("items")).toArray()) {
            if (++items > kCheckupItems)
                break;
            const QJsonObject item = v.toObject();
            results.child()
                .leaf(QStringLiteral("ItemCode"), Str(item, "code"))
                .leaf(QStringLiteral("ItemName"), Str(item, "name"))
                .leaf(QStringLiteral("DataType"), Or(Str(item, "type"), QStringLiteral("PQ")))
                .leaf(QStringLiteral("DataValue"), Str(item, "value"))
                .leaf(QStringLiteral("Unit"), Str(item, "unit"));
        }
    }
    XmlNode out = !found                  ? PatientAnswer(r, QStringLiteral("E50"), kNoData)
                  : items > kCheckupItems ? PatientAnswer(r, QStringLiteral("E52"), kTooMany)
                                          : PatientAnswer(r, QStringLiteral("000"), kDone);
    out.leaf(QStringLiteral("Req_EffectiveTime"), dayText);
    if (found) {
        AddQualification(out, *r.patient);
        out.append(std::move(list));
    }
    return RenderAnswer(out);
}

} // namespace standin
