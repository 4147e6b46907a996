// Printing either text pane as a medication-notebook column.
//
// Not built yet.
#include "viewer/DrugInfo.h"

void TfrmDrugInfo::BtnSelfPrintClick() {}

void TfrmDrugInfo::BtnPrintClick() {}
