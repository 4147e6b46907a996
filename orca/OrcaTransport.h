#pragma once
#include "orca/OrcaHttp.h"

#include <QString>

// The patient viewer's access to the ORCA API. The viewer owns one transport
// for its lifetime (so connections are reused), fills the connection fields
// from the settings and calls CallOrcaApi / CallOrcaApiWithIdRetry on its own
// thread; every call blocks until its outcome is known.
class TOrcaTransport {
public:
    TOrcaTransport();

    // [PARAMA] URL as stored (the cloud API base URL ending in "/api/"),
    // [PARAMA] APIUSER and [PARAMA] APIKEY.
    QString stURL;
    QString stAPIUSER;
    QString stAPIKEY;
    // The credentials answered to the server's challenge: set by every call
    // to the trimmed stAPIUSER / stAPIKEY.
    QString FAuthUser;
    QString FAuthPass;

    // One request to an API path (relative to the base URL, may carry a
    // query): POST with the body when the trimmed body is not empty, else GET.
    // Up to three attempts for time-outs, broken or reset connections and
    // invalid replies. Returns the full path of the saved response file
    // "Res_<path>.txt" in the program's folder (platform::AppDataDir) when the server answered 200,
    // else the empty text. Writes its outcome to the log.
    QString CallOrcaApi(const QString &path, const QString &body);

    // A request about one patient, repeated with zero-padded forms of the
    // patient number while ORCA answers E10 (number not found). The placeholder
    // in the template is replaced by each candidate in turn. When every form
    // answered E10, the last answer's file; when none found the patient and a
    // form got no answer, the empty text (the request failed).
    QString CallOrcaApiWithIdRetry(const QString &path, const QString &bodyTemplate,
                                   const QString &placeholder, const QString &patientId);

    // The HTTP client (time-outs can be shortened for tests).
    TOrcaHttpClient &client() { return m_client; }

    // Pause between two attempts, 200 ms.
    static constexpr int kRetryWaitMs = 200;

private:
    TOrcaHttpClient m_client;
};

// "Res_" + the API path with every "/", "?" and "=" replaced by "_" + ".txt".
QString ResponseFileName(const QString &path);

// Stores an answer as a response file (the transport's Res_*.txt, the
// connection test's Res.txt): the text in UTF-8 with a byte-order mark,
// owner-only, replacing the file in one step. False, with the reason in
// *error, when it cannot be written; the old file then stays.
bool SaveResponseText(const QString &path, const QString &text, QString *error);
