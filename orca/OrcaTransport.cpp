#include "orca/OrcaTransport.h"

#include "core/CoreSource.h"
#include "orca/OrcaTags.h"
#include "orca/OrcaTemplates.h"
#include "orca/TlsFailure.h"
#include "platform/AppPaths.h"
#include "platform/PrivateFile.h"
#include "platform/Trim.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <exception>

namespace {

// Thrown for a failure that ends the call with "Unexpected Error: ".
struct TransportError : std::exception {
    explicit TransportError(const QString &t) : text(t) {}
    QString text;
};

} // namespace

bool SaveResponseText(const QString &path, const QString &text, QString *error) {
    return platform::ReplacePrivateFile(path, QByteArray("\xEF\xBB\xBF") + text.toUtf8(), error);
}

QString ResponseFileName(const QString &path) {
    QString name = path;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    name.replace(QLatin1Char('?'), QLatin1Char('_'));
    name.replace(QLatin1Char('='), QLatin1Char('_'));
    return QStringLiteral("Res_") + name + QStringLiteral(".txt");
}

TOrcaTransport::TOrcaTransport() = default;

QString TOrcaTransport::CallOrcaApi(const QString &path, const QString &body) {
    try {
        QString url = stURL + path;
        const QString kind = platform::TrimText(
            ReadSetting(QStringLiteral("COKBN"), QStringLiteral("CHCK"), QString()));
        const QString address = platform::TrimText(
            ReadSetting(QStringLiteral("PARAMA"), QStringLiteral("IPADR"), QString()));
        const bool onPremise = kind == QLatin1String("2");
        if (onPremise && !address.isEmpty())
            url = QStringLiteral("http://") + address + QStringLiteral(":8000/api/") + path;

        QElapsedTimer watch;
        watch.start();

        FAuthUser = platform::TrimText(stAPIUSER);
        FAuthPass = platform::TrimText(stAPIKEY);

        OrcaHttpRequest request;
        request.url = url;
        request.restrictTls = !onPremise;
        request.user = FAuthUser;
        request.password = FAuthPass;
        request.auth = OrcaAuthMode::OnChallenge;
        request.post = !platform::TrimText(body).isEmpty();

        OrcaHttpResult answer;
        for (int attempt = 1; attempt <= 3; ++attempt) {
            request.headers.clear();
            if (request.post) {
                request.body = body.toUtf8();
                request.headers << QByteArrayLiteral(
                    "Content-Type: application/xml; charset=UTF-8");
            }
            if (attempt >= 2)
                request.headers << QByteArrayLiteral("Connection: close");

            answer = m_client.send(request);
            if (answer.kind == OrcaHttpResult::Response)
                break;
            if (answer.kind == OrcaHttpResult::OtherError) {
                Log(QStringLiteral("Error: ") + answer.errorText);
                return QString();
            }
            Log(QStringLiteral("HTTP Error (attempt %1): %2 URL: %3")
                    .arg(attempt)
                    .arg(answer.errorText, url));
            QString hint = DescribeTlsFailure(answer.errorText);
            if (!hint.isEmpty())
                Log(QStringLiteral("Hint: ") +
                    hint.replace(QStringLiteral("\r\n"), QStringLiteral(" / ")));
            if (!IsRetryableFailure(answer.errorText) || attempt >= 3)
                return QString();
            QThread::msleep(kRetryWaitMs);
        }

        const qint64 elapsed = watch.elapsed();
        if (answer.status != 200) {
            Log(QStringLiteral("API: %1 -> ResponseCode=%2 (%3ms) URL: %4")
                    .arg(path, QString::number(answer.status), QString::number(elapsed), url));
            return QString();
        }
        Log(QStringLiteral("API: %1 -> 200 (%2ms)").arg(path, QString::number(elapsed)));

        const QString fileName = platform::AppDataDir() + ResponseFileName(path);
        QString error;
        if (!SaveResponseText(fileName, QString::fromUtf8(answer.body), &error))
            throw TransportError(QStringLiteral("Cannot write %1: %2").arg(fileName, error));
        return fileName;
    } catch (const TransportError &e) {
        Log(QStringLiteral("Unexpected Error: ") + e.text);
    } catch (const EAppError &e) {
        Log(QStringLiteral("Unexpected Error: ") + e.message());
    } catch (const std::exception &e) {
        Log(QStringLiteral("Unexpected Error: ") + QString::fromLocal8Bit(e.what()));
    }
    return QString();
}

QString TOrcaTransport::CallOrcaApiWithIdRetry(const QString &path, const QString &bodyTemplate,
                                               const QString &placeholder,
                                               const QString &patientId) {
    const QStringList candidates = PatientIdCandidates(patientId);
    const QString trimmed = candidates.value(0);
    QString result;
    bool failed = false; // a form got no answer
    for (int i = 0; i < candidates.size(); ++i) {
        const QString &candidate = candidates.at(i);
        if (candidate.isEmpty() || (i > 0 && candidate == trimmed))
            continue;
        const QString prefix = QStringLiteral("IDRetry[%1] ").arg(i) + path +
                               QStringLiteral(" PtID=") + candidate + QStringLiteral(" -> ");
        result = CallOrcaApi(path, FillPlaceholder(bodyTemplate, placeholder, candidate));
        if (result.isEmpty()) {
            Log(prefix + QStringLiteral("ResFile empty"));
            failed = true;
            continue;
        }
        QString text;
        QFile f(result);
        if (f.open(QIODevice::ReadOnly))
            text = QString::fromUtf8(f.readAll());
        if (IsE10Answer(text)) {
            Log(prefix + QStringLiteral("E10"));
            continue;
        }
        if (i > 0)
            Log(prefix + QStringLiteral("OK"));
        return result;
    }
    Log(QStringLiteral("IDRetry-END api=") + path + QStringLiteral(" all-E10"));
    // No form found the patient. When one of them got no answer, that form
    // may be the patient's: the request failed, and an E10 answer to another
    // form must not reach the caller as "no such patient, no data".
    return failed ? QString() : result;
}
