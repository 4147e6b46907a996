// Text extraction from PDF files: inflating, ToUnicode maps, the Tj and TJ
// string rules, whole files and hostile input.

#include "PdfBuilder.h"
#include "PlainReading.h"
#include "core/CoreSource.h"
#include "pdf/PdfDateExtract.h"
#include "pdf/PdfDateExtractInternal.h"
#include "tests/support/TestEnv.h"

#include <QBuffer>
#include <QFile>
#include <QRandomGenerator>
#include <QtTest>

using pdf::CharMap;

namespace {

// 0003 -> A, 0004 -> B, and the one-byte code 0x41 -> x.
CharMap LetterMap() {
    CharMap map;
    map.insert(3, U'A');
    map.insert(4, U'B');
    map.insert(0x41, U'x');
    return map;
}

// Every code maps to the character with the same number, so a decoded text
// shows exactly which bytes were decoded.
CharMap IdentityMap() {
    CharMap map;
    map.insertRange(0, 0xFFFF, 0);
    return map;
}

QString Identity(const QByteArray &bytes) {
    return pdf::DecodeCodes(bytes, IdentityMap());
}

QString Probe(const CharMap &map, const QList<int> &codes) {
    QStringList parts;
    for (int c : codes)
        parts << map.value(quint16(c));
    return parts.join(QLatin1Char('|'));
}

QByteArray Repeat(const QByteArray &piece, qsizetype times) {
    return piece.repeated(times);
}

} // namespace

class PdfExtractTest : public QObject {
    Q_OBJECT

private:
    QString m_dir;

private slots:
    void initTestCase() { m_dir = MakeTestAppDir(QStringLiteral("pdf_extract")); }

    void findBytes_data() {
        QTest::addColumn<QByteArray>("haystack");
        QTest::addColumn<QByteArray>("needle");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("expected");
        QTest::newRow("first") << QByteArray("xstreamstream") << QByteArray("stream") << 0 << 1;
        QTest::newRow("at or after start")
            << QByteArray("xstreamstream") << QByteArray("stream") << 2 << 7;
        QTest::newRow("at start") << QByteArray("xstreamstream") << QByteArray("stream") << 7 << 7;
        QTest::newRow("none left")
            << QByteArray("xstreamstream") << QByteArray("stream") << 8 << -1;
        QTest::newRow("start past end") << QByteArray("abc") << QByteArray("c") << 9 << -1;
    }
    void findBytes() {
        QFETCH(QByteArray, haystack);
        QFETCH(QByteArray, needle);
        QFETCH(int, start);
        QFETCH(int, expected);
        QCOMPARE(pdf::FindBytes(haystack, needle, start), qsizetype(expected));
    }

    void inflateStream_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("limit");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<bool>("whole"); // false: a non-empty beginning of expected
        QTest::addColumn<QByteArray>("expected");

        QByteArray big;
        for (int i = 0; i < 3000; ++i)
            big += QByteArray::number(i * 7919) + ' ';
        const QByteArray z = PdfBuilder::Deflate(big);
        const int zn = int(z.size());
        const int any = 1 << 24;
        QVERIFY(big.size() > 3 * 4096);

