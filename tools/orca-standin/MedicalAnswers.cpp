// medicalgetv2: the clinic's own medical records. Class 01 lists the visits
// of the month of the date asked for, class 02 gives one visit with its
// orders and drugs, class 03 a month's items with their calendar of days.
#include "Answers.h"

#include <QJsonArray>
#include <QMap>

#include <algorithm>

namespace standin {

namespace {

const QString kReskey = QStringLiteral("Medical Info");
const QString kDone = QStringLiteral("処理終了");

QString Department(const QJsonObject &visit) {
    return Or(Str(visit, "department"), QStringLiteral("01"));
}

QString DepartmentName(const QJsonObject &visit) {
    return Or(Str(visit, "department_name"), QStringLiteral("内科"));
}

// Order classes are kept as two digits ("21") or three ("210"); class 02
// writes three, class 03 two.
QString Class3(const QString &cls) {
    return cls.size() == 2 ? cls + u'0' : cls;
}

QString Class2(const QString &cls) {
    return cls.left(2);
}

// A visit with its number among the visits of its day and department.
struct Visit {
    QDate date;
    QJsonObject item;
    int sequence = 1;
};

QList<Visit> Visits(const ApiCall &call, const QJsonObject &patient, const QString &department) {
    QList<Visit> out;
    QHash<QString, int> counts;
    for (const Dated &d : DatedItems(call.store, patient, "visits")) {
        const QString dept = Department(d.item);
        if (!department.isEmpty() && dept != department)
            continue;
        out.append({d.date, d.item, ++counts[DateText(d.date) + u'|' + dept]});
    }
    return out;
}

void AddInsurance(XmlNode &parent, const QJsonObject &patient) {
    const QJsonObject ins = Insurance(patient);
    parent
        .leaf(QStringLiteral("Insurance_Combination_Number"),
              Or(Str(ins, "combination"), QStringLiteral("0001")))
        .record(QStringLiteral("HealthInsurance_Information"))
        .leaf(QStringLiteral("InsuranceProvider_Class"), Str(ins, "class"))
        .leaf(QStringLiteral("InsuranceProvider_WholeName"), Str(ins, "name"))
        .leaf(QStringLiteral("InsuranceProvider_Number"), Str(ins, "number"))
        .leaf(QStringLiteral("HealthInsuredPerson_Symbol"), Str(ins, "symbol"))
        .leaf(QStringLiteral("HealthInsuredPerson_Number"), Str(ins, "insured_number"));
}

XmlNode Class01(const QList<Visit> &visits, const QDate &month, XmlNode out,
                const QJsonObject &patient) {
    XmlNode &list = out.array(QStringLiteral("Medical_List_Information"));
    for (const Visit &v : visits) {
        if (v.date.year() != month.year() || v.date.month() != month.month())
            continue;
        XmlNode &c = list.child();
        c.leaf(QStringLiteral("Perform_Date"), DateText(v.date))
            .leaf(QStringLiteral("Department_Code"), Department(v.item))
            .leaf(QStringLiteral("Department_Name"), DepartmentName(v.item))
            .leaf(QStringLiteral("Sequential_Number"), QString::number(v.sequence));
        AddInsurance(c, patient);
        c.leaf(QStringLiteral("Invoice_Number"), Str(v.item, "invoice"))
            .leaf(QStringLiteral("CreateDate"), DateText(v.date))
            .leaf(QStringLiteral("UpdateDate"), DateText(v.date))
            .leaf(QStringLiteral("UpdateTime"), Str(v.item, "time"));
    }
    return out;
}

XmlNode Class02(const Visit &v, XmlNode out, const QJsonObject &patient) {
    out.leaf(QStringLiteral("Perform_Date"), DateText(v.date))
        .leaf(QStringLiteral("Department_Code"), Department(v.item))
        .leaf(QStringLiteral("Department_Name"), DepartmentName(v.item))
        .leaf(QStringLiteral("Sequential_Number"), QString::number(v.sequence));
    XmlNode &record = out.array(QStringLiteral("Medical_List_Information")).child();
    AddInsurance(record, patient);
    record.leaf(QStringLiteral("Invoice_Number"), Str(v.item, "invoice"));
    XmlNode &orders = record.array(QStringLiteral("Medical_Information"));
    for (const QJsonValue &ov : v.item.value(QStringLiteral("orders")).toArray()) {
        const QJsonObject order = ov.toObject();
        XmlNode &o = orders.child();
        o.leaf(QStringLiteral("Medical_Class"), Class3(Str(order, "class")))
            .leaf(QStringLiteral("Medical_Class_Name"), Str(order, "class_name"))
            .leaf(QStringLiteral("Medical_Class_Number"),
                  Or(Str(order, "count"), QStringLiteral("1")))
            .leaf(QStringLiteral("Medical_Class_Point"), Str(order, "point"))
            .leaf(QStringLiteral("Medical_Class_Money"), QStringLiteral("0"))
            .leaf(QStringLiteral("Medical_Class_code"), QStringLiteral("0"));
        XmlNode &items = o.array(QStringLiteral("Medication_info"));
        for (const QJsonValue &iv : order.value(QStringLiteral("items")).toArray()) {
            const QJsonObject item = iv.toObject();
            // A line without a quantity counts once; "qty": "" leaves it blank.
            const QString qty =
                item.contains(QStringLiteral("qty")) ? Str(item, "qty") : QStringLiteral("1");
            items.child()
                .leaf(QStringLiteral("Medication_Code"), Str(item, "code"))
                .leaf(QStringLiteral("Medication_Name"), Str(item, "name"))
                .leaf(QStringLiteral("Medication_Number"), qty)
                .leaf(QStringLiteral("Unit_Code"), Str(item, "unit_code"))
                .leaf(QStringLiteral("Unit_Code_Name"), Str(item, "unit"))
                .leaf(QStringLiteral("Medication_Point"), Str(item, "point"));
        }
    }
    return out;
}

// Class 03: one member per class and item of the month, classes ascending.
// Usage and comment lines (codes beginning with 0) are not items.
struct MonthItem {
    QString cls, className, code, name, unitCode, unit;
    QString calendar = QString(31, u'0');
    QMap<int, QString> dayNumbers; // drugs: day -> days supplied
};

bool Class03(const QList<Visit> &visits, const QDate &month, XmlNode &out) {
    QList<MonthItem> items;
    for (const Visit &v : visits) {
        if (v.date.year() != month.year() || v.date.month() != month.month())
            continue;
        for (const QJsonValue &ov : v.item.value(QStringLiteral("orders")).toArray()) {
            const QJsonObject order = ov.toObject();
            const QString cls = Class2(Str(order, "class"));
            for (const QJsonValue &iv : order.value(QStringLiteral("items")).toArray()) {
                const QJsonObject item = iv.toObject();
                const QString code = Str(item, "code");
                if (code.isEmpty() || code.startsWith(u'0'))
                    continue;
                auto it = std::find_if(items.begin(), items.end(), [&](const MonthItem &m) {
                    return m.cls == cls && m.code == code;
                });
                if (it == items.end()) {
                    MonthItem m;
                    m.cls = cls;
                    m.className = Str(order, "class_name");
                    m.code = code;
                    m.name = Str(item, "name");
                    m.unitCode = Str(item, "unit_code");
                    m.unit = Str(item, "unit");
                    items.append(m);
                    it = items.end() - 1;
                }
                it->calendar[v.date.day() - 1] = u'1';
                if (code.startsWith(u'6') && !it->dayNumbers.contains(v.date.day()))
                    it->dayNumbers.insert(v.date.day(),
                                          Or(Str(order, "count"), QStringLiteral("1")));
            }
        }
    }
    if (items.isEmpty())
        return false;
    std::stable_sort(items.begin(), items.end(),
                     [](const MonthItem &a, const MonthItem &b) { return a.cls < b.cls; });
    out.leaf(QStringLiteral("Perform_Date"), MonthText(month));
    XmlNode &list = out.array(QStringLiteral("Medical_List_Information"));
    for (const MonthItem &m : items) {
        XmlNode &c = list.child();
        c.leaf(QStringLiteral("Medical_Class"), m.cls)
            .leaf(QStringLiteral("Medical_Class_Name"), m.className)
            .leaf(QStringLiteral("Medication_Code"), m.code)
            .leaf(QStringLiteral("Medication_Name"), m.name)
            .leaf(QStringLiteral("Unit_Code"), m.unitCode)
            .leaf(QStringLiteral("Unit_Code_Name"), m.unit)
            .leaf(QStringLiteral("Medical_Class_code"), QStringLiteral("0"))
            .leaf(QStringLiteral("Perform_Total_Number"),
                  QString::asprintf("%02d", int(m.calendar.count(u'1'))))
            .leaf(QStringLiteral("Perform_Calendar"), m.calendar);
        XmlNode &days = c.array(QStringLiteral("Perform_Day_Information"));
        for (auto d = m.dayNumbers.constBegin(); d != m.dayNumbers.constEnd(); ++d) {
            days.child()
                .leaf(QStringLiteral("Perform_Day"), QString::asprintf("%02d", d.key()))
                .leaf(QStringLiteral("Perform_Day_Number"), d.value());
        }
    }
    return true;
}

} // namespace

QByteArray AnswerMedicalGet(const ApiCall &call) {
    const QString cls = call.query.value(QStringLiteral("class"));
    if (cls != QStringLiteral("01") && cls != QStringLiteral("02") && cls != QStringLiteral("03"))
        return RenderAnswer(AnswerRecord(QStringLiteral("medicalgetres"), QStringLiteral("91"),
                                         QStringLiteral("処理区分が不正です"), kReskey));
    const QString record = QStringLiteral("medicalget") + cls + QStringLiteral("res");
    auto fail = [&](const char *code, const char *message) {
        return RenderAnswer(
            AnswerRecord(record, QLatin1String(code), QString::fromUtf8(message), kReskey));
    };
    if (!call.doc.wellFormed)
        return fail("99", "リクエストデータに誤りがあります");
    const QString id = call.doc.value("Patient_ID");
    if (id.isEmpty())
        return fail("01", "患者番号の設定がありません");
    // ORCA pads the number to the clinic's length before it looks it up.
    const auto patient = call.store.findPatient(id, DataStore::IdMatch::Padded);
    if (!patient)
        return fail("10", "患者番号に該当する患者が存在しません");

    // Perform_Date: a day, or for classes 01 and 03 also a month; without
    // one the system date counts and the answer carries the warning K1.
    const QString perform = call.doc.value("Perform_Date");
    QDate day =
        perform.isEmpty() ? call.today : QDate::fromString(perform, QStringLiteral("yyyy-MM-dd"));
    const QDate month = perform.size() == 7 ? ParseMonth(perform)
                        : day.isValid()     ? QDate(day.year(), day.month(), 1)
                                            : QDate();
    if (!month.isValid() || (cls == QStringLiteral("02") && !day.isValid()))
        return fail("14", "診療日付が不正です");

    const QList<Visit> visits = Visits(call, *patient, call.doc.value("Department_Code"));
    const QString result = perform.isEmpty() ? QStringLiteral("K1") : QStringLiteral("00");
    const QString message =
        perform.isEmpty() ? QStringLiteral("診療日付の設定がないため、システム日付で処理しました")
                          : kDone;
    XmlNode out = AnswerRecord(record, result, message, kReskey);
    AddPatientInformation(out, *patient);
    XmlNode none = AnswerRecord(record, QStringLiteral("15"),
                                QStringLiteral("該当する診療情報がありません"), kReskey);
    AddPatientInformation(none, *patient);

    if (cls == QStringLiteral("01")) {
        const bool any = std::any_of(visits.begin(), visits.end(), [&](const Visit &v) {
            return v.date.year() == month.year() && v.date.month() == month.month();
        });
        return RenderAnswer(any ? Class01(visits, month, out, *patient) : none);
    }
    if (cls == QStringLiteral("02")) {
        const int wanted = qMax(1, call.doc.value("Sequential_Number").toInt());
        for (const Visit &v : visits) {
            if (v.date == day && v.sequence == wanted)
                return RenderAnswer(Class02(v, out, *patient));
        }
        return RenderAnswer(none);
    }
    return RenderAnswer(Class03(visits, month, out) ? out : none);
}

} // namespace standin
