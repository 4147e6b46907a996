// The clinic's own medication history of the chosen patient: one month at a
// time (looking back up to six months for one with entries) or the last 24
// months, from ORCA's medicalgetv2 classes 03 (treatment days), 01 (the day's
// department) and 02 (the day's treatment).
#include "viewer/DrugInfo.h"

#include "orca/OrcaTemplates.h"
#include "platform/Trim.h"
#include "viewer/SelfHistory.h"
#include "viewer/ViewerClock.h"
#include "viewer/ViewerRules.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

namespace {

const QString kSelfLoadFailed = QStringLiteral("自院薬歴を取得できませんでした。");

// Lines in the pane (an empty pane has none).
int lineCount(const QPlainTextEdit *memo) {
    return memo->document()->isEmpty() ? 0 : memo->blockCount();
}

void appendLines(QPlainTextEdit *memo, const QStringList &lines) {
    const QString text = lines.join(QLatin1Char('\n'));
    if (memo->document()->isEmpty())
        memo->setPlainText(text);
    else
        memo->appendPlainText(text);
}

// The lines of a medicalgetv2 answer; false when there is no answer or its
// code says that ORCA could not answer (then the load says so).
bool readMedicalAnswer(const QString &file, QStringList &lines) {
    if (file.isEmpty())
        return false;
    lines = viewer::ReadAnswerLines(file);
    return viewer::IsAnsweredResult(viewer::TOrcaAnswerKind::MedicalGet,
                                    viewer::AnswerResultCode(lines));
}

bool hasText(const QPlainTextEdit *memo) {
    return !platform::TrimText(memo->toPlainText()).isEmpty();
}

} // namespace

void TfrmDrugInfo::LoadSelfHistory() {
    if (platform::TrimText(FPatientID).isEmpty())
        return;
    TBusyScope busy(FRunner);
    MemoSelf->clear();
    m_selfLoadFailed = false;

    if (FSelfAllMode) {
        // Newest month first; a request without answer ends the load.
        const QString current = viewer::MonthOf(viewer::Today());
        for (int i = 0; i < 24 && !m_selfLoadFailed; ++i)
            LoadSelfMonth(viewer::ShiftMonth(current, -i));
    } else {
        if (FSelfMonth.isEmpty())
            FSelfMonth = viewer::MonthOf(viewer::Today());
        LoadSelfMonth(FSelfMonth);
        // An empty month looks back for the latest of the six before it with
        // entries. A month that could not be read is not empty: no look-back.
        if (!m_selfLoadFailed && !hasText(MemoSelf)) {
            const QString asked = FSelfMonth;
            for (int i = 1; i <= 6; ++i) {
                const QString month = viewer::ShiftMonth(asked, -i);
                if (LoadSelfMonth(month)) {
                    FSelfMonth = month;
                    break;
                }
                if (m_selfLoadFailed)
                    break;
                MemoSelf->clear();
            }
        }
    }

    if (m_selfLoadFailed) {
        // Said in the pane, above whatever did arrive.
        const QString shown = MemoSelf->toPlainText();
        MemoSelf->setPlainText(shown.isEmpty() ? kSelfLoadFailed
                                               : kSelfLoadFailed + QStringLiteral("\n\n") + shown);
    }
    // Appending follows the text down; the pane opens on its newest day.
    MemoSelf->moveCursor(QTextCursor::Start);
    UpdateSelfMonthLabel();
}

bool TfrmDrugInfo::LoadSelfMonth(const QString &month) {
    const QString id = platform::TrimText(FPatientID);
    if (id.isEmpty() || platform::TrimText(month).isEmpty())
        return false;
    const int before = lineCount(MemoSelf);
    const QString what =
        QStringLiteral("自院薬歴（%1）を取得しています…").arg(viewer::MonthCaption(month));

    QStringList lines;
    if (!readMedicalAnswer(OrcaCallWithIdRetry(kPathMedicalCalendar,
                                               FillPlaceholder(kSelfCalendarTemplate,
                                                               kPlaceholderMonth, month),
                                               FPatientID, what),
                           lines)) {
        m_selfLoadFailed = true;
        return false;
    }
    const QStringList days = viewer::ReadCalendarDays(lines, month);
    for (const QString &day : days) {
        if (!readMedicalAnswer(OrcaCall(kPathMedicalDay, BuildMedicalDayRequest(id, day), what),
                               lines)) {
            m_selfLoadFailed = true;
            break;
        }
        const QString department = viewer::ReadDayDepartment(lines, day);
        if (department.isEmpty())
            continue; // no visit that day names a department
        if (!readMedicalAnswer(
                OrcaCall(kPathMedicalDayDept, BuildMedicalDayDeptRequest(id, day, department), what),
                lines)) {
            m_selfLoadFailed = true;
            break;
        }
        ParseMedicalGet02(lines, day);
    }
    return lineCount(MemoSelf) > before;
}

void TfrmDrugInfo::ParseMedicalGet02(const QStringList &lines, const QString &day) {
    QStringList block = viewer::SelfDayBlock(day, viewer::ReadSelfDrugs(lines));
    if (block.isEmpty())
        return; // only procedures that day
    if (lineCount(MemoSelf) > 0)
        block.prepend(QString());
    appendLines(MemoSelf, block);
}

void TfrmDrugInfo::RefreshSelfHistory() {
    UpdateSelfMonthLabel();
    LoadSelfHistory();
}

void TfrmDrugInfo::UpdateSelfMonthLabel() {
    if (FSelfAllMode)
        LabelSelfMonth->setText(QStringLiteral("全て"));
    else if (!FSelfMonth.isEmpty())
        LabelSelfMonth->setText(viewer::MonthCaption(FSelfMonth));
    else
        LabelSelfMonth->clear();
    BtnSelfPrevMonth->setEnabled(!FSelfAllMode);
    BtnSelfNextMonth->setEnabled(!FSelfAllMode);
    BtnSelfAll->setText(FSelfAllMode ? QStringLiteral("当月") : QStringLiteral("全て"));
}

void TfrmDrugInfo::MoveSelfMonth(int delta) {
    FSelfAllMode = false;
    if (FSelfMonth.isEmpty())
        FSelfMonth = viewer::MonthOf(viewer::Today());
    FSelfMonth = viewer::ShiftMonth(FSelfMonth, delta);
    RefreshSelfHistory();
}

void TfrmDrugInfo::BtnSelfPrevMonthClick() {
    MoveSelfMonth(-1);
}

void TfrmDrugInfo::BtnSelfNextMonthClick() {
    MoveSelfMonth(1);
}

void TfrmDrugInfo::BtnSelfAllClick() {
    FSelfAllMode = !FSelfAllMode;
    RefreshSelfHistory();
}
