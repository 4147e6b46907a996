#include "tests/support/ProgramProcess.h"

#include "platform/Trim.h"
#include "tests/support/TestEnv.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>

#ifdef __linux__
#include <csignal>
#include <sys/prctl.h>
#endif

namespace {
constexpr int kCommandMs = 10000;
constexpr int kPollMs = 20; // between two looks of a bounded wait
} // namespace

ProgramProcess::ProgramProcess(const QString &dir) : m_dir(dir) {}

ProgramProcess::~ProgramProcess() {
    kill();
}

qint64 ProgramProcess::pid() const {
    return m_process && m_process->state() == QProcess::Running ? m_process->processId() : 0;
}

void ProgramProcess::setEnv(const QString &name, const QString &value) {
    m_extra.remove(name);
    m_removed.removeAll(name);
    if (value.isEmpty())
        m_removed << name;
    else
        m_extra.insert(name, value);
}

bool ProgramProcess::failed(QString *error, const QString &why) {
    if (error) {
        *error = why;
        const QByteArray err = errorOutput().right(2000);
        if (!err.isEmpty())
            *error += QStringLiteral("\nprogram's standard error:\n") + QString::fromUtf8(err);
    }
    return false;
}

bool ProgramProcess::start(QString *error) {
    kill();
    if (!m_runtime) {
        // A short path: it holds the hook's socket (and the program's own).
        m_runtime = std::make_unique<QTemporaryDir>(QDir::tempPath() +
                                                    QStringLiteral("/minatori-run-XXXXXX"));
        if (!m_runtime->isValid())
            return failed(error, QStringLiteral("no temporary folder"));
    }
    const QString program = m_dir + QStringLiteral("minatori");
    if (!QFile::exists(program)) {
        const QString built = BinaryDir() + QStringLiteral("/bin/minatori");
        if (!QFile::copy(built, program))
            return failed(error, QStringLiteral("cannot copy ") + built + QStringLiteral(" to ") +
                                     program);
        QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    const QString hook = m_runtime->filePath(QStringLiteral("hook"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime->path());
    env.insert(QStringLiteral("MINATORI_TEST_HOOK"), hook);
    env.remove(QStringLiteral("MINATORI_TEST_PAUSE"));
    env.insert(m_extra);
    for (const QString &name : std::as_const(m_removed))
        env.remove(name);

    m_stdout.clear();
    QFile::remove(m_runtime->filePath(QStringLiteral("stderr")));
    m_process = std::make_unique<QProcess>();
    m_process->setProcessEnvironment(env);
    m_process->setWorkingDirectory(m_dir);
    m_process->setStandardErrorFile(m_runtime->filePath(QStringLiteral("stderr")));
#ifdef __linux__
    // A test that dies takes the program with it.
    m_process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
#endif
    m_process->start(program, {});
    if (!m_process->waitForStarted(10000))
        return failed(error,
                      QStringLiteral("the program did not start: ") + m_process->errorString());

    const QDeadlineTimer deadline(20000);
    for (;;) {
        m_socket = std::make_unique<QLocalSocket>();
        m_socket->connectToServer(hook);
        if (m_socket->waitForConnected(1000))
            return true;
        if (m_process->waitForFinished(kPollMs) || m_process->state() == QProcess::NotRunning)
            return failed(error, QStringLiteral("the program ended (exit code %1) before its "
                                                "test hook answered")
                                     .arg(m_process->exitCode()));
        if (deadline.hasExpired())
            return failed(error, QStringLiteral("the program's test hook did not listen within "
                                                "20 s (is this a test build?)"));
    }
}

bool ProgramProcess::command(const QString &line, QJsonValue *value, QString *error) {
    if (!m_socket || m_socket->state() != QLocalSocket::ConnectedState)
        return failed(error, QStringLiteral("not connected to the program (") + line +
                                 QStringLiteral(")"));
    m_socket->write(line.toUtf8() + '\n');
    const QDeadlineTimer deadline(kCommandMs);
    if (!m_socket->waitForBytesWritten(kCommandMs))
        return failed(error, QStringLiteral("cannot send \"") + line + QStringLiteral("\""));
    while (!m_socket->canReadLine()) {
        if (!m_socket->waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            return failed(error, QStringLiteral("no answer to \"") + line +
                                     QStringLiteral("\" within 10 s"));
    }
    const QJsonObject answer = QJsonDocument::fromJson(m_socket->readLine()).object();
    if (!answer.value(QStringLiteral("ok")).toBool())
        return failed(error, QStringLiteral("\"") + line + QStringLiteral("\" failed: ") +
                                 answer.value(QStringLiteral("error")).toString());
    if (value)
        *value = answer.value(QStringLiteral("value"));
    return true;
}

bool ProgramProcess::text(const QString &control, QString *value, QString *error) {
    QJsonValue v;
    if (!command(QStringLiteral("text ") + control, &v, error))
        return false;
    *value = v.toString();
    return true;
}

bool ProgramProcess::waitFor(const QString &line,
                             const std::function<bool(const QJsonValue &)> &check, int ms,
                             QString *error) {
    const QDeadlineTimer deadline(ms);
    QJsonValue last;
    for (;;) {
        if (!command(line, &last, error))
            return false;
        if (check(last))
            return true;
        if (deadline.hasExpired()) {
            const QJsonDocument shown = last.isArray()    ? QJsonDocument(last.toArray())
                                        : last.isObject() ? QJsonDocument(last.toObject())
                                                          : QJsonDocument();
            return failed(error,
                          QStringLiteral("\"%1\" not as expected within %2 s; last answer: %3")
                              .arg(line)
                              .arg(ms / 1000)
                              .arg(shown.isNull()
                                       ? last.toVariant().toString()
                                       : QString::fromUtf8(shown.toJson(QJsonDocument::Compact))));
        }
        if (m_process->waitForFinished(kPollMs))
            return failed(error, QStringLiteral("the program ended while waiting for \"") + line +
                                     QStringLiteral("\""));
    }
}

bool ProgramProcess::waitIdle(int ms, QString *error) {
    return waitFor(
        QStringLiteral("idle"), [](const QJsonValue &v) { return v.toBool(); }, ms, error);
}

bool ProgramProcess::waitForWindow(const QString &name, int ms, QString *error) {
    return waitFor(
        QStringLiteral("windows"),
        [&name](const QJsonValue &v) {
            for (const QJsonValue &w : v.toArray()) {
                if (w.toObject().value(QStringLiteral("name")).toString() == name)
                    return true;
            }
            return false;
        },
        ms, error);
}

bool ProgramProcess::waitForPause(Pause *pause, int ms, QString *error) {
    const QDeadlineTimer deadline(ms);
    for (;;) {
        if (m_process)
            m_stdout += m_process->readAllStandardOutput();
        for (const QByteArray &line : m_stdout.split('\n')) {
            const QString text = platform::TrimText(QString::fromUtf8(line));
            const QList<QByteArray> f = text.toUtf8().split(' ');
            if (f.size() >= 5 && f[0] == "MINATORI_TEST_PAUSE") {
                pause->point = QString::fromUtf8(f[1]);
                pause->size = f[2].toLongLong();
                pause->sha1 = f[3];
                pause->path = text.section(u' ', 4);
                return true;
            }
        }
        if (!m_process || m_process->state() == QProcess::NotRunning)
            return failed(error, QStringLiteral("the program ended before its writer stopped"));
        if (deadline.hasExpired())
            return failed(error, QStringLiteral("the writer did not stop within %1 s; the "
                                                "program wrote: %2")
                                     .arg(ms / 1000)
                                     .arg(QString::fromUtf8(m_stdout)));
        m_process->waitForReadyRead(int(qBound<qint64>(1, deadline.remainingTime(), 1000LL)));
    }
}

void ProgramProcess::kill() {
    m_socket.reset();
    if (m_process && m_process->state() != QProcess::NotRunning) {
        m_process->kill(); // SIGKILL
        m_process->waitForFinished(10000);
    }
}

bool ProgramProcess::waitForExit(int ms, int *exitCode, QString *error) {
    if (!m_process)
        return failed(error, QStringLiteral("the program was not started"));
    if (!m_process->waitForFinished(ms) && m_process->state() != QProcess::NotRunning)
        return failed(error, QStringLiteral("the program did not end within %1 s").arg(ms / 1000));
    if (m_process->exitStatus() != QProcess::NormalExit)
        return failed(error, QStringLiteral("the program crashed"));
    *exitCode = m_process->exitCode();
    m_socket.reset();
    return true;
}

QByteArray ProgramProcess::errorOutput() {
    return m_runtime ? ReadAll(m_runtime->filePath(QStringLiteral("stderr"))) : QByteArray();
}
