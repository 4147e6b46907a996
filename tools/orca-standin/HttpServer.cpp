#include "HttpServer.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <system_error>
#include <unistd.h>

namespace standin {

namespace {

constexpr size_t kMaxHead = 64 * 1024;
constexpr size_t kMaxBody = 8 * 1024 * 1024;
constexpr size_t kMaxHeaders = 200;
constexpr int kMaxConnections = 256;
constexpr int kSocketTimeoutSec = 30;

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::string TrimBlanks(const std::string &s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r'))
        --e;
    return s.substr(b, e - b);
}

bool IsToken(const std::string &s) {
    if (s.empty())
        return false;
    for (unsigned char c : s) {
        if (c <= 32 || c >= 127 || std::strchr("()<>@,;:\\\"/[]?={}", c))
            return false;
    }
    return true;
}

std::string OpenSslError() {
    std::string text;
    unsigned long code;
    while ((code = ERR_get_error()) != 0) {
        char buf[256];
        ERR_error_string_n(code, buf, sizeof buf);
        if (!text.empty())
            text += "; ";
        text += buf;
    }
    return text.empty() ? std::string("unknown TLS error") : text;
}

int TlsVersion(const std::string &v) {
    if (v == "1.0")
        return TLS1_VERSION;
    if (v == "1.1")
        return TLS1_1_VERSION;
    if (v == "1.2")
        return TLS1_2_VERSION;
    if (v == "1.3")
        return TLS1_3_VERSION;
    return -1;
}

// One accepted connection, plain or TLS, with a read buffer.
class Stream {
public:
    Stream(int fd, SSL *ssl) : m_fd(fd), m_ssl(ssl) {}

    // Appends what arrives to buf; false on end of stream or error.
    bool fill() {
        char chunk[16384];
        for (;;) {
            long n;
            if (m_ssl) {
                n = SSL_read(m_ssl, chunk, sizeof chunk);
            } else {
                n = ::recv(m_fd, chunk, sizeof chunk, 0);
                if (n < 0 && errno == EINTR)
                    continue;
            }
            if (n <= 0)
                return false;
            buf.append(chunk, static_cast<size_t>(n));
            return true;
        }
    }

