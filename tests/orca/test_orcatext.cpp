// The ORCA API's texts: request templates, the tag reader, the patient-number
// candidates, failure hints and the client-certificate choice.
#include "core/CoreSource.h"
#include "orca/OrcaTags.h"
#include "orca/OrcaTemplates.h"
#include "orca/TlsFailure.h"
#include "tests/support/TestEnv.h"

#include <QTest>
#include <QXmlStreamReader>

namespace {

const QString kHint0 =
    QStringLiteral("サーバーに接続できませんでした。\r\nURLの綴り、インターネット接続、"
                   "ファイアウォールの設定を確認してください。");
const QString kHintTimeout = QStringLiteral(
    "サーバーから応答がありませんでした。\r\nネットワーク接続と接続先URLを確認してください。");
const QString kHintName = QStringLiteral("URLのサーバー名を解決できませんでした。\r\nURLの綴りと、"
                                         "インターネットに接続できているかを確認してください。");
const QString kHintConnect = QStringLiteral("サーバーに接続できませんでした。\r\nネットワーク接続、"
                                            "URL、ファイアウォールの設定を確認してください。");
const QString kHintClientCert = QStringLiteral(
    "サーバーからクライアント証明書を要求されましたが、使用できる証明書が見つかりませんでした。\r\n"
    "「証明書インポート」から証明書を登録してください。\r\nすでに登録済みの場合は、アプリを実行して"
    "いるLinuxユーザーと、証明書を登録したユーザーが同じか確認してください。");
const QString kHintCa = QStringLiteral("サーバー証明書の発行元を検証できませんでした。\r\nセキュリ"
                                       "ティソフトやUTMによる通信の中継、また"
                                       "はパソコンの日付ずれが原因の可能性があります。");
const QString kHintRevocation = QStringLiteral("サーバー証明書の失効確認ができませんでした。\r\nネ"
                                               "ットワークまたはプロキシの設定を確認してくださ"
                                               "い。");
const QString kHintTls = QStringLiteral(
    "暗号化通信(TLS)の確立に失敗しました。次の順に確認してください。\r\n1. "
    "クライアント証明書がミナトリの証明書ストア"
    "に登録されているか（「証明書インポート」から登録します）\r\n2. "
    "その証明書の有効期限が切れていな"
    "いか\r\n3. ORCA側の接続元IPアドレス制限に、医院のグローバルIPが登録されているか\r\n4. セキュリ"
    "ティソフトの暗号化通信スキャンが有効になっていないか");

const QStringList kAllTemplates = {
    kAcceptListTemplate, kDrugInfoTemplate, kMedInfoTemplate,     kCheckupTemplate,
    kMarkDrugTemplate,   kMarkMedTemplate,  kMarkCheckupTemplate, kSelfCalendarTemplate,
};

// A candidate written as "subject|issuer|expiry offset in days from now" (empty = 0).
QList<TClientCertCandidate> candidatesOf(const QStringList &specs, double now) {
    QList<TClientCertCandidate> out;
    for (const QString &spec : specs) {
        const QStringList f = spec.split(QLatin1Char('|'));
        TClientCertCandidate c;
        c.Subject = f.value(0);
        c.Issuer = f.value(1);
        const QString expiry = f.value(2);
        c.Expiry = expiry.isEmpty()                 ? 0
                   : expiry == QLatin1String("now") ? now
                                                    : now + expiry.toDouble();
        out << c;
    }
    return out;
}

} // namespace

class TestOrcaText : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void templatesAreOneLineDocuments();
    void markTemplatesAreTheFullOnesWithoutMonth();
    void medicalDayRequests();
    void fillPlaceholderReplacesFirstOnly();
    void stripStringTag_data();
    void stripStringTag();
    void e10Answer_data();
    void e10Answer();
    void patientIdCandidates_data();
    void patientIdCandidates();
    void parseWinHttpErrorCode_data();
    void parseWinHttpErrorCode();
    void describeTlsFailure_data();
    void describeTlsFailure();
    void chooseClientCertificate_data();
    void chooseClientCertificate();
    void expiryIsWrittenAsDate();
};

void TestOrcaText::initTestCase() {
    MakeTestAppDir(QStringLiteral("orcatext"));
}

