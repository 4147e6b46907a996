#pragma once
#include <QByteArray>
#include <QList>
#include <QString>
#include <memory>

// One HTTP client on libcurl: a single easy handle kept for the owner's
// lifetime so that connections are reused between requests. Each request sets
// every option afresh, so nothing of one request (credentials that worked,
// headers, TLS limits) leaks into the next.
//
// Failures come back as texts in the form
//     phrase ": (" number ") " description
// where the number is the WinHTTP error number of that kind of failure, so that
// DescribeTlsFailure and the retry rule read them the same on every platform.

// Once in main, before any thread starts (and once in every test program):
// initialises libcurl and ignores SIGPIPE. Later calls do nothing.
void OrcaGlobalInit();

enum class OrcaAuthMode {
    OnChallenge, // user and password go out only after the server's 401 challenge
    Preemptive,  // Basic credentials go with the first request
};

struct OrcaHttpRequest {
    QString url;
    bool post = false;         // POST with the body, else GET
    QByteArray body;           // sent as it is
    QList<QByteArray> headers; // "Name: value"
    bool restrictTls = false;  // allow TLS 1.2 and 1.3 only
    QString user;
    QString password;
    OrcaAuthMode auth = OrcaAuthMode::OnChallenge;
};

struct OrcaHttpResult {
    enum Kind {
        Response,         // the server answered; status and body are set
        TransportFailure, // connection, send, receive, TLS, certificate or time-out failure
        OtherError,       // anything else: malformed URL, unsupported scheme, out of memory
    };
    Kind kind = OtherError;
    int status = 0;
    QByteArray body;
    QString errorText;      // the failure text (empty for a response)
    int newConnections = 0; // connections opened for this request (0: an open one was reused)
};

// The User-Agent of every request: "minatori/<file version> libcurl/<version>";
// without "/<file version>" when the executable carries no version stamp.
QString OrcaUserAgent(const QString &fileVersion);

// The failure texts that are worth another attempt after 200 ms: an invalid
// server reply, a time-out, a connection error and a reset connection.
bool IsRetryableFailure(const QString &errorText);

class TOrcaHttpClient {
public:
    TOrcaHttpClient();
    ~TOrcaHttpClient();
    TOrcaHttpClient(const TOrcaHttpClient &) = delete;
    TOrcaHttpClient &operator=(const TOrcaHttpClient &) = delete;

    // Time allowed to set up a connection (TCP and TLS), and the longest time
    // a started transfer may go without moving a byte. Both 60 s by default.
    void setTimeouts(int connectMs, int stallMs);

    // Sends one request and waits for its outcome. When the server asks for a
    // client certificate, one of the user's personal store is chosen through
    // ChooseClientCertificate and presented. An error raised while libcurl
    // runs (the log cannot be written while the certificate is chosen) ends
    // the request and is raised again here once libcurl has returned.
    OrcaHttpResult send(const OrcaHttpRequest &request);

    struct Impl;

private:
    std::unique_ptr<Impl> d;
};
