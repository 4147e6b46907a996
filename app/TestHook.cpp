// The test automation hook (test builds only, see TestHook.h).
//
// One command a line, in UTF-8; one answer a line, a JSON object:
// {"ok": true, "value": ...} or {"ok": false, "error": "..."}. A control is
// named by its objectName, optionally after its window's: "frmDrugInfo/Label1".
// Without a window the modal window is searched first, then the others.
//
//   windows                  the visible windows: [{"name", "class", "title", "modal"}]
//   click <control>          clicks a button or triggers a menu action (after the answer)
//   dblclick <grid> <row>    double-clicks the data row (press, release, double-click,
//                            release on the row's first cell; after the answer)
//   grid <grid>              every cell, row by row, the header row included
//   text <control>           the text of a label, edit, text pane, button, action or window
//   idle                     true when no patient viewer runs a request or a sequence
//                            and no mark worker runs, and their results are delivered
//   answer <kind> <value>    scripts the next seam question of a kind: message (ok, yes,
//                            no, cancel), error (any value: no box), task (link id, -1),
//                            save, open, folder (a path; empty = cancelled), input (a text)
//   seam                     every seam question so far: [{"kind", "title", "text"}]
//
// Clicks run from the event loop, as queued calls: unlike the user's input they
// are not held back while a request runs, so a test waits for idle first.
// Shell opens are recorded and never carried out while the hook runs.
#include "app/TestHook.h"

#include "markcheck/TainMarkCheck.h"
#include "platform/Trim.h"
#include "platform/UiSeam.h"
#include "viewer/DrugInfo.h"
#include "viewer/StringGrid.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPointer>

namespace {

using platform::IUi;
using platform::MsgResult;

// The seam as the hook's tests see it: every question recorded, the scripted
// ones answered, the others passed to the real seam.
class HookUi : public IUi {
public:
    explicit HookUi(IUi &real) : m_real(real) {}

    QJsonArray calls;
    QHash<QString, QStringList> answers;

    MsgResult messageBox(QObject *owner, const QString &title, const QString &text,
                         platform::MsgIcon icon, platform::MsgButtons buttons) override {
        QString a;
        if (!take(QStringLiteral("message"), title, text, &a))
            return m_real.messageBox(owner, title, text, icon, buttons);
        if (a == QLatin1String("yes"))
            return MsgResult::Yes;
        if (a == QLatin1String("no"))
            return MsgResult::No;
        if (a == QLatin1String("cancel"))
            return MsgResult::Cancel;
        return MsgResult::Ok;
    }
    void errorBox(QObject *owner, const QString &text) override {
        QString a;
        if (!take(QStringLiteral("error"), QString(), text, &a))
            m_real.errorBox(owner, text);
    }
    QString openFileDialog(QObject *owner, const platform::FileDialogSpec &spec) override {
        QString a;
        return take(QStringLiteral("open"), spec.title, spec.fileName, &a)
                   ? a
                   : m_real.openFileDialog(owner, spec);
    }
    QString saveFileDialog(QObject *owner, const platform::FileDialogSpec &spec) override {
        QString a;
        return take(QStringLiteral("save"), spec.title, spec.fileName, &a)
                   ? a
                   : m_real.saveFileDialog(owner, spec);
    }
    QString pickFolder(QObject *owner, const QString &title, const QString &startDir) override {
        QString a;
        return take(QStringLiteral("folder"), title, startDir, &a)
                   ? a
                   : m_real.pickFolder(owner, title, startDir);
    }
    bool inputBox(QObject *owner, const QString &title, const QString &prompt,
                  QString &value) override {
        QString a;
        if (!take(QStringLiteral("input"), title, prompt, &a))
            return m_real.inputBox(owner, title, prompt, value);
        value = a;
        return true;
    }
    int taskDialog(QObject *owner, const platform::TaskDialogSpec &spec) override {
        QString a;
        return take(QStringLiteral("task"), spec.caption, spec.instruction, &a)
                   ? a.toInt()
                   : m_real.taskDialog(owner, spec);
    }
    void shellOpen(QObject *, const QString &target, const QString &params) override {
        record(QStringLiteral("shell"), target, params);
    }
    void setCursor(platform::CursorKind kind) override { m_real.setCursor(kind); }
    bool printJob(const QString &documentName,
                  const std::function<bool(QPaintDevice *device)> &paint) override {
        record(QStringLiteral("print"), documentName, QString());
        return m_real.printJob(documentName, paint);
    }

private:
    void record(const QString &kind, const QString &title, const QString &text) {
        calls.append(QJsonObject{{QStringLiteral("kind"), kind},
                                 {QStringLiteral("title"), title},
                                 {QStringLiteral("text"), text}});
    }
    // Records the question; true with the scripted answer when there is one.
    bool take(const QString &kind, const QString &title, const QString &text, QString *answer) {
        record(kind, title, text);
        QStringList &queue = answers[kind];
        if (queue.isEmpty())
            return false;
        *answer = queue.takeFirst();
        return true;
    }

