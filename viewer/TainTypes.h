#pragma once
#include <QList>
#include <QString>

// One drug line of another institution's dispensing day.
struct TDrugItem {
    QString SryName; // drug name
    QString Suryo;   // quantity, as answered
    QString Tani;    // unit
    int Kai = 0;     // days (or times) supplied; 0 when absent
    QString SryKbn;  // classification code of the line (kept, not shown)
};

// One dispensing day of another institution, with its drug lines.
struct TPrescription {
    QString InstitutionName;
    QString InstitutionCd;
    QString PrescDate; // yyyymmdd
    QList<TDrugItem> Drugs;
};
