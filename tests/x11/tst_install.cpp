// The program as an installation puts it: `cmake --install` into a
// temporary prefix, the installed program started from an unrelated working
// directory on the test's X server, the menu entry and the AppStream
// metadata through Debian's validators, and the .deb that CPack builds.

#include "app/commandline.h"
#include "project/pagekinds.h"
#include "project/projectfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

namespace {

const QString kAppId = QStringLiteral("jp.tervalo.TervaloFree");

struct Ran {
    int code = -1;
    QString out;
    QString err;
};

Ran run(const QString &program, const QStringList &arguments, const QString &workingDirectory = QString(),
        const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment(), int boundMs = 300000)
{
    QProcess p;
    p.setProcessEnvironment(env);
    if (!workingDirectory.isEmpty())
        p.setWorkingDirectory(workingDirectory);
    p.start(program, arguments);
    Ran r;
    if (!p.waitForStarted(10000) || !p.waitForFinished(boundMs)) {
        p.kill();
        p.waitForFinished(10000);
        r.err = QStringLiteral("did not start or end: ") + program;
        return r;
    }
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

// Every file an installation must hold, relative to its prefix.
QStringList expectedFiles()
{
    QStringList files{QStringLiteral("bin/tervalo_free"),
                      QStringLiteral("share/tervalo-free/image/SystemTrayIcon.png"),
                      QStringLiteral("share/tervalo-free/image/danger.png"),
                      QStringLiteral("share/applications/") + kAppId + QStringLiteral(".desktop"),
                      QStringLiteral("share/metainfo/") + kAppId + QStringLiteral(".metainfo.xml"),
                      QStringLiteral("share/icons/hicolor/scalable/apps/") + kAppId + QStringLiteral(".svg")};
    for (const char *document : {"LGPLv3のライセンス文章.txt", "Qtライブラリの差替え又は再インストールに関する情報.txt",
                                 "オープンソースソフトウェアに関する告知.txt", "ソフトウェア使用許諾契約書.txt"})
        files << QStringLiteral("share/tervalo-free/licenses/") + QString::fromUtf8(document);
    for (int size : {16, 22, 24, 32, 48, 64})
        files << QStringLiteral("share/icons/hicolor/%1x%1/apps/").arg(size) + kAppId + QStringLiteral(".png");
    return files;
}

} // namespace

class TestInstall : public QObject {
    Q_OBJECT

    QTemporaryDir prefix;

private slots:
    void initTestCase()
    {
        QVERIFY(prefix.isValid());
        const Ran r = run(QStringLiteral(TERVALO_CMAKE_COMMAND),
                          {QStringLiteral("--install"), QStringLiteral(TERVALO_BINARY_DIR), QStringLiteral("--prefix"),
                           prefix.path()});
        QVERIFY2(r.code == 0, qPrintable(r.out + r.err));
    }

    void filesWhereDesktopProgramsKeepThem()
    {
        for (const QString &file : expectedFiles())
            QVERIFY2(QFileInfo(prefix.filePath(file)).isFile(), qPrintable(file));
        QVERIFY(QFileInfo(prefix.filePath(QStringLiteral("bin/tervalo_free"))).isExecutable());
        // The 64 px icon is the tray icon's picture.
        QFile icon(prefix.filePath(QStringLiteral("share/icons/hicolor/64x64/apps/") + kAppId + QStringLiteral(".png")));
        QFile tray(QStringLiteral(TERVALO_SOURCE_DIR "/image/SystemTrayIcon.png"));
        QVERIFY(icon.open(QIODevice::ReadOnly) && tray.open(QIODevice::ReadOnly));
        QCOMPARE(icon.readAll(), tray.readAll());
    }

