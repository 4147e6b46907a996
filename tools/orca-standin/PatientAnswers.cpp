// patientgetv2 (one patient) and acceptlstv2 (the acceptances of one day).
#include "Answers.h"

#include <QJsonArray>

namespace standin {

namespace {

const QString kPatientReskey = QStringLiteral("Patient Info");
const QString kDone = QStringLiteral("処理終了");

// "0.30" and "３割" for a burden of "3" (tenths), as the insurance card says.
QString BurdenRate(const QJsonObject &ins) {
    const QString rate = Str(ins, "rate");
    if (!rate.isEmpty())
        return rate;
    const QString tenths = Str(ins, "assistance");
    return tenths.size() == 1 && tenths.at(0).isDigit() ? QStringLiteral("0.%10").arg(tenths)
                                                        : QString();
}

QString BurdenName(const QJsonObject &ins) {
    const QString tenths = Str(ins, "assistance");
    if (tenths.size() != 1 || !tenths.at(0).isDigit())
        return {};
    return QChar(u'０' + (tenths.at(0).unicode() - u'0')) + QStringLiteral("割");
}

// Certificate dates: "start" and "end" may be relative days like every date.
QString CertificateDate(const DataStore &store, const QJsonObject &ins, const char *key) {
    const QString text = Str(ins, key);
    const QDate d = store.resolveDate(text);
    return d.isValid() ? DateText(d) : text;
}

// The insurance leaves of patientgetv2 (with the burden rates and name) and
// of acceptlstv2 (with the branch number), in ORCA's order.
enum class InsuranceForm { Patient, Reception };

void AddInsuranceLeaves(XmlNode &node, const DataStore &store, const QJsonObject &patient,
                        InsuranceForm form) {
    const QJsonObject ins = Insurance(patient);
    const bool full = form == InsuranceForm::Patient;
    node.leaf(QStringLiteral("Insurance_Combination_Number"),
              Or(Str(ins, "combination"), QStringLiteral("0001")));
    if (full) {
        node.leaf(QStringLiteral("InsuranceCombination_Rate_Admission"), BurdenRate(ins))
            .leaf(QStringLiteral("InsuranceCombination_Rate_Outpatient"), BurdenRate(ins));
    }
    node.leaf(QStringLiteral("Insurance_Nondisplay"), QStringLiteral("N"))
        .leaf(QStringLiteral("InsuranceProvider_Class"), Str(ins, "class"))
        .leaf(QStringLiteral("InsuranceProvider_Number"), Str(ins, "number"))
        .leaf(QStringLiteral("InsuranceProvider_WholeName"), Str(ins, "name"))
        .leaf(QStringLiteral("HealthInsuredPerson_Symbol"), Str(ins, "symbol"))
        .leaf(QStringLiteral("HealthInsuredPerson_Number"), Str(ins, "insured_number"));
    if (!full)
        node.leaf(QStringLiteral("HealthInsuredPerson_Branch_Number"), Str(ins, "branch"));
    node.leaf(QStringLiteral("HealthInsuredPerson_Assistance"), Str(ins, "assistance"));
    if (full)
        node.leaf(QStringLiteral("HealthInsuredPerson_Assistance_Name"), BurdenName(ins));
    node.leaf(QStringLiteral("RelationToInsuredPerson"), QStringLiteral("1"))
        .leaf(QStringLiteral("HealthInsuredPerson_WholeName"), Str(patient, "name"))
        .leaf(QStringLiteral("Certificate_StartDate"), CertificateDate(store, ins, "start"))
        .leaf(QStringLiteral("Certificate_ExpiredDate"),
              Or(CertificateDate(store, ins, "end"), QStringLiteral("9999-12-31")));
}

} // namespace

QByteArray AnswerPatientGet(const ApiCall &call) {
    const QString record = QStringLiteral("patientinfores");
    const QString id = TrimBlanks(call.query.value(QStringLiteral("id")));
    if (id.isEmpty())
        return RenderAnswer(AnswerRecord(record, QStringLiteral("01"),
                                         QStringLiteral("患者番号の設定がありません"),
                                         kPatientReskey));
    // ORCA pads the number to the clinic's length before it looks it up.
    const auto patient = call.store.findPatient(id, DataStore::IdMatch::Padded);
    if (!patient)
        return RenderAnswer(AnswerRecord(record, QStringLiteral("10"),
                                         QStringLiteral("患者番号に該当する患者が存在しません"),
                                         kPatientReskey));
    const QJsonObject &p = *patient;
    XmlNode out = AnswerRecord(record, QStringLiteral("00"), kDone, kPatientReskey);
    XmlNode &info = out.record(QStringLiteral("Patient_Information"));
    info.leaf(QStringLiteral("Patient_ID"), Str(p, "id"))
        .leaf(QStringLiteral("WholeName"), Str(p, "name"))
        .leaf(QStringLiteral("WholeName_inKana"), Str(p, "kana"))
        .leaf(QStringLiteral("BirthDate"), Str(p, "birth"))
        .leaf(QStringLiteral("Sex"), Str(p, "sex"))
        .leaf(QStringLiteral("HouseHolder_WholeName"), Str(p, "householder"))
        .leaf(QStringLiteral("Relationship"), Str(p, "relationship"));
    info.record(QStringLiteral("Home_Address_Information"))
        .leaf(QStringLiteral("Address_ZipCode"), Str(p, "zip"))
        .leaf(QStringLiteral("WholeAddress1"), Str(p, "address"))
        .leaf(QStringLiteral("WholeAddress2"), Str(p, "address2"))
        .leaf(QStringLiteral("PhoneNumber1"), Str(p, "phone"));
    info.leaf(QStringLiteral("Allergy1"), Str(p, "allergy"))
        .leaf(QStringLiteral("TestPatient_Flag"), QStringLiteral("0"));
    // First and last visit: the clinic's own records up to today.
    QDate first, last;
    for (const Dated &d : DatedItems(call.store, p, "visits")) {
        if (d.date > call.today)
            continue;
        if (!first.isValid())
            first = d.date;
        last = d.date;
    }
    info.leaf(QStringLiteral("FirstVisit_Date"), first.isValid() ? DateText(first) : QString())
        .leaf(QStringLiteral("LastVisit_Date"), last.isValid() ? DateText(last) : QString());
    if (!Insurance(p).isEmpty())
        AddInsuranceLeaves(info.array(QStringLiteral("HealthInsurance_Information")).child(),
                           call.store, p, InsuranceForm::Patient);
    return RenderAnswer(out);
}

QByteArray AnswerAcceptList(const ApiCall &call) {
    const QString record = QStringLiteral("acceptlstres");
    const QString cls = call.query.value(QStringLiteral("class"));
    if (cls != QStringLiteral("01") && cls != QStringLiteral("02") && cls != QStringLiteral("03"))
        return RenderAnswer(AnswerRecord(record, QStringLiteral("91"),
                                         QStringLiteral("処理区分が不正です"), kPatientReskey));
    if (!call.doc.wellFormed)
        return RenderAnswer(AnswerRecord(record, QStringLiteral("99"),
                                         QStringLiteral("リクエストデータに誤りがあります"),
                                         kPatientReskey));
    const QString dateText = call.doc.value("Acceptance_Date");
    const QDate day =
        dateText.isEmpty() ? call.today : QDate::fromString(dateText, QStringLiteral("yyyy-MM-dd"));
    if (!day.isValid())
        return RenderAnswer(AnswerRecord(record, QStringLiteral("11"),
                                         QStringLiteral("受付日付が不正です"), kPatientReskey));
    // Class 01: still in reception; 02: settled; 03: all.
    const QString department = call.doc.value("Department_Code");
    struct Shown {
        QJsonObject entry;
        int number; // position in the day's whole list: the acceptance number
    };
    QList<Shown> shown;
    int number = 0;
    for (const QJsonValue &v : call.store.reception(day)) {
        const QJsonObject e = v.toObject();
        ++number;
        const bool settled = !Str(e, "account_time").isEmpty();
        if ((cls == QStringLiteral("01") && settled) || (cls == QStringLiteral("02") && !settled))
            continue;
        if (!department.isEmpty() && department != Or(Str(e, "department"), QStringLiteral("01")))
            continue;
        shown.append({e, number});
    }
    XmlNode out =
        shown.isEmpty()
            ? AnswerRecord(record, QStringLiteral("21"),
                           QStringLiteral("対象の受付はありませんでした。"), kPatientReskey)
            : AnswerRecord(record, QStringLiteral("00"), kDone, kPatientReskey);
    out.leaf(QStringLiteral("Acceptance_Date"), DateText(day));
    XmlNode &list = out.array(QStringLiteral("Acceptlst_Information"));
    int order = 0;
    for (const Shown &s : shown) {
        const QJsonObject &e = s.entry;
        const QString id = Str(e, "id");
        const QJsonObject p = call.store.findPatient(id).value_or(QJsonObject{});
        XmlNode &c = list.child();
        c.leaf(QStringLiteral("Acceptance_Time"), Or(Str(e, "time"), QStringLiteral("09:00:00")))
            .leaf(QStringLiteral("Acceptance_Id"),
                  Or(Str(e, "accept_id"), QString::asprintf("%05d", s.number)))
            .leaf(QStringLiteral("Department_Code"), Or(Str(e, "department"), QStringLiteral("01")))
            .leaf(QStringLiteral("Department_WholeName"),
                  Or(Str(e, "department_name"), QStringLiteral("内科")))
            .leaf(QStringLiteral("Physician_Code"),
                  Or(Str(e, "physician_code"), QStringLiteral("10001")))
            .leaf(QStringLiteral("Physician_WholeName"), Str(e, "physician_name"))
            .leaf(QStringLiteral("Medical_Information"),
                  Or(Str(e, "medical_information"), QStringLiteral("01")))
            .leaf(QStringLiteral("Claim_Infometion"), QStringLiteral("0"));
        if (cls == QStringLiteral("01"))
            c.leaf(QStringLiteral("Display_Order"), QString::number(++order));
        else
            c.leaf(QStringLiteral("Account_Time"), Str(e, "account_time"));
        c.leaf(QStringLiteral("Appointment_Time"), Str(e, "appointment_time"))
            .leaf(QStringLiteral("Appointment_Id"), Str(e, "appointment_id"));
        c.record(QStringLiteral("Patient_Information"))
            .leaf(QStringLiteral("Patient_ID"), id)
            .leaf(QStringLiteral("WholeName"), Or(Str(e, "name"), Str(p, "name")))
            .leaf(QStringLiteral("WholeName_inKana"), Or(Str(e, "kana"), Str(p, "kana")))
            .leaf(QStringLiteral("BirthDate"), Str(p, "birth"))
            .leaf(QStringLiteral("Sex"), Str(p, "sex"));
        if (!Insurance(p).isEmpty())
            AddInsuranceLeaves(c.record(QStringLiteral("HealthInsurance_Information")), call.store,
                               p, InsuranceForm::Reception);
    }
    return RenderAnswer(out);
}

} // namespace standin
