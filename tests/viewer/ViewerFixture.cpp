#include "tests/viewer/ViewerFixture.h"

#include "core/CoreSource.h"
#include "markcheck/TainMarkCheck.h"
#include "platform/AppPaths.h"
#include "tests/support/TestEnv.h"
#include "viewer/DrugInfo.h"
#include "viewer/StringGrid.h"

#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QPixmap>
#include <QTest>

namespace fixture {

void WriteIni(const QMap<QString, QString> &values) {
    QMap<QString, QStringList> sections;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        const QString section = it.key().section(QLatin1Char('/'), 0, 0);
        const QString key = it.key().section(QLatin1Char('/'), 1);
        sections[section] << key + QLatin1Char('=') + it.value();
    }
    QByteArray text;
    for (auto it = sections.cbegin(); it != sections.cend(); ++it)
        text +=
            ("[" + it.key() + "]\r\n" + it.value().join(QStringLiteral("\r\n")) + "\r\n").toUtf8();
    QFile f(UserIniPath());
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
}

QMap<QString, QString> StandinSettings(const QString &baseUrl) {
    return {{QStringLiteral("PARAMA/URL"), baseUrl},
            {QStringLiteral("PARAMA/KIKANCD"), QStringLiteral("9900011")},
            {QStringLiteral("COKBN/CHCK"), QStringLiteral("2")},
            {QStringLiteral("PARAMA/IPADR"), QString()}};
}

void OpenViewer(TfrmDrugInfo &viewer) {
    viewer.show();
    QTRY_VERIFY_WITH_TIMEOUT(viewer.IsShownOnce(), 5000);
    // FormShow runs as a posted event after the window is shown.
    QTRY_VERIFY_WITH_TIMEOUT(viewer.FCurrentDate.isValid() && !viewer.FRunner.IsBusy(), 20000);
    QCoreApplication::processEvents();
}

bool WaitForMarks(TfrmDrugInfo &viewer, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if ((!viewer.FMarkThread || viewer.FMarkThread->isFinished()) && !viewer.FRunner.IsBusy()) {
            // Let the queued results arrive.
            QTest::qWait(50);
            return true;
        }
        QTest::qWait(10);
    }
    return false;
}

QStringList RequestPaths(StandinServer &server) {
    QStringList out;
    for (const QJsonValue &v : server.requests()) {
        const QJsonObject r = v.toObject();
        QString p = r.value(QStringLiteral("path")).toString();
        if (p.startsWith(QStringLiteral("/api/")))
            p = p.mid(5);
        const QString q = r.value(QStringLiteral("query")).toString();
        out << (q.isEmpty() ? p : p + QLatin1Char('?') + q);
    }
    return out;
}

QStringList ListedIds(const TfrmDrugInfo &viewer) {
    QStringList out;
    for (int r = 1; r < viewer.GridPatient->RowCount(); ++r) {
        if (!viewer.GridPatient->Cells(1, r).isEmpty())
            out << viewer.GridPatient->Cells(1, r);
    }
    return out;
}

QString Grab(QWidget *widget, const QString &name) {
    QString root = qEnvironmentVariable("MINATORI_TEST_SCRATCH");
    if (root.isEmpty())
        root = QDir::tempPath();
    QDir().mkpath(root);
    const QString path = root + QLatin1Char('/') + name + QStringLiteral(".png");
    widget->grab().save(path);
    return path;
}

} // namespace fixture
