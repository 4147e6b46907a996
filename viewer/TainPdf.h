#pragma once
#include "viewer/TainGrid.h"
#include "viewer/TainTypes.h"

#include <QList>
#include <QString>
#include <QStringList>

// What the patient's saved PDF documents add to the other-institution view:
// visit months from the drug documents ("YZK*.pdf") and the checkup month from
// the checkup document ("TKK*.pdf"). A document that cannot be read (locked,
// vanished since the folder was listed, not a plain file) is logged and counts
// as one without text; it never stops a load.
namespace viewer {

// The text of a saved PDF, or empty when it has none or cannot be read (the
// reason is logged).
QString ReadSavedPdfText(const QString &path);

// Whether a drug document's institution entry is another institution's: the
// name passes IsInstitutionName and, when selfInstCd is set, neither contains
// the clinic's name (kikanName, when not blank) nor any of ownNames (the names
// under which the clinic's own prescriptions appear; blank ones are ignored).
bool AcceptPdfInstitution(const QString &name, const QString &selfInstCd, const QString &kikanName,
                          const QStringList &ownNames);

struct TPdfSupplementInput {
    QString Folder;      // the saved-PDF folder
    QString PatientID;   // as held by the viewer
    QString PatientName; // must appear in the document's text
    QString SelfInstCd;
    QString KikanName; // [PARAMA] KIKANNAME
    QStringList OwnNames;
};

// Adds the accepted "name=yyyy-mm" entries of the patient's drug documents to
// medInstMonths unless present. Logs each document of the patient and each
// entry found. Nothing happens when the folder does not exist or the patient
// ID is blank.
void CollectPdfMedMonths(const TPdfSupplementInput &input, QStringList &medInstMonths);

// The month of the patient's checkup document: the first readable one, its
// performed month, or when it shows none, its last-modification month (local
// time). Not found when there is no such document or none can be read.
TCheckupPdfMonth FindCheckupPdfMonth(const QString &folder, const QString &patientId);

// The names under which the clinic's own prescriptions appear in the list.
QStringList OwnPrescriptionNames(const QList<TPrescription> &prescriptions,
                                 const QString &selfInstCd);

} // namespace viewer
