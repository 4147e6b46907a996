#include "viewer/TainParse.h"

#include "orca/OrcaTags.h"
#include "platform/Trim.h"
#include "viewer/TainRules.h"

#include <QHash>
#include <QXmlStreamReader>

#include <memory>
#include <vector>

namespace viewer {

// ---- line-based answers ----

namespace {

// One institution entry of a line-based answer: its fields by tag, collected
// until a field comes a second time (the next entry has begun).
class TEntryFields {
public:
    explicit TEntryFields(QStringList tags) : m_tags(std::move(tags)), m_seen(m_tags.size()) {}

    // The index of the entry field the line holds, or -1.
    int FieldOf(const QString &line) const {
        for (int i = 0; i < m_tags.size(); ++i) {
            if (HasStringTag(line, m_tags.at(i)))
                return i;
        }
        return -1;
    }
    bool Seen(int field) const { return m_seen.at(field); }
    bool Any() const {
        for (bool s : m_seen) {
            if (s)
                return true;
        }
        return false;
    }
    void Set(int field, const QString &line) {
        m_values[m_tags.at(field)] = StripStringTag(line, m_tags.at(field));
        m_seen[field] = true;
    }
    QString Value(const QString &tag) const { return m_values.value(tag); }
    void Clear() {
        m_values.clear();
        m_seen.fill(false);
    }

private:
    QStringList m_tags;
    QList<bool> m_seen;
    QHash<QString, QString> m_values;
};

const QString kMonthTag = QStringLiteral("MeTrMonth");
const QString kDiHCd = QStringLiteral("MeTrDiHCd");
const QString kDiHNm = QStringLiteral("MeTrDiHNm");
const QString kPrlsHCd = QStringLiteral("PrlsHCd");
const QString kPrlsHNm = QStringLiteral("PrlsHNm");

// Code and name an entry stands for: the prescribing institution's when given.
void entryInstitution(const TEntryFields &e, QString &code, QString &name) {
    code = e.Value(kPrlsHCd);
    if (code.isEmpty())
        code = e.Value(kDiHCd);
    name = e.Value(kPrlsHNm);
    if (name.isEmpty())
        name = e.Value(kDiHNm);
}

// Whether the line opens or closes a group element (a record or an array)
// rather than holding a value: ORCA writes each entry as a record of its own.
bool isStructureLine(const QString &line) {
    return platform::TrimText(line).startsWith(QLatin1Char('<')) &&
           !line.contains(QLatin1String(" type=\"string\">"));
}

// Walks the lines: onMonth for each month line, onEntry for each complete
// entry (with the month it belongs to), other for every line. An entry ends
// at the next group line (the end of its record), at a field it already has
// (the next entry has begun), at the next month or at the end.
template <class OnMonth, class OnEntry, class Other>
void walkEntries(const QStringList &lines, const QStringList &tags, OnMonth onMonth,
                 OnEntry onEntry, Other other) {
    TEntryFields entry(tags);
    QString month;
    const auto close = [&] {
        if (entry.Any())
            onEntry(entry, month);
        entry.Clear();
    };
    for (const QString &line : lines) {
        other(line);
        if (HasStringTag(line, kMonthTag)) {
            close();
            month = StripStringTag(line, kMonthTag);
            onMonth(month);
        }
        if (isStructureLine(line)) {
            close();
            continue;
        }
        const int field = entry.FieldOf(line);
        if (field < 0)
            continue;
        if (entry.Seen(field))
            close();
        entry.Set(field, line);
    }
    close();
}

} // namespace

TDrug01Answer ParseDrugGet01Lines(const QStringList &lines, const QString &selfInstCd) {
    TDrug01Answer out;
    const QString birthTag = QStringLiteral("BirthDate");
    walkEntries(
        lines, {kDiHCd, kDiHNm, kPrlsHCd, kPrlsHNm},
        [&](const QString &month) { AddUnlessPresent(out.Months, month); },
        [&](const TEntryFields &e, const QString &month) {
            QString code, name;
            entryInstitution(e, code, name);
            if (month.isEmpty() || name.isEmpty())
                return;
            if (IsOwnInstitutionCode(code, selfInstCd) || IsPharmacyCode(code))
                return;
            AddUnlessPresent(out.InstMonthMap, name + QLatin1Char('|') + month);
        },
        [&](const QString &line) {
            if (HasStringTag(line, birthTag)) {
                out.HasBirthDate = true;
                out.BirthDate = StripStringTag(line, birthTag);
            }
        });
    return out;
}

QStringList ParseMedGetLines(const QStringList &lines, const QString &selfInstCd,
                             QStringList &entries) {
    QStringList added;
    walkEntries(
        lines, {kDiHCd, kDiHNm, kPrlsHCd, kPrlsHNm, QStringLiteral("InOut")},
        [](const QString &) {},
        [&](const TEntryFields &e, const QString &month) {
            QString code, name;
            entryInstitution(e, code, name);
            if (month.isEmpty() || code.isEmpty() || name.isEmpty())
                return;
            if (IsPharmacyCode(code) || IsOwnInstitutionCode(code, selfInstCd))
                return;
            const QString entry = name + QLatin1Char('=') + month;
            if (AddUnlessPresent(entries, entry))
                added << entry;
        },
        [](const QString &) {});
    return added;
}

void ParseSpecGetLines(const QStringList &lines, QStringList &dates) {
    const QString tag = QStringLiteral("EffectiveTime");
    for (const QString &line : lines) {
        if (!HasStringTag(line, tag))
            continue;
        const QString value = StripStringTag(line, tag);
        if (value.size() >= 10)
            AddUnlessPresent(dates, value);
    }
}

int TimesValue(const QString &text) {
    const QString s = platform::TrimText(text);
    if (s.isEmpty())
        return 0;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s.at(i);
        const bool sign = i == 0 && (c == QLatin1Char('+') || c == QLatin1Char('-'));
        if (!sign && (c < QLatin1Char('0') || c > QLatin1Char('9')))
            return 0;
    }
    bool ok = false;
    const int v = s.toInt(&ok, 10);
    return ok ? v : 0;
}