void TestOrcaText::templatesAreOneLineDocuments() {
    for (const QString &t : kAllTemplates) {
        QVERIFY2(!t.contains(QLatin1Char('\n')) && !t.contains(QLatin1Char('\r')), qPrintable(t));
        QVERIFY(t.startsWith(QStringLiteral("<data>  <")));
        QVERIFY(t.endsWith(QStringLiteral(">  </") + t.mid(9, t.indexOf(' ', 9) - 9) +
                           QStringLiteral("></data>")));
        // Well-formed, one record with string leaves.
        QXmlStreamReader xml(t);
        int depth = 0;
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isStartElement()) {
                ++depth;
                if (depth >= 2)
                    QVERIFY(
                        xml.attributes().value(QStringLiteral("type")) == QLatin1String("string") ||
                        xml.attributes().value(QStringLiteral("type")) == QLatin1String("record"));
            } else if (xml.isEndElement()) {
                --depth;
            }
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString() + QStringLiteral(": ") + t));
        // Each placeholder at most once; never a month and a day together.
        for (const QString &p :
             {kPlaceholderPatientId, kPlaceholderRequestNumber, kPlaceholderDate})
            QVERIFY(t.count(p) <= 1);
        QVERIFY(!(t.contains(kPlaceholderDate) &&
                  t.count(kPlaceholderMonth) > t.count(kPlaceholderDate)));
    }
    QCOMPARE(
        kAcceptListTemplate,
        QStringLiteral("<data>  <acceptlstreq type=\"record\">    <Acceptance_Date "
                       "type=\"string\">YYYY-MM-DD</Acceptance_Date>  </acceptlstreq></data>"));
    // Leaves of a nested record carry six blanks.
    QVERIFY(kSelfCalendarTemplate.contains(QStringLiteral(
        "type=\"record\">      <Department_Code type=\"string\"></Department_Code>    "
        "</Medical_Information>")));
}

void TestOrcaText::markTemplatesAreTheFullOnesWithoutMonth() {
    auto fixed = [](const QString &t) {
        return FillPlaceholder(FillPlaceholder(t, kPlaceholderRequestNumber, QStringLiteral("01")),
                               kPlaceholderMonth, QString());
    };
    QCOMPARE(kMarkDrugTemplate, fixed(kDrugInfoTemplate));
    QCOMPARE(kMarkMedTemplate, fixed(kMedInfoTemplate));
    QCOMPARE(kMarkCheckupTemplate, fixed(kCheckupTemplate));
}

void TestOrcaText::medicalDayRequests() {
    const QString calendar = FillPlaceholder(
        FillPlaceholder(kSelfCalendarTemplate, kPlaceholderMonth, QStringLiteral("2024-05-20")),
        kPlaceholderPatientId, QStringLiteral("00012"));
    QCOMPARE(BuildMedicalDayRequest(QStringLiteral("00012"), QStringLiteral("2024-05-20")),
             calendar);
    QString withDept = calendar;
    withDept.replace(QStringLiteral("<Department_Code type=\"string\"></Department_Code>"),
                     QStringLiteral("<Department_Code type=\"string\">01</Department_Code>"));
    QCOMPARE(BuildMedicalDayDeptRequest(QStringLiteral("00012"), QStringLiteral("2024-05-20"),
                                        QStringLiteral("01")),
             withDept);
}

void TestOrcaText::fillPlaceholderReplacesFirstOnly() {
    QCOMPARE(FillPlaceholder(QStringLiteral("a XXXXX b XXXXX"), QStringLiteral("XXXXX"),
                             QStringLiteral("12")),
             QStringLiteral("a 12 b XXXXX"));
    QCOMPARE(FillPlaceholder(QStringLiteral("a YYYY-MM b"), QStringLiteral("YYYY-MM"), QString()),
             QStringLiteral("a  b"));
    QCOMPARE(FillPlaceholder(QStringLiteral("none"), QStringLiteral("RR"), QStringLiteral("01")),
             QStringLiteral("none"));
}

