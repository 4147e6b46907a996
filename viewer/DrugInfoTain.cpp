// Other institutions' information: the drug, medical and checkup loaders, the
// institution history grid and the other-institution text.
//
// Not built yet: the loaders load nothing, so FDrugLoadOK stays false and no
// mark is derived from a selection.
#include "viewer/DrugInfo.h"

void TfrmDrugInfo::LoadTainInfo() {
    FDrugLoadOK = false;
    FDrug01HasMonth = false;
}

bool TfrmDrugInfo::ParseOnlineDrugGet01(const QString &) {
    return false;
}

bool TfrmDrugInfo::ParseOnlineDrugGet02(const QString &, const QString &) {
    return false;
}

void TfrmDrugInfo::LoadOnlineSpec() {}

void TfrmDrugInfo::LoadOnlineMed() {}

void TfrmDrugInfo::ShowTainOverview() {}

void TfrmDrugInfo::ShowTainDetail() {}

void TfrmDrugInfo::UpdateTainAllButton() {}

void TfrmDrugInfo::BtnTainAllClick() {}

void TfrmDrugInfo::BtnBackClick() {}

void TfrmDrugInfo::BtnCopyClick() {}

void TfrmDrugInfo::GridInstitutionSelectCell(int, int ARow, bool &CanSelect) {
    FInstRow = ARow;
    CanSelect = true;
}

void TfrmDrugInfo::GridInstitutionDblClick(int, int) {}