    bool writeAll(const std::string &data) {
        size_t done = 0;
        while (done < data.size()) {
            long n;
            if (m_ssl) {
                n = SSL_write(m_ssl, data.data() + done, static_cast<int>(data.size() - done));
            } else {
                n = ::send(m_fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
                if (n < 0 && errno == EINTR)
                    continue;
            }
            if (n <= 0)
                return false;
            done += static_cast<size_t>(n);
        }
        return true;
    }

    // Reads until buf holds at least n bytes.
    bool need(size_t n) {
        while (buf.size() < n) {
            if (!fill())
                return false;
        }
        return true;
    }

    // Takes one CRLF- (or LF-) terminated line off the buffer.
    bool line(std::string *out, size_t limit) {
        for (;;) {
            size_t pos = buf.find('\n');
            if (pos != std::string::npos) {
                *out = buf.substr(0, pos);
                if (!out->empty() && out->back() == '\r')
                    out->pop_back();
                buf.erase(0, pos + 1);
                return true;
            }
            if (buf.size() > limit || !fill())
                return false;
        }
    }

    std::string buf;

private:
    int m_fd;
    SSL *m_ssl;
};

enum class ReadResult { Ok, Closed, Bad, TooLarge };

ReadResult ReadHead(Stream &s, HttpRequest *req) {
    size_t end;
    // Tolerate blank lines between requests.
    for (;;) {
        while (s.buf.size() >= 2 && s.buf[0] == '\r' && s.buf[1] == '\n')
            s.buf.erase(0, 2);
        end = s.buf.find("\r\n\r\n");
        if (end != std::string::npos)
            break;
        if (s.buf.size() > kMaxHead)
            return ReadResult::TooLarge;
        if (!s.fill())
            return s.buf.empty() ? ReadResult::Closed : ReadResult::Bad;
    }
    std::string head = s.buf.substr(0, end + 2);
    s.buf.erase(0, end + 4);

    size_t lineEnd = head.find("\r\n");
    std::string requestLine = head.substr(0, lineEnd);
    size_t sp1 = requestLine.find(' ');
    size_t sp2 = requestLine.rfind(' ');
    if (sp1 == std::string::npos || sp2 == sp1)
        return ReadResult::Bad;
    req->method = requestLine.substr(0, sp1);
    req->target = requestLine.substr(sp1 + 1, sp2 - sp1 - 1);
    req->version = requestLine.substr(sp2 + 1);
    if (!IsToken(req->method) || req->target.empty())
        return ReadResult::Bad;
    if (req->version != "HTTP/1.1" && req->version != "HTTP/1.0")
        return ReadResult::Bad;
    for (unsigned char c : req->target) {
        if (c <= 32 || c == 127)
            return ReadResult::Bad;
    }
    std::string target = req->target;
    // Absolute form ("http://host/path"): keep only the path.
    size_t scheme = target.find("://");
    if (target[0] != '/' && scheme != std::string::npos) {
        size_t slash = target.find('/', scheme + 3);
        target = slash == std::string::npos ? std::string("/") : target.substr(slash);
    }
    if (target[0] != '/' && target != "*")
        return ReadResult::Bad;
    size_t q = target.find('?');
    req->path = target.substr(0, q);
    req->query = q == std::string::npos ? std::string() : target.substr(q + 1);

    size_t pos = lineEnd + 2;
    while (pos < head.size()) {
        size_t next = head.find("\r\n", pos);
        std::string line = head.substr(pos, next - pos);
        pos = next + 2;
        if (line.empty())
            continue;
        if ((line[0] == ' ' || line[0] == '\t') && !req->headers.empty()) {
            std::string &value = req->headers.back().second;
            value += ' ';
            value += TrimBlanks(line);
            continue;
        }
        size_t colon = line.find(':');
        if (colon == std::string::npos || colon == 0)
            return ReadResult::Bad;
        std::string name = line.substr(0, colon);
        if (!IsToken(name))
            return ReadResult::Bad;
        if (req->headers.size() >= kMaxHeaders)
            return ReadResult::TooLarge;
        req->headers.emplace_back(name, TrimBlanks(line.substr(colon + 1)));
    }
    return ReadResult::Ok;
}

ReadResult ReadBody(Stream &s, HttpRequest *req) {
    std::string te = Lower(req->header("Transfer-Encoding"));
    std::string cl = req->header("Content-Length");
    bool expectContinue = Lower(req->header("Expect")) == "100-continue";
    if (te.find("chunked") != std::string::npos) {
        if (expectContinue && s.buf.empty() && !s.writeAll("HTTP/1.1 100 Continue\r\n\r\n"))
            return ReadResult::Closed;
        for (;;) {
            std::string sizeLine;
            if (!s.line(&sizeLine, 1024))
                return ReadResult::Bad;
            sizeLine = TrimBlanks(sizeLine.substr(0, sizeLine.find(';')));
            if (sizeLine.empty() || sizeLine.size() > 8 ||
                sizeLine.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
                return ReadResult::Bad;
            size_t size = std::stoul(sizeLine, nullptr, 16);
            if (size == 0)
                break;
            if (req->body.size() + size > kMaxBody)
                return ReadResult::TooLarge;
            if (!s.need(size + 2))
                return ReadResult::Bad;
            req->body.append(s.buf, 0, size);
            s.buf.erase(0, size + 2);
        }
        // Trailers up to the empty line.
        for (int i = 0; i < 100; ++i) {
            std::string trailer;
            if (!s.line(&trailer, 8192))
                return ReadResult::Bad;
            if (trailer.empty())
                return ReadResult::Ok;
        }
        return ReadResult::Bad;
    }
    if (cl.empty())
        return ReadResult::Ok;
    if (cl.size() > 12 || cl.find_first_not_of("0123456789") != std::string::npos)
        return ReadResult::Bad;
    size_t length = std::stoull(cl);
    if (length > kMaxBody)
        return ReadResult::TooLarge;
    if (expectContinue && s.buf.size() < length && !s.writeAll("HTTP/1.1 100 Continue\r\n\r\n"))
        return ReadResult::Closed;
    if (!s.need(length))
        return ReadResult::Bad;
    req->body = s.buf.substr(0, length);
    s.buf.erase(0, length);
    return ReadResult::Ok;
}

std::string Serialise(const HttpRequest *req, const HttpResponse &res, bool keepAlive) {
    std::string out =
        "HTTP/1.1 " + std::to_string(res.status) + " " + StatusText(res.status) + "\r\n";
    for (const auto &[name, value] : res.headers)
        out += name + ": " + value + "\r\n";
    out += "Content-Length: " + std::to_string(res.body.size()) + "\r\n";
    out += keepAlive ? "Connection: keep-alive\r\n" : "Connection: close\r\n";
    out += "\r\n";
    if (!req || req->method != "HEAD")
        out += res.body;
    return out;
}

HttpResponse PlainError(int status) {
    HttpResponse res;
    res.status = status;
    res.headers.emplace_back("Content-Type", "text/plain; charset=UTF-8");
    res.body = std::to_string(status) + " " + StatusText(status) + "\n";
    return res;
}

} // namespace

bool StopSignal::sleepUntil(std::chrono::steady_clock::time_point deadline) {
    // A timed wait ends up to a few hundred microseconds late (timer slack,
    // a virtual machine's timer): wake that much early and spend the rest
    // checking the clock, so that the delay a benchmark adds is the delay it
    // asked for.
    constexpr auto kSpin = std::chrono::microseconds(400);
    {
        std::unique_lock lock(m_mutex);
        if (m_cv.wait_until(lock, deadline - kSpin, [this] { return m_stop.load(); }))
            return false;
    }
    while (std::chrono::steady_clock::now() < deadline) {
        if (m_stop.load())
            return false;
        std::this_thread::yield();
    }
    return true;
}

void StopSignal::request() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_cv.notify_all();
}

std::string HttpRequest::header(const std::string &name) const {
    std::string wanted = Lower(name);
    for (const auto &[key, value] : headers) {
        if (Lower(key) == wanted)
            return value;
    }
    return {};
}

const char *StatusText(int status) {
    switch (status) {
    case 100:
        return "Continue";
    case 200:
        return "OK";
    case 204:
        return "No Content";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 413:
        return "Payload Too Large";
    case 429:
        return "Too Many Requests";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    case 504:
        return "Gateway Timeout";
    default:
        return "Status";
    }
}

HttpServer::HttpServer(Handler handler, StopSignal &stop)
    : m_handler(std::move(handler)), m_stop(stop) {}

HttpServer::~HttpServer() {
    stop();
    if (m_ctx)
        SSL_CTX_free(m_ctx);
}

bool HttpServer::enableTls(const TlsSettings &settings, std::string *error) {
    auto fail = [&](const std::string &what) {
        if (error)
            *error = what;
        return false;
    };
    int minVersion = settings.minVersion.empty() ? 0 : TlsVersion(settings.minVersion);
    int maxVersion = settings.maxVersion.empty() ? 0 : TlsVersion(settings.maxVersion);
    if (minVersion < 0 || maxVersion < 0)
        return fail("unknown TLS version (use 1.0, 1.1, 1.2 or 1.3)");
    SSL_CTX *ctx = SSL_CTX_new(TLS_server_method());
    if (!ctx)
        return fail(OpenSslError());
    m_ctx = ctx;
    bool legacy =
        (minVersion && minVersion < TLS1_2_VERSION) || (maxVersion && maxVersion < TLS1_2_VERSION);
    if (legacy) {
        // TLS 1.0/1.1 need SHA-1 based handshakes, refused above level 0.
        SSL_CTX_set_security_level(ctx, 0);
        SSL_CTX_set_cipher_list(ctx, "DEFAULT:@SECLEVEL=0");
        if (!minVersion)
            minVersion = TLS1_VERSION;
    }
    if (minVersion && !SSL_CTX_set_min_proto_version(ctx, minVersion))
        return fail(OpenSslError());
    if (maxVersion && !SSL_CTX_set_max_proto_version(ctx, maxVersion))
        return fail(OpenSslError());
    if (SSL_CTX_use_certificate_chain_file(ctx, settings.certFile.c_str()) != 1)
        return fail("cannot load certificate " + settings.certFile + ": " + OpenSslError());
    if (SSL_CTX_use_PrivateKey_file(ctx, settings.keyFile.c_str(), SSL_FILETYPE_PEM) != 1)
        return fail("cannot load key " + settings.keyFile + ": " + OpenSslError());
    if (SSL_CTX_check_private_key(ctx) != 1)
        return fail("certificate and key do not match: " + OpenSslError());
    static const unsigned char sessionContext[] = "orca-standin";
    SSL_CTX_set_session_id_context(ctx, sessionContext, sizeof sessionContext - 1);
    if (!settings.clientCaFile.empty()) {
        if (SSL_CTX_load_verify_locations(ctx, settings.clientCaFile.c_str(), nullptr) != 1)
            return fail("cannot load client CA " + settings.clientCaFile + ": " + OpenSslError());
        STACK_OF(X509_NAME) *names = SSL_load_client_CA_file(settings.clientCaFile.c_str());
        if (!names)
            return fail("no CA names in " + settings.clientCaFile + ": " + OpenSslError());
        SSL_CTX_set_client_CA_list(ctx, names);
        SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT, nullptr);
    }
    return true;
}

bool HttpServer::listen(const std::string &address, int port, std::string *error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo *list = nullptr;
    std::string service = std::to_string(port);
    int rc =
        ::getaddrinfo(address.empty() ? nullptr : address.c_str(), service.c_str(), &hints, &list);
    if (rc != 0) {
        if (error)
            *error = "cannot resolve " + address + ": " + gai_strerror(rc);
        return false;
    }
    std::string lastError = "no address";
    for (addrinfo *ai = list; ai; ai = ai->ai_next) {
        int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC, ai->ai_protocol);
        if (fd < 0) {
            lastError = std::strerror(errno);
            continue;
        }
        int one = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (::bind(fd, ai->ai_addr, ai->ai_addrlen) != 0 || ::listen(fd, 64) != 0) {
            lastError = std::strerror(errno);
            ::close(fd);
            continue;
        }
        sockaddr_storage local{};
        socklen_t len = sizeof local;
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&local), &len);
        m_port = local.ss_family == AF_INET6
                     ? ntohs(reinterpret_cast<sockaddr_in6 *>(&local)->sin6_port)
                     : ntohs(reinterpret_cast<sockaddr_in *>(&local)->sin_port);
        m_listenFd = fd;
        break;
    }
    ::freeaddrinfo(list);
    if (m_listenFd < 0) {
        if (error)
            *error = "cannot listen on " + address + ":" + service + ": " + lastError;
        return false;
    }
    if (::pipe2(m_wakePipe, O_CLOEXEC) != 0) {
        if (error)
            *error = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    return true;
}

