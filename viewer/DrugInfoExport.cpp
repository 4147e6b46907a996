// The specific-health-checkup CSV export: for every patient of the patient
// cache, the checkup months from ORCA's online-qualification data with the
// birth date and the ages, kept between runs in TokuteiCacheORCA.txt so that a
// differential run asks ORCA only about the patients seen since the last
// complete run.
#include "viewer/DrugInfo.h"

#include "core/CoreSource.h"
#include "orca/OrcaTemplates.h"
#include "platform/Trim.h"
#include "platform/UiSeam.h"
#include "viewer/PatientCache.h"
#include "viewer/TokuteiExport.h"
#include "viewer/ViewerClock.h"
#include "viewer/ViewerRules.h"

#include <QApplication>
#include <QEvent>
#include <QFileInfo>
#include <QSet>
#include <QTimer>
#include <QWindow>

#include <exception>

using platform::Ui;
using namespace viewer;

namespace {

// Viewers whose export is running: a second export of the same viewer does not start.
QSet<const TfrmDrugInfo *> g_exporting;

// While the export talks to ORCA, user input for the viewer does nothing, by
// whatever way it arrives (the request runner already keeps the platform's
// input queued while it waits). Painting, the title and every other window
// goes on as usual.
class TInputHold : public QObject {
public:
    explicit TInputHold(QWidget *window) : m_window(window) { qApp->installEventFilter(this); }
    ~TInputHold() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
            break;
        default:
            return false;
        }
        if (auto *w = qobject_cast<QWidget *>(watched))
            return w->window() == m_window;
        if (auto *win = qobject_cast<QWindow *>(watched))
            return win == m_window->windowHandle();
        return false;
    }

private:
    QWidget *m_window;
};

class TTkkExport {
public:
    explicit TTkkExport(TfrmDrugInfo &viewer) : V(viewer) {}
    void Run();

private:
    platform::MsgResult AskFetchMode(const QDate &last, int n);
    bool CollectRecentReceptions(const QDate &firstDay);
    bool FetchBirthDate(const QString &chartNo, QString &birth);
    bool FetchCheckupDates(const QString &chartNo);
    void AddExportRows(const QString &date);

    TfrmDrugInfo &V;
    QDate m_today;
    TCheckupCache m_cache; // the birth map and the dates map
    QSet<QString> m_recent;
    QStringList m_dates; // the current patient's checkup dates
    QList<TExportRow> m_rows;
    bool m_differential = false;
    bool m_switched = false;
    int m_written = 0;
    int m_queried = 0;
    int m_failed = 0;
    // The current patient.
    QString m_chartNo, m_name, m_birth, m_currentAge;
};

