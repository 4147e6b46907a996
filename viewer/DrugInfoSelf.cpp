// The clinic's own medication history of the chosen patient, by month.
//
// Not built yet: the pane stays empty.
#include "viewer/DrugInfo.h"

void TfrmDrugInfo::LoadSelfHistory() {}

void TfrmDrugInfo::RefreshSelfHistory() {
    UpdateSelfMonthLabel();
    LoadSelfHistory();
}

void TfrmDrugInfo::UpdateSelfMonthLabel() {}

void TfrmDrugInfo::BtnSelfPrevMonthClick() {}

void TfrmDrugInfo::BtnSelfNextMonthClick() {}

void TfrmDrugInfo::BtnSelfAllClick() {}