// ---- the drug "02" answer as a document ----

namespace {

struct TNode {
    QString name;
    QString text;
    std::vector<std::unique_ptr<TNode>> children;

    // The first child element of that name, or null.
    const TNode *child(const QString &n) const {
        for (const auto &c : children) {
            if (c->name == n)
                return c.get();
        }
        return nullptr;
    }
    // The text of the first child element of that name; empty when missing.
    QString childText(const QString &n) const {
        const TNode *c = child(n);
        return c ? c->text : QString();
    }
};

// ORCA's answers nest a dozen levels; anything far deeper is not an answer.
constexpr size_t kMaxDepth = 256;

// The document element with its subtree, or null with *error set.
std::unique_ptr<TNode> readDocument(const QByteArray &xml, QString *error) {
    QXmlStreamReader reader(xml);
    std::unique_ptr<TNode> root;
    std::vector<TNode *> open;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement: {
            if (open.size() >= kMaxDepth) {
                reader.raiseError(QStringLiteral("elements nested too deeply"));
                break;
            }
            auto node = std::make_unique<TNode>();
            node->name = reader.name().toString();
            TNode *raw = node.get();
            if (open.empty()) {
                root = std::move(node);
            } else {
                open.back()->children.push_back(std::move(node));
            }
            open.push_back(raw);
            break;
        }
        case QXmlStreamReader::EndElement:
            open.pop_back();
            break;
        case QXmlStreamReader::Characters:
            if (!open.empty())
                open.back()->text += reader.text();
            break;
        default:
            break;
        }
    }
    if (reader.hasError() || !root) {
        if (error) {
            *error = reader.hasError() ? QStringLiteral("%1 (line %2, column %3)")
                                             .arg(reader.errorString())
                                             .arg(reader.lineNumber())
                                             .arg(reader.columnNumber())
                                       : QStringLiteral("no document element");
        }
        return nullptr;
    }
    return root;
}

} // namespace

bool ParseDrugGet02Xml(const QByteArray &xml, const QString &month, QList<TPrescription> &out,
                       QString *error) {
    const std::unique_ptr<TNode> root = readDocument(xml, error);
    if (!root)
        return false;
    const TNode *res = root->child(QStringLiteral("onlinedruggetres"));
    const TNode *monthInf = res ? res->child(QStringLiteral("MeTrMonthInf")) : nullptr;
    if (!monthInf)
        return false;

    const QString datePrefix = month.mid(0, 4) + month.mid(5, 2);
    for (const auto &part : monthInf->children) {
        const TNode *infs = part->child(QStringLiteral("DiDateInfs"));
        const TNode *inf = infs ? infs->child(QStringLiteral("DiDateInf")) : nullptr;
        if (!inf)
            continue;
        for (const auto &r : inf->children) {
            TPrescription p;
            p.InstitutionCd = r->childText(kPrlsHCd);
            p.InstitutionName = r->childText(kPrlsHNm);
            if (platform::TrimText(p.InstitutionCd).isEmpty()) {
                p.InstitutionCd = r->childText(kDiHCd);
                p.InstitutionName = r->childText(kDiHNm);
            }
            p.PrescDate = datePrefix + r->childText(QStringLiteral("DiDay"));
            const TNode *drugInfs = r->child(QStringLiteral("DrugInfs"));
            const TNode *drugInf = drugInfs ? drugInfs->child(QStringLiteral("DrugInf")) : nullptr;
            if (drugInf) {
                for (const auto &d : drugInf->children) {
                    TDrugItem item;
                    item.SryName = d->childText(QStringLiteral("DrugN"));
                    item.Suryo = d->childText(QStringLiteral("Qua1"));
                    item.Tani = d->childText(QStringLiteral("Unit"));
                    item.Kai = TimesValue(d->childText(QStringLiteral("Times")));
                    item.SryKbn = d->childText(QStringLiteral("MeTrIdCl"));
                    p.Drugs.append(item);
                }
            }
            out.append(p);
        }
    }
    return true;
}

} // namespace viewer
