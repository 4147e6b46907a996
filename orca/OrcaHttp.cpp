#include "orca/OrcaHttp.h"

#include "orca/ClientCertificates.h"
#include "platform/VersionInfo.h"

#include <QElapsedTimer>

#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <exception>
#include <mutex>
#include <utility>

// How a failed libcurl transfer becomes a failure text. The number is the one
// the Windows HTTP stack gives the same kind of failure; hints and the retry
// rule work on that number.
//
//   number  kind                                   libcurl outcome
//   12002   time-out                               CURLE_OPERATION_TIMEDOUT; our stall watch
//                                                  (CURLE_ABORTED_BY_CALLBACK)
//   12007   name not resolved                      CURLE_COULDNT_RESOLVE_HOST, _PROXY
//   12029   cannot connect                         CURLE_COULDNT_CONNECT
//   12030   connection error while sending or      CURLE_SEND_ERROR, CURLE_RECV_ERROR,
//           receiving                              CURLE_PARTIAL_FILE
//   12031   connection reset                       the above with the socket's errno ECONNRESET
//   12152   empty or malformed server reply        CURLE_GOT_NOTHING, CURLE_WEIRD_SERVER_REPLY,
//                                                  CURLE_HTTP2, CURLE_HTTP2_STREAM,
//                                                  CURLE_BAD_CONTENT_ENCODING; a receive error
//                                                  about the chunked encoding or the size of
//                                                  the header; once the connection is up, every
//                                                  other error not named here (a reply that is
//                                                  no HTTP gives CURLE_UNSUPPORTED_PROTOCOL, a
//                                                  header too large CURLE_OUT_OF_MEMORY)
//   12175   TLS handshake failure                  CURLE_SSL_CONNECT_ERROR, CURLE_SSL_CIPHER,
//                                                  CURLE_SSL_CERTPROBLEM, CURLE_SSL_ENGINE_*,
//                                                  CURLE_USE_SSL_FAILED,
//                                                  CURLE_SSL_PINNEDPUBKEYNOTMATCH; a send or
//                                                  receive error after a fatal TLS alert, or
//                                                  before any answer right after a handshake
//                                                  in which our certificate was presented
//   12045   server certificate not trusted         CURLE_PEER_FAILED_VERIFICATION (unknown
//           (authority unknown, expired or not     authority, outside its validity, issued
//           yet valid, issued for another host)    for another host), CURLE_SSL_CACERT_BADFILE,
//                                                  CURLE_SSL_ISSUER_ERROR
//   12044   client certificate required, none      the server requested a certificate, none was
//           usable                                 presented, and the handshake failed or the
//                                                  connection ended before any answer (TLS 1.2
//                                                  reports a handshake error, TLS 1.3 a send or
//                                                  receive error); CURLE_SSL_CLIENTCERT; a
//                                                  "certificate required" alert
//   12057   revocation check failed                CURLE_SSL_INVALIDCERTSTATUS,
//                                                  CURLE_SSL_CRL_BADFILE,
//                                                  X509_V_ERR_UNABLE_TO_GET_CRL
//
// Every other libcurl error before the connection is up (malformed URL,
// unsupported scheme, out of memory), and an answer refused for its size, is
// not a transport failure and gets no number.

namespace {

constexpr int kDefaultTimeoutMs = 60000;
constexpr int kAlertCertificateRequired = 116;
// ORCA's answers are a few hundred kilobytes at most; a server that sends more
// than this is broken, and its answer is refused rather than held in memory.
constexpr qsizetype kMaxBodyBytes = qsizetype(64) << 20;

const char *descriptionOf(int number) {
    switch (number) {
    case 12002:
        return "The request timed out";
    case 12007:
        return "The server name could not be resolved";
    case 12029:
        return "Could not connect to the server";
    case 12030:
        return "The connection to the server ended unexpectedly";
    case 12031:
        return "The connection was reset by the server";
    case 12044:
        return "The server requires a client certificate and none was presented";
    case 12045:
        return "The server certificate is not trusted";
    case 12057:
        return "The revocation status of the server certificate could not be checked";
    case 12152:
        return "The server's reply was empty or malformed";
    case 12175:
        return "The secure (TLS) connection could not be established";
    default:
        return "The request failed";
    }
}

} // namespace

struct TOrcaHttpClient::Impl {
    CURL *curl = nullptr;
    int connectMs = kDefaultTimeoutMs;
    int stallMs = kDefaultTimeoutMs;

