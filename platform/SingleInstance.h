#pragma once
#include <QObject>
#include <QString>
#include <memory>

class QLocalServer;
class QLockFile;

namespace platform {

// One instance per user log-on session: a named lock in the user's runtime
// folder, plus a local socket through which a second start asks the first one
// to bring its window forward. A lock left behind by a crashed instance is
// taken over (the lock file records the owner's process id).
class SingleInstanceGuard : public QObject {
    Q_OBJECT
public:
    enum class Claim { Owner, AlreadyRunning, Unavailable };

    explicit SingleInstanceGuard(const QString &name, QObject *parent = nullptr);
    ~SingleInstanceGuard() override;

    // Tries to become the running instance. Unavailable means the lock could not
    // be created at all; the caller then runs without the guard.
    Claim claim();

    // Second instance: asks the running one to show its window. Returns true when
    // the request was delivered.
    bool notifyRunningInstance(int timeoutMs = 2000);

    // Releases lock and socket (also done by the destructor).
    void release();

    QString lockPath() const;
    QString socketName() const;

signals:
    // Emitted in the running instance when another start asked it to show itself.
    void activationRequested();

private:
    QString m_name;
    std::unique_ptr<QLockFile> m_lock;
    std::unique_ptr<QLocalServer> m_server;
};

} // namespace platform
