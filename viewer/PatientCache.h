#pragma once
#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QSet>
#include <QString>

// PatientCache.csv: one patient a line, "chart number,name", UTF-8 with a
// byte-order mark, CR LF after every line, the last one included. The first
// name recorded for a number stays; the file only grows. Lines already in the
// file are never rewritten: each new line is appended with one write call (it
// lands whole or not at all), a line in another encoding stays byte for byte,
// and a last line without its line end (a file saved by a spreadsheet) stays a
// record: the next append puts the line end after it first.
class TPatientCache {
public:
    // Many: the file's chart numbers are indexed once, for a list of patients;
    // One: a single patient is looked up, by reading through the file.
    enum class Lookups { Many, One };

    // Reads the file once (a missing file is an empty cache). Throws
    // EAppError when the file exists but cannot be read.
    explicit TPatientCache(const QString &path, Lookups lookups = Lookups::Many);

    // Records the patient unless the trimmed number or name is blank or the
    // number is already there. Throws EAppError when the file cannot be written.
    void Add(const QString &chartNo, const QString &name);

    bool Contains(const QString &chartNo) const;

private:
    QString m_path;
    // The numbers as their UTF-8 bytes: those of the file's lines point into
    // the file as read (a cache of tens of thousands of lines is indexed
    // without a copy of each number), those appended since are kept apart.
    QByteArray m_data;
    bool m_indexed = true;
    QSet<QByteArrayView> m_keys;
    QSet<QByteArray> m_added;
    bool m_needsBom = true;        // a new or empty file starts with the byte-order mark
    bool m_endsWithNewline = true; // else the next line starts with a line end
};

// The number of a cache line (the text before its first comma), or a null text
// for a line without a comma.
QString PatientCacheKey(const QString &line);

// A line of the cache split at its first comma.
struct TCacheHit {
    QString PatientID;
    QString Name;
};

// The cache's lines whose name contains the text (exact, case-sensitive), in
// file order. Throws EAppError when the file cannot be read.
QList<TCacheHit> SearchPatientCache(const QString &path, const QString &text);
