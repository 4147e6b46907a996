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

struct Institution {
    const char *code;
    const char *name;
};

// Fictional institutions. The third digit of the code is the fee table:
// 1 medical, 3 dental, 4 pharmacy.
const Institution kMidori{"1310100011", "みどり台内科クリニック"};
const Institution kKohoku{"1310200022", "港北見本総合病院"};
const Institution kSakuraOrtho{"1310300033", "さくら坂整形外科"};
const Institution kHikariDerm{"1310400044", "ひかり皮膚科医院"};
const Institution kHigashi{"1310500055", "東町架空診療所"};
const Institution kAobaEye{"1310600066", "青葉眼科クリニック"};
const Institution kKomorebi{"1310700077", "こもれび耳鼻咽喉科"};
const Institution kKenshin{"1310800088", "区民見本健診センター"};
const Institution kDental{"1330900099", "中央見本歯科"};
const Institution kAobaPh{"1340100018", "あおば見本薬局"};
const Institution kHimawariPh{"1340200029", "ひまわり調剤薬局"};
const Institution kSakuraPh{"1340300030", "さくら坂薬局 駅前店"};
const Institution kMinatoPh{"1340400041", "みなと通り薬局"};
const Institution kOwn{kDemoInstitutionCode, kDemoInstitutionName};

struct Drug {
    const char *code; // receipt code of the drug (own-clinic records)
    const char *name;
    const char *qty;
    const char *unit;
};

struct Regimen {
    const char *cls; // "21" internal, "22" as needed, "23" external
    int count;       // days for 21, times or 1 for the others
    QList<Drug> drugs;
};

// Other institutions' prescriptions, dispensed by a pharmacy or in house.
struct OtherPlan {
    Institution prescriber;
    Institution dispenser; // equal to the prescriber: dispensed in house
    QList<Regimen> regimens;
    int interval;     // days between dispensings
    int fromDaysAgo;  // first dispensing
    int untilDaysAgo; // no dispensing after this
    bool spring;      // only in February to April
};

const Regimen kRegAmlo{
    "21", 28, {{"", "アムロジピン錠5mg", "1", "錠"}, {"", "ロスバスタチン錠2.5mg", "1", "錠"}}};
const Regimen kRegOrthoTab{
    "21", 14, {{"", "セレコキシブ錠100mg", "2", "錠"}, {"", "レバミピド錠100mg", "2", "錠"}}};
const Regimen kRegOrthoTape{"23", 1, {{"", "ロキソプロフェンナトリウムテープ100mg", "28", "枚"}}};
const Regimen kRegDerm{"23",
                       1,
                       {{"", "ヘパリン類似物質油性クリーム0.3%", "50", "g"},
                        {"", "ベタメタゾン吉草酸エステル軟膏0.12%", "10", "g"}}};
const Regimen kRegHospital{"21",
                           56,
                           {{"", "ビソプロロールフマル酸塩錠2.5mg", "1", "錠"},
                            {"", "エソメプラゾールカプセル20mg", "1", "カプセル"},
                            {"", "フロセミド錠20mg", "1", "錠"}}};
const Regimen kRegEye{"23", 1, {{"", "ラタノプロスト点眼液0.005%", "2.5", "mL"}}};
const Regimen kRegAllergy{
    "21",
    14,
    {{"", "モンテルカスト錠10mg", "1", "錠"}, {"", "フェキソフェナジン塩酸塩錠60mg", "2", "錠"}}};
const Regimen kRegAllergyNose{
    "23", 1, {{"", "モメタゾンフランカルボン酸エステル点鼻液50μg", "1", "瓶"}}};
const Regimen kRegCold{
    "21",
    5,
    {{"", "カルボシステイン錠500mg", "3", "錠"}, {"", "クラリスロマイシン錠200mg", "2", "錠"}}};

