// The Qt side of the UI seam: file dialog filters and the shell's open.
#include "app/QtUi.h"
#include "tests/support/TestEnv.h"

#include <QDesktopServices>
#include <QFile>
#include <QTest>
#include <QUrl>

// Stands in for the desktop's default applications: records what it was given.
class OpenedUrls : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls << url; }
};

class TestQtUi : public QObject {
    Q_OBJECT
private slots:
    void filterList_data();
    void filterList();
    void shellOpen_data();
    void shellOpen();
};

void TestQtUi::filterList_data() {
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("certificates, then every file")
        << QStringLiteral("証明書ファイル (*.pfx;*.p12)|*.pfx;*.p12|全てのファイル (*.*)|*.*")
        << QStringList{QStringLiteral("証明書ファイル (*.pfx *.p12)"),
                       QStringLiteral("全てのファイル (*)")};
    QTest::newRow("name without patterns in it")
        << QStringLiteral("CSV|*.csv") << QStringList{QStringLiteral("CSV (*.csv)")};
    QTest::newRow("a pattern without its pair is dropped")
        << QStringLiteral("CSV (*.csv)|*.csv|Text") << QStringList{QStringLiteral("CSV (*.csv)")};
    QTest::newRow("empty") << QString() << QStringList{};
}

void TestQtUi::filterList() {
    QFETCH(QString, filter);
    QFETCH(QStringList, expected);
    QCOMPARE(QtFilterList(filter), expected);
}

void TestQtUi::shellOpen_data() {
    QTest::addColumn<QByteArray>("content"); // of the file <dir>/target; empty: a URL
    QTest::addColumn<bool>("executable");    // the file's execute permission
    QTest::addColumn<QString>("target");     // "<dir>" stands for the test folder
    QTest::addColumn<bool>("runs");          // started as a program, not handed on
    // A saved PDF on a Windows share is mounted with execute permission on
    // every file: it is still a document for the PDF program, not a program.
    QTest::newRow("document with execute permission")
        << QByteArray("%PDF-1.4\n%%EOF\n") << true << "<dir>YZK_123X.pdf" << false;
    QTest::newRow("document") << QByteArray("%PDF-1.4\n%%EOF\n") << false << "<dir>manual.pdf"
                              << false;
    QTest::newRow("program (script)")
        << QByteArray("#!/bin/sh\necho \"$1\" >\"$0.ran\"\n") << true << "<dir>UpdChk.exe" << true;
    QTest::newRow("mail link") << QByteArray() << false << "mailto:support@example.jp" << false;
}

void TestQtUi::shellOpen() {
    QFETCH(QByteArray, content);
    QFETCH(bool, executable);
    QFETCH(QString, target);
    QFETCH(bool, runs);
    const QString dir = MakeTestAppDir(QStringLiteral("qtui-shell"));
    target.replace(QStringLiteral("<dir>"), dir);
    if (!content.isEmpty()) {
        QVERIFY(WriteAll(target, content));
        if (executable)
            QVERIFY(QFile::setPermissions(target,
                                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }
    OpenedUrls desktop;
    for (const QString &s : {QStringLiteral("file"), QStringLiteral("mailto")})
        QDesktopServices::setUrlHandler(s, &desktop, "open");

    QtUi().shellOpen(nullptr, target, QStringLiteral("\"/opt/minatori/minatori\""));

    for (const QString &s : {QStringLiteral("file"), QStringLiteral("mailto")})
        QDesktopServices::unsetUrlHandler(s);
    if (runs) {
        QVERIFY(desktop.urls.isEmpty());
        QTRY_COMPARE(ReadAll(target + QStringLiteral(".ran")),
                     QByteArray("/opt/minatori/minatori\n"));
    } else {
        const QUrl expected = content.isEmpty() ? QUrl(target) : QUrl::fromLocalFile(target);
        QCOMPARE(desktop.urls, QList<QUrl>{expected});
        QVERIFY(!QFile::exists(target + QStringLiteral(".ran")));
    }
}

QTEST_GUILESS_MAIN(TestQtUi)
#include "test_qtui.moc"
