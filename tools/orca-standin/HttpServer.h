// A small threaded HTTP/1.1 server on POSIX sockets with optional TLS
// (OpenSSL). Written for the stand-in: it must be able to drop or reset a
// connection on purpose, which general-purpose server libraries do not allow.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

struct ssl_ctx_st;

namespace standin {

// Shared stop signal: delays wait on it so that shutdown is prompt.
class StopSignal {
public:
    // Waits until the deadline; false when stopping was requested first.
    bool sleepUntil(std::chrono::steady_clock::time_point deadline);
    void request();
    bool requested() const { return m_stop.load(); }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::atomic<bool> m_stop{false};
};

struct HttpRequest {
    std::string method;
    std::string target;                                       // as sent: path plus "?" plus query
    std::string path;                                         // before "?"
    std::string query;                                        // after "?", undecoded
    std::string version;                                      // "HTTP/1.1"
    std::vector<std::pair<std::string, std::string>> headers; // names as sent
    std::string body;

    // First header with this name (compared without regard to case).
    std::string header(const std::string &name) const;
};

struct HttpResponse {
    int status = 200;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
};

struct HandlerResult {
    enum class Action { Respond, Close, Reset };
    Action action = Action::Respond;
    int delayMs = 0; // the action happens this long after the request was read
    HttpResponse response;
};

using Handler = std::function<HandlerResult(const HttpRequest &)>;

struct TlsSettings {
    std::string certFile;
    std::string keyFile;
    std::string clientCaFile; // empty: no client certificate asked for
    std::string minVersion;   // "1.0" .. "1.3" or empty
    std::string maxVersion;
};

const char *StatusText(int status);

class HttpServer {
public:
    HttpServer(Handler handler, StopSignal &stop);
    ~HttpServer();
    HttpServer(const HttpServer &) = delete;
    HttpServer &operator=(const HttpServer &) = delete;

    bool enableTls(const TlsSettings &settings, std::string *error);
    bool listen(const std::string &address, int port, std::string *error);
    int port() const { return m_port; }
    void start();
    // Closes the listener, wakes every connection and waits (bounded) for them.
    void stop();

private:
    void acceptLoop();
    void serve(int fd);
    bool track(int fd);
    void untrack(int fd);

    Handler m_handler;
    StopSignal &m_stop;
    ssl_ctx_st *m_ctx = nullptr;
    int m_listenFd = -1;
    int m_wakePipe[2] = {-1, -1};
    int m_port = 0;
    std::thread m_acceptThread;
    std::mutex m_connMutex;
    std::condition_variable m_connCv;
    std::set<int> m_connections;
    int m_threads = 0;
    bool m_stopped = false;
};

} // namespace standin