const OtherPlan kOtherPlans[] = {
    {kMidori, kAobaPh, {kRegAmlo}, 28, 720, 10, false},                           // 0
    {kSakuraOrtho, kSakuraPh, {kRegOrthoTab, kRegOrthoTape}, 42, 430, 60, false}, // 1
    {kHikariDerm, kHimawariPh, {kRegDerm}, 60, 600, 180, false},                  // 2
    {kKohoku, kKohoku, {kRegHospital}, 56, 360, 5, false},                        // 3
    {kAobaEye, kMinatoPh, {kRegEye}, 90, 700, 20, false},                         // 4
    {kKomorebi, kAobaPh, {kRegAllergy, kRegAllergyNose}, 14, 730, 0, true},       // 5
    {kHigashi, kHigashi, {kRegCold}, 140, 400, 20, false},                        // 6
};

// The clinic's own long-term prescriptions.
const Drug kLansoprazole{"620008101", "ランソプラゾールOD錠15mg", "1", "錠"};
const Drug kMagnesium{"620008102", "酸化マグネシウム錠330mg", "3", "錠"};
const Drug kTelmisartan{"620008103", "テルミサルタン錠40mg", "1", "錠"};
const Drug kEzetimibe{"620008104", "エゼチミブ錠10mg", "1", "錠"};
const Drug kMetformin{"620008105", "メトホルミン塩酸塩錠250mg", "2", "錠"};
const Drug kSitagliptin{"620008106", "シタグリプチン錠50mg", "1", "錠"};
const Drug kFebuxostat{"620008107", "フェブキソスタット錠20mg", "1", "錠"};
const Drug kZolpidem{"620008108", "ゾルピデム酒石酸塩錠5mg", "1", "錠"};
const Drug kLoxoprofen{"620008109", "ロキソプロフェンナトリウム錠60mg", "3", "錠"};
const Drug kRebamipide{"620008110", "レバミピド錠100mg", "3", "錠"};
const Drug kCarbocisteine{"620008111", "カルボシステイン錠500mg", "3", "錠"};
const Drug kDextro{"620008112", "デキストロメトルファン臭化水素酸塩錠15mg", "3", "錠"};
const Drug kAcetaminophen{"620008113", "アセトアミノフェン錠200mg", "2", "錠"};
const Drug kHeparinoid{"620008114", "ヘパリン類似物質油性クリーム0.3%", "25", "g"};
const Drug kCarboSyrup{"620008115", "カルボシステインシロップ用50%", "1.2", "g"};
const Drug kAmbroxolSyrup{"620008116", "アンブロキソール塩酸塩シロップ用1.5%", "0.9", "g"};
const Drug kAcetaminophenFine{"620008117", "アセトアミノフェン細粒20%", "0.5", "g"};

const QList<QList<Drug>> kOwnSets = {
    {kLansoprazole, kMagnesium}, // 0
    {kTelmisartan, kEzetimibe},  // 1
    {kMetformin, kSitagliptin},  // 2
    {kFebuxostat},               // 3
    {kZolpidem},                 // 4
};

struct PatientSeed {
    const char *id; // as the clinic types it; ORCA keeps it zero-padded
    const char *name;
    const char *kana;
    const char *birth;
    const char *sex;
    QList<int> ownSets; // long-term prescriptions (kOwnSets)
    int ownInterval;    // days between own-clinic visits; 0 = first visit today
    bool acuteOnly;     // own-clinic visits for acute illness only
    bool ownDispensed;  // own prescriptions show up in the online drug information
    QList<int> others;  // kOtherPlans
    int medicalOnly;    // 0 none, 1 eye clinic check-ups, 2 dentist
    bool inpatient;     // one hospital stay
    bool checkups;
};