void HttpServer::start() {
    m_acceptThread = std::thread([this] { acceptLoop(); });
}

void HttpServer::acceptLoop() {
    for (;;) {
        pollfd fds[2] = {{m_listenFd, POLLIN, 0}, {m_wakePipe[0], POLLIN, 0}};
        int n = ::poll(fds, 2, -1);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents)
            return;
        if (!(fds[0].revents & POLLIN))
            continue;
        int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        if (!track(fd)) {
            ::close(fd);
            continue;
        }
        try {
            std::thread([this, fd] { serve(fd); }).detach();
        } catch (const std::system_error &) {
            untrack(fd);
        }
    }
}

bool HttpServer::track(int fd) {
    std::lock_guard lock(m_connMutex);
    if (m_stopped || static_cast<int>(m_connections.size()) >= kMaxConnections)
        return false;
    m_connections.insert(fd);
    ++m_threads;
    return true;
}

void HttpServer::untrack(int fd) {
    std::lock_guard lock(m_connMutex);
    m_connections.erase(fd);
    ::close(fd);
    --m_threads;
    m_connCv.notify_all();
}

void HttpServer::serve(int fd) {
    timeval tv{kSocketTimeoutSec, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);

    SSL *ssl = nullptr;
    if (m_ctx) {
        ssl = SSL_new(m_ctx);
        if (!ssl || SSL_set_fd(ssl, fd) != 1 || SSL_accept(ssl) != 1) {
            if (!m_stop.requested())
                std::fprintf(stderr, "orca-standin: TLS handshake refused: %s\n",
                             OpenSslError().c_str());
            ERR_clear_error();
            if (ssl)
                SSL_free(ssl);
            untrack(fd);
            return;
        }
    }
    Stream stream(fd, ssl);
    bool cleanClose = true;
    for (;;) {
        HttpRequest req;
        ReadResult rr = ReadHead(stream, &req);
        if (rr == ReadResult::Ok)
            rr = ReadBody(stream, &req);
        if (rr == ReadResult::Closed)
            break;
        if (rr != ReadResult::Ok) {
            stream.writeAll(
                Serialise(nullptr, PlainError(rr == ReadResult::TooLarge ? 413 : 400), false));
            break;
        }
        if (m_stop.requested())
            break;
        // A delay counts from here, so the handler's own work lies inside it
        // and the client sees the answer delayMs after its request.
        const auto received = std::chrono::steady_clock::now();
        HandlerResult result = m_handler(req);
        if (result.delayMs > 0 &&
            !m_stop.sleepUntil(received + std::chrono::milliseconds(result.delayMs)))
            break;
        if (result.action == HandlerResult::Action::Close) {
            cleanClose = false;
            break;
        }
        if (result.action == HandlerResult::Action::Reset) {
            linger lg{1, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
            cleanClose = false;
            break;
        }
        std::string connection = Lower(req.header("Connection"));
        bool keepAlive = req.version == "HTTP/1.1"
                             ? connection.find("close") == std::string::npos
                             : connection.find("keep-alive") != std::string::npos;
        if (!stream.writeAll(Serialise(&req, result.response, keepAlive)) || !keepAlive)
            break;
    }
    if (ssl) {
        if (cleanClose)
            SSL_shutdown(ssl);
        SSL_free(ssl);
        ERR_clear_error();
    }
    untrack(fd);
}

void HttpServer::stop() {
    {
        std::lock_guard lock(m_connMutex);
        if (m_stopped)
            return;
        m_stopped = true;
    }
    if (m_wakePipe[1] >= 0) {
        char c = 1;
        [[maybe_unused]] ssize_t w = ::write(m_wakePipe[1], &c, 1);
    }
    if (m_acceptThread.joinable())
        m_acceptThread.join();
    if (m_listenFd >= 0)
        ::close(m_listenFd);
    m_listenFd = -1;
    std::unique_lock lock(m_connMutex);
    for (int fd : m_connections)
        ::shutdown(fd, SHUT_RDWR);
    m_connCv.wait_for(lock, std::chrono::seconds(5), [this] { return m_threads == 0; });
    lock.unlock();
    for (int &p : m_wakePipe) {
        if (p >= 0)
            ::close(p);
        p = -1;
    }
}

} // namespace standin