void TestOrcaText::stripStringTag_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("tag");
    QTest::addColumn<QString>("value");
    QTest::newRow("indented, inner blank kept")
        << QStringLiteral("        <WholeName type=\"string\">架空 一郎</WholeName>")
        << QStringLiteral("WholeName") << QStringLiteral("架空 一郎");
    QTest::newRow("ideographic space kept")
        << QStringLiteral("\t<WholeName type=\"string\">\u3000架空\u3000</WholeName>\r")
        << QStringLiteral("WholeName") << QStringLiteral("\u3000架空\u3000");
    QTest::newRow("leaf twice: first tags only")
        << QStringLiteral("<A type=\"string\">1</A><A type=\"string\">2</A>") << QStringLiteral("A")
        << QStringLiteral("1<A type=\"string\">2</A>");
    QTest::newRow("no tags: trimmed")
        << QStringLiteral("   plain text  ") << QStringLiteral("A") << QStringLiteral("plain text");
    QTest::newRow("case-sensitive tag")
        << QStringLiteral("<name type=\"string\">x</name>") << QStringLiteral("Name")
        << QStringLiteral("<name type=\"string\">x</name>");
    QTest::newRow("entities stay") << QStringLiteral(" <A type=\"string\">a&amp;b</A>")
                                   << QStringLiteral("A") << QStringLiteral("a&amp;b");
    QTest::newRow("empty value") << QStringLiteral("  <A type=\"string\"></A>")
                                 << QStringLiteral("A") << QString();
}

void TestOrcaText::stripStringTag() {
    QFETCH(QString, line);
    QFETCH(QString, tag);
    QFETCH(QString, value);
    QCOMPARE(StripStringTag(line, tag), value);
    QCOMPARE(HasStringTag(line, tag),
             line.contains(QLatin1Char('<') + tag + QStringLiteral(" type=\"string\">")));
}

void TestOrcaText::e10Answer_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("e10");
    QTest::newRow("E10") << QStringLiteral("<Api_Result type=\"string\">E10</Api_Result>") << true;
    QTest::newRow("E100") << QStringLiteral("x\n  <Api_Result type=\"string\">E100</Api_Result>")
                          << true;
    QTest::newRow("00") << QStringLiteral("<Api_Result type=\"string\">00</Api_Result>") << false;
    QTest::newRow("E1") << QStringLiteral("<Api_Result type=\"string\">E1</Api_Result>") << false;
    QTest::newRow("blank before") << QStringLiteral("<Api_Result type=\"string\"> E10") << false;
    QTest::newRow("other leaf") << QStringLiteral("<Api_Message type=\"string\">E10") << false;
}

void TestOrcaText::e10Answer() {
    QFETCH(QString, text);
    QFETCH(bool, e10);
    QCOMPARE(IsE10Answer(text), e10);
}

void TestOrcaText::patientIdCandidates_data() {
    QTest::addColumn<QString>("number");
    QTest::addColumn<QStringList>("candidates");
    QTest::newRow("12") << QStringLiteral("12")
                        << QStringList{"12", "0012", "00012", "000012", "0000012"};
    QTest::newRow("123") << QStringLiteral("123")
                         << QStringList{"123", "0123", "00123", "000123", "0000123"};
    QTest::newRow("0123") << QStringLiteral("0123")
                          << QStringList{"0123", "", "00123", "000123", "0000123"};
    QTest::newRow("12345") << QStringLiteral("12345")
                           << QStringList{"12345", "", "", "012345", "0012345"};
    QTest::newRow("1234567") << QStringLiteral("1234567") << QStringList{"1234567", "", "", "", ""};
    QTest::newRow("A12") << QStringLiteral("A12") << QStringList{"A12", "", "", "", ""};
    QTest::newRow("blanks around")
        << QStringLiteral(" \t12 ") << QStringList{"12", "0012", "00012", "000012", "0000012"};
    QTest::newRow("negative") << QStringLiteral("-5") << QStringList{"-5", "", "", "", ""};
    QTest::newRow("beyond 32 bits")
        << QStringLiteral("99999999999") << QStringList{"99999999999", "", "", "", ""};
    QTest::newRow("empty") << QString() << QStringList{"", "", "", "", ""};
}

void TestOrcaText::patientIdCandidates() {
    QFETCH(QString, number);
    QFETCH(QStringList, candidates);
    QCOMPARE(PatientIdCandidates(number), candidates);
}

