#include "pdf/SavedPdf.h"

#include "core/CoreSource.h"
#include "platform/AppPaths.h"
#include "platform/Trim.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

QString SavedPdfFolder() {
    const QString folder =
        ReadSetting(QStringLiteral("PARAMA"), QStringLiteral("SAVETXT"), QString());
    if (platform::TrimText(folder).isEmpty())
        return platform::AppDataDir();
    return folder;
}

bool MatchesSavedPdfMask(const QString &fileName, SavedPdfKind kind) {
    const QLatin1String prefix(kind == SavedPdfKind::Drug ? "YZK" : "TKK");
    const QLatin1String suffix(".pdf");
    return fileName.size() >= prefix.size() + suffix.size() &&
           fileName.startsWith(prefix, Qt::CaseInsensitive) &&
           fileName.endsWith(suffix, Qt::CaseInsensitive);
}

bool IsPatientPdfName(const QString &fileName, const QString &patientId) {
    return fileName.contains(QLatin1Char('_') + patientId + QLatin1Char('X'), Qt::CaseSensitive);
}

QStringList FindSavedPdfs(const QString &folder, SavedPdfKind kind, const QString &patientId) {
    if (platform::TrimText(patientId).isEmpty())
        return {};
    const QDir dir(folder);
    if (folder.isEmpty() || !dir.exists())
        return {};
    QStringList names;
    const QStringList entries =
        dir.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::NoSort);
    for (const QString &name : entries) {
        if (MatchesSavedPdfMask(name, kind) && IsPatientPdfName(name, patientId))
            names.append(name);
    }
    std::sort(names.begin(), names.end(),
              [](const QString &a, const QString &b) { return QString::compare(a, b) < 0; });
    QStringList paths;
    for (const QString &name : std::as_const(names))
        paths.append(dir.filePath(name));
    return paths;
}
