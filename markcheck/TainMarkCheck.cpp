#include "markcheck/TainMarkCheck.h"

#include "core/CoreSource.h"
#include "orca/OrcaHttp.h"
#include "orca/OrcaTags.h"
#include "orca/OrcaTemplates.h"

#include <QElapsedTimer>
#include <QMetaObject>

namespace {

void log(const QString &message) {
    WriteLog(LogFilePath(), message);
}

} // namespace

TTainMarkThread::TTainMarkThread(const QStringList &AIDs, const QString &ABaseURL, bool ASecure,
                                 const QString &AUser, const QString &APass,
                                 const QString &ASelfInstCd, TTainMarkResultEvent AOnResult,
                                 QObject *parent)
    : QThread(parent), FIDs(AIDs), FBaseURL(ABaseURL), FSecure(ASecure), FUser(AUser), FPass(APass),
      FSelfInstCd(ASelfInstCd), FOnResult(std::move(AOnResult)) {}

TTainMarkThread::~TTainMarkThread() {
    if (isRunning()) {
        Terminate();
        wait();
    }
    // Results still queued to this object are dropped with it (QObject removes
    // the events posted to it).
}

void TTainMarkThread::Terminate() {
    FTerminated.store(true);
    requestInterruption();
}

void TTainMarkThread::SetTimeouts(int connectMs, int responseMs) {
    FConnectTimeoutMs = connectMs;
    FResponseTimeoutMs = responseMs;
}

void TTainMarkThread::run() {
    // Nothing may leave the thread body: an error here ends the worker, never
    // the program.
    try {
        Execute();
    } catch (...) {
        FAborted.store(true);
    }
    FClient.reset();
}

void TTainMarkThread::Execute() {
    QElapsedTimer watch;
    watch.start();
    FClient = std::make_unique<TOrcaHttpClient>();
    FClient->setTimeouts(FConnectTimeoutMs, FResponseTimeoutMs);

    for (const QString &id : FIDs) {
        if (Terminated())
            break;
        const TCheck check = CheckPatient(id);
        if (Terminated())
            break;
        if (!check.OK)
            FFailCount.fetch_add(1);
        QueueResult(id, check.Mark, check.OK);
    }
    FClient.reset();

    log(QStringLiteral("MarkCheck: %1人 API %2回 失敗 %3人 %4ms%5")
            .arg(FIDs.size())
            .arg(FCallCount.load())
            .arg(FFailCount.load())
            .arg(watch.elapsed())
            .arg(Terminated() ? QStringLiteral(" (中断)") : QString()));
}

void TTainMarkThread::QueueResult(const QString &APtID, const QString &AMark, bool AOK) {
    // Posted to this object, which lives on the creating thread: delivered
    // there in order, dropped when the object is destroyed first.
    QMetaObject::invokeMethod(
        this,
        [this, APtID, AMark, AOK] {
            if (FOnResult)
                FOnResult(APtID, AMark, AOK);
        },
        Qt::QueuedConnection);
}

TTainMarkThread::TCheck TTainMarkThread::CheckPatient(const QString &APtID) {
    bool other = false;
    bool checkup = false;
    TCheck result;

    QString answer;
    if (PostApiWithIdRetry(kPathOnlineDrug, kMarkDrugTemplate, APtID, answer) &&
        DrugAnswerHasMonth(answer))
        other = true;

    if (!other && !Terminated()) {
        if (PostApiWithIdRetry(kPathOnlineMed, kMarkMedTemplate, APtID, answer) &&
            MedAnswerHasOtherInstitution(answer, FSelfInstCd))
            other = true;
    }

    if (!Terminated()) {
        result.OK = PostApiWithIdRetry(kPathOnlineSpec, kMarkCheckupTemplate, APtID, answer);
        if (result.OK && CheckupAnswerHasDate(answer))
            checkup = true;
    }
    result.Mark = ComposeMark(other, checkup);
    return result;
}

bool TTainMarkThread::PostApiWithIdRetry(const QString &APath, const QString &ATemplate,
                                         const QString &APtID, QString &AAnswer) {
    const QStringList candidates = PatientIdCandidates(APtID);
    bool answered = false; // some candidate got an answer
    bool failed = false;   // some candidate got none
    for (int i = 0; i < candidates.size() && !Terminated(); ++i) {
        const QString &candidate = candidates.at(i);
        if (candidate.isEmpty() || (i > 0 && candidate == candidates.at(0)))
            continue;
        QString answer;
        if (!PostApi(APath, FillPlaceholder(ATemplate, kPlaceholderPatientId, candidate), answer)) {
            failed = true;
            continue;
        }
        answered = true;
        AAnswer = answer;
        if (!IsE10Answer(answer))
            return true;
    }
    // Only E10 answers: the patient is unknown, which is an answer, unless a
    // form went unanswered; then the query failed (an E10 for a padded form
    // says nothing about the form that got no answer).
    return answered && !failed;
}

bool TTainMarkThread::PostApi(const QString &APath, const QString &ADocument, QString &AAnswer) {
    OrcaHttpRequest request;
    request.url = FBaseURL + APath;
    request.post = true;
    request.restrictTls = FSecure;
    request.user = FUser;
    request.password = FPass;
    request.auth = OrcaAuthMode::Preemptive;

    for (int attempt = 1; attempt <= 3; ++attempt) {
        if (Terminated())
            return false;
        FCallCount.fetch_add(1);
        request.body = ADocument.toUtf8();
        request.headers = {QByteArrayLiteral("Content-Type: application/xml; charset=UTF-8")};
        if (attempt >= 2)
            request.headers << QByteArrayLiteral("Connection: close");

        const OrcaHttpResult r = FClient->send(request);
        if (r.kind == OrcaHttpResult::Response) {
            if (r.status == 200) {
                AAnswer = QString::fromUtf8(r.body);
                return true;
            }
            log(QStringLiteral("MarkCheck API: %1 -> ResponseCode=%2").arg(APath).arg(r.status));
            return false;
        }
        if (r.kind == OrcaHttpResult::OtherError) {
            log(QStringLiteral("MarkCheck Error: ") + r.errorText + QStringLiteral(" API: ") +
                APath);
            return false;
        }
        log(QStringLiteral("MarkCheck HTTP Error (attempt %1): %2 API: %3")
                .arg(attempt)
                .arg(r.errorText, APath));
        if (!IsRetryableFailure(r.errorText))
            return false;
        QThread::msleep(kRetryWaitMs);
    }
    return false;
}