    // State of the request in progress.
    TlsHandshakeState tls;
    QByteArray body;
    QElapsedTimer stallClock;
    curl_off_t lastDown = -1;
    curl_off_t lastUp = -1;
    bool connected = false;
    bool stalled = false;
    bool bodyTooLarge = false;
    std::exception_ptr callbackError; // raised in a callback; raised again after libcurl returns
    char errorBuffer[CURL_ERROR_SIZE] = {};

    void resetRequestState() {
        tls = TlsHandshakeState();
        body.clear();
        stallClock.start();
        lastDown = lastUp = -1;
        connected = stalled = bodyTooLarge = false;
        callbackError = nullptr;
        errorBuffer[0] = '\0';
    }

    static size_t onBody(char *data, size_t size, size_t count, void *self) noexcept {
        auto *d = static_cast<Impl *>(self);
        const qsizetype n = qsizetype(size * count);
        if (d->body.size() + n > kMaxBodyBytes) {
            d->bodyTooLarge = true;
            return 0; // ends the transfer with a write error
        }
        try {
            d->body.append(data, n);
        } catch (...) { // no exception may cross libcurl
            d->callbackError = std::current_exception();
            return 0;
        }
        return size * count;
    }

    static size_t onHeader(char *data, size_t size, size_t count, void *self) noexcept {
        // A new status line (after a 401 challenge or a 100 Continue) starts a
        // new response; only the last one's body is kept.
        if (size * count >= 5 && std::memcmp(data, "HTTP/", 5) == 0)
            static_cast<Impl *>(self)->body.clear();
        return size * count;
    }

    // The connection is ready (TCP and TLS done, or reused): from here on the
    // stall watch runs.
    static int onConnected(void *self, char *, char *, int, int) noexcept {
        auto *d = static_cast<Impl *>(self);
        d->connected = true;
        d->stallClock.start();
        return CURL_PREREQFUNC_OK;
    }

    static int onProgress(void *self, curl_off_t, curl_off_t down, curl_off_t,
                          curl_off_t up) noexcept {
        auto *d = static_cast<Impl *>(self);
        if (!d->connected || down != d->lastDown || up != d->lastUp) {
            d->lastDown = down;
            d->lastUp = up;
            d->stallClock.start();
            return 0;
        }
        if (d->stallClock.elapsed() >= d->stallMs) {
            d->stalled = true;
            return 1; // abort the transfer
        }
        return 0;
    }

    static CURLcode onTlsContext(CURL *, void *sslCtx, void *self) noexcept {
        InstallTlsHooks(static_cast<SSL_CTX *>(sslCtx), &static_cast<Impl *>(self)->tls);
        return CURLE_OK;
    }

    // The WinHTTP number of a failed transfer, or 0 when it is no transport failure.
    int failureNumber(CURLcode code) const {
        if (bodyTooLarge)
            return 0; // refused by us, not a failure of the server
        const bool certMissing = tls.certRequested && !tls.certPresented;
        if (code == CURLE_SSL_CLIENTCERT || tls.fatalAlert == kAlertCertificateRequired)
            return 12044;
        switch (code) {
        case CURLE_OPERATION_TIMEDOUT:
            return 12002;
        case CURLE_ABORTED_BY_CALLBACK:
            return stalled ? 12002 : 0;
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return 12007;
        case CURLE_COULDNT_CONNECT:
            return 12029;
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
        case CURLE_PARTIAL_FILE: {
            // With TLS 1.3 the server judges our certificate after the client
            // has finished its handshake, so a refusal arrives as a broken
            // send or receive; often the connection is reset before its alert
            // can be read. A connection dropped without a byte of answer right
            // after a handshake in which the server asked for a certificate is
            // taken as that refusal.
            long headerBytes = 0;
            curl_easy_getinfo(curl, CURLINFO_HEADER_SIZE, &headerBytes);
            if (code != CURLE_PARTIAL_FILE && tls.certRequested && headerBytes == 0)
                return certMissing ? 12044 : 12175;
            if (tls.fatalAlert >= 0)
                return 12175;
            // The bytes arrived but do not make an HTTP answer.
            if (code == CURLE_RECV_ERROR &&
                (std::strstr(errorBuffer, "chunk") || std::strstr(errorBuffer, "header")))
                return 12152;
            // libcurl keeps the errno of some socket calls only; its message for
            // a failed send or receive carries the socket's error text.
            long osErrno = 0;
            curl_easy_getinfo(curl, CURLINFO_OS_ERRNO, &osErrno);
            const bool reset = osErrno == ECONNRESET ||
                               std::strstr(errorBuffer, std::strerror(ECONNRESET)) != nullptr;
            return reset ? 12031 : 12030;
        }
        case CURLE_GOT_NOTHING:
        case CURLE_WEIRD_SERVER_REPLY:
        case CURLE_HTTP2:
        case CURLE_HTTP2_STREAM:
        case CURLE_BAD_CONTENT_ENCODING:
            return 12152;
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_ENGINE_NOTFOUND:
        case CURLE_SSL_ENGINE_SETFAILED:
        case CURLE_SSL_ENGINE_INITFAILED:
        case CURLE_USE_SSL_FAILED:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_SSL_SHUTDOWN_FAILED:
            return certMissing ? 12044 : 12175;
        case CURLE_PEER_FAILED_VERIFICATION: {
            long verify = X509_V_OK;
            curl_easy_getinfo(curl, CURLINFO_SSL_VERIFYRESULT, &verify);
            switch (verify) {
            case X509_V_ERR_UNABLE_TO_GET_CRL:
            case X509_V_ERR_CRL_HAS_EXPIRED:
            case X509_V_ERR_CRL_NOT_YET_VALID:
                return 12057;
            default:
                return 12045; // unknown authority, expired, another host's name
            }
        }
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
            return 12045;
        case CURLE_SSL_INVALIDCERTSTATUS:
        case CURLE_SSL_CRL_BADFILE:
            return 12057;
        default:
            // Once the request is on its way, what goes wrong comes from the
            // server's side: its reply could not be read as HTTP.
            return connected ? 12152 : 0;
        }
    }

