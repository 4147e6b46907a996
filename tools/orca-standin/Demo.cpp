#include "Demo.h"

#include <QJsonObject>
#include <QList>
#include <QString>

#include <algorithm>
#include <cstdint>

namespace standin {

namespace {

// Fixed-seed generator: the demo is the same for the same start day.
class Rng {
public:
    explicit Rng(uint32_t seed) : m_state(seed * 2654435761u + 12345u) {}
    uint32_t next() {
        m_state = m_state * 1664525u + 1013904223u;
        return m_state >> 8;
    }
    int below(int n) { return n > 0 ? int(next() % uint32_t(n)) : 0; }

private:
    uint32_t m_state;
};

struct Inst {
    const char *code;
    const char *name;
};

// Fictional institutions. The third digit of the code is the fee table:
// 1 medical, 3 dental, 4 pharmacy.
const Inst kMidori{"1310100011", "みどり台内科クリニック"};
const Inst kKohoku{"1310200022", "港北見本総合病院"};
const Inst kSakuraOrtho{"1310300033", "さくら坂整形外科"};
const Inst kHikariDerm{"1310400044", "ひかり皮膚科医院"};
const Inst kHigashi{"1310500055", "東町架空診療所"};
const Inst kAobaEye{"1310600066", "青葉眼科クリニック"};
const Inst kKomorebi{"1310700077", "こもれび耳鼻咽喉科"};
const Inst kUniversity{"1310900090", "みなと見本大学病院"};
const Inst kShirakaba{"1311000101", "しらかば心療内科"};
const Inst kTsubasa{"1311100112", "つばさ泌尿器科クリニック"};
const Inst kKaede{"1311200123", "かえで婦人科医院"};
const Inst kHoshizora{"1311300134", "ほしぞら脳神経外科"};
const Inst kDental{"1330900099", "中央見本歯科"};
const Inst kEgao{"1331000105", "えがお見本歯科医院"};
const Inst kAobaPh{"1340100018", "あおば見本薬局"};
const Inst kHimawariPh{"1340200029", "ひまわり調剤薬局"};
const Inst kSakuraPh{"1340300030", "さくら坂薬局　駅前店"};
const Inst kMinatoPh{"1340400041", "みなと通り薬局"};
const Inst kKoharuPh{"1340500052", "こはる見本薬局"};
const Inst kOwn{kDemoInstitutionCode, kDemoInstitutionName};

// --- Other institutions' prescriptions (online drug information) ---

struct OnlineDrug {
    const char *code;
    const char *name;
    const char *ingredient;
    const char *unit;
    const char *qty;  // per day (internal) or in all
    const char *dose; // per dose
    const char *usage;
};

struct Regimen {
    const char *cls; // 21 internal, 22 as needed, 23 external
    int times;       // days for 21, times or 1 for the others
    QList<OnlineDrug> drugs;
};

const OnlineDrug kCelecoxib{
    "620100101",       "セレコキシブ錠１００ｍｇ「見本」", "セレコキシブ", "錠", "2", "1",
    "１日２回朝夕食後"};
const OnlineDrug kRebamipideOn{
    "620100102",       "レバミピド錠１００ｍｇ「見本」", "レバミピド", "錠", "2", "1",
    "１日２回朝夕食後"};
const OnlineDrug kLoxoTape{"620100103",
                           "ロキソプロフェンＮａテープ１００ｍｇ「見本」",
                           "ロキソプロフェンナトリウム水和物",
                           "枚",
                           "14",
                           "0",
                           "１日１回患部に貼付"};
const OnlineDrug kLatanoprost{"620100104",
                              "ラタノプロスト点眼液０．００５％「見本」",
                              "ラタノプロスト",
                              "ｍＬ",
                              "2.5",
                              "0",
                              "１日１回両眼に点眼"};
const OnlineDrug kSumatriptan{
    "620100105", "スマトリプタン錠５０ｍｇ「見本」", "スマトリプタンコハク酸塩", "錠", "1", "1",
    "頭痛時"};
const OnlineDrug kKamishoyosan{
    "620100106", "加味逍遙散エキス顆粒（医療用）", "加味逍遙散", "包", "3", "1", "１日３回毎食前"};
const OnlineDrug kTamsulosin{"620100107",
                             "タムスロシン塩酸塩ＯＤ錠０．２ｍｇ「見本」",
                             "タムスロシン塩酸塩",
                             "錠",
                             "1",
                             "1",
                             "１日１回朝食後"};
const OnlineDrug kBisoprolol{"620100108",
                             "ビソプロロールフマル酸塩錠２．５ｍｇ「見本」",
                             "ビソプロロールフマル酸塩",
                             "錠",
                             "1",
                             "1",
                             "１日１回朝食後"};
const OnlineDrug kFurosemide{
    "620100109", "フロセミド錠２０ｍｇ「見本」", "フロセミド", "錠", "1", "1", "１日１回朝食後"};
const OnlineDrug kEsomeprazoleOn{"620100110",
                                 "エソメプラゾールカプセル２０ｍｇ「見本」",
                                 "エソメプラゾールマグネシウム水和物",
                                 "カプセル",
                                 "1",
                                 "1",
                                 "１日１回朝食後"};
const OnlineDrug kBetaGenta{
    "620100111",
    "ベタメタゾン吉草酸エステル・ゲンタマイシン硫酸塩軟膏０．１２％「見本製薬」",
    "ベタメタゾン吉草酸エステル・ゲンタマイシン硫酸塩",
    "ｇ",
    "10",
    "0",
    "１日２回患部に塗布"};
const OnlineDrug kHeparinoidOn{"620100112",
                               "ヘパリン類似物質油性クリーム０．３％「見本製薬」",
                               "ヘパリン類似物質",
                               "ｇ",
                               "50",
                               "0",
                               "１日２回患部に塗布"};
const OnlineDrug kEmpaLina{
    "620100113",
    "エンパグリフロジン・リナグリプチン配合錠（２５ｍｇ／５ｍｇ）「見本製薬」",
    "エンパグリフロジン・リナグリプチン",
    "錠",
    "1",
    "1",
    "１日１回朝食前又は朝食後"};
const OnlineDrug kInhaler{"620100114",
                          "フルチカゾンフランカルボン酸エステル・ビランテロールトリフェニル酢酸塩吸"
                          "入用２００μｇエリプタ３"
                          "０吸入用",
                          "フルチカゾンフランカルボン酸エステル・ビランテロールトリフェニル酢酸塩",
                          "キット",
                          "1",
                          "0",
                          "１日１回１吸入"};
const OnlineDrug kMontelukast{
    "620100115",     "モンテルカスト錠５ｍｇ「見本」", "モンテルカストナトリウム", "錠", "1", "1",
    "１日１回就寝前"};
const OnlineDrug kFexofenadine{"620100116",
                               "フェキソフェナジン塩酸塩錠３０ｍｇ「見本」",
                               "フェキソフェナジン塩酸塩",
                               "錠",
                               "2",
                               "1",
                               "１日２回朝夕食後"};
const OnlineDrug kMometasone{"620100117",
                             "モメタゾン点鼻液５０μｇ「見本」５６噴霧用",
                             "モメタゾンフランカルボン酸エステル水和物",
                             "瓶",
                             "1",
                             "0",
                             "１日１回各鼻腔に２噴霧"};
const OnlineDrug kCarboOn{
    "620100118",     "カルボシステイン錠５００ｍｇ「見本」", "Ｌ−カルボシステイン", "錠", "3", "1",
    "１日３回毎食後"};
const OnlineDrug kClarith{"620100119",
                          "クラリスロマイシン錠２００ｍｇ「見本」",
                          "クラリスロマイシン",
                          "錠",
                          "2",
                          "1",
                          "１日２回朝夕食後"};
const OnlineDrug kAcetaOn{
    "620100120", "アセトアミノフェン錠２００ｍｇ「見本」", "アセトアミノフェン", "錠", "2", "2",
    "発熱時"};
const OnlineDrug kAmlodipineOn{
    "620100121",     "アムロジピン錠５ｍｇ「見本」", "アムロジピンベシル酸塩", "錠", "1", "1",
    "１日１回朝食後"};
const OnlineDrug kRosuvaOn{"620100122",
                           "ロスバスタチン錠２．５ｍｇ「見本」",
                           "ロスバスタチンカルシウム",
                           "錠",
                           "1",
                           "1",
                           "１日１回朝食後"};
const OnlineDrug kEdoxaban{"620100123",
                           "エドキサバン錠３０ｍｇ「見本」",
                           "エドキサバントシル酸塩水和物",
                           "錠",
                           "1",
                           "1",
                           "１日１回朝食後"};

const Regimen kOrtho{"21", 14, {kCelecoxib, kRebamipideOn}};
const Regimen kOrthoTape{"23", 1, {kLoxoTape}};
const Regimen kEye{"23", 1, {kLatanoprost}};
const Regimen kMigraine{"22", 6, {kSumatriptan}};
const Regimen kKampo{"21", 28, {kKamishoyosan}};
const Regimen kProstate{"21", 28, {kTamsulosin}};
const Regimen kHeart{"21", 56, {kBisoprolol, kFurosemide, kEsomeprazoleOn}};
const Regimen kDerm{"23", 1, {kBetaGenta, kHeparinoidOn}};
const Regimen kDiabetesLong{"21", 28, {kEmpaLina}};
const Regimen kInhalerLong{"23", 1, {kInhaler}};
const Regimen kAllergy{"21", 30, {kMontelukast, kFexofenadine}};
const Regimen kAllergyNose{"23", 1, {kMometasone}};
const Regimen kCold{"21", 5, {kCarboOn, kClarith}};
const Regimen kFever{"22", 5, {kAcetaOn}};
const Regimen kPressure{"21", 28, {kAmlodipineOn, kRosuvaOn}};
const Regimen kAnticoag{"21", 84, {kEdoxaban}};

// --- The clinic's own records ---

struct OwnDrug {
    const char *code;
    const char *name;
    const char *qty;
    const char *unit;
};

struct OwnOrder {
    const char *cls; // three digits, as class 02 writes them
    const char *className;
    int count; // days for 210, times for 220, 1 for 230
    const char *usageCode;
    const char *usage;
    QList<OwnDrug> drugs;
};

const OwnDrug kAmlodipine{"620000101", "アムロジピンＯＤ錠５ｍｇ「見本」", "1", "錠"};
const OwnDrug kLansoprazole{"620000102", "ランソプラゾールＯＤ錠１５ｍｇ「見本」", "1", "錠"};
const OwnDrug kTelmisartan{"620000103", "テルミサルタン錠４０ｍｇ「見本」", "1", "錠"};
const OwnDrug kEzetimibe{"620000104", "エゼチミブ錠１０ｍｇ「見本」", "1", "錠"};
const OwnDrug kMetformin{"620000105", "メトホルミン塩酸塩錠２５０ｍｇＭＴ「見本」", "2", "錠"};
const OwnDrug kSitagliptin{"620000106", "シタグリプチン錠５０ｍｇ「見本」", "1", "錠"};
const OwnDrug kFebuxostat{"620000107", "フェブキソスタット錠２０ｍｇ「見本」", "1", "錠"};
const OwnDrug kZolpidem{"620000108", "ゾルピデム酒石酸塩錠５ｍｇ「見本」", "1", "錠"};
const OwnDrug kMagnesium{"620000109", "酸化マグネシウム錠３３０ｍｇ「見本」", "3", "錠"};
const OwnDrug kLoxoprofen{"620000110", "ロキソプロフェンナトリウム錠６０ｍｇ「見本」", "3", "錠"};
const OwnDrug kRebamipide{"620000111", "レバミピド錠１００ｍｇ「見本」", "3", "錠"};
const OwnDrug kCarbocisteine{"620000112", "カルボシステイン錠５００ｍｇ「見本」", "3", "錠"};
const OwnDrug kDextro{"620000113", "デキストロメトルファン臭化水素酸塩錠１５ｍｇ「見本」", "3",
                      "錠"};
const OwnDrug kAcetaminophen{"620000114", "アセトアミノフェン錠２００ｍｇ「見本」", "2", "錠"};
const OwnDrug kHeparinoid{"620000115", "ヘパリン類似物質油性クリーム０．３％「見本」", "25", "ｇ"};
const OwnDrug kCarboSyrup{"620000116", "カルボシステインＤＳ５０％「見本」", "1.2", "ｇ"};
const OwnDrug kAmbroxol{"620000117", "アンブロキソール塩酸塩ＤＳ１．５％「見本」", "0.9", "ｇ"};
const OwnDrug kAcetaFine{"620000118", "アセトアミノフェン細粒２０％「見本」", "0.5", "ｇ"};
const OwnDrug kEsomeprazole{
    "620000119", "エソメプラゾールマグネシウム水和物カプセル２０ｍｇ「見本製薬」", "1", "カプセル"};
const OwnDrug kRosuvastatin{
    "620000120", "ロスバスタチンカルシウム口腔内崩壊錠２．５ｍｇ「見本製薬」", "1", "錠"};
const OwnDrug kBetamethasone{"620000121", "ベタメタゾン吉草酸エステル軟膏０．１２％「見本」", "10",
                             "ｇ"};
const OwnDrug kOlopatadine{"620000122", "オロパタジン塩酸塩錠５ｍｇ「見本」", "2", "錠"};

const char *kMorning = "【１日１回朝食後に】";
const char *kThrice = "【１日３回毎食後に】";
const char *kTwice = "【１日２回朝夕食後に】";

OwnOrder Internal(int days, QList<OwnDrug> drugs, const char *usage = kMorning) {
    const char *code = usage == kThrice ? "001000203" : usage == kTwice ? "001000302" : "001000101";
    return {"210", "内服薬剤", days, code, usage, std::move(drugs)};
}

const OwnOrder kPainRelief{"220", "頓服薬剤", 5, "001000811", "【疼痛時に】", {kAcetaminophen}};
const OwnOrder kSkinCare{"230",        "外用薬剤", 1, "001000901", "【１日２回患部に塗布】",
                         {kHeparinoid}};
const OwnOrder kSteroid{"230",           "外用薬剤", 1, "001000901", "【１日２回患部に塗布】",
                        {kBetamethasone}};

// Departments of the demo clinic and their physicians.
struct Department {
    const char *code;
    const char *name;
    const char *physicianCode;
    const char *physicianName;
};
const Department kInternal{"01", "内科", "10001", "湊　正樹"};
const Department kPaediatrics{"09", "小児科", "10002", "見本　彩"};
const Department kDermatology{"13", "皮膚科", "10002", "見本　彩"};

QString DateText(const QDate &d) {
    return d.toString(QStringLiteral("yyyy-MM-dd"));
}

QString TimeText(int minutes, int seconds) {
    return QStringLiteral("%1:%2:%3")
        .arg(minutes / 60, 2, 10, QLatin1Char('0'))
        .arg(minutes % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString FullWidthDigits(const QString &ascii) {
    QString out = ascii;
    for (QChar &c : out) {
        if (c >= u'0' && c <= u'9')
            c = QChar(c.unicode() - u'0' + 0xFF10);
    }
    return out;
}

QJsonObject InstFields(const char *prefix, const Inst &inst) {
    return {{QLatin1String(prefix) + QStringLiteral("_code"), QLatin1String(inst.code)},
            {QLatin1String(prefix) + QStringLiteral("_name"), QString::fromUtf8(inst.name)}};
}

QJsonObject Merge(QJsonObject a, const QJsonObject &b) {
    for (auto it = b.constBegin(); it != b.constEnd(); ++it)
        a.insert(it.key(), it.value());
    return a;
}

QJsonObject Procedure(const char *cls, const char *code, const char *name) {
    return {{QStringLiteral("class"), QLatin1String(cls)},
            {QStringLiteral("code"), QLatin1String(code)},
            {QStringLiteral("name"), QString::fromUtf8(name)},
            {QStringLiteral("times"), QStringLiteral("1")}};
}

// One patient of the demo, built up entry by entry.
class DemoPatient {
public:
    DemoPatient(const QDate &today, int index, const char *id, const char *name, const char *kana,
                const char *birth, const char *sex)
        : m_today(today), m_index(index), m_rng(uint32_t(index + 1)) {
        m_patient = {{QStringLiteral("id"), QLatin1String(id)},
                     {QStringLiteral("name"), QString::fromUtf8(name)},
                     {QStringLiteral("kana"), QString::fromUtf8(kana)},
                     {QStringLiteral("birth"), QLatin1String(birth)},
                     {QStringLiteral("sex"), QLatin1String(sex)}};
        m_birth = QDate::fromString(QLatin1String(birth), QStringLiteral("yyyy-MM-dd"));
        static const char *const streets[] = {"みなと町", "見本台", "架空坂",
                                              "港南",     "仮野",   "青葉通"};
        m_patient.insert(QStringLiteral("zip"), QStringLiteral("10800%1").arg(10 + index * 3));
        m_patient.insert(QStringLiteral("address"),
                         QStringLiteral("東京都見本区") + QString::fromUtf8(streets[index % 6]));
        m_patient.insert(
            QStringLiteral("address2"),
            FullWidthDigits(
                QStringLiteral("%1−%2−%3").arg(1 + index % 5).arg(2 + index % 7).arg(3 + index)));
        m_patient.insert(QStringLiteral("phone"),
                         QStringLiteral("03-0000-%1").arg(1000 + index * 37, 4, 10, QChar(u'0')));
        insure();
    }

    QDate ago(int days) const { return m_today.addDays(-days); }
    // A day in the month `monthsAgo` before this one, never after today.
    QDate monthDay(int monthsAgo, int day) const {
        const QDate first = QDate(m_today.year(), m_today.month(), 1).addMonths(-monthsAgo);
        const QDate d(first.year(), first.month(), std::min(day, first.daysInMonth()));
        return std::min(d, m_today);
    }
    int age() const {
        int age = m_today.year() - m_birth.year();
        if (m_today.month() * 100 + m_today.day() < m_birth.month() * 100 + m_birth.day())
            --age;
        return age;
    }

    // Other institutions: one dispensing with the visit it came from. A
    // pharmacy dispenses with the prescriber named; an institution without a
    // pharmacy dispenses in house.
    void dispensed(const QDate &day, const Inst &dispenser, const Inst *prescriber,
                   const QList<Regimen> &regimens, const char *inOut = nullptr) {
        QJsonArray items;
        for (const Regimen &r : regimens) {
            for (const OnlineDrug &d : r.drugs) {
                items.append(
                    QJsonObject{{QStringLiteral("class"), QLatin1String(r.cls)},
                                {QStringLiteral("usage"), QString::fromUtf8(d.usage)},
                                {QStringLiteral("code"), QLatin1String(d.code)},
                                {QStringLiteral("name"), QString::fromUtf8(d.name)},
                                {QStringLiteral("ingredient"), QString::fromUtf8(d.ingredient)},
                                {QStringLiteral("unit"), QString::fromUtf8(d.unit)},
                                {QStringLiteral("qty"), QLatin1String(d.qty)},
                                {QStringLiteral("dose"), QLatin1String(d.dose)},
                                {QStringLiteral("times"), QString::number(r.times)}});
            }
        }
        QJsonObject entry{{QStringLiteral("date"), DateText(day)},
                          {QStringLiteral("items"), items}};
        entry = Merge(entry, InstFields("institution", dispenser));
        if (prescriber)
            entry = Merge(entry, InstFields("prescriber", *prescriber));
        if (inOut)
            entry.insert(QStringLiteral("inout"), QLatin1String(inOut));
        m_drugs.append(entry);
        const Inst &clinic = prescriber ? *prescriber : dispenser;
        if (QLatin1String(clinic.code) != QLatin1String(kOwn.code))
            treated(day, clinic, inOut ? inOut : "2");
        if (prescriber)
            treated(day, dispenser, "4");
    }

    // Other institutions' medical information: one treatment day.
    void treated(const QDate &day, const Inst &inst, const char *inOut = "2") {
        QJsonArray items;
        const char feeTable = inst.code[2]; // 1 medical, 3 dental, 4 pharmacy
        if (feeTable == '4') {
            items = {Procedure("80", "", "調剤基本料１"), Procedure("80", "", "服薬管理指導料")};
        } else if (QLatin1String(inOut) == QLatin1String("1")) {
            items = {Procedure("90", "190117710", "急性期一般入院料６"),
                     Procedure("60", "160008010", "末梢血液一般検査")};
        } else if (feeTable == '3') {
            items = {Procedure("12", "302000110", "再診料（歯科）"),
                     Procedure("40", "309002110", "歯周基本治療（スケーリング）")};
        } else {
            items = {Procedure("12", "112007410", "再診料"),
                     Procedure("12", "112011010", "外来管理加算")};
        }
        m_medical.append(Merge(QJsonObject{{QStringLiteral("date"), DateText(day)},
                                           {QStringLiteral("inout"), QLatin1String(inOut)},
                                           {QStringLiteral("items"), items}},
                               InstFields("institution", inst)));
    }

    // A specific health checkup with plausible results.
    void checkup(const QDate &day) {
        const bool male = m_patient.value(QStringLiteral("sex")).toString() == QStringLiteral("1");
        const double height = (male ? 164.0 : 151.0) + m_rng.below(140) / 10.0;
        const double weight = (male ? 56.0 : 45.0) + m_rng.below(260) / 10.0;
        const double bmi = weight / (height / 100.0) / (height / 100.0);
        auto item = [](const char *code, const char *name, const QString &value, const char *unit,
                       const char *type = "PQ") {
            QJsonObject o{{QStringLiteral("code"), QLatin1String(code)},
                          {QStringLiteral("name"), QString::fromUtf8(name)},
                          {QStringLiteral("type"), QLatin1String(type)},
                          {QStringLiteral("value"), value}};
            if (*unit)
                o.insert(QStringLiteral("unit"), QLatin1String(unit));
            return o;
        };
        const QJsonArray items{
            item("9N001000000000001", "身長", QString::number(height, 'f', 1), "cm"),
            item("9N006000000000001", "体重", QString::number(weight, 'f', 1), "kg"),
            item("9N011000000000001", "ＢＭＩ", QString::number(bmi, 'f', 1), "kg/m2"),
            item("9N016160100000001", "腹囲（実測）",
                 QString::number((male ? 78.0 : 72.0) + m_rng.below(200) / 10.0, 'f', 1), "cm"),
            item("9A751000000000001", "収縮期血圧（その他）",
                 QString::number(108 + m_rng.below(45)), "mmHg"),
            item("9A761000000000001", "拡張期血圧（その他）", QString::number(64 + m_rng.below(28)),
                 "mmHg"),
            item("3F015000002327101", "中性脂肪（トリグリセリド）",
                 QString::number(60 + m_rng.below(160)), "mg/dl"),
            item("3F070000002327101", "ＨＤＬコレステロール", QString::number(38 + m_rng.below(45)),
                 "mg/dl"),
            item("3F077000002327101", "ＬＤＬコレステロール", QString::number(80 + m_rng.below(90)),
                 "mg/dl"),
            item("3D046000001906202", "ＨｂＡ１ｃ（ＮＧＳＰ値）",
                 QString::number(5.0 + m_rng.below(22) / 10.0, 'f', 1), "%"),
            item("1A020000000190111", "尿糖", QString::number(1 + m_rng.below(2)), "", "CO"),
        };
        m_checkups.append(
            QJsonObject{{QStringLiteral("date"), DateText(day)}, {QStringLiteral("items"), items}});
    }

    // The clinic's own visit: its orders, its record in the online medical
    // information, and (for a past day) its settled reception. With
    // `dispensedBy` the prescription appears in the online drug information
    // as dispensed by that pharmacy with the clinic as prescriber.
    void visit(const QDate &day, const Department &dept, const QList<OwnOrder> &prescribed,
               const Inst *dispensedBy = nullptr, bool management = false) {
        QJsonArray orders;
        if (m_visits.isEmpty()) {
            orders.append(Order("110", "初診料", 1, {Procedure("11", "111000110", "初診料")}));
        } else {
            orders.append(Order("120", "再診料", 1,
                                {Procedure("12", "112007410", "再診料"),
                                 Procedure("12", "112011010", "外来管理加算")}));
        }
        if (management)
            orders.append(Order("130", "管理料", 1,
                                {Procedure("13", "113001810", "特定疾患療養管理料（診療所）")}));
        QList<Regimen> online;
        for (const OwnOrder &o : prescribed) {
            QJsonArray items;
            QList<OnlineDrug> drugs;
            for (const OwnDrug &d : o.drugs) {
                QJsonObject line{{QStringLiteral("code"), QLatin1String(d.code)},
                                 {QStringLiteral("name"), QString::fromUtf8(d.name)},
                                 {QStringLiteral("qty"), QLatin1String(d.qty)},
                                 {QStringLiteral("unit"), QString::fromUtf8(d.unit)}};
                if (QString::fromUtf8(d.unit) == QStringLiteral("錠"))
                    line.insert(QStringLiteral("unit_code"), QStringLiteral("016"));
                items.append(line);
                drugs.append({d.code, d.name, "", d.unit, d.qty, "1", ""});
            }
            items.append(QJsonObject{{QStringLiteral("code"), QLatin1String(o.usageCode)},
                                     {QStringLiteral("name"), QString::fromUtf8(o.usage)},
                                     {QStringLiteral("qty"), QStringLiteral("1")}});
            orders.append(Order(o.cls, o.className, o.count, items));
            const char *cls = o.cls[1] == '1' ? "21" : o.cls[1] == '2' ? "22" : "23";
            online.append({cls, o.count, drugs});
        }
        if (!prescribed.isEmpty()) {
            orders.append(dispensedBy ? Order("250", "処方料", 1,
                                              {Procedure("25", "120002910", "処方箋料（その他）")})
                                      : Order("250", "処方料", 1,
                                              {Procedure("25", "120000710", "処方料（その他）")}));
        }
        const int arrival = 9 * 60 + m_rng.below(7 * 60);
        const QString accountTime = TimeText(arrival + 20 + m_rng.below(40), m_rng.below(60));
        m_visits.append(QJsonObject{
            {QStringLiteral("date"), DateText(day)},
            {QStringLiteral("department"), QLatin1String(dept.code)},
            {QStringLiteral("department_name"), QString::fromUtf8(dept.name)},
            {QStringLiteral("invoice"),
             QString::asprintf("%07d", int((day.toJulianDay() % 20000) * 40 + m_index))},
            {QStringLiteral("time"), accountTime},
            {QStringLiteral("orders"), orders}});
        treated(day, kOwn);
        if (dispensedBy && !prescribed.isEmpty() && day < m_today)
            dispensed(day, *dispensedBy, &kOwn, online);
        if (day < m_today)
            m_receptions.append(
                {day, reception(dept, TimeText(arrival, m_rng.below(60)), accountTime)});
    }

    // A reception entry of this patient.
    QJsonObject reception(const Department &dept, const QString &time,
                          const QString &accountTime = QString()) const {
        QJsonObject e{{QStringLiteral("id"), m_patient.value(QStringLiteral("id"))},
                      {QStringLiteral("time"), time},
                      {QStringLiteral("department"), QLatin1String(dept.code)},
                      {QStringLiteral("department_name"), QString::fromUtf8(dept.name)},
                      {QStringLiteral("physician_code"), QLatin1String(dept.physicianCode)},
                      {QStringLiteral("physician_name"), QString::fromUtf8(dept.physicianName)}};
        if (!accountTime.isEmpty())
            e.insert(QStringLiteral("account_time"), accountTime);
        return e;
    }

    QJsonObject patient() const {
        QJsonObject p = m_patient;
        p.insert(QStringLiteral("drugs"), m_drugs);
        p.insert(QStringLiteral("medical"), m_medical);
        p.insert(QStringLiteral("checkups"), m_checkups);
        p.insert(QStringLiteral("visits"), m_visits);
        return p;
    }

    const QList<QPair<QDate, QJsonObject>> &receptions() const { return m_receptions; }

    // Settles today's visit of a patient who arrived at `arrival` (minutes):
    // the visit's record carries the account time, which is returned.
    QString settleToday(int arrival) {
        const QString time = TimeText(arrival + 25 + m_rng.below(30), m_rng.below(60));
        for (qsizetype i = 0; i < m_visits.size(); ++i) {
            QJsonObject v = m_visits.at(i).toObject();
            if (v.value(QStringLiteral("date")).toString() == DateText(m_today)) {
                v.insert(QStringLiteral("time"), time);
                m_visits.replace(i, v);
            }
        }
        return time;
    }

private:
    static QJsonObject Order(const char *cls, const char *name, int count,
                             const QJsonArray &items) {
        return {{QStringLiteral("class"), QLatin1String(cls)},
                {QStringLiteral("class_name"), QString::fromUtf8(name)},
                {QStringLiteral("count"), QString::number(count)},
                {QStringLiteral("items"), items}};
    }

    // Insurance by age: late-stage elderly from 75, otherwise the national
    // health insurance or the employees' association, children at 20 %.
    void insure() {
        const int years = age();
        const QString number = QString::number(12345 + m_index * 7919);
        QJsonObject ins;
        if (years >= 75) {
            ins = {
                {QStringLiteral("class"), QStringLiteral("039")},
                {QStringLiteral("number"), QStringLiteral("39130017")},
                {QStringLiteral("name"), QStringLiteral("後期高齢")},
                {QStringLiteral("insured_number"), FullWidthDigits(number + QStringLiteral("01"))},
                {QStringLiteral("assistance"), QStringLiteral("1")}};
        } else if (m_index % 2 == 0) {
            ins = {{QStringLiteral("class"), QStringLiteral("060")},
                   {QStringLiteral("number"), QStringLiteral("138057")},
                   {QStringLiteral("name"), QStringLiteral("国保")},
                   {QStringLiteral("symbol"), QStringLiteral("見本")},
                   {QStringLiteral("insured_number"), FullWidthDigits(number)},
                   {QStringLiteral("assistance"), QStringLiteral("3")}};
        } else {
            ins = {
                {QStringLiteral("class"), QStringLiteral("009")},
                {QStringLiteral("number"), QStringLiteral("01130012")},
                {QStringLiteral("name"), QStringLiteral("協会")},
                {QStringLiteral("symbol"), FullWidthDigits(QStringLiteral("7070%1").arg(m_index))},
                {QStringLiteral("insured_number"), FullWidthDigits(QString::number(m_index + 3))},
                {QStringLiteral("branch"), QStringLiteral("00")},
                {QStringLiteral("assistance"),
                 years < 6 ? QStringLiteral("2") : QStringLiteral("3")}};
        }
        ins.insert(QStringLiteral("start"), DateText(QDate(m_today.year() - 2, 4, 1)));
        m_patient.insert(QStringLiteral("insurance"), ins);
    }

    QDate m_today;
    int m_index;
    Rng m_rng;
    QDate m_birth;
    QJsonObject m_patient;
    QJsonArray m_drugs, m_medical, m_checkups, m_visits;
    QList<QPair<QDate, QJsonObject>> m_receptions;
};

// Visit days: `last`, then every `step` days back while within `span` days of
// today; the clinic is closed on Sundays, so such a day moves to Saturday.
QList<QDate> Every(const QDate &today, const QDate &last, int step, int span) {
    QList<QDate> days;
    for (QDate d = last; d >= today.addDays(-span); d = d.addDays(-step))
        days.prepend(d == last || d.dayOfWeek() != 7 ? d : d.addDays(-1));
    return days;
}

} // namespace

void BuildDemo(const QDate &today, QJsonArray *patients, QHash<QString, QJsonArray> *receptions) {
    QList<DemoPatient> all;
    // Today's list: arrival minutes after midnight, settled or still waiting.
    struct TodayEntry {
        int patient;
        int minutes;
        const Department *dept;
        bool settled;
    };
    QList<TodayEntry> todays;
    auto add = [&](DemoPatient p) {
        all.append(std::move(p));
        return int(all.size() - 1);
    };

    { // 00001: other clinics' prescriptions dispensed by pharmacies, eye
        // clinic visits without drugs in most months, own prescriptions
        // dispensed by a pharmacy, yearly checkups: ◎T.
        DemoPatient p(today, 0, "1", "見本　太郎", "ミホン　タロウ", "1948-03-12", "1");
        for (const QDate &d : Every(today, today, 28, 700))
            p.visit(d, kInternal, {Internal(28, {kAmlodipine, kLansoprazole})}, &kMinatoPh,
                    d.month() % 2 == 0);
        for (const QDate &d : Every(today, p.ago(20), 42, 450))
            p.dispensed(d, kSakuraPh, &kSakuraOrtho, {kOrtho, kOrthoTape});
        p.dispensed(p.monthDay(0, 2), kSakuraPh, &kSakuraOrtho, {kOrthoTape});
        for (const QDate &d : Every(today, p.ago(25), 30, 600)) {
            if (d.month() % 3 == 0)
                p.dispensed(d, kMinatoPh, &kAobaEye, {kEye});
            else
                p.treated(d, kAobaEye);
        }
        p.checkup(p.ago(60));
        p.checkup(p.ago(425));
        todays.append({add(p), 8 * 60 + 52, &kInternal, true});
    }
    { // 00002: checkups only, with a pharmacy's own records: T.
        DemoPatient p(today, 1, "2", "見本　花子", "ミホン　ハナコ", "1951-07-30", "2");
        for (const QDate &d : Every(today, p.ago(14), 28, 690))
            p.visit(d, kInternal, {Internal(28, {kTelmisartan, kEzetimibe})}, nullptr, true);
        p.treated(p.monthDay(3, 11), kHimawariPh, "4");
        p.treated(p.monthDay(5, 20), kHimawariPh, "4");
        p.checkup(p.ago(100));
        p.checkup(p.ago(465));
        todays.append({add(p), 10 * 60 + 41, &kInternal, false});
    }
    { // 00012: accepted twice today, the first time settled; a neurosurgeon's
        // prescriptions through a pharmacy and own ones dispensed outside: ◎.
        DemoPatient p(today, 2, "12", "架空　一郎", "カクウ　イチロウ", "1962-04-01", "1");
        for (const QDate &d : Every(today, today, 28, 680))
            p.visit(d, kInternal, {Internal(28, {kMetformin, kSitagliptin}, kTwice)}, &kMinatoPh,
                    true);
        for (const QDate &d : Every(today, p.ago(25), 60, 400))
            p.dispensed(d, kAobaPh, &kHoshizora, {kMigraine});
        const int i = add(p);
        todays.append({i, 9 * 60 + 5, &kInternal, true});
        todays.append({i, 15 * 60 + 10, &kInternal, false});
    }
    { // 00045: a dentist and an eye clinic without drugs: ◎ from medical
        // information alone.
        DemoPatient p(today, 3, "45", "試験　ゆかり", "シケン　ユカリ", "1979-11-23", "2");
        for (const QDate &d : Every(today, p.ago(30), 90, 650))
            p.visit(d, kInternal, {Internal(5, {kCarbocisteine, kDextro}, kThrice)});
        p.treated(p.monthDay(2, 10), kDental);
        p.treated(p.monthDay(3, 12), kDental);
        p.treated(p.monthDay(5, 9), kDental);
        p.treated(p.monthDay(4, 20), kAobaEye);
        p.treated(p.monthDay(9, 14), kDental);
        todays.append({add(p), 10 * 60 + 47, &kInternal, false});
    }
    { // 00103: a name outside the BMP; a gynaecologist's Kampo through a
        // pharmacy: ◎.
        DemoPatient p(today, 4, "103", "𠮷田　仮子", "ヨシダ　カリコ", "1990-02-14", "2");
        for (const QDate &d : Every(today, p.ago(1), 120, 600))
            p.visit(d, kInternal, {Internal(5, {kLoxoprofen, kRebamipide}, kThrice), kPainRelief});
        for (const QDate &d : Every(today, p.ago(10), 28, 300))
            p.dispensed(d, kKoharuPh, &kKaede, {kKampo});
        todays.append({add(p), 10 * 60 + 55, &kInternal, false});
    }
    { // 00777: only the clinic's own visits: no mark.
        DemoPatient p(today, 5, "777", "例示　健", "レイジ　ケン", "1985-09-09", "1");
        for (const QDate &d : Every(today, p.ago(1), 56, 650))
            p.visit(d, kInternal, {Internal(14, {kFebuxostat})});
        todays.append({add(p), 11 * 60 + 2, &kInternal, false});
    }
    { // 01234: first visit today, nothing anywhere yet (E50 everywhere).
        DemoPatient p(today, 6, "1234", "模擬　さくら", "モギ　サクラ", "2001-04-05", "2");
        todays.append({add(p), 11 * 60 + 10, &kInternal, false});
    }
    { // 10001: many institutions (hospital stay included): ◎.
        DemoPatient p(today, 7, "10001", "港　見本男", "ミナト　ミホオ", "1940-12-01", "1");
        for (const QDate &d : Every(today, today, 28, 700))
            p.visit(d, kInternal, {Internal(28, {kTelmisartan, kMagnesium})}, nullptr, true);
        const QDate admitted = p.monthDay(8, 6);
        p.dispensed(admitted, kKohoku, nullptr, {kHeart}, "1");
        p.treated(admitted.addDays(7), kKohoku, "1");
        for (const QDate &d : Every(today, p.ago(12), 56, 220))
            p.dispensed(d, kKohoku, nullptr, {kHeart});
        for (const QDate &d : Every(today, p.ago(30), 84, 330))
            p.dispensed(d, kSakuraPh, &kUniversity, {kAnticoag});
        for (const QDate &d : Every(today, p.ago(8), 28, 360))
            p.dispensed(d, kAobaPh, &kTsubasa, {kProstate});
        p.dispensed(p.monthDay(2, 16), kHimawariPh, &kHikariDerm, {kDerm});
        p.dispensed(p.monthDay(7, 3), kHimawariPh, &kHikariDerm, {kDerm});
        p.dispensed(p.monthDay(4, 22), kAobaPh, &kKomorebi, {kCold});
        p.dispensed(p.monthDay(10, 9), kHigashi, nullptr, {kCold, kFever});
        p.treated(p.monthDay(1, 7), kAobaEye);
        p.treated(p.monthDay(6, 7), kAobaEye);
        p.treated(p.monthDay(3, 18), kDental);
        p.treated(p.monthDay(9, 25), kEgao);
        p.treated(p.monthDay(5, 11), kHoshizora);
        p.treated(p.monthDay(2, 27), kMidori);
        p.treated(p.monthDay(11, 13), kSakuraOrtho);
        todays.append({add(p), 9 * 60 + 18, &kInternal, true});
    }
    { // 10024: long drug names, from other institutions and our own: ◎T.
        DemoPatient p(today, 8, "10024", "仮野　波子", "カリノ　ナミコ", "1957-06-18", "2");
        for (const QDate &d : Every(today, p.ago(2), 28, 690))
            p.visit(d, kInternal, {Internal(28, {kEsomeprazole, kRosuvastatin})}, nullptr,
                    d.month() % 2 == 1);
        for (const QDate &d : Every(today, p.ago(15), 60, 400))
            p.dispensed(d, kHimawariPh, &kHikariDerm, {kDerm});
        for (const QDate &d : Every(today, p.ago(40), 84, 420))
            p.dispensed(d, kSakuraPh, &kUniversity, {kDiabetesLong, kInhalerLong});
        p.checkup(p.ago(80));
        p.checkup(p.ago(440));
        todays.append({add(p), 11 * 60 + 21, &kInternal, false});
    }
    { // 10150: internal medicine and dermatology on different days of last
        // month; an in-house dispensing elsewhere: ◎T.
        DemoPatient p(today, 9, "10150", "試作　次郎", "シサク　ジロウ", "1969-01-27", "1");
        const QList<QDate> internal = Every(today, today, 28, 680);
        const QList<QDate> skin = {p.monthDay(3, 8), p.monthDay(1, 19)};
        QList<QDate> days = internal;
        for (const QDate &d : skin)
            days.append(internal.contains(d) ? d.addDays(2) : d);
        std::sort(days.begin(), days.end());
        for (const QDate &d : days) {
            if (internal.contains(d))
                p.visit(d, kInternal, {Internal(28, {kMetformin, kFebuxostat})}, nullptr, true);
            else
                p.visit(d, kDermatology,
                        {Internal(14, {kOlopatadine}, kTwice), kSteroid, kSkinCare});
        }
        p.dispensed(p.ago(200), kHigashi, nullptr, {kCold, kFever});
        p.dispensed(p.ago(130), kHigashi, nullptr, {kCold});
        p.checkup(p.ago(150));
        p.checkup(p.ago(520));
        todays.append({add(p), 9 * 60 + 33, &kInternal, true});
    }
    { // 10388: born on 29 February; orthopaedics and dermatology through
        // two pharmacies; own visits every two weeks: ◎.
        DemoPatient p(today, 10, "10388", "架空野　梅", "カクウノ　ウメ", "1936-02-29", "2");
        for (const QDate &d : Every(today, p.ago(1), 14, 420))
            p.visit(d, kInternal, {Internal(14, {kMagnesium}, kThrice), Internal(14, {kZolpidem})});
        for (const QDate &d : Every(today, p.ago(35), 42, 430))
            p.dispensed(d, kSakuraPh, &kSakuraOrtho, {kOrtho, kOrthoTape});
        for (const QDate &d : Every(today, p.ago(50), 90, 400))
            p.dispensed(d, kHimawariPh, &kHikariDerm, {kDerm});
        todays.append({add(p), 11 * 60 + 36, &kInternal, false});
    }
    { // 11002: first visit today, checkups known: T.
        DemoPatient p(today, 11, "11002", "見本川　勇", "ミホンガワ　イサム", "1975-08-15", "1");
        p.checkup(p.ago(200));
        p.checkup(p.ago(560));
        todays.append({add(p), 11 * 60 + 44, &kInternal, false});
    }
    { // 11235: eye clinic and dentist without drugs, checkups: ◎T.
        DemoPatient p(today, 12, "11235", "仮山　さつき", "カリヤマ　サツキ", "1983-05-31", "2");
        for (const QDate &d : Every(today, p.ago(45), 90, 600))
            p.visit(d, kInternal, {Internal(5, {kCarbocisteine, kDextro}, kThrice)});
        p.treated(p.monthDay(1, 15), kAobaEye);
        p.treated(p.monthDay(4, 6), kAobaEye);
        p.treated(p.monthDay(2, 3), kEgao);
        p.treated(p.monthDay(2, 17), kEgao);
        p.treated(p.monthDay(8, 21), kShirakaba);
        p.checkup(p.ago(120));
        p.checkup(p.ago(490));
        todays.append({add(p), 11 * 60 + 58, &kInternal, false});
    }
    { // 12001: acute visits only: no mark.
        DemoPatient p(today, 13, "12001", "例田　翔", "レイダ　ショウ", "1995-10-10", "1");
        for (const QDate &d : Every(today, today, 150, 700))
            p.visit(d, kInternal, {Internal(5, {kCarbocisteine, kDextro}, kThrice), kPainRelief});
        todays.append({add(p), 9 * 60 + 47, &kInternal, true});
    }
    { // 12458: a hospital (in house, one stay) and orthopaedics; own
        // prescriptions dispensed outside: ◎.
        DemoPatient p(today, 14, "12458", "模造　千代", "モゾウ　チヨ", "1944-03-03", "2");
        for (const QDate &d : Every(today, p.ago(3), 28, 700))
            p.visit(d, kInternal,
                    {Internal(28, {kTelmisartan, kEzetimibe}), Internal(14, {kZolpidem})},
                    &kMinatoPh, true);
        const QDate admitted = p.monthDay(9, 12);
        p.dispensed(admitted, kKohoku, nullptr, {kHeart}, "1");
        for (const QDate &d : Every(today, p.ago(20), 56, 250))
            p.dispensed(d, kKohoku, nullptr, {kHeart});
        for (const QDate &d : Every(today, p.ago(60), 42, 300))
            p.dispensed(d, kSakuraPh, &kSakuraOrtho, {kOrtho});
        todays.append({add(p), 12 * 60 + 6, &kInternal, false});
    }
    { // 13003: a child; an ENT clinic's allergy drugs: ◎.
        DemoPatient p(today, 15, "13003", "試　大河", "タメシ　タイガ", "2010-07-07", "1");
        for (const QDate &d : Every(today, today, 100, 650))
            p.visit(d, kPaediatrics, {Internal(5, {kCarboSyrup, kAmbroxol}, kThrice)});
        for (const QDate &d : Every(today, p.ago(10), 30, 200))
            p.dispensed(d, kAobaPh, &kKomorebi, {kAllergy, kAllergyNose});
        todays.append({add(p), 10 * 60 + 2, &kPaediatrics, true});
    }
    { // 13579: dermatology through a pharmacy, checkups: ◎T.
        DemoPatient p(today, 16, "13579", "架橋　みのり", "カキョウ　ミノリ", "1966-12-24", "2");
        for (const QDate &d : Every(today, p.ago(7), 56, 680))
            p.visit(d, kInternal, {Internal(56, {kFebuxostat})});
        for (const QDate &d : Every(today, p.ago(18), 60, 420))
            p.dispensed(d, kHimawariPh, &kHikariDerm, {kDerm});
        p.checkup(p.ago(170));
        p.checkup(p.ago(535));
        todays.append({add(p), 12 * 60 + 15, &kInternal, false});
    }
    { // 20000: a clinic dispensing in house, checkups: ◎T.
        DemoPatient p(today, 17, "20000", "見本木　茂", "ミホンギ　シゲル", "1952-09-30", "1");
        for (const QDate &d : Every(today, today, 28, 700))
            p.visit(d, kInternal, {Internal(28, {kMetformin, kSitagliptin}, kTwice)}, nullptr,
                    true);
        for (const QDate &d : Every(today, p.ago(40), 140, 600))
            p.dispensed(d, kHigashi, nullptr, {kCold, kFever});
        p.checkup(p.ago(95));
        p.checkup(p.ago(460));
        todays.append({add(p), 10 * 60 + 16, &kInternal, true});
    }
    { // 20481: a small child with acute visits only: no mark.
        DemoPatient p(today, 18, "20481", "仮谷　陽菜", "カリヤ　ヒナ", "2019-03-15", "2");
        for (const QDate &d : Every(today, today, 60, 600))
            p.visit(d, kPaediatrics,
                    {Internal(5, {kCarboSyrup, kAmbroxol}, kThrice),
                     {"220", "頓服薬剤", 3, "001000821", "【発熱時に】", {kAcetaFine}}});
        todays.append({add(p), 10 * 60 + 24, &kPaediatrics, true});
    }
    { // 21001: prescriptions only 8 to 11 months ago, a check-up visit
        // without drugs two months ago, checkups: ◎T.
        DemoPatient p(today, 19, "21001", "擬似　かおる", "ギジ　カオル", "1972-01-01", "2");
        for (const QDate &d : Every(today, p.ago(1), 42, 690))
            p.visit(d, kInternal, {Internal(42, {kTelmisartan})});
        for (int m = 8; m <= 11; ++m)
            p.dispensed(p.monthDay(m, 12), kAobaPh, &kMidori, {kPressure});
        p.treated(p.monthDay(2, 12), kMidori);
        p.checkup(p.ago(190));
        p.checkup(p.ago(555));
        todays.append({add(p), 12 * 60 + 31, &kInternal, false});
    }
    { // 30012: not on today's list; seen yesterday: ◎.
        DemoPatient p(today, 20, "30012", "見本田　実", "ミホンダ　ミノル", "1958-10-12", "1");
        for (const QDate &d : Every(today, p.ago(1), 28, 500))
            p.visit(d, kInternal, {Internal(28, {kAmlodipine})});
        for (const QDate &d : Every(today, p.ago(16), 28, 420))
            p.dispensed(d, kAobaPh, &kMidori, {kPressure});
        add(p);
    }
    { // 31415: not on today's list; seen two days ago: ◎T.
        DemoPatient p(today, 21, "31415", "架空　円", "カクウ　マドカ", "1947-05-05", "2");
        for (const QDate &d : Every(today, p.ago(2), 28, 600))
            p.visit(d, kInternal, {Internal(28, {kLansoprazole})}, nullptr, true);
        for (const QDate &d : Every(today, p.ago(22), 84, 420))
            p.dispensed(d, kSakuraPh, &kUniversity, {kAnticoag});
        p.checkup(p.ago(210));
        add(p);
    }

    for (const TodayEntry &t : todays) {
        DemoPatient &p = all[t.patient];
        const QString accountTime = t.settled ? p.settleToday(t.minutes) : QString();
        (*receptions)[DateText(today)].append(
            p.reception(*t.dept, TimeText(t.minutes, t.minutes * 7), accountTime));
    }
    for (const DemoPatient &p : all) {
        patients->append(p.patient());
        for (const auto &[day, entry] : p.receptions())
            (*receptions)[DateText(day)].append(entry);
    }

    // Reception lists in arrival order.
    for (auto it = receptions->begin(); it != receptions->end(); ++it) {
        QList<QJsonObject> entries;
        for (const QJsonValue &v : it.value())
            entries.append(v.toObject());
        std::stable_sort(entries.begin(), entries.end(),
                         [](const QJsonObject &a, const QJsonObject &b) {
                             return a.value(QStringLiteral("time")).toString() <
                                    b.value(QStringLiteral("time")).toString();
                         });
        QJsonArray sorted;
        for (const QJsonObject &e : entries)
            sorted.append(e);
        it.value() = sorted;
    }
}

} // namespace standin