// Fictional patients ("見本" sample, "架空" fictional, "仮" provisional ...).
const QList<PatientSeed> kPatients = {
    {"1",
     "見本 太郎",
     "ミホン タロウ",
     "1948-03-12",
     "1",
     {0, 1},
     28,
     false,
     true,
     {0, 4},
     0,
     false,
     false},
    {"2",
     "見本 花子",
     "ミホン ハナコ",
     "1951-07-30",
     "2",
     {1},
     28,
     false,
     false,
     {2},
     0,
     false,
     true},
    {"12",
     "架空 一郎",
     "カクウ イチロウ",
     "1962-04-01",
     "1",
     {2},
     28,
     false,
     true,
     {0, 1},
     0,
     false,
     true},
    {"45",
     "試験 ゆかり",
     "シケン ユカリ",
     "1979-11-23",
     "2",
     {},
     90,
     true,
     false,
     {},
     0,
     false,
     true},
    {"103",
     "𠮷田 仮子",
     "ヨシダ カリコ",
     "1990-02-14",
     "2",
     {},
     120,
     true,
     false,
     {5},
     0,
     false,
     false},
    {"777", "例示 健", "レイジ ケン", "1985-09-09", "1", {3}, 56, false, false, {}, 2, false, true},
    {"1234",
     "模擬 さくら",
     "モギ サクラ",
     "2001-04-05",
     "2",
     {},
     180,
     true,
     false,
     {},
     0,
     false,
     false},
    {"10001",
     "港 見本男",
     "ミナト ミホオ",
     "1940-12-01",
     "1",
     {0, 4},
     28,
     false,
     false,
     {3},
     0,
     true,
     false},
    {"10024",
     "仮野 波子",
     "カリノ ナミコ",
     "1957-06-18",
     "2",
     {1},
     28,
     false,
     false,
     {4},
     0,
     false,
     true},
    {"10150",
     "試作 次郎",
     "シサク ジロウ",
     "1969-01-27",
     "1",
     {2, 3},
     28,
     false,
     true,
     {6},
     0,
     false,
     true},
    {"10388",
     "架空野 梅",
     "カクウノ ウメ",
     "1936-02-29",
     "2",
     {0},
     14,
     false,
     false,
     {1, 2},
     0,
     false,
     false},
    {"11002",
     "見本川 勇",
     "ミホンガワ イサム",
     "1975-08-15",
     "1",
     {},
     0,
     true,
     false,
     {},
     0,
     false,
     true},
    {"11235",
     "仮山 さつき",
     "カリヤマ サツキ",
     "1983-05-31",
     "2",
     {},
     90,
     true,
     false,
     {},
     1,
     false,
     false},
    {"12001",
     "例田 翔",
     "レイダ ショウ",
     "1995-10-10",
     "1",
     {},
     150,
     true,
     false,
     {},
     0,
     false,
     false},
    {"12458",
     "模造 千代",
     "モゾウ チヨ",
     "1944-03-03",
     "2",
     {1, 4},
     28,
     false,
     false,
     {0, 3},
     0,
     false,
     false},
    {"13003",
     "試 大河",
     "タメシ タイガ",
     "2010-07-07",
     "1",
     {},
     100,
     true,
     false,
     {5},
     0,
     false,
     false},
    {"13579",
     "架橋 みのり",
     "カキョウ ミノリ",
     "1966-12-24",
     "2",
     {3},
     56,
     false,
     false,
     {},
     0,
     false,
     true},
    {"20000",
     "見本木 茂",
     "ミホンギ シゲル",
     "1952-09-30",
     "1",
     {2},
     28,
     false,
     false,
     {6},
     0,
     false,
     true},
    {"20481",
     "仮谷 陽菜",
     "カリヤ ヒナ",
     "2019-03-15",
     "2",
     {},
     60,
     true,
     false,
     {},
     0,
     false,
     false},
    {"21001",
     "擬似 かおる",
     "ギジ カオル",
     "1972-01-01",
     "2",
     {1},
     42,
     false,
     false,
     {2},
     0,
     false,
     true},
};

QString DateText(const QDate &d) {
    return d.toString(QStringLiteral("yyyy-MM-dd"));
}

QJsonObject InstitutionFields(const char *prefix, const Institution &inst) {
    return QJsonObject{
        {QLatin1String(prefix) + QStringLiteral("_code"), QLatin1String(inst.code)},
        {QLatin1String(prefix) + QStringLiteral("_name"), QString::fromUtf8(inst.name)}};
}

QJsonObject Merge(QJsonObject a, const QJsonObject &b) {
    for (auto it = b.constBegin(); it != b.constEnd(); ++it)
        a.insert(it.key(), it.value());
    return a;
}