    QString failureText(int number, CURLcode code) const {
        // Failures before the request could go out are sending errors; those
        // while waiting for or reading the answer are receiving errors.
        bool receiving = false;
        switch (number) {
        case 12002:
            receiving = connected;
            break;
        case 12030:
        case 12031:
            receiving = code != CURLE_SEND_ERROR;
            break;
        case 12152:
            receiving = true;
            break;
        default:
            break;
        }
        QString text = QLatin1String(receiving ? "Error receiving data" : "Error sending data") +
                       QStringLiteral(": (") + QString::number(number) + QStringLiteral(") ") +
                       QLatin1String(descriptionOf(number));
        if (code == CURLE_PEER_FAILED_VERIFICATION) {
            long verify = X509_V_OK;
            curl_easy_getinfo(curl, CURLINFO_SSL_VERIFYRESULT, &verify);
            if (verify != X509_V_OK)
                text += QStringLiteral(" (") +
                        QLatin1String(X509_verify_cert_error_string(verify)) + QLatin1Char(')');
        }
        return text;
    }
};

void OrcaGlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] {
        std::signal(SIGPIPE, SIG_IGN);
        curl_global_init(CURL_GLOBAL_DEFAULT);
    });
}

QString OrcaUserAgent(const QString &fileVersion) {
    QString agent = QStringLiteral("minatori");
    if (!fileVersion.isEmpty())
        agent += QLatin1Char('/') + fileVersion;
    return agent + QStringLiteral(" libcurl/") +
           QLatin1String(curl_version_info(CURLVERSION_NOW)->version);
}

bool IsRetryableFailure(const QString &errorText) {
    return errorText.contains(QLatin1String("12152")) ||
           errorText.contains(QLatin1String("12002")) ||
           errorText.contains(QLatin1String("12030")) || errorText.contains(QLatin1String("12031"));
}

TOrcaHttpClient::TOrcaHttpClient() : d(std::make_unique<Impl>()) {
    OrcaGlobalInit();
    d->curl = curl_easy_init();
}

TOrcaHttpClient::~TOrcaHttpClient() {
    if (d->curl)
        curl_easy_cleanup(d->curl);
}

void TOrcaHttpClient::setTimeouts(int connectMs, int stallMs) {
    d->connectMs = connectMs;
    d->stallMs = stallMs;
}

