// Test helper: a TCP server on 127.0.0.1 that answers with whatever bytes a
// test gives it, for replies that no real HTTP server would send (garbage
// instead of a status line, endless bodies, broken encodings).
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

class RawServer {
public:
    // Called for each accepted connection (numbered from 0) after the request
    // has been read; writes the answer to the socket. The connection is closed
    // afterwards.
    using Handler = std::function<void(int socket, int index)>;

    // Serves at most `connections` connections on an ephemeral port.
    RawServer(Handler handler, int connections);
    ~RawServer(); // stops serving and waits for the thread
    RawServer(const RawServer &) = delete;
    RawServer &operator=(const RawServer &) = delete;

    bool isListening() const { return m_listener >= 0; }
    int port() const { return m_port; }
    QString baseUrl() const; // "http://127.0.0.1:<port>/api/"
    // The requests received so far (head and body), in order.
    QList<QByteArray> requests() const;

    // Writes all bytes to the socket; false when the peer went away.
    static bool sendAll(int socket, const QByteArray &bytes);

private:
    void run(int connections);

    Handler m_handler;
    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_lock;
    QList<QByteArray> m_requests;
    std::thread m_thread;
};
