#pragma once
#include <QByteArray>
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
    // Reads the file's chart numbers once (a missing file is an empty cache).
    // Throws EAppError when the file exists but cannot be read.
    explicit TPatientCache(const QString &path);

    // Records the patient unless the trimmed number or name is blank or the
    // number is already there. Throws EAppError when the file cannot be written.
    void Add(const QString &chartNo, const QString &name);

    bool Contains(const QString &chartNo) const { return m_keys.contains(chartNo.toUtf8()); }

private:
    QString m_path;
    QSet<QByteArray> m_keys;       // the numbers as their UTF-8 bytes
    bool m_needsBom = true;        // a new or empty file starts with the byte-order mark
    bool m_endsWithNewline = true; // else the next line starts with a line end
};

// The cache's lines, without the byte-order mark and the line ends. Throws
// EAppError when the file cannot be read.
QStringList ReadPatientCacheLines(const QString &path);

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