    void validatorsAccept_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("desktop-file-validate")
            << "desktop-file-validate" << QStringList{"share/applications/" + kAppId + ".desktop"};
        QTest::newRow("appstreamcli") << "appstreamcli"
                                      << QStringList{"validate", "--no-net", "share/metainfo/" + kAppId + ".metainfo.xml"};
    }
    void validatorsAccept()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QVERIFY2(!QStandardPaths::findExecutable(program).isEmpty(), "scripts/test installs the validators");
        for (QString &a : arguments) {
            if (a.startsWith(QStringLiteral("share/")))
                a = prefix.filePath(a);
        }
        const Ran r = run(program, arguments);
        QVERIFY2(r.code == 0, qPrintable(r.out + r.err));
        // The release is the program's version.
        QFile metainfo(prefix.filePath(QStringLiteral("share/metainfo/") + kAppId + QStringLiteral(".metainfo.xml")));
        QVERIFY(metainfo.open(QIODevice::ReadOnly));
        QVERIFY(metainfo.readAll().contains("<release version=\"" TERVALO_VERSION "\""));
    }

    // Started from a folder that holds no image/, the installed program
    // finds its pictures in the prefix and says so once.
    void installedProgramFindsItsDataFiles()
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("No X display: this runs under the Xvfb of scripts/test.");
        QTemporaryDir elsewhere;
        QVERIFY(QDir().mkpath(elsewhere.filePath(QStringLiteral("runtime"))));
        QFile::setPermissions(elsewhere.filePath(QStringLiteral("runtime")),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QFile project(elsewhere.filePath(QStringLiteral("p.cmdat")));
        QVERIFY(project.open(QIODevice::WriteOnly));
        project.write(ProjectFile::toJson({{PageKinds::kNone}}, {{PageKinds::kImmediately}}));
        project.close();

        QProcessEnvironment env;
        env.insert(QStringLiteral("DISPLAY"), qEnvironmentVariable("DISPLAY"));
        env.insert(QStringLiteral("HOME"), elsewhere.path());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), elsewhere.filePath(QStringLiteral("runtime")));
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("default.debug=true"));
        const Ran r = run(prefix.filePath(QStringLiteral("bin/tervalo_free")),
                          {QStringLiteral("--play"), project.fileName(), QStringLiteral("--delay"), QStringLiteral("0"),
                           QStringLiteral("--times"), QStringLiteral("1")},
                          elsewhere.path(), env);
        QVERIFY2(r.code == CommandLine::kExitDone, qPrintable(r.out + r.err));
        const QString found = QStringLiteral("Data files: image/ found in ")
            + QDir::cleanPath(prefix.filePath(QStringLiteral("share/tervalo-free/image")));
        QCOMPARE(r.err.count(found), 1);
        QVERIFY(!r.err.contains(QStringLiteral("not found")));
    }

    // The .deb: its files, its control fields with the library dependencies
    // dpkg-shlibdeps found, and where CI runs as root, a real install, a
    // start and a removal that leaves nothing behind.
    void debianPackage()
    {
        QTemporaryDir out;
        const Ran packed = run(QStringLiteral(TERVALO_CPACK_COMMAND),
                               {QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("-B"), out.path(),
                                QStringLiteral("--config"), QStringLiteral(TERVALO_BINARY_DIR "/CPackConfig.cmake")});
        QVERIFY2(packed.code == 0, qPrintable(packed.out + packed.err));
        const QStringList debs = QDir(out.path()).entryList({QStringLiteral("tervalo-free_*.deb")});
        QCOMPARE(debs.size(), 1);
        const QString deb = out.filePath(debs.first());
        QVERIFY2(QRegularExpression(QStringLiteral("^tervalo-free_" TERVALO_VERSION "_[a-z0-9]+\\.deb$"))
                     .match(debs.first())
                     .hasMatch(),
                 qPrintable(debs.first()));

        const Ran contents = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-c"), deb});
        QCOMPARE(contents.code, 0);
        for (const QString &file : expectedFiles())
            QVERIFY2(contents.out.contains(QStringLiteral(" ./usr/") + file + QLatin1Char('\n')), qPrintable(file));

        const Ran control = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), deb});
        QCOMPARE(control.code, 0);
        auto field = [&control](const QString &name) {
            return QRegularExpression(QStringLiteral("^%1: (.*)$").arg(name), QRegularExpression::MultilineOption)
                .match(control.out)
                .captured(1);
        };
        QCOMPARE(field(QStringLiteral("Package")), QStringLiteral("tervalo-free"));
        QCOMPARE(field(QStringLiteral("Version")), QStringLiteral(TERVALO_VERSION));
        QVERIFY(QRegularExpression(QStringLiteral("^.+ <.+@.+>$")).match(field(QStringLiteral("Maintainer"))).hasMatch());
        QCOMPARE(field(QStringLiteral("Section")), QStringLiteral("utils"));
        QVERIFY(!field(QStringLiteral("Description")).isEmpty());
        const QString depends = field(QStringLiteral("Depends"));
        for (const char *library : {"libc6", "libqt6widgets6", "libqt6gui6", "libx11-6", "libxtst6"})
            QVERIFY2(depends.contains(QLatin1String(library)), qPrintable(depends));

        if (qEnvironmentVariable("CI") != QStringLiteral("true") || geteuid() != 0)
            return; // installing into the system is CI's business, as root
        const Ran installed = run(QStringLiteral("apt-get"),
                                  {QStringLiteral("install"), QStringLiteral("-y"), QStringLiteral("-q"),
                                   QStringLiteral("-o"), QStringLiteral("DPkg::Lock::Timeout=300"), deb});
        QVERIFY2(installed.code == 0, qPrintable(installed.out + installed.err));
        const Ran version = run(QStringLiteral("/usr/bin/tervalo_free"), {QStringLiteral("--version")}, QDir::tempPath());
        const Ran removed = run(QStringLiteral("apt-get"),
                                {QStringLiteral("remove"), QStringLiteral("-y"), QStringLiteral("-q"), QStringLiteral("-o"),
                                 QStringLiteral("DPkg::Lock::Timeout=300"), QStringLiteral("tervalo-free")});
        QCOMPARE(version.out, CommandLine::versionLine() + QLatin1Char('\n'));
        QVERIFY2(removed.code == 0, qPrintable(removed.out + removed.err));
        for (const QString &file : expectedFiles())
            QVERIFY2(!QFileInfo::exists(QStringLiteral("/usr/") + file), qPrintable(file));
        QVERIFY(!QFileInfo::exists(QStringLiteral("/usr/share/tervalo-free")));
    }
};

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
