// What the patient's saved PDF documents add to the other-institution view:
// visit months from a drug document made by a real PDF producer, with the
// clinic's own name kept out, and the checkup month; documents that cannot be
// read are logged and passed over.
#include "core/CoreSource.h"
#include "tests/support/TestEnv.h"
#include "viewer/TainPdf.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

using namespace viewer;

namespace {

QString Fixture(const QString &name) {
    return SourceDir() + QStringLiteral("/tests/data/pdf/") + name;
}

const QString kId = QStringLiteral("12345");
const QString kName = QStringLiteral("𠮷田　太郎");
const QString kClinic = QStringLiteral("みなと内科クリニック");

} // namespace

class TainPdfTest : public QObject {
    Q_OBJECT

private slots:
    void init() { m_app = MakeTestAppDir(QStringLiteral("tain_pdf")); }

    void supplement_data();
    void supplement();
    void supplementLogs();
    void unreadableDocuments();
    void checkupMonth();

private:
    QStringList LogMessages() const { return ReadLogMessages(m_app + QStringLiteral("Log.txt")); }
    QString m_app;
};

void TainPdfTest::supplement_data() {
    QTest::addColumn<QString>("patientId");
    QTest::addColumn<QString>("patientName");
    QTest::addColumn<QString>("selfInstCd");
    QTest::addColumn<QString>("kikanName");
    QTest::addColumn<QStringList>("ownNames");
    QTest::addColumn<QStringList>("expected");

    const QString chuo6 = QStringLiteral("中央総合病院=2024-06");
    const QString chuo7 = QStringLiteral("中央総合病院=2024-07");
    const QString minato4 = QStringLiteral("みなと内科クリニック=2024-04");
    const QString minato5 = QStringLiteral("みなと内科クリニック=2024-05");

    QTest::newRow("the clinic's name keeps its entries out")
        << kId << kName << "9900011" << kClinic << QStringList{} << QStringList{chuo6, chuo7};
    QTest::newRow("blanks around the clinic's name")
        << kId << kName << "9900011" << (QStringLiteral("  ") + kClinic + QStringLiteral(" "))
        << QStringList{} << QStringList{chuo6, chuo7};
    QTest::newRow("a name of the clinic's own prescriptions keeps them out")
        << kId << kName << "9900011" << QString() << QStringList{QStringLiteral("みなと内科")}
        << QStringList{chuo6, chuo7};
    QTest::newRow("without the clinic's code every institution counts")
        << kId << kName << QString() << kClinic << QStringList{QStringLiteral("みなと内科")}
        << QStringList{minato4, minato5, chuo6, chuo7};
    QTest::newRow("another patient's name in the document")
        << kId << QStringLiteral("山田　花子") << "9900011" << kClinic << QStringList{}
        << QStringList{};
    QTest::newRow("no patient name")
        << kId << QString() << "9900011" << kClinic << QStringList{} << QStringList{};
    QTest::newRow("patient 1234 is not 12345")
        << "1234" << kName << "9900011" << kClinic << QStringList{} << QStringList{};
}

void TainPdfTest::supplement() {
    QFETCH(QString, patientId);
    QFETCH(QString, patientName);
    QFETCH(QString, selfInstCd);
    QFETCH(QString, kikanName);
    QFETCH(QStringList, ownNames);
    QFETCH(QStringList, expected);

    QTemporaryDir folder;
    QVERIFY(QFile::copy(Fixture("YZK_12345X_20240801.pdf"),
                        folder.filePath("YZK_12345X_20240801.pdf")));
    TPdfSupplementInput in{folder.path(), patientId, patientName, selfInstCd, kikanName, ownNames};
    // Entries already there from the medical information stay and are not doubled.
    QStringList months = {QStringLiteral("やまびこ内科クリニック=2024-05"),
                          QStringLiteral("中央総合病院=2024-06")};
    CollectPdfMedMonths(in, months);
    QStringList want = {QStringLiteral("やまびこ内科クリニック=2024-05"),
                        QStringLiteral("中央総合病院=2024-06")};
    for (const QString &e : expected) {
        if (!want.contains(e))
            want << e;
    }
    QCOMPARE(months, want);
}

