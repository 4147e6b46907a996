#include "platform/SingleInstance.h"

#include "platform/AppPaths.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>

namespace platform {

namespace {
constexpr char kShowRequest[] = "show\n";
}

SingleInstanceGuard::SingleInstanceGuard(const QString &name, QObject *parent)
    : QObject(parent), m_name(name) {}

SingleInstanceGuard::~SingleInstanceGuard() {
    release();
}

QString SingleInstanceGuard::lockPath() const {
    return UserRuntimeDir() + QLatin1Char('/') + m_name + QStringLiteral(".lock");
}

QString SingleInstanceGuard::socketName() const {
    return UserRuntimeDir() + QLatin1Char('/') + m_name + QStringLiteral(".sock");
}

SingleInstanceGuard::Claim SingleInstanceGuard::claim() {
    if (UserRuntimeDir().isEmpty())
        return Claim::Unavailable;
    m_lock = std::make_unique<QLockFile>(lockPath());
    // A lock whose owner process is gone counts as stale at once.
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0)) {
        const QLockFile::LockError err = m_lock->error();
        m_lock.reset();
        return err == QLockFile::LockFailedError ? Claim::AlreadyRunning : Claim::Unavailable;
    }

    // We own the lock: any socket file left behind belongs to a dead instance.
    QLocalServer::removeServer(socketName());
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (m_server->listen(socketName())) {
        connect(m_server.get(), &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket *peer = m_server->nextPendingConnection()) {
                connect(peer, &QLocalSocket::readyRead, this, [this, peer] {
                    if (peer->readAll().contains("show"))
                        emit activationRequested();
                    peer->disconnectFromServer();
                });
                connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            }
        });
    } else {
        m_server.reset(); // still the only instance; just not reachable
    }
    return Claim::Owner;
}

bool SingleInstanceGuard::notifyRunningInstance(int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(socketName());
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(kShowRequest);
    const bool ok = socket.waitForBytesWritten(timeoutMs);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(timeoutMs);
    return ok;
}

void SingleInstanceGuard::release() {
    if (m_server) {
        m_server->close();
        m_server.reset();
    }
    if (m_lock) {
        m_lock->unlock();
        m_lock.reset();
    }
}

} // namespace platform