    IUi &m_real;
};

QJsonObject Ok(const QJsonValue &value = QJsonValue()) {
    return {{QStringLiteral("ok"), true}, {QStringLiteral("value"), value}};
}

QJsonObject Fail(const QString &why) {
    return {{QStringLiteral("ok"), false}, {QStringLiteral("error"), why}};
}

// The modal window first, then every other visible window.
QList<QWidget *> Windows() {
    QList<QWidget *> out;
    if (QWidget *modal = QApplication::activeModalWidget())
        out << modal;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w->isVisible() && !out.contains(w))
            out << w;
    }
    return out;
}

QObject *Find(const QString &path) {
    const qsizetype slash = path.indexOf(QLatin1Char('/'));
    const QString window = slash < 0 ? QString() : path.left(slash);
    const QString name = path.mid(slash + 1);
    for (QWidget *w : Windows()) {
        if (!window.isEmpty() && w->objectName() != window)
            continue;
        if (w->objectName() == name)
            return w;
        if (QObject *found = w->findChild<QObject *>(name))
            return found;
    }
    return nullptr;
}

// No patient viewer is running a request or a sequence, and no mark worker runs.
bool ViewersIdle() {
    for (QWidget *w : QApplication::topLevelWidgets()) {
        const auto *viewer = qobject_cast<TfrmDrugInfo *>(w);
        if (viewer && (viewer->FRunner.IsBusy() ||
                       (viewer->FMarkThread && !viewer->FMarkThread->isFinished())))
            return false;
    }
    return true;
}

void DoubleClickRow(TStringGrid *grid, int row) {
    const QModelIndex index = grid->model()->index(row - 1, 0);
    grid->scrollTo(index);
    QWidget *viewport = grid->viewport();
    const QPoint at = grid->visualRect(index).center();
    const auto send = [&](QEvent::Type type, Qt::MouseButtons buttons) {
        QMouseEvent e(type, at, viewport->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(viewport, &e);
    };
    send(QEvent::MouseButtonPress, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, Qt::NoButton);
    send(QEvent::MouseButtonDblClick, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, Qt::NoButton);
}

class TestHook : public QObject {
public:
    TestHook(IUi &real, const QString &name) : QObject(qApp), m_real(real), m_ui(real) {
        platform::SetUi(&m_ui);
        m_server.setSocketOptions(QLocalServer::UserAccessOption);
        connect(&m_server, &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket *s = m_server.nextPendingConnection()) {
                connect(s, &QLocalSocket::readyRead, this, [this, s] {
                    while (s->canReadLine())
                        handle(s, platform::TrimText(QString::fromUtf8(s->readLine())));
                });
                connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
            }
        });
        QLocalServer::removeServer(name);
        if (!m_server.listen(name))
            qFatal("test hook: cannot listen on %s", qPrintable(name));
    }
    ~TestHook() override { platform::SetUi(&m_real); }

