#include "tests/support/RawServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The request's head and, when it announces one, its body.
QByteArray readRequest(int socket) {
    QByteArray in;
    char buf[4096];
    qsizetype need = -1;
    while (need < 0 || in.size() < need) {
        pollfd p{socket, POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0)
            break;
        const ssize_t n = ::recv(socket, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        in.append(buf, n);
        const qsizetype head = in.indexOf("\r\n\r\n");
        if (need < 0 && head >= 0) {
            need = head + 4;
            const qsizetype cl = in.toLower().indexOf("\r\ncontent-length:");
            if (cl >= 0 && cl < head)
                need +=
                    in.mid(cl + 17, in.indexOf("\r\n", cl + 2) - cl - 17).simplified().toLongLong();
        }
    }
    return in;
}

} // namespace

RawServer::RawServer(Handler handler, int connections) : m_handler(std::move(handler)) {
    m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr *>(&addr), len) != 0 ||
        ::listen(m_listener, 8) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&addr), &len) != 0) {
        if (m_listener >= 0)
            ::close(m_listener);
        m_listener = -1;
        return;
    }
    m_port = ntohs(addr.sin_port);
    m_thread = std::thread([this, connections] { run(connections); });
}

RawServer::~RawServer() {
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_listener >= 0)
        ::close(m_listener);
}

QString RawServer::baseUrl() const {
    return QStringLiteral("http://127.0.0.1:%1/api/").arg(m_port);
}

QList<QByteArray> RawServer::requests() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_requests;
}

bool RawServer::sendAll(int socket, const QByteArray &bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::send(socket, bytes.constData() + done, size_t(bytes.size() - done), MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

void RawServer::run(int connections) {
    for (int index = 0; index < connections && !m_stop;) {
        pollfd p{m_listener, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        const int peer = ::accept(m_listener, nullptr, nullptr);
        if (peer < 0)
            continue;
        const QByteArray request = readRequest(peer);
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_requests << request;
        }
        m_handler(peer, index++);
        // Close gently: what the client still sends is read, so that the
        // close does not turn into a reset.
        ::shutdown(peer, SHUT_WR);
        char sink[4096];
        for (pollfd q{peer, POLLIN, 0}; ::poll(&q, 1, 1000) > 0;)
            if (::recv(peer, sink, sizeof sink, 0) <= 0)
                break;
        ::close(peer);
    }
}