void TestOrcaText::parseWinHttpErrorCode_data() {
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("code");
    QTest::newRow("usual") << QStringLiteral("Error sending data: (12175) TLS failed") << 12175;
    QTest::newRow("letters first")
        << QStringLiteral("Failure (TLS) and later (12002) time-out") << 0;
    QTest::newRow("ends after digits") << QStringLiteral("Error: (12002") << 0;
    QTest::newRow("letter after digits") << QStringLiteral("Error: (12002a) x") << 0;
    QTest::newRow("blank before digits") << QStringLiteral("Error: ( 12002) x") << 0;
    QTest::newRow("no parenthesis") << QStringLiteral("Error 12002") << 0;
    QTest::newRow("empty parentheses") << QStringLiteral("Error () x") << 0;
    QTest::newRow("full-width parenthesis ignored")
        << QStringLiteral("エラー（12002） (404) x") << 404;
    QTest::newRow("too large") << QStringLiteral("x (99999999999) y") << 0;
    QTest::newRow("empty") << QString() << 0;
}

void TestOrcaText::parseWinHttpErrorCode() {
    QFETCH(QString, message);
    QFETCH(int, code);
    QCOMPARE(ParseWinHttpErrorCode(message), code);
}

void TestOrcaText::describeTlsFailure_data() {
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("hint");
    const auto msg = [](int code) {
        return QStringLiteral("Error sending data: (%1) something").arg(code);
    };
    QTest::newRow("none") << QStringLiteral("no number") << kHint0;
    QTest::newRow("letters then 12002") << QStringLiteral("Failure (TLS) then (12002)") << kHint0;
    QTest::newRow("12002") << msg(12002) << kHintTimeout;
    QTest::newRow("12152") << msg(12152) << kHintTimeout;
    QTest::newRow("12007") << msg(12007) << kHintName;
    QTest::newRow("12029") << msg(12029) << kHintConnect;
    QTest::newRow("12030") << msg(12030) << kHintConnect;
    QTest::newRow("12031") << msg(12031) << kHintConnect;
    QTest::newRow("12044") << msg(12044) << kHintClientCert;
    QTest::newRow("12045") << msg(12045) << kHintCa;
    QTest::newRow("12057") << msg(12057) << kHintRevocation;
    QTest::newRow("12175") << msg(12175) << kHintTls;
    QTest::newRow("404") << QStringLiteral("Not found (404)")
                         << QStringLiteral(
                                "通信エラーが発生しました(コード 404)。\r\nURL、ネットワー"
                                "ク接続、証明書を確認してください。");
}

void TestOrcaText::describeTlsFailure() {
    QFETCH(QString, message);
    QFETCH(QString, hint);
    QCOMPARE(DescribeTlsFailure(message), hint);
}

