#include "platform/ProfileFile.h"

#include "platform/PrivateFile.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QStringList>

namespace platform {

namespace {

// How the file's text is stored. A file without a byte-order mark is UTF-8
// when it is valid UTF-8 and the Windows Japanese code page (CP932) otherwise,
// so that a user.ini carried over from a Windows PC reads as it did there.
enum class Encoding { Utf8, Utf8Bom, Utf16Le, Cp932 };

const char *const kCp932 = "windows-31j";

// One line: its text, and the bytes it came from with its line end. A line the
// write does not change goes back to the file as those bytes.
struct ProfileLine {
    QString text;
    QByteArray raw;    // the stored bytes without the line end
    QByteArray end;    // CR LF, LF, CR (in the file's encoding) or nothing
    bool dirty = true; // written from text
};

struct ProfileText {
    Encoding encoding = Encoding::Utf8;
    bool lossless = true; // every byte decoded to a character
    QList<ProfileLine> lines;

    QStringList texts() const {
        QStringList out;
        out.reserve(lines.size());
        for (const ProfileLine &l : lines)
            out << l.text;
        return out;
    }
};

QByteArray bomOf(Encoding e) {
    switch (e) {
    case Encoding::Utf16Le:
        return QByteArray("\xFF\xFE", 2);
    case Encoding::Utf8Bom:
        return QByteArray("\xEF\xBB\xBF");
    default:
        return {};
    }
}

// The text in the encoding; false when a character has no code there.
bool encodeText(Encoding e, const QString &text, QByteArray *out) {
    switch (e) {
    case Encoding::Utf16Le:
        out->clear();
        for (QChar c : text) {
            out->append(char(c.unicode() & 0xFF));
            out->append(char(c.unicode() >> 8));
        }
        return true;
    case Encoding::Cp932: {
        QStringEncoder encoder(kCp932);
        *out = encoder(text);
        return !encoder.hasError();
    }
    case Encoding::Utf8:
    case Encoding::Utf8Bom:
        break;
    }
    *out = text.toUtf8();
    return true;
}

ProfileText decode(const QByteArray &bytes) {
    ProfileText t;
    QByteArrayView body(bytes);
    if (bytes.startsWith("\xFF\xFE")) {
        t.encoding = Encoding::Utf16Le;
    } else if (bytes.startsWith("\xEF\xBB\xBF")) {
        t.encoding = Encoding::Utf8Bom;
    } else {
        QStringDecoder utf8(QStringDecoder::Utf8);
        const QString asUtf8 = utf8(bytes); // decodes only when converted
        Q_UNUSED(asUtf8);
        t.encoding = utf8.hasError() ? Encoding::Cp932 : Encoding::Utf8;
    }
    body = body.sliced(bomOf(t.encoding).size());

    // Lines end in CR LF, LF or CR; in UTF-16 these are whole 16-bit units.
    const qsizetype unit = t.encoding == Encoding::Utf16Le ? 2 : 1;
    auto codeAt = [&](qsizetype i) {
        return unit == 2 ? (i + 1 < body.size() ? uchar(body[i]) | uchar(body[i + 1]) << 8 : 0xFFFF)
                         : uchar(body[i]);
    };
    QStringDecoder decoder = t.encoding == Encoding::Cp932 ? QStringDecoder(kCp932)
                                                           : QStringDecoder(QStringDecoder::Utf8);
    auto addLine = [&](qsizetype from, qsizetype to, qsizetype endSize) {
        ProfileLine line;
        line.raw = body.sliced(from, to - from).toByteArray();
        line.end = body.sliced(to, endSize).toByteArray();
        line.dirty = false;
        if (t.encoding == Encoding::Utf16Le) {
            line.text = QString::fromUtf16(reinterpret_cast<const char16_t *>(line.raw.constData()),
                                           line.raw.size() / 2);
        } else {
            line.text = decoder(line.raw);
            t.lossless = t.lossless && !decoder.hasError();
            decoder.resetState();
        }
        t.lines << line;
    };
    qsizetype start = 0;
    for (qsizetype i = 0; i < body.size(); i += unit) {
        const int c = codeAt(i);
        if (c != '\r' && c != '\n')
            continue;
        qsizetype endSize = unit;
        if (c == '\r' && i + unit < body.size() && codeAt(i + unit) == '\n')
            endSize += unit;
        addLine(start, i, endSize);
        i += endSize - unit;
        start = i + unit;
    }
    if (start < body.size())
        addLine(start, body.size(), 0);
    return t;
}

// The file's bytes: unchanged lines as they were read, changed ones in the
// file's encoding with CR LF. Returns false when a changed line cannot be
// stored in the file's code page and the file cannot turn to UTF-8 without loss.
bool encode(ProfileText &t, QByteArray *out) {
    QByteArray crlf;
    encodeText(t.encoding, QStringLiteral("\r\n"), &crlf);
    QByteArray bytes = bomOf(t.encoding);
    for (qsizetype i = 0; i < t.lines.size(); ++i) {
        ProfileLine &line = t.lines[i];
        if (line.dirty) {
            if (!encodeText(t.encoding, line.text, &line.raw)) {
                // A character the code page lacks: the whole file turns to
                // UTF-8 (with a byte-order mark), which holds every character,
                // unless some byte of it never was a character.
                if (!t.lossless)
                    return false;
                t.encoding = Encoding::Utf8Bom;
                for (ProfileLine &l : t.lines)
                    l.dirty = true;
                return encode(t, out);
            }
            if (line.end.isEmpty())
                line.end = crlf;
        }
        bytes += line.raw;
        // A last line without its end gets one when something follows it.
        bytes += line.end.isEmpty() && i + 1 < t.lines.size() ? crlf : line.end;
    }
    *out = bytes;
    return true;
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
        const QStringList lines = decode(f.readAll()).texts();
        const Location loc = locate(lines, section, key);
        if (loc.keyLine >= 0) {
            keyOf(lines.at(loc.keyLine), &result);
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

    const Location loc = locate(t.texts(), section, key);
    const auto newLine = [](const QString &text) {
        ProfileLine line;
        line.text = text;
        return line;
    };
    if (loc.keyLine >= 0) {
        t.lines[loc.keyLine].text = entry;
        t.lines[loc.keyLine].dirty = true;
    } else if (loc.sectionLine >= 0) {
        t.lines.insert(loc.lastEntry + 1, newLine(entry));
    } else {
        t.lines << newLine(QLatin1Char('[') + section + QLatin1Char(']')) << newLine(entry);
    }

    QByteArray bytes;
    if (!encode(t, &bytes))
        return fail(QStringLiteral("the value cannot be stored in the file's code page"));
    return SavePrivateFile(file, bytes, error);
}

} // namespace platform
