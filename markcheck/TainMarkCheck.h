#pragma once
#include "markcheck/MarkRules.h"

#include <QStringList>
#include <QThread>

#include <atomic>
#include <functional>
#include <memory>

class TOrcaHttpClient;

// Receives one result on the user-interface thread: the patient ID exactly as
// it was handed to the worker, the mark, and whether the check counts as done.
using TTainMarkResultEvent =
    std::function<void(const QString &APtID, const QString &AMark, bool AOK)>;

// The background worker that works out the reception list's marks, one patient
// after another, with its own HTTP client (credentials sent with the first
// request, 15 s to connect, 30 s for the answer). Each result is queued to the
// thread that created the worker and delivered there in order; results not yet
// delivered when the worker is destroyed are dropped. The worker reads no
// settings and touches no window.
class TTainMarkThread : public QThread {
    Q_OBJECT
public:
    // Created suspended; the creator calls start() and deletes it.
    TTainMarkThread(const QStringList &AIDs, const QString &ABaseURL, bool ASecure,
                    const QString &AUser, const QString &APass, const QString &ASelfInstCd,
                    TTainMarkResultEvent AOnResult, QObject *parent = nullptr);
    // Asks a running worker to end, waits for it and drops its undelivered results.
    ~TTainMarkThread() override;

    // Asks the worker to end after the request in flight.
    void Terminate();
    bool Terminated() const { return FTerminated.load(); }

    struct TCheck {
        bool OK = false;
        QString Mark;
    };
    // The decision for one patient: drug, medical (only while no other
    // institution is known) and checkup query.
    TCheck CheckPatient(const QString &APtID);
    // One query with the padded patient-number retry; answer is the last one
    // received. True when a form was found, or when every form was answered
    // (all E10: the patient is unknown); false when a form got no answer and
    // none was found.
    bool PostApiWithIdRetry(const QString &APath, const QString &ATemplate, const QString &APtID,
                            QString &AAnswer);
    // One query, up to three attempts.
    bool PostApi(const QString &APath, const QString &ADocument, QString &AAnswer);

    int CallCount() const { return FCallCount.load(); }
    int FailCount() const { return FFailCount.load(); }
    // Whether the body ended by an error that escaped it (no end-of-run line then).
    bool Aborted() const { return FAborted.load(); }

    static constexpr int kConnectTimeoutMs = 15000;
    static constexpr int kResponseTimeoutMs = 30000;
    static constexpr int kRetryWaitMs = 200;
    // Tests shorten the time-outs.
    void SetTimeouts(int connectMs, int responseMs);

protected:
    void run() override; // the thread body

private:
    void Execute();
    void QueueResult(const QString &APtID, const QString &AMark, bool AOK);

    const QStringList FIDs;
    const QString FBaseURL;
    const bool FSecure;
    const QString FUser;
    const QString FPass;
    const QString FSelfInstCd;
    const TTainMarkResultEvent FOnResult;
    std::unique_ptr<TOrcaHttpClient> FClient;
    std::atomic<bool> FTerminated{false};
    std::atomic<bool> FAborted{false};
    std::atomic<int> FCallCount{0};
    std::atomic<int> FFailCount{0};
    int FConnectTimeoutMs = kConnectTimeoutMs;
    int FResponseTimeoutMs = kResponseTimeoutMs;
};
