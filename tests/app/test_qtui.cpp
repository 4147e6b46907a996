// The Qt side of the UI seam: file dialog filters.
#include "app/QtUi.h"

#include <QTest>

class TestQtUi : public QObject {
    Q_OBJECT
private slots:
    void filterList_data();
    void filterList();
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

QTEST_GUILESS_MAIN(TestQtUi)
#include "test_qtui.moc"