void TTkkExport::Run() {
    const QString patientCache = TfrmDrugInfo::PatientCachePath();
    if (!QFileInfo::exists(patientCache)) {
        Ui().messageBox(&V, QString(),
                        QStringLiteral("患者キャッシュがありません。\r\n"
                                       "受付一覧を読み込むと自動的に蓄積されます。"),
                        platform::MsgIcon::Information, platform::MsgButtons::Ok);
        return;
    }

    // The refresh timer rests for the whole export and gets its state back
    // however the export ends.
    const QString title = V.windowTitle();
    struct TimerRestore {
        QTimer *timer;
        bool wasActive;
        ~TimerRestore() {
            if (wasActive)
                timer->start();
        }
    } timerRestore{V.TimerRefresh, V.TimerRefresh->isActive()};
    V.TimerRefresh->stop();

    const TExportPatientList list = ParseExportPatientList(ReadTextFileLines(patientCache));
    m_cache = LoadCheckupCache(TokuteiCachePath());

    // One day for the whole run: the dates asked for, the ages, the file name
    // and the day recorded as the last complete fetch.
    m_today = viewer::Today();
    m_differential = false;
    QDate last;
    // After a run in which patients failed, those patients stand in the cache
    // with what an earlier run learned; a differential run would keep that
    // until they come again, so the next run asks everybody.
    const bool fullNext =
        platform::TrimText(ReadSetting(QStringLiteral("TOKUTEI"), QStringLiteral("FULLNEXT"),
                                       QString())) == QLatin1String("1");
    if (!fullNext && MayOfferDifferential(!m_cache.Birth.isEmpty(),
                                          ReadSetting(QStringLiteral("TOKUTEI"),
                                                      QStringLiteral("LASTFETCH"), QString()),
                                          m_today, &last)) {
        switch (AskFetchMode(last, list.LineCount)) {
        case platform::MsgResult::Yes:
            m_differential = true;
            break;
        case platform::MsgResult::No:
            break;
        default:
            return;
        }
    }

    platform::FileDialogSpec save;
    save.title = QStringLiteral("特定健診CSVの保存先");
    save.filter = QStringLiteral("CSVファイル (*.csv)|*.csv");
    save.defaultExt = QStringLiteral("csv");
    save.fileName = QStringLiteral("特定健診受診年月_") +
                    m_today.toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".csv");
    save.confirmOverwrite = true;
    const QString target = Ui().saveFileDialog(&V, save);
    if (target.isEmpty())
        return;

    Ui().setCursor(platform::CursorKind::Hourglass);
    {
        struct Restore {
            TfrmDrugInfo &viewer;
            QString title;
            ~Restore() {
                viewer.setWindowTitle(title);
                Ui().setCursor(platform::CursorKind::Default);
            }
        } restore{V, title};
        TInputHold hold(&V);

        if (m_differential && !CollectRecentReceptions(last)) {
            m_differential = false;
            m_switched = true;
        }

        for (const TExportPatient &p : list.Patients) {
            m_chartNo = p.PatientID;
            m_name = p.Name;
            if (m_differential && m_cache.Birth.contains(m_chartNo) &&
                !m_recent.contains(m_chartNo)) {
                m_birth = m_cache.Birth.value(m_chartNo);
                m_dates = SplitCachedDates(m_cache.Dates.value(m_chartNo));
            } else {
                V.setWindowTitle(QStringLiteral("特定健診取得中... (%1/%2)")
                                     .arg(p.Position)
                                     .arg(list.LineCount));
                ++m_queried;
                m_birth.clear();
                bool birthOk = true;
                if (!m_differential || m_cache.Birth.value(m_chartNo).isEmpty())
                    birthOk = FetchBirthDate(m_chartNo, m_birth);
                else
                    m_birth = m_cache.Birth.value(m_chartNo);
                const bool datesOk = FetchCheckupDates(m_chartNo);
                if (birthOk && datesOk) {
                    m_cache.Birth.insert(m_chartNo, m_birth);
                    m_cache.Dates.insert(m_chartNo, m_dates.join(QLatin1Char(';')));
                } else {
                    ++m_failed;
                    Log(QStringLiteral("特定健診CSV: 取得失敗 ID=") + m_chartNo);
                    if (!birthOk && m_cache.Birth.contains(m_chartNo))
                        m_birth = m_cache.Birth.value(m_chartNo);
                    if (!datesOk && m_cache.Dates.contains(m_chartNo))
                        m_dates = SplitCachedDates(m_cache.Dates.value(m_chartNo));
                }
            }
            m_currentAge = AgeOn(m_birth, m_today);
            ++m_written;
            if (m_dates.isEmpty()) {
                AddExportRows(QString());
            } else {
                for (const QString &date : std::as_const(m_dates))
                    AddExportRows(date);
            }
        }

        // The file first: the cache and the last complete fetch move on only
        // once the CSV has landed.
        WritePrivateFileAtomically(target, ExportCsvBytes(m_rows));
        SaveCheckupCache(TokuteiCachePath(), m_cache);
        if (m_failed == 0) {
            WriteSetting(QStringLiteral("TOKUTEI"), QStringLiteral("LASTFETCH"),
                         m_today.toString(QStringLiteral("yyyy-MM-dd")));
            if (fullNext)
                WriteSetting(QStringLiteral("TOKUTEI"), QStringLiteral("FULLNEXT"), QString());
        } else if (!fullNext) {
            WriteSetting(QStringLiteral("TOKUTEI"), QStringLiteral("FULLNEXT"),
                         QStringLiteral("1"));
        }
    }

    Log(QStringLiteral("特定健診CSV出力: %1 %2人・%3件 (問い合わせ %4人, 失敗 %5人)")
            .arg(m_differential ? QStringLiteral("差分") : QStringLiteral("全件"))
            .arg(m_written)
            .arg(m_rows.size())
            .arg(m_queried)
            .arg(m_failed));

    QString message =
        QStringLiteral("%1人・%2件を書き出しました。").arg(m_written).arg(m_rows.size());
    if (m_switched)
        message += QStringLiteral("\r\n受付一覧を確認できなかったため、全件を取り直しました。");
    if (m_failed > 0)
        message += QStringLiteral("\r\nORCAと通信できなかった患者が %1人いました。"
                                  "前回取得した内容で出力しています（初めての患者は空欄）。"
                                  "次回の出力で取り直します。")
                       .arg(m_failed);
    message += QStringLiteral("\r\n") + target;
    Ui().messageBox(&V, QString(), message, platform::MsgIcon::Information,
                    platform::MsgButtons::Ok);
}

