// Finding a patient's saved PDF documents: the folder setting, the masks and
// the patient rule.

#include "core/CoreSource.h"
#include "pdf/SavedPdf.h"
#include "platform/AppPaths.h"
#include "tests/support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QtTest>

class SavedPdfTest : public QObject {
    Q_OBJECT

private:
    QString m_appDir;

private slots:
    void initTestCase() { m_appDir = MakeTestAppDir(QStringLiteral("pdf_saved")); }

    void folder_data() {
        QTest::addColumn<bool>("write");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("expected"); // empty: the executable's folder
        QTest::newRow("no setting") << false << QString() << QString();
        QTest::newRow("empty") << true << QString() << QString();
        QTest::newRow("blank") << true << QStringLiteral(" \t ") << QString();
        QTest::newRow("as stored")
            << true << QStringLiteral("/srv/orca pdf/") << QStringLiteral("/srv/orca pdf/");
        QTest::newRow("ideographic space is no blank")
            << true << QStringLiteral(u"\u3000") << QStringLiteral(u"\u3000");
    }
    void folder() {
        QFETCH(bool, write);
        QFETCH(QString, value);
        QFETCH(QString, expected);
        QFile::remove(UserIniPath());
        if (write)
            WriteSetting(QStringLiteral("PARAMA"), QStringLiteral("SAVETXT"), value);
        QCOMPARE(SavedPdfFolder(), expected.isEmpty() ? platform::ExecutableDir() : expected);
    }

    void find_data() {
        QTest::addColumn<QStringList>("files"); // a trailing "/" makes a folder
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("id");
        QTest::addColumn<QStringList>("expected");
        const int drug = int(SavedPdfKind::Drug), checkup = int(SavedPdfKind::Checkup);
        QTest::newRow("X ends the ID") << QStringList{"YZK_1234X.pdf", "YZK_123X_1.pdf"} << drug
                                       << "123" << QStringList{"YZK_123X_1.pdf"};
        QTest::newRow("only a longer ID")
            << QStringList{"YZK_1234X.pdf"} << drug << "123" << QStringList();
        QTest::newRow("mask ignores case, patient part does not")
            << QStringList{"yzk_123X.PDF", "YZK_123x.pdf"} << drug << "123"
            << QStringList{"yzk_123X.PDF"};
        QTest::newRow("checkup documents")
            << QStringList{"YZK_123X.pdf", "TKK_123X.pdf", "tkk_9_123X.Pdf"} << checkup << "123"
            << QStringList{"TKK_123X.pdf", "tkk_9_123X.Pdf"};
        QTest::newRow("prefix and .pdf needed")
            << QStringList{"XYZK_123X.pdf", "YZK_123X.pdf.bak", "YZK_123X.pdfx",
                           "YZK_123X.txt",  "TKK_123X.pdf",     "YZK_123X.pdf"}
            << drug << "123" << QStringList{"YZK_123X.pdf"};
        QTest::newRow("no subfolders") << QStringList{"sub/YZK_123X.pdf", "YZK_123X_dir.pdf/"}
                                       << drug << "123" << QStringList();
        QTest::newRow("sorted by name")
            << QStringList{"YZK_123X_b.pdf", "YZK_123X_a.pdf", "YZK_0_123X.pdf", "YZK_123X_B.pdf"}
            << drug << "123"
            << QStringList{"YZK_0_123X.pdf", "YZK_123X_B.pdf", "YZK_123X_a.pdf", "YZK_123X_b.pdf"};
        QTest::newRow("ID as held, no padding") << QStringList{"YZK_123X.pdf", "YZK_0123X.pdf"}
                                                << drug << "0123" << QStringList{"YZK_0123X.pdf"};
        QTest::newRow("ID as held, no trimming") << QStringList{"YZK_123X.pdf", "YZK_ 123X.pdf"}
                                                 << drug << " 123" << QStringList{"YZK_ 123X.pdf"};
        QTest::newRow("blank ID finds nothing")
            << QStringList{"YZK__X.pdf", "YZK_ X.pdf"} << drug << " " << QStringList();
    }
    void find() {
        QFETCH(QStringList, files);
        QFETCH(int, kind);
        QFETCH(QString, id);
        QFETCH(QStringList, expected);
        const QString folder = m_appDir + QStringLiteral("find/") + QTest::currentDataTag() + '/';
        QDir(folder).removeRecursively();
        for (const QString &name : files) {
            if (name.endsWith('/')) {
                QVERIFY(QDir().mkpath(folder + name));
                continue;
            }
            QVERIFY(QDir().mkpath(QFileInfo(folder + name).path()));
            QVERIFY(WriteAll(folder + name, QByteArray()));
        }
        QStringList paths;
        for (const QString &name : expected)
            paths << folder + name;
        QCOMPARE(FindSavedPdfs(folder, SavedPdfKind(kind), id), paths);
    }

    void missingFolder() {
        QCOMPARE(FindSavedPdfs(m_appDir + "absent/", SavedPdfKind::Drug, "123"), QStringList());
    }

    // A blank setting searches the executable's folder.
    void blankSettingSearchesExecutableFolder() {
        WriteSetting(QStringLiteral("PARAMA"), QStringLiteral("SAVETXT"), QString());
        QVERIFY(WriteAll(m_appDir + "TKK_77X.pdf", QByteArray()));
        QCOMPARE(FindSavedPdfs(SavedPdfFolder(), SavedPdfKind::Checkup, "77"),
                 QStringList{m_appDir + "TKK_77X.pdf"});
    }
};

QTEST_GUILESS_MAIN(SavedPdfTest)
#include "test_savedpdf.moc"