OrcaHttpResult TOrcaHttpClient::send(const OrcaHttpRequest &request) {
    OrcaHttpResult result;
    CURL *c = d->curl;
    if (!c) {
        result.errorText = QStringLiteral("The HTTP client could not be created");
        return result;
    }

    const QByteArray url = request.url.toUtf8();
    {
        // A URL without a scheme would otherwise be guessed to be http.
        CURLU *parsed = curl_url();
        const CURLUcode rc = curl_url_set(parsed, CURLUPART_URL, url.constData(), 0);
        curl_url_cleanup(parsed);
        if (rc != CURLUE_OK) {
            result.errorText = QStringLiteral("Invalid URL: ") +
                               QString::fromUtf8(curl_url_strerror(rc)) + QStringLiteral(" (") +
                               request.url + QLatin1Char(')');
            return result;
        }
    }

    // Forget every option of the last request; the connection cache stays.
    curl_easy_reset(c);
    d->resetRequestState();

    curl_easy_setopt(c, CURLOPT_URL, url.constData());
    static const QByteArray userAgent = OrcaUserAgent(platform::FileVersionText()).toUtf8();
    curl_easy_setopt(c, CURLOPT_USERAGENT, userAgent.constData());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, d->errorBuffer);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, long(d->connectMs));
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, &Impl::onProgress);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, d.get());
    curl_easy_setopt(c, CURLOPT_PREREQFUNCTION, &Impl::onConnected);
    curl_easy_setopt(c, CURLOPT_PREREQDATA, d.get());
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &Impl::onBody);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, d.get());
    curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, &Impl::onHeader);
    curl_easy_setopt(c, CURLOPT_HEADERDATA, d.get());

    // The server is verified against OpenSSL's default trust store, which the
    // TLS hook loads into every new context (SSL_CERT_FILE / SSL_CERT_DIR
    // apply); libcurl's own bundle and its store cache stay out of it.
    curl_easy_setopt(c, CURLOPT_CAINFO, nullptr);
    curl_easy_setopt(c, CURLOPT_CAPATH, nullptr);
    curl_easy_setopt(c, CURLOPT_CA_CACHE_TIMEOUT, 0L);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(c, CURLOPT_SSL_CTX_FUNCTION, &Impl::onTlsContext);
    curl_easy_setopt(c, CURLOPT_SSL_CTX_DATA, d.get());
    if (request.restrictTls)
        curl_easy_setopt(c, CURLOPT_SSLVERSION,
                         long(CURL_SSLVERSION_TLSv1_2) | long(CURL_SSLVERSION_MAX_TLSv1_3));

    const QByteArray user = request.user.toUtf8();
    const QByteArray password = request.password.toUtf8();
    curl_easy_setopt(c, CURLOPT_USERNAME, user.constData());
    curl_easy_setopt(c, CURLOPT_PASSWORD, password.constData());
    // One scheme alone is sent at once; several make libcurl wait for the
    // server's challenge and answer the scheme it asks for.
    curl_easy_setopt(c, CURLOPT_HTTPAUTH,
                     request.auth == OrcaAuthMode::Preemptive ? long(CURLAUTH_BASIC)
                                                              : long(CURLAUTH_ANY));

    curl_slist *headers = nullptr;
    for (const QByteArray &h : request.headers)
        headers = curl_slist_append(headers, h.constData());
    headers = curl_slist_append(headers, "Expect:");
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers);

    if (request.post) {
        curl_easy_setopt(c, CURLOPT_POST, 1L);
        curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(request.body.size()));
        curl_easy_setopt(c, CURLOPT_POSTFIELDS, request.body.constData());
    } else {
        curl_easy_setopt(c, CURLOPT_HTTPGET, 1L);
    }

    const CURLcode code = curl_easy_perform(c);
    curl_slist_free_all(headers);
    if (d->tls.error)
        std::rethrow_exception(std::exchange(d->tls.error, nullptr));
    if (d->callbackError)
        std::rethrow_exception(std::exchange(d->callbackError, nullptr));
    long connects = 0;
    curl_easy_getinfo(c, CURLINFO_NUM_CONNECTS, &connects);
    result.newConnections = int(connects);

    if (code == CURLE_OK) {
        long status = 0;
        curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
        result.kind = OrcaHttpResult::Response;
        result.status = int(status);
        result.body = d->body;
        return result;
    }

    const int number = d->failureNumber(code);
    if (number != 0) {
        result.kind = OrcaHttpResult::TransportFailure;
        result.errorText = d->failureText(number, code);
    } else {
        result.kind = OrcaHttpResult::OtherError;
        if (d->bodyTooLarge)
            result.errorText = QStringLiteral("The answer is larger than %1 bytes")
                                   .arg(QString::number(kMaxBodyBytes));
        else
            result.errorText =
                QString::fromUtf8(d->errorBuffer[0] ? d->errorBuffer : curl_easy_strerror(code));
    }
    return result;
}