platform::MsgResult TTkkExport::AskFetchMode(const QDate &last, int n) {
    enum { kDifferential = 1, kFull = 2 };
    const QString lastText = last.toString(QStringLiteral("yyyy/MM/dd"));
    platform::TaskDialogSpec spec;
    spec.caption = QStringLiteral("特定健診CSV出力");
    spec.instruction = QStringLiteral("取得のしかたを選んでください");
    spec.content = QStringLiteral("前回ORCAから取得した日： %1").arg(lastText);
    spec.links = {
        {kDifferential, QStringLiteral("差分で取得する（速い・通常はこちら）"),
         QStringLiteral("前回以降に受付した患者と、新しく登録された患者だけをORCAに問い合わせます。"
                        "それ以外の患者は前回取得した内容を使います。")},
        {kFull, QStringLiteral("全件取り直す"),
         QStringLiteral("登録されている全員（%1人）をORCAに問い合わせます。数分かかります。")
             .arg(n)},
    };
    spec.allowCancel = true;
    spec.cancelButton = true;
    spec.defaultLink = kDifferential;

    int chosen = platform::kTaskDialogUnavailable;
    try {
        chosen = Ui().taskDialog(&V, spec);
    } catch (const std::exception &) {
        chosen = platform::kTaskDialogUnavailable;
    }
    if (chosen != platform::kTaskDialogUnavailable) {
        if (chosen == kDifferential)
            return platform::MsgResult::Yes;
        if (chosen == kFull)
            return platform::MsgResult::No;
        return platform::MsgResult::Cancel;
    }

    // Where the task dialog cannot be shown, the same question as a message box.
    const QString text =
        QStringLiteral("前回ORCAから取得した日： %1").arg(lastText) + QStringLiteral("\r\n\r\n") +
        QStringLiteral("［はい］差分で取得する（前回以降に受付した患者と新しい患者だけ。速い）") +
        QStringLiteral("\r\n") +
        QStringLiteral("［いいえ］全件取り直す（全員%1人を問い合わせ。数分かかります）").arg(n);
    return Ui().messageBox(&V, QString(), text, platform::MsgIcon::Question,
                           platform::MsgButtons::YesNoCancel);
}

bool TTkkExport::CollectRecentReceptions(const QDate &firstDay) {
    for (QDate day = firstDay; day <= m_today; day = day.addDays(1)) {
        V.setWindowTitle(QStringLiteral("受付一覧を確認中... (%1)")
                             .arg(day.toString(QStringLiteral("yyyy/MM/dd"))));
        const QString dayText = day.toString(QStringLiteral("yyyy-MM-dd"));
        const QString body = FillPlaceholder(kAcceptListTemplate, kPlaceholderDate, dayText);
        const QString file = V.OrcaCall(kPathAcceptList, body);
        // An error answer (a bad date, the server busy …) says nothing about who came.
        const QStringList lines = file.isEmpty() ? QStringList() : ReadAnswerLines(file);
        if (file.isEmpty() ||
            !IsAnsweredResult(TOrcaAnswerKind::AcceptList, AnswerResultCode(lines))) {
            Log(QStringLiteral("特定健診CSV: 受付一覧を取得できず全件に切替 ") + dayText);
            return false;
        }
        for (const QString &id : ReadReceptionPatientIds(lines))
            m_recent.insert(id);
    }
    return true;
}

bool TTkkExport::FetchBirthDate(const QString &chartNo, QString &birth) {
    birth.clear();
    const QString file = V.OrcaCall(PatientGetPath(chartNo), QString());
    if (file.isEmpty() || !QFileInfo::exists(file))
        return false;
    const QStringList lines = ReadAnswerLines(file);
    if (!IsAnsweredResult(TOrcaAnswerKind::PatientGet, AnswerResultCode(lines)))
        return false;
    birth = ReadBirthDate(lines);
    return true;
}

bool TTkkExport::FetchCheckupDates(const QString &chartNo) {
    m_dates.clear();
    const QString body =
        FillPlaceholder(kCheckupTemplate, kPlaceholderRequestNumber, QStringLiteral("01"));
    const QString file = V.OrcaCallWithIdRetry(kPathOnlineSpec, body, chartNo);
    if (file.isEmpty() || !QFileInfo::exists(file))
        return false;
    const QStringList lines = ReadAnswerLines(file);
    if (!IsAnsweredResult(TOrcaAnswerKind::OnlineSpec, AnswerResultCode(lines)))
        return false;
    m_dates = ReadCheckupDates(lines);
    return true;
}

void TTkkExport::AddExportRows(const QString &date) {
    m_rows << MakeExportRow(m_chartNo, m_name, m_birth, date, m_currentAge);
}

} // namespace

void TfrmDrugInfo::MenuExportTkkClick() {
    if (g_exporting.contains(this))
        return;
    g_exporting.insert(this);
    struct Done {
        const TfrmDrugInfo *viewer;
        ~Done() { g_exporting.remove(viewer); }
    } done{this};
    TTkkExport(*this).Run();
}
