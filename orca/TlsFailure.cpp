#include "orca/TlsFailure.h"

#include "core/CoreSource.h"

#include <cmath>

namespace {

const QDate kDayZero(1899, 12, 30);
constexpr double kMsPerDay = 86400000.0;

QString hintFor(int code) {
    switch (code) {
    case 0:
        return QStringLiteral("サーバーに接続できませんでした。\r\n"
                              "URLの綴り、インターネット接続、ファイアウォールの設定を確認してくだ"
                              "さい。");
    case 12002: // time-out
    case 12152: // invalid server response
        return QStringLiteral("サーバーから応答がありませんでした。\r\n"
                              "ネットワーク接続と接続先URLを確認してください。");
    case 12007: // name not resolved
        return QStringLiteral("URLのサーバー名を解決できませんでした。\r\n"
                              "URLの綴りと、インターネットに接続できているかを確認してください。");
    case 12029: // cannot connect
    case 12030: // connection error
    case 12031: // connection reset
        return QStringLiteral("サーバーに接続できませんでした。\r\n"
                              "ネットワーク接続、URL、ファイアウォールの設定を確認してください。");
    case 12044: // client certificate needed
        return QStringLiteral(
            "サーバーからクライアント証明書を要求されましたが、使用できる証明書が見つかりませんでし"
            "た。\r\n"
            "「証明書インポート」から証明書を登録してください。\r\n"
            "すでに登録済みの場合は、アプリを実行しているLinuxユーザーと、証明書を登録したユーザー"
            "が同じか確認してください。");
    case 12045: // server certificate authority not trusted
        return QStringLiteral("サーバー証明書の発行元を検証できませんでした。\r\n"
                              "セキュリティソフトやUTMによる通信の中継、またはパソコンの日付ずれ"
                              "が原因の可能性があります。");
    case 12057: // revocation check failed
        return QStringLiteral("サーバー証明書の失効確認ができませんでした。\r\n"
                              "ネットワークまたはプロキシの設定を確認してください。");
    case 12175: // TLS failure
        return QStringLiteral(
            "暗号化通信(TLS)の確立に失敗しました。次の順に確認してください。\r\n"
            "1. クライアント証明書がミナトリの証明書ストアに登録されているか（「証明書インポート」"
            "から登録します）"
            "\r\n"
            "2. その証明書の有効期限が切れていないか\r\n"
            "3. ORCA側の接続元IPアドレス制限に、医院のグローバルIPが登録されているか\r\n"
            "4. セキュリティソフトの暗号化通信スキャンが有効になっていないか");
    default:
        return QStringLiteral("通信エラーが発生しました(コード ") + QString::number(code) +
               QStringLiteral(")。") + QStringLiteral("\r\n") +
               QStringLiteral("URL、ネットワーク接続、証明書を確認してください。");
    }
}

// Only A-Z are folded; full-width letters and everything else stay as they are.
QString asciiLower(const QString &s) {
    QString out = s;
    for (QChar &c : out) {
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            c = QChar(c.unicode() + ('a' - 'A'));
    }
    return out;
}

} // namespace

int ParseWinHttpErrorCode(const QString &message) {
    const qsizetype open = message.indexOf(QLatin1Char('('));
    if (open < 0)
        return 0;
    qsizetype end = open + 1;
    while (end < message.size() && message.at(end) >= QLatin1Char('0') &&
           message.at(end) <= QLatin1Char('9'))
        ++end;
    if (end == open + 1 || end >= message.size() || message.at(end) != QLatin1Char(')'))
        return 0;
    bool ok = false;
    const int value = message.mid(open + 1, end - open - 1).toInt(&ok, 10);
    return ok ? value : 0;
}

QString DescribeTlsFailure(const QString &message) {
    return hintFor(ParseWinHttpErrorCode(message));
}

double DateTimeToDays(const QDateTime &local) {
    const QDateTime t = local.toLocalTime();
    return double(kDayZero.daysTo(t.date())) + t.time().msecsSinceStartOfDay() / kMsPerDay;
}

QDateTime DaysToDateTime(double days) {
    const double whole = std::floor(days);
    const int ms = int(std::llround((days - whole) * kMsPerDay));
    return QDateTime(kDayZero.addDays(qint64(whole)), QTime(0, 0)).addMSecs(ms);
}

int ChooseClientCertificate(const QList<TClientCertCandidate> &candidates) {
    return ChooseClientCertificateAt(candidates, DateTimeToDays(QDateTime::currentDateTime()));
}

int ChooseClientCertificateAt(const QList<TClientCertCandidate> &candidates, double now) {
    Log(QStringLiteral("ClientCert: 候補 %1 件").arg(candidates.size()));
    if (candidates.isEmpty()) {
        Log(QStringLiteral("ClientCert: 使用できる証明書がありません"));
        return -1;
    }

    const QString words[] = {QStringLiteral("orca"), QStringLiteral("orcamo"), kOrcaOperatorDomain,
                             QStringLiteral("jmari"), QStringLiteral("nichii")};
    int chosen = -1;
    int firstValid = -1;
    for (int i = 0; i < candidates.size(); ++i) {
        const TClientCertCandidate &c = candidates.at(i);
        Log(QStringLiteral("ClientCert[%1] Subject=%2 Issuer=%3 Expiry=%4")
                .arg(i)
                .arg(c.Subject, c.Issuer,
                     DaysToDateTime(c.Expiry).date().toString(QStringLiteral("yyyy/MM/dd"))));
        if (c.Expiry > 0 && now > c.Expiry) {
            Log(QStringLiteral("ClientCert[%1] 期限切れのため除外").arg(i));
            continue;
        }
        if (firstValid < 0)
            firstValid = i;
        const QString subject = asciiLower(c.Subject);
        const QString issuer = asciiLower(c.Issuer);
        // Issuer "orca", subject "orca", then the remaining issuer words in order.
        bool match = issuer.contains(words[0]) || subject.contains(words[0]);
        for (int w = 1; !match && w < 5; ++w)
            match = issuer.contains(words[w]);
        if (match) {
            chosen = i;
            break;
        }
    }
    if (chosen < 0)
        chosen = firstValid;
    if (chosen < 0) {
        chosen = 0;
        Log(QStringLiteral("ClientCert: 期限内の証明書が無いため[0]を使用"));
    }
    Log(QStringLiteral("ClientCert: [%1] を使用").arg(chosen));
    return chosen;
}