QJsonObject Item(const Drug &d) {
    QJsonObject o{{QStringLiteral("name"), QString::fromUtf8(d.name)},
                  {QStringLiteral("qty"), QLatin1String(d.qty)},
                  {QStringLiteral("unit"), QString::fromUtf8(d.unit)}};
    if (*d.code)
        o.insert(QStringLiteral("code"), QLatin1String(d.code));
    return o;
}

QJsonObject Procedure(const char *code, const char *name) {
    return QJsonObject{{QStringLiteral("code"), QLatin1String(code)},
                       {QStringLiteral("name"), QString::fromUtf8(name)}};
}

QJsonObject Order(const char *cls, const char *className, int count, const QJsonArray &items) {
    QJsonObject o{{QStringLiteral("class"), QLatin1String(cls)},
                  {QStringLiteral("class_name"), QString::fromUtf8(className)},
                  {QStringLiteral("items"), items}};
    if (count > 0)
        o.insert(QStringLiteral("count"), QString::number(count));
    return o;
}

// A dispensing record of the online drug information from one regimen list.
QJsonObject Dispensing(const QDate &day, const Institution &dispenser,
                       const Institution *prescriber, const QList<Regimen> &regimens) {
    QJsonArray items;
    for (const Regimen &r : regimens) {
        for (const Drug &d : r.drugs) {
            QJsonObject item = Item(d);
            item.remove(QStringLiteral("code"));
            item.insert(QStringLiteral("times"), QString::number(r.count));
            item.insert(QStringLiteral("class"), QLatin1String(r.cls));
            items.append(item);
        }
    }
    QJsonObject o{{QStringLiteral("date"), DateText(day)}, {QStringLiteral("items"), items}};
    o = Merge(o, InstitutionFields("institution", dispenser));
    if (prescriber)
        o = Merge(o, InstitutionFields("prescriber", *prescriber));
    return o;
}

QJsonObject Medical(const QDate &day, const Institution &inst, const char *inOut = "2") {
    return Merge(QJsonObject{{QStringLiteral("date"), DateText(day)},
                             {QStringLiteral("inout"), QLatin1String(inOut)}},
                 InstitutionFields("institution", inst));
}

int AgeOn(const QDate &birth, const QDate &day) {
    int age = day.year() - birth.year();
    if (day.month() * 100 + day.day() < birth.month() * 100 + birth.day())
        --age;
    return age;
}

QString Decimal(double v, int decimals) {
    return QString::number(v, 'f', decimals);
}

QJsonObject Checkup(const QDate &day, const Institution &inst, bool male, Rng &rng) {
    const double height = (male ? 166.0 : 153.0) + rng.below(120) / 10.0;
    const double weight = (male ? 58.0 : 46.0) + rng.below(250) / 10.0;
    const double bmi = weight / (height / 100.0) / (height / 100.0);
    auto item = [](const char *name, const QString &value, const char *unit) {
        return QJsonObject{{QStringLiteral("name"), QString::fromUtf8(name)},
                           {QStringLiteral("value"), value},
                           {QStringLiteral("unit"), QString::fromUtf8(unit)}};
    };
    QJsonArray items{
        item("身長", Decimal(height, 1), "cm"),
        item("体重", Decimal(weight, 1), "kg"),
        item("BMI", Decimal(bmi, 1), ""),
        item("腹囲", Decimal((male ? 78.0 : 72.0) + rng.below(200) / 10.0, 1), "cm"),
        item("収縮期血圧", QString::number(108 + rng.below(45)), "mmHg"),
        item("拡張期血圧", QString::number(64 + rng.below(28)), "mmHg"),
        item("中性脂肪", QString::number(60 + rng.below(160)), "mg/dL"),
        item("HDLコレステロール", QString::number(38 + rng.below(45)), "mg/dL"),
        item("LDLコレステロール", QString::number(80 + rng.below(90)), "mg/dL"),
        item("空腹時血糖", QString::number(84 + rng.below(50)), "mg/dL"),
        item("HbA1c", Decimal(5.0 + rng.below(22) / 10.0, 1), "%"),
    };
    return Merge(
        QJsonObject{{QStringLiteral("date"), DateText(day)}, {QStringLiteral("items"), items}},
        InstitutionFields("institution", inst));
}

