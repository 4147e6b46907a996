#include "platform/ProfileFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>

namespace platform {

namespace {

enum class Encoding { Utf8, Utf8Bom, Utf16Le };

struct ProfileText {
    Encoding encoding = Encoding::Utf8;
    QStringList lines;
};

ProfileText decode(const QByteArray &bytes) {
    ProfileText t;
    QString text;
    if (bytes.startsWith("\xFF\xFE")) {
        t.encoding = Encoding::Utf16Le;
        const QByteArray body = bytes.mid(2);
        text = QString::fromUtf16(reinterpret_cast<const char16_t *>(body.constData()),
                                  body.size() / 2);
    } else if (bytes.startsWith("\xEF\xBB\xBF")) {
        t.encoding = Encoding::Utf8Bom;
        text = QString::fromUtf8(bytes.mid(3));
    } else {
        text = QString::fromUtf8(bytes);
    }
    // Lines end in CR LF, LF or CR.
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            t.lines << text.mid(start, i - start);
            if (c == QLatin1Char('\r') && i + 1 < text.size() &&
                text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            start = i + 1;
        }
    }
    if (start < text.size())
        t.lines << text.mid(start);
    return t;
}

QByteArray encode(const ProfileText &t) {
    QString text;
    for (const QString &line : t.lines) {
        text += line;
        text += QStringLiteral("\r\n");
    }
    switch (t.encoding) {
    case Encoding::Utf16Le: {
        QByteArray out("\xFF\xFE", 2);
        for (QChar c : text) {
            out.append(char(c.unicode() & 0xFF));
            out.append(char(c.unicode() >> 8));
        }
        return out;
    }
    case Encoding::Utf8Bom:
        return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
    case Encoding::Utf8:
        break;
    }
    return text.toUtf8();
}

// Blanks around names and values in a profile file are spaces and tabs.
QString stripBlanks(const QString &s) {
    qsizetype b = 0, e = s.size();
    auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    while (b < e && blank(s.at(b)))
        ++b;
    while (e > b && blank(s.at(e - 1)))
        --e;
    return s.mid(b, e - b);
}

// Section name of a "[name]" line, or a null text for any other line.
QString sectionOf(const QString &line) {
    const QString s = stripBlanks(line);
    if (!s.startsWith(QLatin1Char('[')))
        return {};
    qsizetype close = s.indexOf(QLatin1Char(']'));
    if (close < 0)
        close = s.size();
    const QString name = stripBlanks(s.mid(1, close - 1));
    return name.isNull() ? QStringLiteral("") : name;
}

// Key of a "key=value" line (blanks stripped), or a null text when the line has no '='.
QString keyOf(const QString &line, QString *value = nullptr) {
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (eq < 0)
        return {};
    if (value)
        *value = stripBlanks(line.mid(eq + 1));
    const QString key = stripBlanks(line.left(eq));
    return key.isNull() ? QStringLiteral("") : key;
}

bool sameName(const QString &a, const QString &b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

struct Location {
    qsizetype sectionLine = -1; // the "[section]" line
    qsizetype keyLine = -1;     // the "key=" line inside it
    qsizetype lastEntry = -1;   // last non-blank line of the section
};

Location locate(const QStringList &lines, const QString &section, const QString &key) {
    Location loc;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString sec = sectionOf(lines.at(i));
        if (loc.sectionLine >= 0) {
            if (!sec.isNull())
                break; // next section: ours ends here
            if (!stripBlanks(lines.at(i)).isEmpty())
                loc.lastEntry = i;
            const QString k = keyOf(lines.at(i));
            if (loc.keyLine < 0 && !k.isNull() && sameName(k, key))
                loc.keyLine = i;
        } else if (!sec.isNull() && sameName(sec, section)) {
            loc.sectionLine = i;
            loc.lastEntry = i;
        }
    }
    return loc;
}

} // namespace

QString ReadProfileString(const QString &file, const QString &section, const QString &key,
                          const QString &defaultValue) {
    QString result = defaultValue;
    QFile f(file);
    if (f.open(QIODevice::ReadOnly)) {
        const ProfileText t = decode(f.readAll());
        const Location loc = locate(t.lines, section, key);
        if (loc.keyLine >= 0) {
            keyOf(t.lines.at(loc.keyLine), &result);
            // A value written in matching quotes is read without them.
            if (result.size() >= 2 &&
                (result.front() == QLatin1Char('"') || result.front() == QLatin1Char('\'')) &&
                result.back() == result.front())
                result = result.mid(1, result.size() - 2);
        }
    }
    return result.left(kProfileValueMax);
}

bool WriteProfileString(const QString &file, const QString &section, const QString &key,
                        const QString &value, QString *error) {
    auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        return false;
    };

    ProfileText t;
    const QFileInfo info(file);
    if (info.exists()) {
        if (!info.isWritable())
            return fail(QStringLiteral("read-only file"));
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly))
            return fail(f.errorString());
        t = decode(f.readAll());
    }

    // A line break inside a value would split the entry and inject lines.
    QString clean = value;
    clean.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    const QString entry = key + QLatin1Char('=') + clean;

    const Location loc = locate(t.lines, section, key);
    if (loc.keyLine >= 0) {
        t.lines[loc.keyLine] = entry;
    } else if (loc.sectionLine >= 0) {
        t.lines.insert(loc.lastEntry + 1, entry);
    } else {
        t.lines << QLatin1Char('[') + section + QLatin1Char(']') << entry;
    }

    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly))
        return fail(out.errorString());
    const QByteArray bytes = encode(t);
    if (out.write(bytes) != bytes.size()) {
        out.cancelWriting();
        return fail(out.errorString());
    }
    if (!out.commit())
        return fail(out.errorString());
    return true;
}

} // namespace platform
