// The specific-health-checkup CSV export.
//
// Not built yet.
#include "viewer/DrugInfo.h"

void TfrmDrugInfo::MenuExportTkkClick() {}