QString TimeText(int minutes) {
    return QStringLiteral("%1:%2:%3")
        .arg(minutes / 60, 2, 10, QLatin1Char('0'))
        .arg(minutes % 60, 2, 10, QLatin1Char('0'))
        .arg((minutes * 7) % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

void BuildDemo(const QDate &today, QJsonArray *patients, QHash<QString, QJsonArray> *receptions) {
    const int settledToday = 9; // the earliest arrivals of the day are settled
    for (int index = 0; index < kPatients.size(); ++index) {
        const PatientSeed &seed = kPatients[index];
        Rng rng(uint32_t(index + 1));
        const QDate birth =
            QDate::fromString(QLatin1String(seed.birth), QStringLiteral("yyyy-MM-dd"));
        const bool child = AgeOn(birth, today) < 15;
        const bool male = QLatin1String(seed.sex) == QLatin1String("1");
        QJsonArray drugs, medical, checkups, visits;

        // Other institutions.
        for (int p : seed.others) {
            const OtherPlan &plan = kOtherPlans[p];
            const bool inHouse =
                QLatin1String(plan.prescriber.code) == QLatin1String(plan.dispenser.code);
            for (int ago = plan.fromDaysAgo - index % 9; ago >= plan.untilDaysAgo;
                 ago -= plan.interval + rng.below(7) - 3) {
                const QDate day = today.addDays(-ago);
                if (plan.spring && (day.month() < 2 || day.month() > 4))
                    continue;
                drugs.append(Dispensing(day, plan.dispenser, inHouse ? nullptr : &plan.prescriber,
                                        plan.regimens));
                medical.append(Medical(day, plan.prescriber));
                if (!inHouse && rng.below(3) == 0)
                    medical.append(Medical(day, plan.dispenser));
            }
        }
        if (seed.medicalOnly) {
            const Institution &inst = seed.medicalOnly == 1 ? kAobaEye : kDental;
            for (int ago = 700 - index * 11; ago > 15; ago -= 91 + rng.below(20))
                medical.append(Medical(today.addDays(-ago), inst));
        }
        if (seed.inpatient) {
            const QDate admitted = today.addDays(-290);
            medical.append(Medical(admitted, kKohoku, "1"));
            medical.append(Medical(admitted.addMonths(1), kKohoku, "1"));
        }
        if (seed.checkups) {
            for (int year = 0; year < 2; ++year) {
                const QDate day = today.addDays(-(45 + index * 9) - 365 * year);
                const int age = AgeOn(birth, day);
                if (age >= 40 && age <= 74)
                    checkups.append(Checkup(day, index % 2 ? kKenshin : kKohoku, male, rng));
            }
        }

        // Own clinic: visits with their orders, and the reception of each day.
        QList<QDate> visitDays;
        if (seed.ownInterval > 0) {
            for (QDate day = today.addDays(-720 + (index * 5) % 28); day < today;
                 day = day.addDays(seed.ownInterval + rng.below(5) - 2)) {
                if (day.dayOfWeek() == 7)
                    day = day.addDays(1); // closed on Sundays
                if (day < today)
                    visitDays.append(day);
            }
        }
        const bool settled = index < settledToday;
        if (settled)
            visitDays.append(today);
        const QString department = child ? QStringLiteral("09") : QStringLiteral("01");
        const QString departmentName = child ? QStringLiteral("小児科") : QStringLiteral("内科");
        for (int v = 0; v < visitDays.size(); ++v) {
            const QDate day = visitDays[v];
            QJsonArray orders;
            if (v == 0)
                orders.append(Order("11", "初診", 0, {Procedure("111000110", "初診料")}));
            else
                orders.append(Order(
                    "12", "再診", 0,
                    {Procedure("112007410", "再診料"), Procedure("112011010", "外来管理加算")}));
            QList<Drug> prescribed;
            if (!seed.acuteOnly) {
                if (v % 2 == 0)
                    orders.append(
                        Order("13", "医学管理", 0, {Procedure("113001810", "特定疾患療養管理料")}));
                for (int set : seed.ownSets) {
                    const int days = set == 4 ? 14 : std::min(seed.ownInterval, 56);
                    QJsonArray items;
                    for (const Drug &d : kOwnSets[set]) {
                        items.append(Item(d));
                        prescribed.append(d);
                    }
                    orders.append(Order("21", "内服", days, items));
                }
            }
            if (seed.acuteOnly || rng.below(6) == 0) {
                const int kind = rng.below(3);
                QList<Drug> acute;
                if (child)
                    acute = {kCarboSyrup, kAmbroxolSyrup};
                else if (kind == 0)
                    acute = {kLoxoprofen, kRebamipide};
                else
                    acute = {kCarbocisteine, kDextro};
                QJsonArray items;
                for (const Drug &d : acute)
                    items.append(Item(d));
                orders.append(Order("21", "内服", 5, items));
                if (kind == 1 || child)
                    orders.append(Order("22", "頓服", 5,
                                        {Item(child ? kAcetaminophenFine : kAcetaminophen)}));
                if (kind == 2 && !child)
                    orders.append(Order("23", "外用", 1, {Item(kHeparinoid)}));
            }
            visits.append(QJsonObject{{QStringLiteral("date"), DateText(day)},
                                      {QStringLiteral("department"), department},
                                      {QStringLiteral("department_name"), departmentName},
                                      {QStringLiteral("orders"), orders}});
            medical.append(Medical(day, kOwn));
            if (seed.ownDispensed && !prescribed.isEmpty() && day < today) {
                QJsonArray items;
                for (const Drug &d : prescribed) {
                    QJsonObject item = Item(d);
                    item.remove(QStringLiteral("code"));
                    item.insert(QStringLiteral("times"),
                                QString::number(std::min(seed.ownInterval, 56)));
                    item.insert(QStringLiteral("class"), QStringLiteral("21"));
                    items.append(item);
                }
                drugs.append(Merge(Merge(QJsonObject{{QStringLiteral("date"), DateText(day)},
                                                     {QStringLiteral("items"), items}},
                                         InstitutionFields("institution", kMinatoPh)),
                                   InstitutionFields("prescriber", kOwn)));
            }
            if (day < today) {
                const int arrival = 9 * 60 + rng.below(8 * 60);
                (*receptions)[DateText(day)].append(QJsonObject{
                    {QStringLiteral("id"), QLatin1String(seed.id)},
                    {QStringLiteral("time"), TimeText(arrival)},
                    {QStringLiteral("account_time"), TimeText(arrival + 20 + rng.below(40))},
                    {QStringLiteral("department"), department},
                    {QStringLiteral("department_name"), departmentName}});
            }
        }

        // Today: everybody is on the list; the earliest arrivals are settled.
        const int arrival = 8 * 60 + 45 + index * 13;
        QJsonObject entry{{QStringLiteral("id"), QLatin1String(seed.id)},
                          {QStringLiteral("time"), TimeText(arrival)},
                          {QStringLiteral("department"), department},
                          {QStringLiteral("department_name"), departmentName}};
        if (settled)
            entry.insert(QStringLiteral("account_time"), TimeText(arrival + 35));
        (*receptions)[DateText(today)].append(entry);
        if (QLatin1String(seed.id) == QLatin1String("12")) {
            // Accepted a second time in the afternoon, still in reception.
            (*receptions)[DateText(today)].append(
                QJsonObject{{QStringLiteral("id"), QLatin1String(seed.id)},
                            {QStringLiteral("time"), TimeText(15 * 60 + 10)},
                            {QStringLiteral("department"), department},
                            {QStringLiteral("department_name"), departmentName}});
        }

        QJsonObject patient{{QStringLiteral("id"), QLatin1String(seed.id)},
                            {QStringLiteral("name"), QString::fromUtf8(seed.name)},
                            {QStringLiteral("kana"), QString::fromUtf8(seed.kana)},
                            {QStringLiteral("birth"), QLatin1String(seed.birth)},
                            {QStringLiteral("sex"), QLatin1String(seed.sex)},
                            {QStringLiteral("drugs"), drugs},
                            {QStringLiteral("medical"), medical},
                            {QStringLiteral("checkups"), checkups},
                            {QStringLiteral("visits"), visits}};
        patients->append(patient);
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
