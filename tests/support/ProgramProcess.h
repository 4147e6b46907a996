// Test helper: the built program (bin/minatori, a test build) copied into an
// application folder of its own and run as a child process, offscreen, driven
// from outside through its test hook (app/TestHook.cpp lists the commands).
//
// Every wait is bounded and every failure comes back as a text for
// QVERIFY2. The program is killed when the helper goes (and by the kernel
// when the test process dies).
#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QProcessEnvironment>
#include <QString>

#include <functional>
#include <memory>

class QLocalSocket;
class QProcess;
class QTemporaryDir;

class ProgramProcess {
public:
    // dir: the application folder (trailing '/'); the program is copied there.
    explicit ProgramProcess(const QString &dir);
    ~ProgramProcess();
    ProgramProcess(const ProgramProcess &) = delete;
    ProgramProcess &operator=(const ProgramProcess &) = delete;

    QString dir() const { return m_dir; }
    // The running program's process id (0 when none runs).
    qint64 pid() const;

    // Environment of the next start on top of the test's own (for example
    // MINATORI_TEST_PAUSE); an empty value removes the variable.
    void setEnv(const QString &name, const QString &value);

    // Starts the program and connects to its hook, within 20 s.
    bool start(QString *error);

    // Sends one hook command and returns the value of its answer (10 s at most).
    bool command(const QString &line, QJsonValue *value, QString *error);
    // The value as a text, for commands that answer one.
    bool text(const QString &control, QString *value, QString *error);
    // Repeats the command until check(value) holds, for up to ms.
    bool waitFor(const QString &line, const std::function<bool(const QJsonValue &)> &check, int ms,
                 QString *error);
    // Waits until the hook reports the viewers idle (no request, no sequence,
    // no mark worker, results delivered).
    bool waitIdle(int ms, QString *error);
    // Waits until a window of that objectName is shown.
    bool waitForWindow(const QString &name, int ms, QString *error);

    // What the file writer reported when it stopped at MINATORI_TEST_PAUSE.
    struct Pause {
        QString point;
        qint64 size = 0; // the bytes it was writing
        QByteArray sha1; // their SHA-1 (hex)
        QString path;
    };
    bool waitForPause(Pause *pause, int ms, QString *error);

    // SIGKILL, then waits for the end.
    void kill();
    // Waits for the program to end by itself; its exit code.
    bool waitForExit(int ms, int *exitCode, QString *error);
    // What the program wrote to its standard error so far (for failure texts).
    QByteArray errorOutput();

private:
    bool failed(QString *error, const QString &why);

    QString m_dir;
    QProcessEnvironment m_extra;
    QStringList m_removed;
    std::unique_ptr<QTemporaryDir> m_runtime; // XDG_RUNTIME_DIR and the hook's socket
    std::unique_ptr<QProcess> m_process;
    std::unique_ptr<QLocalSocket> m_socket;
    QByteArray m_stdout;
};