void TestOrcaText::chooseClientCertificate_data() {
    QTest::addColumn<QStringList>("candidates");
    QTest::addColumn<int>("chosen");
    QTest::addColumn<int>("walked");        // candidates logged with their names
    QTest::addColumn<QStringList>("lines"); // every other line after the count line
    QTest::newRow("expired ORCA issuer loses to a valid unrelated one")
        << QStringList{"CN=a|CN=ORCA CA|-1", "CN=b|CN=Other CA|30"} << 1 << 2
        << QStringList{"ClientCert[0] 期限切れのため除外", "ClientCert: [1] を使用"};
    QTest::newRow("JMARI in capitals, no expiry")
        << QStringList{"CN=a|CN=Other|30", "CN=b|JMARI Root|", "CN=c|CN=orca|30"} << 1 << 2
        << QStringList{"ClientCert: [1] を使用"};
    QTest::newRow("subject word") << QStringList{"CN=a|CN=Other|30", "CN=Orca-client|CN=Other|30"}
                                  << 1 << 2 << QStringList{"ClientCert: [1] を使用"};
    QTest::newRow("operator domain")
        << QStringList{"CN=a|CN=Other|30", "CN=b|CN=ca." + kOrcaOperatorDomain.toUpper() + "|30"}
        << 1 << 2 << QStringList{"ClientCert: [1] を使用"};
    QTest::newRow("nichii") << QStringList{"CN=a|CN=Other|30", "CN=b|O=NichiI Kyokai|30"} << 1 << 2
                            << QStringList{"ClientCert: [1] を使用"};
    QTest::newRow("full-width letters do not match")
        << QStringList{"CN=a|CN=Other|30", "CN=ＯＲＣＡ|CN=ＯＲＣＡ|30"} << 0 << 2
        << QStringList{"ClientCert: [0] を使用"};
    QTest::newRow("none matches: first valid")
        << QStringList{"CN=a|CN=x|-2", "CN=b|CN=y|30", "CN=c|CN=z|"} << 1 << 3
        << QStringList{"ClientCert[0] 期限切れのため除外", "ClientCert: [1] を使用"};
    QTest::newRow("all expired") << QStringList{"CN=a|CN=orca|-1", "CN=b|CN=jmari|-0.001"} << 0 << 2
                                 << QStringList{"ClientCert[0] 期限切れのため除外",
                                                "ClientCert[1] 期限切れのため除外",
                                                "ClientCert: 期限内の証明書が無いため[0]を使用",
                                                "ClientCert: [0] を使用"};
    QTest::newRow("expiring this instant is still valid")
        << QStringList{"CN=a|CN=orca|now", "CN=b|CN=orca|30"} << 0 << 1
        << QStringList{"ClientCert: [0] を使用"};
    QTest::newRow("empty list") << QStringList{} << -1 << 0
                                << QStringList{"ClientCert: 使用できる証明書がありません"};
}

void TestOrcaText::chooseClientCertificate() {
    QFETCH(QStringList, candidates);
    QFETCH(int, chosen);
    QFETCH(int, walked);
    QFETCH(QStringList, lines);

    MakeTestAppDir(QStringLiteral("orcatext-choose"));
    const double now = DateTimeToDays(QDateTime::currentDateTime());
    const QList<TClientCertCandidate> list = candidatesOf(candidates, now);
    QCOMPARE(ChooseClientCertificateAt(list, now), chosen);

    QStringList log = ReadLogMessages(LogFilePath());
    QCOMPARE(log.value(0), QStringLiteral("ClientCert: 候補 %1 件").arg(list.size()));
    log.removeFirst();
    QStringList named;
    for (int i = 0; i < walked; ++i)
        named << QStringLiteral("ClientCert[%1] Subject=%2 Issuer=%3 Expiry=%4")
                     .arg(i)
                     .arg(list[i].Subject, list[i].Issuer,
                          DaysToDateTime(list[i].Expiry).toString(QStringLiteral("yyyy/MM/dd")));
    QStringList others;
    QStringList seen;
    for (const QString &line : log)
        (line.contains(QStringLiteral(" Subject=")) ? seen : others) << line;
    QCOMPARE(seen, named);
    QCOMPARE(others, lines);
}

void TestOrcaText::expiryIsWrittenAsDate() {
    MakeTestAppDir(QStringLiteral("orcatext-expiry"));
    const QDateTime expiry(QDate(2031, 3, 9), QTime(23, 59, 59));
    TClientCertCandidate c{QStringLiteral("CN=s"), QStringLiteral("CN=i"), DateTimeToDays(expiry)};
    QCOMPARE(DaysToDateTime(c.Expiry), expiry);
    TClientCertCandidate none{QStringLiteral("CN=t"), QStringLiteral("CN=j"), 0};
    ChooseClientCertificateAt({c, none},
                              DateTimeToDays(QDateTime(QDate(2031, 3, 10), QTime(0, 0))));
    const QStringList log = ReadLogMessages(LogFilePath());
    QCOMPARE(log.value(1),
             QStringLiteral("ClientCert[0] Subject=CN=s Issuer=CN=i Expiry=2031/03/09"));
    QCOMPARE(log.value(2), QStringLiteral("ClientCert[0] 期限切れのため除外"));
    QCOMPARE(log.value(3),
             QStringLiteral("ClientCert[1] Subject=CN=t Issuer=CN=j Expiry=1899/12/30"));
}

QTEST_GUILESS_MAIN(TestOrcaText)
#include "test_orcatext.moc"
