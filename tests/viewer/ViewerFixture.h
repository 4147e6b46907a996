// Shared set-up of the viewer tests: a private application folder, the
// stand-in server, user.ini, and an opened viewer window.
#pragma once
#include "tests/support/StandinServer.h"

#include <QJsonArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <memory>

class TfrmDrugInfo;

namespace fixture {

// Writes user.ini into the test's application folder: "SECTION/KEY" -> value.
void WriteIni(const QMap<QString, QString> &values);

// The usual settings for a stand-in at baseUrl (cloud kind, clinic code 9900011).
QMap<QString, QString> StandinSettings(const QString &baseUrl);

// Shows the viewer and waits until its opening (and list load) has finished.
void OpenViewer(TfrmDrugInfo &viewer);

// Waits until the viewer's mark worker has finished and its results are applied.
bool WaitForMarks(TfrmDrugInfo &viewer, int timeoutMs = 20000);

// The API requests the stand-in saw, as "path[?query]" with "/api/" removed.
QStringList RequestPaths(StandinServer &server);

// The chart numbers of the patient list (column 1, data rows).
QStringList ListedIds(const TfrmDrugInfo &viewer);

// Saves a picture of the widget under the test's scratch folder; returns its path.
QString Grab(QWidget *widget, const QString &name);

} // namespace fixture