private:
    static void reply(QLocalSocket *s, const QJsonObject &answer) {
        s->write(QJsonDocument(answer).toJson(QJsonDocument::Compact) + '\n');
        s->flush();
    }

    // Runs after the answer, from the event loop.
    template <class F> void later(F &&action) {
        QMetaObject::invokeMethod(this, std::forward<F>(action), Qt::QueuedConnection);
    }

    // Idle is judged twice, one queued turn apart: results that a worker queued
    // before it finished are delivered before the second look.
    void answerIdle(QPointer<QLocalSocket> s, bool second) {
        later([this, s, second] {
            if (!s)
                return;
            if (!ViewersIdle())
                reply(s, Ok(false));
            else if (!second)
                answerIdle(s, true);
            else
                reply(s, Ok(true));
        });
    }

    void handle(QLocalSocket *s, const QString &line) {
        const QString command = line.section(QLatin1Char(' '), 0, 0);
        const QString arg = line.section(QLatin1Char(' '), 1, 1);
        const QString rest = line.section(QLatin1Char(' '), 2);

        if (command == QLatin1String("windows")) {
            QJsonArray out;
            for (QWidget *w : Windows())
                out.append(QJsonObject{{QStringLiteral("name"), w->objectName()},
                                       {QStringLiteral("class"), w->metaObject()->className()},
                                       {QStringLiteral("title"), w->windowTitle()},
                                       {QStringLiteral("modal"), w->isModal()}});
            return reply(s, Ok(out));
        }
        if (command == QLatin1String("idle"))
            return answerIdle(s, false);
        if (command == QLatin1String("seam"))
            return reply(s, Ok(m_ui.calls));
        if (command == QLatin1String("answer")) {
            m_ui.answers[arg] << rest;
            return reply(s, Ok());
        }

        QObject *target = Find(arg);
        if (!target)
            return reply(s, Fail(QStringLiteral("no control ") + arg));
        if (command == QLatin1String("click")) {
            if (auto *button = qobject_cast<QAbstractButton *>(target)) {
                reply(s, Ok());
                return later([button = QPointer(button)] {
                    if (button)
                        button->click();
                });
            }
            if (auto *action = qobject_cast<QAction *>(target)) {
                reply(s, Ok());
                return later([action = QPointer(action)] {
                    if (action)
                        action->trigger();
                });
            }
            return reply(s, Fail(arg + QStringLiteral(" is neither a button nor an action")));
        }
        if (command == QLatin1String("text")) {
            if (auto *label = qobject_cast<QLabel *>(target))
                return reply(s, Ok(label->text()));
            if (auto *edit = qobject_cast<QLineEdit *>(target))
                return reply(s, Ok(edit->text()));
            if (auto *pane = qobject_cast<QPlainTextEdit *>(target))
                return reply(s, Ok(pane->toPlainText()));
            if (auto *button = qobject_cast<QAbstractButton *>(target))
                return reply(s, Ok(button->text()));
            if (auto *action = qobject_cast<QAction *>(target))
                return reply(s, Ok(action->text()));
            if (auto *widget = qobject_cast<QWidget *>(target); widget && widget->isWindow())
                return reply(s, Ok(widget->windowTitle()));
            return reply(s, Fail(arg + QStringLiteral(" has no text")));
        }
        auto *grid = qobject_cast<TStringGrid *>(target);
        if (!grid)
            return reply(s, Fail(arg + QStringLiteral(" is no grid")));
        if (command == QLatin1String("grid")) {
            QJsonArray rows;
            for (int r = 0; r < grid->RowCount(); ++r) {
                QJsonArray cells;
                for (int c = 0; c < grid->ColCount(); ++c)
                    cells.append(grid->Cells(c, r));
                rows.append(cells);
            }
            return reply(s, Ok(rows));
        }
        if (command == QLatin1String("dblclick")) {
            bool isNumber = false;
            const int row = rest.toInt(&isNumber);
            if (!isNumber || row < 1 || row >= grid->RowCount())
                return reply(s, Fail(QStringLiteral("no data row ") + rest));
            reply(s, Ok());
            return later([grid = QPointer(grid), row] {
                if (grid)
                    DoubleClickRow(grid, row);
            });
        }
        reply(s, Fail(QStringLiteral("unknown command ") + command));
    }

    IUi &m_real;
    HookUi m_ui;
    QLocalServer m_server;
};

} // namespace

void StartTestHook(IUi &ui) {
    const QString name = qEnvironmentVariable("MINATORI_TEST_HOOK");
    if (!name.isEmpty())
        new TestHook(ui, name); // lives as long as the application
}
