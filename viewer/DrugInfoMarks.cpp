// The list marks: the viewer's side of the background mark worker and the
// 30-minute mark cache.
#include "viewer/DrugInfo.h"

#include "core/CoreSource.h"
#include "markcheck/TainMarkCheck.h"
#include "platform/Trim.h"
#include "viewer/StringGrid.h"
#include "viewer/ViewerClock.h"

#include <memory>

void TfrmDrugInfo::StartMarkCheck() {
    const QDateTime now = viewer::Now();
    QStringList ids;
    for (int r = 1; r < GridPatient->RowCount(); ++r) {
        const QString id = platform::TrimText(GridPatient->Cells(1, r));
        if (id.isEmpty())
            continue;
        const auto cached = FTainMarkCache.constFind(id);
        if (cached != FTainMarkCache.constEnd() && IsMarkFresh(*cached, now)) {
            if (!cached->Mark.isEmpty())
                GridPatient->SetCell(3, r, cached->Mark);
            continue;
        }
        if (!ids.contains(id))
            ids << id;
    }
    if (ids.isEmpty())
        return;

    if (FMarkThread) {
        if (!FMarkThread->isFinished())
            return; // the running worker goes on; these wait for the next call
        delete FMarkThread;
        FMarkThread = nullptr;
    }

    const QString kind =
        platform::TrimText(ReadSetting(QStringLiteral("COKBN"), QStringLiteral("CHCK"), QString()));
    const QString address = platform::TrimText(
        ReadSetting(QStringLiteral("PARAMA"), QStringLiteral("IPADR"), QString()));
    QString baseUrl = stURL;
    if (kind == QLatin1String("2") && !address.isEmpty())
        baseUrl = QStringLiteral("http://") + address + QStringLiteral(":8000/api/");

    // The callback learns which worker it belongs to once that exists.
    auto source = std::make_shared<QPointer<TTainMarkThread>>();
    auto *worker =
        new TTainMarkThread(ids, baseUrl, kind != QLatin1String("2"), platform::TrimText(stAPIUSER),
                            platform::TrimText(stAPIKEY), FSelfInstCd,
                            [this, source](const QString &id, const QString &mark, bool ok) {
                                DeliverMarkResult(source->data(), id, mark, ok);
                            });
    *source = worker;
    if (m_markConnectMs > 0)
        worker->SetTimeouts(m_markConnectMs, m_markResponseMs);
    FMarkThread = worker;
    worker->start();
}

void TfrmDrugInfo::DeliverMarkResult(TTainMarkThread *source, const QString &APtID,
                                     const QString &AMark, bool AOK) {
    if (m_formClosed)
        return;
    // While a sequence runs, results wait for its end, in order.
    if (FRunner.IsBusy()) {
        m_heldMarks << THeldMark{source, APtID, AMark, AOK};
        return;
    }
    ApplyMarkResult(APtID, AMark, AOK);
}

void TfrmDrugInfo::ApplyMarkResult(const QString &APtID, const QString &AMark, bool AOK) {
    if (AOK)
        FTainMarkCache.insert(APtID, TTainMark{AMark, viewer::Now()});
    if (AMark.isEmpty())
        return;
    for (int r = 1; r < GridPatient->RowCount(); ++r) {
        if (platform::TrimText(GridPatient->Cells(1, r)) == APtID)
            GridPatient->SetCell(3, r, AMark);
    }
}

void TfrmDrugInfo::StoreOwnMark() {
    if (platform::TrimText(FPatientID).isEmpty() || !FDrugLoadOK)
        return;
    const QString mark =
        ComposeMark(FDrug01HasMonth || !FMedInstMonths.isEmpty(), !FTkkDates.isEmpty());
    FTainMarkCache.insert(FPatientID, TTainMark{mark, viewer::Now()});
    // Only into the row of this patient (the row may have been rebuilt since).
    if (FPatientRow >= 1 && FPatientRow < GridPatient->RowCount() &&
        platform::TrimText(GridPatient->Cells(1, FPatientRow)) == platform::TrimText(FPatientID))
        GridPatient->SetCell(3, FPatientRow, mark);
}

void TfrmDrugInfo::StopMarkCheck() {
    if (!FMarkThread)
        return;
    FMarkThread->Terminate();
    FMarkThread->wait();
    delete FMarkThread; // drops the results it queued and that were not delivered
    FMarkThread = nullptr;
}
