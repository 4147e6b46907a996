// The Debian package as CPack makes it from this build: its name and
// version, its dependencies, exactly the files it installs, a valid desktop
// entry, the manual where the contact window opens it, and a program stamped
// with the package's version. This build has the test hook, so cpack makes a
// package of it only when told it is just looked at.
#include "dialogs/Contact.h"
#include "platform/Trim.h"
#include "platform/VersionInfo.h"
#include "tests/support/TestEnv.h"

#include <QDir>
#include <QDirIterator>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

namespace {

struct Run {
    int code = -1;
    QString out;
};

Run run(const QString &program, const QStringList &args, int timeoutMs = 120000) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    Run r;
    if (!p.waitForFinished(timeoutMs) || p.exitStatus() != QProcess::NormalExit)
        return r;
    r.code = p.exitCode();
    r.out = QString::fromUtf8(p.readAll());
    return r;
}

} // namespace

class TestPackage : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void nameVersionAndDependencies();
    void installsExactlyTheProgramsFiles();
    void desktopEntryIsValid();
    void manualIsTheGuideAtTheContactWindowsPath();

private:
    QString m_dir;  // scratch folder
    QString m_deb;  // the package
    QString m_root; // its files, unpacked
    QString m_version;
};

void TestPackage::initTestCase() {
    m_dir = MakeTestAppDir(QStringLiteral("package"));
    // The version stamped into the built program is the package's version.
    m_version = platform::ReadFileVersion(BinaryDir() + QStringLiteral("/bin/minatori"));
    QVERIFY(QRegularExpression(QStringLiteral("^\\d+\\.\\d+\\.\\d+\\.\\d+$"))
                .match(m_version)
                .hasMatch());

    // A build with the test hook: cpack refuses to make a package of it, and
    // makes one only to be looked at here.
    const QStringList config = {QStringLiteral("--config"),
                                BinaryDir() + QStringLiteral("/CPackConfig.cmake")};
#ifdef MINATORI_TEST_HOOK
    const Run refused =
        run(QStringLiteral("cpack"),
            config + QStringList{QStringLiteral("-B"), m_dir + QStringLiteral("refused")});
    QVERIFY2(refused.code != 0 && refused.out.contains(QStringLiteral("./scripts/package.sh")),
             qPrintable(refused.out));
    QVERIFY(QDir(m_dir + QStringLiteral("refused"))
                .entryList({QStringLiteral("*.deb")}, QDir::Files)
                .isEmpty());
#endif
    const Run cpack = run(
        QStringLiteral("cpack"),
        config + QStringList{QStringLiteral("-D"), QStringLiteral("CPACK_MINATORI_INSPECT_ONLY=ON"),
                             QStringLiteral("-B"), m_dir + QStringLiteral("out")});
    QVERIFY2(cpack.code == 0, qPrintable(cpack.out));
    const QStringList debs =
        QDir(m_dir + QStringLiteral("out")).entryList({QStringLiteral("*.deb")}, QDir::Files);
    QCOMPARE(debs, QStringList{QStringLiteral("minatori_%1_amd64.deb").arg(m_version)});
    m_deb = m_dir + QStringLiteral("out/") + debs.first();

    m_root = m_dir + QStringLiteral("root");
    const Run unpack = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-x"), m_deb, m_root});
    QVERIFY2(unpack.code == 0, qPrintable(unpack.out));
}

void TestPackage::nameVersionAndDependencies() {
    const auto field = [&](const char *name) {
        const Run r = run(QStringLiteral("dpkg-deb"),
                          {QStringLiteral("-f"), m_deb, QString::fromLatin1(name)});
        return platform::TrimText(r.out);
    };
    QCOMPARE(field("Package"), QStringLiteral("minatori"));
    QCOMPARE(field("Version"), m_version);
    QCOMPARE(field("Architecture"), QStringLiteral("amd64"));
    const QStringList depends = field("Depends").split(QStringLiteral(", "));
    const auto has = [&](const QString &package) {
        return std::any_of(depends.begin(), depends.end(), [&](const QString &d) {
            return d == package || d.startsWith(package + QStringLiteral(" ("));
        });
    };
    // The fonts by name; the libraries as dpkg-shlibdeps found them.
    for (const char *package : {"fonts-ipafont-gothic", "fonts-noto-cjk", "libqt6widgets6",
                                "libqt6printsupport6", "libcurl4", "libssl3", "zlib1g"})
        QVERIFY2(has(QString::fromLatin1(package)), qPrintable(field("Depends")));
}

void TestPackage::installsExactlyTheProgramsFiles() {
    QStringList files;
    QDirIterator it(m_root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next().mid(m_root.size());
    files.sort();
    QStringList expected = {
        QStringLiteral("/usr/bin/minatori"),
        QStringLiteral("/usr/share/applications/minatori.desktop"),
        QStringLiteral("/usr/share/doc/minatori/copyright"),
        ManualPath(),
    };
    for (const int size : {16, 24, 32, 48, 64, 128, 256})
        expected << QStringLiteral("/usr/share/icons/hicolor/%1x%1/apps/minatori.png").arg(size);
    expected.sort();
    // No stand-in server, no tools, no tests.
    QCOMPARE(files, expected);

    // The program keeps its version stamp through stripping.
    QCOMPARE(platform::ReadFileVersion(m_root + QStringLiteral("/usr/bin/minatori")), m_version);
}

void TestPackage::desktopEntryIsValid() {
    const QString entry = m_root + QStringLiteral("/usr/share/applications/minatori.desktop");
    const Run validate = run(QStringLiteral("desktop-file-validate"), {entry});
    QVERIFY2(validate.code == 0, qPrintable(validate.out));
    QVERIFY2(!validate.out.contains(QStringLiteral("error:")) &&
                 !validate.out.contains(QStringLiteral("warning:")),
             qPrintable(validate.out));

    QMap<QString, QString> keys;
    for (const QString &line : QString::fromUtf8(ReadAll(entry)).split(QLatin1Char('\n'))) {
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq > 0)
            keys.insert(line.left(eq), line.mid(eq + 1));
    }
    QCOMPARE(keys.value(QStringLiteral("Name")), QStringLiteral("ミナトリ"));
    QCOMPARE(keys.value(QStringLiteral("Categories")), QStringLiteral("Office;MedicalSoftware;"));
    // What it starts and shows is in the package.
    QVERIFY(QFileInfo(m_root + QStringLiteral("/usr/bin/") + keys.value(QStringLiteral("Exec")))
                .isExecutable());
    QVERIFY(QFileInfo::exists(m_root + QStringLiteral("/usr/share/icons/hicolor/48x48/apps/") +
                              keys.value(QStringLiteral("Icon")) + QStringLiteral(".png")));
}

void TestPackage::manualIsTheGuideAtTheContactWindowsPath() {
    const QString manual = m_root + ManualPath();
    QVERIFY(ReadAll(manual).startsWith("%PDF-"));
    const Run text = run(QStringLiteral("pdftotext"), {manual, QStringLiteral("-")});
    QVERIFY2(text.code == 0, qPrintable(text.out));
    QVERIFY(text.out.contains(QStringLiteral("ミナトリ ユーザーガイド")));
    QVERIFY(text.out.contains(QStringLiteral("バージョン ") + m_version));
}

QTEST_MAIN(TestPackage)
#include "test_package.moc"
