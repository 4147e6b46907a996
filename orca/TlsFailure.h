#pragma once
#include <QDateTime>
#include <QList>
#include <QString>

// Hints for failed requests and the choice of the client certificate that is
// presented when the ORCA cloud asks for one. Shared by the viewer's transport,
// the connection test and the mark worker; nothing here keeps state.

// The lower-case domain of the ORCA cloud's operator, searched for in the
// issuer name of client certificates.
inline const QString kOrcaOperatorDomain = QStringLiteral("iryo-unyo.example.jp");

// The HTTP-stack error number written in parentheses after the first "(" of a
// failure text: "Error sending data: (12175) ..." gives 12175; 0 when the first
// "(" is not directly followed by digits and ")".
int ParseWinHttpErrorCode(const QString &message);

// The Japanese hint for a failure text, chosen by its error number. Never empty.
QString DescribeTlsFailure(const QString &message);

// One client certificate offered when the server requests one.
struct TClientCertCandidate {
    QString Subject;
    QString Issuer;
    double Expiry = 0; // end of validity, local time in days since 1899-12-30; 0 = unknown
};

// Local date-time <-> days since 1899-12-30 (with the fraction of the day).
double DateTimeToDays(const QDateTime &local);
QDateTime DaysToDateTime(double days);

// Index of the candidate to present, or -1 for an empty list; logs every
// candidate and the choice.
int ChooseClientCertificate(const QList<TClientCertCandidate> &candidates);
// The same with the current moment given (days since 1899-12-30, local).
int ChooseClientCertificateAt(const QList<TClientCertCandidate> &candidates, double now);
