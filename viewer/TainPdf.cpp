#include "viewer/TainPdf.h"

#include "core/CoreSource.h"
#include "pdf/PdfDateExtract.h"
#include "pdf/SavedPdf.h"
#include "platform/Trim.h"
#include "viewer/TainRules.h"

#include <QDir>
#include <QFileInfo>

#include <exception>

namespace viewer {

namespace {

// Runs one reading of a saved PDF; false (and a log line) when the file is
// not a readable plain file any more.
template <class Fn> bool readPdf(const QString &path, Fn fn) {
    const QFileInfo info(path);
    if (!info.exists()) {
        Log(QStringLiteral("PDF Skip: %1 (見つかりません)").arg(QDir::toNativeSeparators(path)));
        return false;
    }
    if (!info.isFile()) {
        // A folder, pipe or device named like a document: never opened (a pipe
        // would block the reader).
        Log(QStringLiteral("PDF Skip: %1 (ファイルではありません)")
                .arg(QDir::toNativeSeparators(path)));
        return false;
    }
    try {
        fn();
        return true;
    } catch (const EAppError &e) {
        Log(QStringLiteral("PDF Error: ") + e.message());
    } catch (const std::exception &e) {
        Log(QStringLiteral("PDF Error: %1: %2")
                .arg(QDir::toNativeSeparators(path), QString::fromLocal8Bit(e.what())));
    }
    return false;
}

} // namespace

QString ReadSavedPdfText(const QString &path) {
    QString text;
    readPdf(path, [&] { text = PdfExtractText(path); });
    return text;
}

bool AcceptPdfInstitution(const QString &name, const QString &selfInstCd, const QString &kikanName,
                          const QStringList &ownNames) {
    if (!IsInstitutionName(name))
        return false;
    if (selfInstCd.isEmpty())
        return true;
    const QString clinic = platform::TrimText(kikanName);
    if (!clinic.isEmpty() && name.contains(clinic))
        return false;
    for (const QString &own : ownNames) {
        if (!own.isEmpty() && name.contains(own))
            return false;
    }
    return true;
}

QStringList OwnPrescriptionNames(const QList<TPrescription> &prescriptions,
                                 const QString &selfInstCd) {
    QStringList names;
    for (const TPrescription &p : prescriptions) {
        if (IsOwnInstitutionCode(p.InstitutionCd, selfInstCd) && !p.InstitutionName.isEmpty() &&
            !names.contains(p.InstitutionName))
            names << p.InstitutionName;
    }
    return names;
}

void CollectPdfMedMonths(const TPdfSupplementInput &in, QStringList &medInstMonths) {
    if (platform::TrimText(in.PatientID).isEmpty() || in.Folder.isEmpty() ||
        !QDir(in.Folder).exists())
        return;
    const QStringList files = FindSavedPdfs(in.Folder, SavedPdfKind::Drug, in.PatientID);
    for (const QString &file : files) {
        const QString text = ReadSavedPdfText(file);
        // An empty name is found in every text; it identifies nobody.
        if (text.isEmpty() || in.PatientName.isEmpty() || !text.contains(in.PatientName))
            continue;
        const QString fileName = QFileInfo(file).fileName();
        Log(QStringLiteral("PDF患者名一致: ") + fileName);
        QStringList entries;
        if (!readPdf(file, [&] { PdfDrugDates(file, entries); }))
            continue;
        Log(QStringLiteral("PDF抽出件数: ") + QString::number(entries.size()));
        for (const QString &e : std::as_const(entries))
            Log(QStringLiteral("PDF: ") + e);
        for (const QString &e : std::as_const(entries)) {
            const QString name = e.section(QLatin1Char('='), 0, 0);
            if (AcceptPdfInstitution(name, in.SelfInstCd, in.KikanName, in.OwnNames))
                AddUnlessPresent(medInstMonths, e);
        }
    }
}

TCheckupPdfMonth FindCheckupPdfMonth(const QString &folder, const QString &patientId) {
    TCheckupPdfMonth out;
    if (platform::TrimText(patientId).isEmpty() || folder.isEmpty() || !QDir(folder).exists())
        return out;
    const QStringList files = FindSavedPdfs(folder, SavedPdfKind::Checkup, patientId);
    for (const QString &file : files) {
        QString month;
        if (!readPdf(file, [&] { month = PdfCheckupDate(file); }))
            continue;
        if (platform::TrimText(month).isEmpty()) {
            const QDateTime modified = QFileInfo(file).lastModified();
            if (!modified.isValid())
                continue; // gone since it was read
            month = modified.toLocalTime().toString(QStringLiteral("yyyy-MM"));
        }
        out.Found = true;
        out.Month = month;
        break;
    }
    return out;
}

} // namespace viewer