void TainPdfTest::supplementLogs() {
    QTemporaryDir folder;
    QVERIFY(QFile::copy(Fixture("YZK_12345X_20240801.pdf"),
                        folder.filePath("YZK_12345X_20240801.pdf")));
    QStringList months;
    CollectPdfMedMonths({folder.path(), kId, kName, "9900011", kClinic, {}}, months);
    const QStringList log = LogMessages();
    QCOMPARE(log.value(0), QStringLiteral("PDF患者名一致: YZK_12345X_20240801.pdf"));
    QCOMPARE(log.value(1), QStringLiteral("PDF抽出件数: 5"));
    QCOMPARE(log.mid(2), QStringList({
                             QStringLiteral("PDF: みなと内科クリニック=2024-04"),
                             QStringLiteral("PDF: みなと内科クリニック=2024-05"),
                             QStringLiteral("PDF: さくら調剤薬局=2024-05"),
                             QStringLiteral("PDF: 中央総合病院=2024-06"),
                             QStringLiteral("PDF: 中央総合病院=2024-07"),
                         }));
}

void TainPdfTest::unreadableDocuments() {
    // Beside the patient's readable document: a folder, a pipe and a link to a
    // file that is gone, all named like the patient's documents. None of them
    // stops the reading or blocks it.
    QTemporaryDir folder;
    QVERIFY(QDir(folder.path()).mkdir("YZK_12345X_a.pdf"));
    QCOMPARE(::mkfifo(QFile::encodeName(folder.filePath("YZK_12345X_b.pdf")).constData(), 0600), 0);
    QVERIFY(QFile::link(folder.filePath("gone.pdf"), folder.filePath("YZK_12345X_c.pdf")));
    QVERIFY(QFile::copy(Fixture("YZK_12345X_20240801.pdf"), folder.filePath("YZK_12345X_d.pdf")));

    QStringList months;
    CollectPdfMedMonths({folder.path(), kId, kName, "9900011", kClinic, {}}, months);
    QCOMPARE(months, QStringList({QStringLiteral("中央総合病院=2024-06"),
                                  QStringLiteral("中央総合病院=2024-07")}));
    const QStringList log = LogMessages();
    QVERIFY2(log.filter(QStringLiteral("PDF Skip: ")).size() == 2, qPrintable(log.join('\n')));
    QVERIFY(!log.filter(QStringLiteral("YZK_12345X_b.pdf (ファイルではありません)")).isEmpty());
    QVERIFY(!log.filter(QStringLiteral("YZK_12345X_c.pdf (見つかりません)")).isEmpty());

    // A folder given by its path, and a file whose reading fails part-way.
    QCOMPARE(ReadSavedPdfText(folder.filePath("YZK_12345X_a.pdf")), QString());
    QCOMPARE(ReadSavedPdfText(QStringLiteral("/proc/self/mem")), QString());
    QVERIFY2(!LogMessages().filter(QStringLiteral("PDF Error: ")).isEmpty(),
             qPrintable(LogMessages().join('\n')));
}

void TainPdfTest::checkupMonth() {
    QTemporaryDir folder;
    // Nothing of the patient's yet.
    QCOMPARE(FindCheckupPdfMonth(folder.path(), kId).Found, false);
    QCOMPARE(FindCheckupPdfMonth(folder.filePath("missing"), kId).Found, false);

    // A link to nothing and a pipe: no checkup row from them.
    QVERIFY(QFile::link(folder.filePath("gone.pdf"), folder.filePath("TKK_12345X_1.pdf")));
    QCOMPARE(::mkfifo(QFile::encodeName(folder.filePath("TKK_12345X_2.pdf")).constData(), 0600), 0);
    QCOMPARE(FindCheckupPdfMonth(folder.path(), kId).Found, false);

    // A document without a readable date: the month it was last changed.
    {
        QFile f(folder.filePath("TKK_12345X_3.pdf"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("%PDF-1.4 not much of a document");
        f.flush();
        QVERIFY(f.setFileTime(QDateTime(QDate(2023, 2, 10), QTime(12, 0)),
                              QFileDevice::FileModificationTime));
    }
    TCheckupPdfMonth m = FindCheckupPdfMonth(folder.path(), kId);
    QVERIFY(m.Found);
    QCOMPARE(m.Month, QStringLiteral("2023-02"));

    // The first readable document decides; its performed month when it shows one.
    QVERIFY(QFile::copy(Fixture("TKK_12345X_20240801.pdf"), folder.filePath("TKK_12345X_0.pdf")));
    m = FindCheckupPdfMonth(folder.path(), kId);
    QVERIFY(m.Found);
    QCOMPARE(m.Month, QStringLiteral("2024-06"));
}

QTEST_GUILESS_MAIN(TainPdfTest)
#include "test_tainpdf.moc"
