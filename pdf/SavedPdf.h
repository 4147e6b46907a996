#pragma once
#include <QString>
#include <QStringList>

// The PDF documents ORCA saves per patient into the folder [PARAMA] SAVETXT:
// drug information documents "YZK*.pdf" and specific health checkup documents
// "TKK*.pdf". A document belongs to a patient when its file name contains
// "_" + patient ID + "X".

enum class SavedPdfKind { Drug, Checkup };

// The saved-PDF folder: [PARAMA] SAVETXT as stored, or the program's own folder
// (platform::AppDataDir(), with its trailing separator) when the setting is blank. Read anew at
// every call.
QString SavedPdfFolder();

// Whether a file name (without folder) matches the kind's mask, "YZK*.pdf" or
// "TKK*.pdf": letters compare without regard to case, "*" stands for any run of
// characters.
bool MatchesSavedPdfMask(const QString &fileName, SavedPdfKind kind);

// Whether a file name (without folder) contains "_" + patientId + "X", compared
// exactly; the ID is used as given, without trimming or padding.
bool IsPatientPdfName(const QString &fileName, const QString &patientId);

// Full paths of the patient's documents of that kind directly in folder (never
// in subfolders), sorted by file name. Empty when the folder does not exist or
// the patient ID is blank.
QStringList FindSavedPdfs(const QString &folder, SavedPdfKind kind, const QString &patientId);