        QTest::newRow("many pieces") << z << 0 << zn << any << true << true << big;
        QTest::newRow("trailing bytes ignored")
            << z + "\r\nendstream" << 0 << zn + 11 << any << true << true << big;
        QTest::newRow("offset and count")
            << "junk" + z + "junk" << 4 << zn << any << true << true << big;
        QTest::newRow("ends early: what it gave")
            << z.left(zn / 2) << 0 << zn / 2 << any << true << false << big;
        QTest::newRow("only the checksum missing")
            << z.chopped(4) << 0 << zn - 4 << any << true << true << big;
        QByteArray corrupt = z;
        corrupt[20] = char(corrupt[20] ^ 0x55);
        corrupt[21] = char(corrupt[21] ^ 0xAA);
        QTest::newRow("corrupt data") << corrupt << 0 << zn << any << false << true << QByteArray();
        QTest::newRow("not zlib") << QByteArray("BT (abc) Tj ET") << 0 << 14 << any << false << true
                                  << QByteArray();
        QTest::newRow("raw deflate without header")
            << z.mid(2) << 0 << zn - 2 << any << false << true << QByteArray();
        QTest::newRow("empty") << z << 0 << 0 << any << true << true << QByteArray();
        QTest::newRow("exactly at the limit")
            << z << 0 << zn << int(big.size()) << true << true << big;
        QTest::newRow("over the limit")
            << z << 0 << zn << int(big.size() - 1) << false << true << QByteArray();
    }
    void inflateStream() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, offset);
        QFETCH(int, count);
        QFETCH(int, limit);
        QFETCH(bool, ok);
        QFETCH(bool, whole);
        QFETCH(QByteArray, expected);
        const auto out = pdf::InflateStream(bytes, offset, count, limit);
        QCOMPARE(out.has_value(), ok);
        if (!ok)
            return;
        if (whole) {
            QCOMPARE(*out, expected);
        } else {
            QVERIFY(!out->isEmpty());
            QVERIFY(out->size() < expected.size());
            QVERIFY(expected.startsWith(*out));
        }
    }

    void toUnicodeMap_data() {
        QTest::addColumn<QByteArray>("cmap");
        QTest::addColumn<QList<int>>("codes");
        QTest::addColumn<QString>("expected"); // values of codes joined by "|", empty = unmapped

        const auto chars = [](const QByteArray &lines) {
            return "2 beginbfchar\n" + lines + "\nendbfchar\n";
        };
        const auto ranges = [](const QByteArray &lines) {
            return "1 beginbfrange\n" + lines + "\nendbfrange\n";
        };
        QTest::newRow("bfchar") << chars("<0003> <0041>\n<0004> <0042>") << QList<int>{3, 4, 5}
                                << "A|B|";
        QTest::newRow("bfrange") << ranges("<0010> <0012> <3042>")
                                 << QList<int>{0x0F, 0x10, 0x11, 0x12, 0x13} << u"|あ|ぃ|い|"_qs;
        QTest::newRow("range low above high")
            << ranges("<0012> <0010> <3042>") << QList<int>{0x10, 0x11, 0x12} << "||";
        QTest::newRow("code 0 written short is not stored")
            << chars("<00> <0041>\n<0> <0042>") << QList<int>{0} << "";
        QTest::newRow("code 0 written 0000 is stored")
            << chars("<0000> <0043>") << QList<int>{0} << "C";
        QTest::newRow("range may map code 0")
            << ranges("<00> <01> <0061>") << QList<int>{0, 1} << "a|b";
        QTest::newRow("array destination starts a run")
            << ranges("<0020> <0022> [<0061> <0078> <0079>]") << QList<int>{0x20, 0x21, 0x22}
            << "a|b|c";
        QTest::newRow("range wraps at 16 bits")
            << ranges("<0001> <0003> <FFFF>") << QList<int>{1, 2, 3}
            << QString(QChar(0xFFFF)) + "|" + QChar(0) + "|" + QChar(1);
        QTest::newRow("two units keep the second")
            << chars("<0005> <00410042>") << QList<int>{5} << "B";
        QTest::newRow("more than 32 bits reads as 0")
            << chars("<0005> <004100420043>") << QList<int>{5} << QString(QChar(0));
        QTest::newRow("surrogate pair maps to the pair")
            << chars("<0007> <D842DFB7>\n<0008> <d842dfb7>") << QList<int>{7, 8} << u"𠮷|𠮷"_qs;
        QTest::newRow("surrogate pair range")
            << ranges("<0100> <0102> <D842DFB7>") << QList<int>{0x100, 0x101, 0x102}
            << QString::fromUcs4(U"\U00020BB7|\U00020BB8|\U00020BB9");
        QTest::newRow("reversed units are no pair")
            << chars("<0009> <DFB7D842>") << QList<int>{9} << QString(QChar(0xD842));
        QTest::newRow("later definition replaces")
            << chars("<0003> <0041>") + ranges("<0001> <0005> <0061>") + chars("<0004> <0058>")
            << QList<int>{1, 3, 4, 5} << "a|c|X|e";
        QTest::newRow("block ends at endbfchar") << chars("<0003> <0041>") + "<0004> <0042>\n"
                                                 << QList<int>{3, 4} << "A|";
        QTest::newRow("opening line holds no entries")
            << QByteArray("1 beginbfchar <0003> <0041>\n<0004> <0042>\nendbfchar")
            << QList<int>{3, 4} << "|B";
        QTest::newRow("blanks around; short or odd lines")
            << chars(" \t<0003> <0041>  \nx<0004> <0042>\n<5><44>\n<6>\n<> <0045>")
            << QList<int>{3, 4, 5, 6, 0} << "A||D||";
        QTest::newRow("only the first pair of a line")
            << chars("<0003> <0041> <0004> <0042>") << QList<int>{3, 4} << "A|";
        QTest::newRow("hex in either case, junk reads 0")
            << chars("<000a> <00e9>\n<000B> <00C9>\n<000c> <zz41>") << QList<int>{0xA, 0xB, 0xC}
            << u"é|É|"_qs + QChar(0);
        QTest::newRow("source keeps its low 16 bits")
            << chars("<10003> <0041>") << QList<int>{3} << "A";
        QTest::newRow("range without destination")
            << ranges("<0010> <0012>") << QList<int>{0x10} << "";
        QTest::newRow("lines split at CR alone")
            << QByteArray("1 beginbfchar\r<0003> <0041>\rendbfchar\r") << QList<int>{3} << "A";
    }
    void toUnicodeMap() {
        QFETCH(QByteArray, cmap);
        QFETCH(QList<int>, codes);
        QFETCH(QString, expected);
        CharMap map;
        pdf::ParseToUnicodeCMap(PdfBuilder::CMapFrame(cmap), map);
        QCOMPARE(Probe(map, codes), expected);
    }

    void decodeCodes_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expected");
        QTest::newRow("pairs") << QByteArray("\x00\x03\x00\x04", 4) << "AB";
        QTest::newRow("unmapped pair shows ?") << QByteArray("\x00\x03\x00\x05", 4) << "A?";
        QTest::newRow("last single byte mapped") << QByteArray("\x00\x03\x41", 3) << "Ax";
        QTest::newRow("last single byte unmapped") << QByteArray("\x00\x03\x42", 3) << "A";
        QTest::newRow("empty") << QByteArray() << "";
    }
    void decodeCodes() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expected);
        QCOMPARE(pdf::DecodeCodes(bytes, LetterMap()), expected);
    }

    // The content lines of the known cases, through 0003 -> A, 0004 -> B.
    void contentLines_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("expected");
        QTest::newRow("hex string") << QByteArray("<00030004> Tj") << "AB";
        QTest::newRow("unmapped code") << QByteArray("<00030005> Tj") << "A?";
        QTest::newRow("literal with octal escapes") << QByteArray(R"((\000\003) Tj)") << "A";
        QTest::newRow("literal in TJ is not unescaped")
            << QByteArray(R"([(\000\003)] TJ)") << "????";
        QTest::newRow("TJ array") << QByteArray("[<0003> -120 <0004>] TJ") << "AB";
        QTest::newRow("TJ ends the line") << QByteArray("[<0003> -120 <0004>]TJ") << "AB";
        QTest::newRow("TJ followed by another character") << QByteArray("[<0003>]TJ,") << "";
        QTest::newRow("strings before the first Tj only")
            << QByteArray("<0003> (\\000\\004) Tj <0003> Tj") << "AB";
        QTest::newRow("Tj too early") << QByteArray("Tj <0003> Tj") << "";
        QTest::newRow("both passes on one line") << QByteArray("<0003> Tj [<0004>] TJ") << "AAB";
        QTest::newRow("first TJ decides") << QByteArray("[<0003>] TJx [<0004>] TJ") << "";
        QTest::newRow("string split over two lines") << QByteArray("<0003\n0004> Tj") << "";
        QTest::newRow("CR, LF and CR LF end lines")
            << QByteArray("<0003> Tj\r<0004> Tj\n<0003> Tj\r\n<0004> Tj") << "ABAB";
        QTest::newRow("quote operators are not read") << QByteArray("<0003> '\n<0004> \"") << "";
        QTest::newRow("no map, no text") << QByteArray("<0003> Tj") << "";
    }
    void contentLines() {
        QFETCH(QByteArray, content);
        QFETCH(QString, expected);
        const CharMap map =
            QByteArray(QTest::currentDataTag()) == "no map, no text" ? CharMap() : LetterMap();
        QCOMPARE(pdf::ExtractStreamText(content, map), expected);
    }

    // String syntax, through a map that shows every decoded byte.
    void stringRules_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("named escapes")
            << QByteArray(R"((\n\r\t\b\f\(\)\\) Tj)") << QByteArray("\n\r\t\b\f()\\");
        QTest::newRow("octal: up to three digits, low 8 bits")
            << QByteArray(R"((\101\7\0061\777) Tj)")
            << QByteArray("A\x07\x06"
                          "1\xFF");
        QTest::newRow("other escaped character") << QByteArray(R"((\q) Tj)") << QByteArray("q");
        QTest::newRow("nested parentheses") << QByteArray("(a(b)c) Tj") << QByteArray("a(b)c");
        QTest::newRow("escaped parenthesis does not nest")
            << QByteArray(R"((a\(b)c) Tj)") << QByteArray("a(b");
        QTest::newRow("unterminated literal moves on by one")
            << QByteArray(R"((\101 <4142> Tj)") << QByteArray("AB");
        QTest::newRow("Tj hex ends at any later >")
            << QByteArray("<4142 Tj >") << QByteArray("AB\0\0", 4);
        QTest::newRow("odd hex digit dropped, bad pair 0")
            << QByteArray("<41zz424> Tj") << QByteArray("A\0B", 3);
        QTest::newRow("TJ literal: first ), no escapes")
            << QByteArray(R"([(a\b(c)d)] TJ)") << QByteArray("a\\b(c");
        QTest::newRow("TJ string must close before TJ")
            << QByteArray("[(ab] TJ ) [<4142 ] TJ >") << QByteArray();
        QTest::newRow("Tj literal ends at any later )")
            << QByteArray("(ab Tj )") << QByteArray("ab Tj ");
    }
    void stringRules() {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, bytes);
        QCOMPARE(pdf::ExtractStreamText(content, IdentityMap()), Identity(bytes));
    }

    // Random lines of string syntax: the extractor reads them exactly as the
    // plain one-scan-per-string reading does.
    void matchesPlainReading() {
        const CharMap map = IdentityMap();
        QRandomGenerator rng(20240601);
        const QByteArray alphabet = "()()\\<>[] TjJ041n7";
        for (int round = 0; round < 20000; ++round) {
            const int len = round < 19900 ? int(rng.bounded(60)) : 3000;
            QByteArray line;
            for (int i = 0; i < len; ++i)
                line += alphabet[int(rng.bounded(alphabet.size()))];
            if (rng.bounded(2))
                line += rng.bounded(2) ? " Tj" : " TJ";
            const QString got = pdf::ExtractStreamText(line, map);
            const QString want = PlainLineText(line, map);
            if (got != want)
                QFAIL(qPrintable("line differs: " + QString::fromLatin1(line)));
        }
    }

    void files_data() {
        QTest::addColumn<QByteArray>("pdf");
        QTest::addColumn<QString>("expected");

        const QByteArray ab = "BT\n/F1 12 Tf\n<00030004> Tj\n[<0004> 120 <0003>] TJ\nET\n";
        const QByteArray map = "2 beginbfchar\n<0003> <0041>\n<0004> <0042>\nendbfchar";
        QTest::newRow("map and content")
            << PdfBuilder().toUnicode(map).content(ab).bytes() << "ABBA";
        QTest::newRow("map after the content")
            << PdfBuilder().content(ab).toUnicode(map).bytes() << "ABBA";
        QTest::newRow("later map replaces codes")
            << PdfBuilder()
                   .toUnicode(map)
                   .content(ab)
                   .toUnicode("1 beginbfchar\n<0004> <0059>\nendbfchar")
                   .bytes()
            << "AYYA";
        QTest::newRow("no map") << PdfBuilder().content(ab).bytes() << "";
        QTest::newRow("uncompressed streams")
            << PdfBuilder().stream(PdfBuilder::CMapFrame(map)).stream(ab).bytes() << "";
        const QByteArray z = PdfBuilder::Deflate(ab);
        QTest::newRow("keyword then LF, CR, CR LF") << PdfBuilder()
                                                           .toUnicode(map)
                                                           .stream(z, "\n", "")
                                                           .stream(z, "\r", "\n")
                                                           .stream(z, "\r\n", "\r\n")
                                                           .bytes()
                                                    << "ABBAABBAABBA";
        QTest::newRow("the word stream in a title")
            << PdfBuilder()
                   .raw("1 0 obj\n<< /Title (stream of events) /Subject (upstream) >>\nendobj\n")
                   .toUnicode(map)
                   .content(ab)
                   .bytes()
            << "ABBA";
        QByteArray broken = z;
        broken[3] = char(broken[3] ^ 0xFF);
        broken[4] = char(broken[4] ^ 0xFF);
        QTest::newRow("broken stream dropped, others kept")
            << PdfBuilder().toUnicode(map).stream(broken).content(ab).bytes() << "ABBA";
        QTest::newRow("stream without endstream")
            << PdfBuilder().toUnicode(map).content(ab).raw("9 0 obj\n<<>>\nstream\n" + z).bytes()
            << "ABBA";
        QTest::newRow("compressed data ends early")
            << PdfBuilder().toUnicode(map).stream(z.chopped(4)).bytes() << "ABBA";
        QTest::newRow("file cut inside a stream")
            << PdfBuilder().toUnicode(map).content(ab).bytes().chopped(30) << "";
        QTest::newRow("non-BMP name through a pair")
            << PdfBuilder()
                   .toUnicode("2 beginbfchar\n<0010> <D842DFB7>\n<0011> <7530>\nendbfchar")
                   .content("<00100011> Tj")
                   .bytes()
            << u"𠮷田"_qs;
    }
    void files() {
        QFETCH(QByteArray, pdf);
        QFETCH(QString, expected);
        const QString path = m_dir + QTest::currentDataTag() + QStringLiteral(".pdf");
        QVERIFY(WriteAll(path, pdf));
        QCOMPARE(PdfExtractText(path), expected);
        // Read in blocks of any size, keywords and streams cut anywhere.
        for (qsizetype block = 1; block <= 24; ++block) {
            QBuffer device;
            device.setData(pdf);
            QVERIFY(device.open(QIODevice::ReadOnly));
            pdf::FileBytes bytes(device, block);
            QCOMPARE(pdf::ExtractTextFromStreams(pdf::InflateAllStreams(bytes)), expected);
        }
    }

    // The file is read block by block: a keyword, a line end or a stream cut
    // by the edge of a block, and a stream longer than two blocks, read the
    // same as the bytes held whole.
    void fileReadInBlocks() {
        const QByteArray map = "2 beginbfchar\n<0003> <0041>\n<0004> <0042>\nendbfchar";
        const QByteArray z = PdfBuilder::Deflate("BT\n<00030004> Tj\nET\n");
        const QByteArray tail = PdfBuilder().stream(z, "\r\n", "\r\n").bytes();
        const qsizetype block = pdf::FileBytes::kBlock;
        QList<QByteArray> docs;
        // The edge of the first block falls on each byte around the keyword
        // and its line end, then around "endstream".
        for (const qsizetype at : {tail.indexOf("stream"), tail.indexOf("endstream")}) {
            for (qsizetype k = -10; k <= 10; ++k) {
                const QByteArray head = PdfBuilder().toUnicode(map).bytes();
                const qsizetype padding = block - head.size() - at + k;
                docs << head + "% " + QByteArray(padding - 3, 'x') + "\n" + tail;
            }
        }
        // Comment lines of random letters keep the compressed stream long.
        QRandomGenerator rng(7);
        QByteArray big;
        for (int i = 0; big.size() < 6 * block; ++i) {
            QByteArray noise(60, 'a');
            for (char &c : noise)
                c = char('a' + rng.bounded(26));
            big += "BT\n<0003" + QByteArray::number(i % 2 ? 3 : 4).rightJustified(4, '0') +
                   "> Tj\n% " + noise + "\n[(x) 10 <0004>] TJ\nET\n";
        }
        docs << PdfBuilder().toUnicode(map).stream(big).content(big).bytes();
        QVERIFY(PdfBuilder::Deflate(big).size() > 2 * block); // longer than two blocks
        for (const QByteArray &doc : docs) {
            QVERIFY(WriteAll(m_dir + "blocks.pdf", doc));
            const QString whole = pdf::ExtractTextFromBytes(doc);
            QVERIFY(whole.startsWith(u"AB"_qs));
            QCOMPARE(PdfExtractText(m_dir + "blocks.pdf"), whole);
        }
    }

    void missingOrEmptyFile() {
        QCOMPARE(PdfExtractText(m_dir + "absent.pdf"), QString());
        QVERIFY(WriteAll(m_dir + "empty.pdf", QByteArray()));
        QCOMPARE(PdfExtractText(m_dir + "empty.pdf"), QString());
    }

    // A file that is there but cannot be read is reported to the caller, not
    // taken for a document without text.
    void unreadableFileIsAnError() {
        QDir().mkpath(m_dir + "folder.pdf");
        try {
            PdfExtractText(m_dir + "folder.pdf");
            QFAIL("no error raised");
        } catch (const EAppError &e) {
            QCOMPARE(e.className(), QStringLiteral("EFOpenError"));
            QVERIFY(e.message().startsWith(QStringLiteral("Cannot open file \"") + m_dir +
                                           QStringLiteral("folder.pdf\".")));
        }
        QStringList dates{QStringLiteral("kept=2024-01")};
        QVERIFY_THROWS_EXCEPTION(EAppError, PdfDrugDates(m_dir + "folder.pdf", dates));
        QCOMPARE(dates, QStringList{QStringLiteral("kept=2024-01")});
    }

    // A stream that inflates past 64 MiB is dropped; just below, it is read.
    void inflateBounds() {
        const QByteArray map = "1 beginbfchar\n<0003> <0041>\nendbfchar";
        const auto doc = [&](qsizetype padding) {
            return PdfBuilder()
                .toUnicode(map)
                .content("<0003> Tj\n" + QByteArray(padding, ' '))
                .bytes();
        };
        QCOMPARE(pdf::ExtractTextFromBytes(doc(64 * pdf::kMiB - 10)), QStringLiteral("A"));
        QCOMPARE(pdf::ExtractTextFromBytes(doc(64 * pdf::kMiB - 9)), QString());

        // Per file: once the streams have inflated to the bound in all, the
        // rest are left alone.
        const QByteArray three = PdfBuilder()
                                     .toUnicode(map)
                                     .content(QByteArray(100, ' ') + "<0003> Tj")
                                     .content(QByteArray(100, ' ') + "<0003> Tj")
                                     .bytes();
        const qsizetype mapSize = PdfBuilder::CMapFrame(map).size();
        QCOMPARE(pdf::InflateAllStreams(three, {1000, mapSize + 2 * 109}).size(), 3);
        QCOMPARE(pdf::InflateAllStreams(three, {1000, mapSize + 2 * 109 - 1}).size(), 2);
        QCOMPARE(pdf::InflateAllStreams(three, {1000, mapSize}).size(), 1);
    }

    // Input made to be slow or large: each must finish quickly and give the
    // same text as a plain reading.
    void hostileLines_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("bytes");
        const qsizetype n = 1 << 21;
        QTest::newRow("open parentheses") << Repeat("(", n) + " Tj" << QByteArray();
        QTest::newRow("open angle brackets") << Repeat("<", n) + " Tj" << QByteArray();
        QTest::newRow("open brackets in TJ") << "[" + Repeat("(<", n) + "] TJ" << QByteArray();
        QTest::newRow("escaped parentheses") << Repeat("(\\", n) + " Tj" << QByteArray();
        QTest::newRow("one match at the end") << Repeat("(", n) + "x) Tj" << QByteArray("x");
        QTest::newRow("TJ closes beyond") << Repeat("[(", n) + " TJ )" << QByteArray();
        QTest::newRow("many lines") << Repeat("<4142> Tj\n", n / 8) << Repeat("AB", n / 8);
    }
    void hostileLines() {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, bytes);
        QCOMPARE(pdf::ExtractStreamText(content, IdentityMap()), Identity(bytes));
    }

    void hostileMaps() {
        // Every code in its own entry.
        QByteArray full = "65536 beginbfchar\n";
        for (int c = 0; c < 0x10000; ++c)
            full += QString::asprintf("<%04X> <%04X>\n", c, 0xFFFF - c).toLatin1();
        full += "endbfchar\n";
        CharMap map;
        pdf::ParseToUnicodeCMap(full, map);
        QCOMPARE(map.size(), qsizetype(0x10000));
        QCOMPARE(map.value(0), QString(QChar(0xFFFF)));
        QCOMPARE(map.value(0x3042), QString(QChar(0xFFFF - 0x3042)));

        // Many full ranges: the last one decides every code.
        QByteArray ranges = "beginbfrange\n";
        for (int i = 0; i < 200000; ++i)
            ranges += QString::asprintf("<0000> <FFFF> <%04X>\n", i & 0xFFFF).toLatin1();
        ranges += "<0100> <01FF> <D842DFB7>\nendbfrange\n";
        CharMap many;
        pdf::ParseToUnicodeCMap(ranges, many);
        QCOMPARE(many.size(), qsizetype(0x10000));
        const int last = (200000 - 1) & 0xFFFF;
        QCOMPARE(many.value(0), QString(QChar(last)));
        QCOMPARE(many.value(0xFF), QString(QChar((last + 0xFF) & 0xFFFF)));
        QCOMPARE(many.value(0x101), QString::fromUcs4(U"\U00020BB8"));
        QCOMPARE(many.value(0x200), QString(QChar((last + 0x200) & 0xFFFF)));
    }
};

QTEST_GUILESS_MAIN(PdfExtractTest)
#include "test_pdfextract.moc"
