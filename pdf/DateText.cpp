#include "pdf/DateText.h"

#include "platform/Utf16.h"

#include <QRegularExpression>
#include <QSet>

namespace pdf {

QString CheckupDateFromText(const QString &text) {
    if (text.isEmpty())
        return {};
    static const QRegularExpression re(QStringLiteral(R"((20\d{2})[/\-\.](\d{2})[/\-\.](\d{2}))"));
    const qsizetype performed = text.indexOf(QStringLiteral(u"実施"));
    // The map may have given half a surrogate pair; the expression would then
    // match nothing in the whole text.
    const QString subject = platform::ReplaceLoneSurrogates(text);
    QString greatest;
    for (auto it = re.globalMatch(subject); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const QString result = m.captured(1) + QLatin1Char('-') + m.captured(2);
        // Matches come from the left, so the first one after the word is the nearest.
        if (performed >= 0 && m.capturedStart(0) > performed)
            return result;
        if (result > greatest)
            greatest = result;
    }
    return greatest;
}

namespace {

bool IsDigit(QChar c) {
    return c.unicode() >= '0' && c.unicode() <= '9';
}

// The key under which QString::compare(..., Qt::CaseInsensitive) sees a text.
QString FoldKey(const QString &s) {
    QString key;
    key.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s.at(i);
        if (c.isHighSurrogate() && i + 1 < s.size() && s.at(i + 1).isLowSurrogate()) {
            const char32_t folded = QChar::toCaseFolded(QChar::surrogateToUcs4(c, s.at(i + 1)));
            key.append(QChar::fromUcs4(folded));
            ++i;
        } else {
            key.append(QChar(char16_t(QChar::toCaseFolded(char32_t(c.unicode())))));
        }
    }
    return key;
}

} // namespace

void DrugDatesFromText(const QString &text, QStringList &list) {
    static const QString kHistory = QStringLiteral(u"受診歴");
    const qsizetype first = text.indexOf(kHistory);
    if (first < 0)
        return;
    const qsizetype second = text.indexOf(kHistory, first + 1);
    if (second < 0)
        return;

    const QChar kYear(u'年'), kMonth(u'月'), kComma(u'、'), kShin(u'診'), kRyo(u'療'), kReki(u'歴');
    QSet<QString> held;
    for (const QString &e : std::as_const(list))
        held.insert(FoldKey(e));

    const qsizetype n = text.size();
    QString name;
    int idle = 0;
    qsizetype i = second + kHistory.size();
    auto idleTick = [&]() { return ++idle > 50 && !list.isEmpty(); };

    while (i < n) {
        const QChar c = text.at(i);
        const QChar nextChar = i + 1 < n ? text.at(i + 1) : QChar();
        if (c == kShin && i + 1 < n && nextChar == kRyo)
            break;
        if (i + 2 < n && c == kYear && nextChar == kMonth && text.at(i + 2) == u'日')
            break;
        if (c == u'*' && i + 1 < n && nextChar == u'1')
            break;
        if (IsDigit(c)) {
            qsizetype j = i;
            while (j < n && IsDigit(text.at(j)))
                ++j;
            qsizetype resume = j;
            if (j < n && text.at(j) == kYear) {
                qsizetype k = j + 1;
                while (k < n && IsDigit(text.at(k)))
                    ++k;
                resume = k;
                if (k < n && text.at(k) == kMonth) {
                    const QString yearDigits = text.mid(i, j - i);
                    bool ok = false;
                    int month = QStringView(text).sliced(j + 1, k - j - 1).toInt(&ok);
                    if (!ok)
                        month = 0;
                    const QString mm = QString::asprintf("%.2d", month);
                    QString date;
                    if (yearDigits.size() == 2)
                        date = QLatin1String("20") + yearDigits + QLatin1Char('-') + mm;
                    else if (yearDigits.size() == 4)
                        date = yearDigits + QLatin1Char('-') + mm;
                    if (!name.isEmpty() && !date.isEmpty() && month > 0) {
                        const QString entry = name + QLatin1Char('=') + date;
                        const QString key = FoldKey(entry);
                        if (!held.contains(key)) {
                            held.insert(key);
                            list.append(entry);
                        }
                    }
                    idle = 0;
                    i = k + 1;
                    continue;
                }
            }
            if (idleTick())
                break;
            i = resume;
            continue;
        }
        if (c == kShin && i + 1 < n && (nextChar == u' ' || nextChar == kRyo) && !list.isEmpty())
            break;
        if (c.unicode() > 0x2000 && c != kYear && c != kMonth && c != kComma && i > 0 &&
            (text.at(i - 1) == kMonth || text.at(i - 1) == kReki)) {
            // An institution name runs up to the next run of digits followed by 年.
            qsizetype r = i, run = -1;
            while (r < n) {
                if (!IsDigit(text.at(r))) {
                    ++r;
                    continue;
                }
                const qsizetype s = r;
                while (r < n && IsDigit(text.at(r)))
                    ++r;
                if (r < n && text.at(r) == kYear) {
                    run = s;
                    break;
                }
            }
            if (run < 0) {
                name.clear();
                break;
            }
            name = text.mid(i, run - i);
            i = run;
            continue;
        }
        ++i;
        if (idleTick())
            break;
    }
}

} // namespace pdf
