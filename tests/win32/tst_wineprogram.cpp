// The Windows program as a Windows user gets it: the packaged zip, unzipped
// into a temporary folder, run under Wine on the test display and driven
// through the X server (xdotool) like a person at the screen. A small Win32
// window of our own (receiver.exe) writes down the input the runs send it.
//
// Needs: TERVALO_WIN_ZIP (the zip), TERVALO_RECEIVER (receiver.exe),
// TERVALO_WINE / TERVALO_WINESERVER, DISPLAY and xdotool. Without them the
// program exits 77 (skipped), unless TERVALO_WINE_REQUIRED is set, as in
// scripts/test's Windows stage, where anything missing fails.

#include "picturepattern.h"
#include "project/picture.h"
#include "receiverwindow.h"
#include "wineprefix.h"
#include "xdriver.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <memory>

namespace {

// Upper bounds for things that take seconds under Wine on a busy 2-core
// machine; every wait ends as soon as what it waits for is there.
constexpr int kStartMs = 180000;   // program start to its main window
constexpr int kWindowMs = 60000;   // a dialog or window to appear or go
constexpr int kRunMs = 120000;     // a one-pass run to play and end

const QString kProgram = QStringLiteral("tervalo_free");
const QString kMainTitle = QStringLiteral("^Tervalo Free$");
const QString kRunDialogTitle = QStringLiteral("^実行設定$");
const QString kOpenDialogTitle = QStringLiteral("^コマンドデータを読み込み$");
const QString kSaveAsDialogTitle = QStringLiteral("^名前を付けて保存$");
const QString kFirstStartTitle = QStringLiteral("^はじめまして$");
const QString kTrayTitle = QStringLiteral("^Wine System Tray$");

// Client-area points of the main window's controls (its fixed layout).
const QPoint kLoadButton(315, 110);
const QPoint kRunButton(210, 551);
const QPoint kFileMenu(25, 10);
const QPoint kGetButton(360, 165);
const QPoint kCommandKindCombo(120, 80);
const QPoint kAddCommandButton(270, 79);
const QPoint kEmptySpot(315, 300); // nothing there but the window itself
const QRect kMenuBar(0, 0, 300, 20);
// The run settings dialog's Start button.
const QPoint kStartButton(150, 390);

// The receiver: away from the main window, which the X server centres.
const QRect kReceiverRect(20, 20, 280, 180);

QString env(const char *name)
{
    return qEnvironmentVariable(name);
}

QString titleOf(const QString &name)
{
    return QLatin1Char('^') + QRegularExpression::escape(name) + QLatin1Char('$');
}

QJsonArray strings(const QStringList &list)
{
    QJsonArray a;
    for (const QString &s : list)
        a.append(s);
    return a;
}

// A project file as the program writes it, from (operation, condition) pairs.
QByteArray projectJson(const QList<QPair<QStringList, QStringList>> &pages)
{
    QJsonArray commands, conditions;
    for (const auto &page : pages) {
        commands.append(strings(page.first));
        conditions.append(strings(page.second));
    }
    QJsonObject o;
    o.insert(QStringLiteral("list_command"), commands);
    o.insert(QStringLiteral("list_condition"), conditions);
    return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QJsonObject readJson(const QString &path)
{
    return QJsonDocument::fromJson(readFile(path)).object();
}

QList<QStringList> recordsOf(const QJsonObject &project, const QString &key)
{
    QList<QStringList> out;
    for (const QJsonValue &record : project.value(key).toArray()) {
        QStringList r;
        for (const QJsonValue &v : record.toArray())
            r << v.toString();
        out << r;
    }
    return out;
}

// Flag bit 11 of each central-directory entry, by name: set when the name
// is UTF-8, which Windows' own unzipping needs for the Japanese names.
QMap<QString, bool> zipNamesUtf8(const QByteArray &zip)
{
    QMap<QString, bool> out;
    const QByteArray signature("PK\x01\x02", 4);
    for (qsizetype at = zip.indexOf(signature); at >= 0 && at + 46 <= zip.size();
         at = zip.indexOf(signature, at + 46)) {
        auto u16 = [&](qsizetype off) { return quint16(uchar(zip[at + off]) | (uchar(zip[at + off + 1]) << 8)); };
        const quint16 flags = u16(8);
        const quint16 nameLength = u16(28);
        out.insert(QString::fromUtf8(zip.mid(at + 46, nameLength)), (flags & 0x0800) != 0);
    }
    return out;
}

} // namespace

class tst_WineProgram : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void package_data();
    void package();
    void startAndSettings_data();
    void startAndSettings();
    void projectPlays();
    void stopCommandFromAnotherProcess();
    void trayStopsRun();
    void pointerCapture();
    void keyCapture();
    void badInput_data();
    void badInput();
    void clickImage();
    void commandLineInConsole_data();
    void commandLineInConsole();

private:
    QString settingsPath() const;
    void writeSettings(const QJsonObject &changes);
    bool startProgram(bool firstStart = false);
    bool dismissFirstStartNotice();
    enum class Close { AltF4, WmClose };
    void closeProgram(Close how = Close::WmClose);
    bool openProject(const QString &hostPath, bool fromStartScreen);
    void chooseFileMenuItem(int index);
    bool startRun();
    QString writeProject(const QString &name, const QList<QPair<QStringList, QStringList>> &pages);
    std::unique_ptr<ReceiverWindow> startReceiver();

    QTemporaryDir work;
    QString zip;
    QString appFolder; // the unzipped program
    std::unique_ptr<WinePrefix> prefix;
    std::unique_ptr<XDriver> x;
    std::unique_ptr<QProcess> program;
    XDriver::Window mainWindow;
};

void tst_WineProgram::initTestCase()
{
    QVERIFY(work.isValid());
    zip = env("TERVALO_WIN_ZIP");
    const QString receiver = env("TERVALO_RECEIVER");
    QVERIFY2(QFileInfo::exists(zip), qPrintable(QStringLiteral("no zip at ") + zip));
    QVERIFY2(QFileInfo::exists(receiver), qPrintable(QStringLiteral("no receiver at ") + receiver));

    // Unzipped as a user would, into a folder of its own.
    QProcess unzip;
    unzip.setProcessChannelMode(QProcess::MergedChannels);
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-q"), zip, QStringLiteral("-d"), work.filePath(QStringLiteral("app"))});
    QVERIFY(unzip.waitForFinished(120000));
    QVERIFY2(unzip.exitCode() == 0, unzip.readAll().constData());
    const QStringList top = QDir(work.filePath(QStringLiteral("app"))).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QCOMPARE(top.size(), 1); // one folder, named after the zip
    QCOMPARE(top.first() + QStringLiteral(".zip"), QFileInfo(zip).fileName());
    appFolder = work.filePath(QStringLiteral("app/") + top.first());

    prefix = std::make_unique<WinePrefix>(env("TERVALO_WINE"), env("TERVALO_WINESERVER"), env("TERVALO_WINEPREFIX"));
    QString error;
    QVERIFY2(prefix->create(&error), qPrintable(error));
    x = std::make_unique<XDriver>(QStandardPaths::findExecutable(QStringLiteral("xdotool")));
}

void tst_WineProgram::init()
{
    // Every case starts as a first-time user: no settings anywhere.
    QDir(prefix->appConfigFolder(kProgram)).removeRecursively();
    QFile::remove(appFolder + QStringLiteral("/tervalo_free.json"));
    x->moveTo(QPoint(1, 1));
}

void tst_WineProgram::cleanup()
{
    if (QTest::currentTestFailed()) {
        // What the screen showed, for the one reading the log afterwards.
        const QString shot = QDir::current().absoluteFilePath(
            QStringLiteral("tst_wineprogram-%1.png").arg(QString::fromLatin1(QTest::currentTestFunction())));
        if (QGuiApplication::primaryScreen() && QGuiApplication::primaryScreen()->grabWindow(0).save(shot))
            qWarning().noquote() << "screen at the failure:" << shot;
        qWarning().noquote() << "windows at the failure:" << x->describeWindows();
    }
    if (program && program->state() != QProcess::NotRunning) {
        program->kill();
        program->waitForFinished(10000);
    }
    program.reset();
    // Dialogs or runs a failed case left behind must not reach the next one.
    prefix->shutdown();
}

void tst_WineProgram::cleanupTestCase()
{
    if (prefix)
        prefix->shutdown();
}

QString tst_WineProgram::settingsPath() const
{
    return prefix->appConfigFolder(kProgram) + QStringLiteral("/tervalo_free.json");
}

void tst_WineProgram::writeSettings(const QJsonObject &changes)
{
    // A returning user: the first-start and stop-command notices were seen,
    // help tooltips are off (they would cover controls), and runs start
    // after the shortest delay.
    QJsonObject s{{QStringLiteral("file_path"), QString()},
                  {QStringLiteral("is_help"), false},
                  {QStringLiteral("is_japanese"), true},
                  {QStringLiteral("is_message_delete"), true},
                  {QStringLiteral("is_message_file"), false},
                  {QStringLiteral("is_message_paste"), false},
                  {QStringLiteral("is_used_stert"), true},
                  {QStringLiteral("is_used_this"), true},
                  {QStringLiteral("run_number"), 1},
                  {QStringLiteral("stert_time"), 1},
                  {QStringLiteral("stop_command"), QStringLiteral("83,3")}};
    for (auto it = changes.begin(); it != changes.end(); ++it)
        s.insert(it.key(), it.value());
    QVERIFY(writeFile(settingsPath(), QJsonDocument(s).toJson()));
}

bool tst_WineProgram::startProgram(bool firstStart)
{
    program = prefix->start(appFolder + QStringLiteral("/tervalo_free.exe"), {}, appFolder);
    // The first-start notice comes before the main window.
    if (firstStart && !dismissFirstStartNotice())
        return false;
    auto w = x->waitFor(kMainTitle, kStartMs);
    if (!w)
        return false;
    mainWindow = *w;
    return true;
}

bool tst_WineProgram::dismissFirstStartNotice()
{
    auto notice = x->waitFor(kFirstStartTitle, kWindowMs);
    if (!notice)
        return false;
    x->moveTo(notice->geometry.center());
    x->key(QStringLiteral("Return"));
    return x->waitGone(kFirstStartTitle, kWindowMs);
}

void tst_WineProgram::closeProgram(Close how)
{
    if (how == Close::AltF4) {
        // As a user closes a window; Wine turns it into WM_CLOSE. Keys go to
        // the window in front, so this serves only where no other window
        // has been in front.
        x->clickIn(mainWindow, kEmptySpot);
        x->key(QStringLiteral("alt+F4"));
    } else {
        // WM_CLOSE to the program's windows, whichever is in front.
        auto taskkill = prefix->start(QStringLiteral("taskkill"), {QStringLiteral("/im"), QStringLiteral("tervalo_free.exe")},
                                      appFolder);
        taskkill->waitForFinished(kWindowMs);
    }
    QVERIFY2(program->waitForFinished(kWindowMs), "the program did not end when asked to close");
    QCOMPARE(program->exitStatus(), QProcess::NormalExit);
    QCOMPARE(program->exitCode(), 0);
}

QString tst_WineProgram::writeProject(const QString &name, const QList<QPair<QStringList, QStringList>> &pages)
{
    const QString path = prefix->userFolder() + QLatin1Char('/') + name + QStringLiteral(".cmdat");
    writeFile(path, projectJson(pages));
    return path;
}

bool tst_WineProgram::openProject(const QString &hostPath, bool fromStartScreen)
{
    if (fromStartScreen)
        x->clickIn(mainWindow, kLoadButton);
    else
        chooseFileMenuItem(2);
    auto dialog = x->waitFor(kOpenDialogTitle, kWindowMs);
    if (!dialog)
        return false;
    // The file name field has the focus; keys go where the pointer is.
    x->moveTo(dialog->geometry.center());
    x->type(prefix->windowsPath(hostPath));
    x->key(QStringLiteral("Return"));
    return x->waitGone(kOpenDialogTitle, kWindowMs);
}

void tst_WineProgram::chooseFileMenuItem(int index)
{
    // New, Open, Save, Save As: opened with a click, chosen with the keys.
    // Input reaches the program in order: the keys go to the open menu.
    x->clickIn(mainWindow, kFileMenu);
    for (int i = 0; i < index; ++i)
        x->key(QStringLiteral("Down"));
    x->key(QStringLiteral("Return"));
}

bool tst_WineProgram::startRun()
{
    x->clickIn(mainWindow, kRunButton);
    auto dialog = x->waitFor(kRunDialogTitle, kWindowMs);
    if (!dialog)
        return false;
    x->clickIn(*dialog, kStartButton);
    return x->waitGone(kRunDialogTitle, kWindowMs);
}

std::unique_ptr<ReceiverWindow> tst_WineProgram::startReceiver()
{
    auto r = std::make_unique<ReceiverWindow>(*prefix, env("TERVALO_RECEIVER"), work.filePath(QStringLiteral("receiver")),
                                              kReceiverRect);
    if (!r->start())
        return nullptr;
    return r;
}

// ---------------------------------------------------------------------------

void tst_WineProgram::package_data()
{
    QTest::addColumn<QString>("remove");
    QTest::addColumn<bool>("complete");
    QTest::newRow("as packaged") << QString() << true;
    QTest::newRow("without the thread runtime") << QStringLiteral("libwinpthread-1.dll") << false;
    QTest::newRow("without QtNetwork") << QStringLiteral("Qt6Network.dll") << false;
}

void tst_WineProgram::package()
{
    QFETCH(QString, remove);
    QFETCH(bool, complete);

    // Everything a clean Windows needs besides its own DLLs.
    for (const char *file : {"tervalo_free.exe", "Qt6Core.dll", "Qt6Gui.dll", "Qt6Widgets.dll", "Qt6Network.dll",
                             "platforms/qwindows.dll", "styles/qwindowsvistastyle.dll", "tls/qschannelbackend.dll",
                             "image/SystemTrayIcon.png", "image/danger.png",
                             "licenses/ソフトウェア使用許諾契約書.txt", "licenses/LGPLv3のライセンス文章.txt"})
        QVERIFY2(QFileInfo::exists(appFolder + QLatin1Char('/') + QString::fromUtf8(file)), file);

    // The import check, on a copy with one DLL taken away.
    const QString copy = work.filePath(QStringLiteral("copy"));
    QDir(copy).removeRecursively();
    QProcess cp;
    cp.start(QStringLiteral("cp"), {QStringLiteral("-r"), appFolder, copy});
    QVERIFY(cp.waitForFinished(60000) && cp.exitCode() == 0);
    if (!remove.isEmpty())
        QVERIFY(QFile::remove(copy + QLatin1Char('/') + remove));
    QProcess check;
    check.setProcessChannelMode(QProcess::MergedChannels);
    check.start(env("TERVALO_IMPORT_CHECK"), {copy});
    QVERIFY(check.waitForFinished(120000));
    const QString output = QString::fromLocal8Bit(check.readAll());
    QCOMPARE(check.exitCode() == 0, complete);
    if (!complete)
        QVERIFY2(output.contains(QStringLiteral("missing: ") + remove), qPrintable(output));

    // Non-ASCII names are marked UTF-8 in the zip.
    const QMap<QString, bool> names = zipNamesUtf8(readFile(zip));
    int japanese = 0;
    for (auto it = names.begin(); it != names.end(); ++it) {
        const bool ascii = it.key() == QString::fromLatin1(it.key().toLatin1()) && it.key().toUtf8().size() == it.key().size();
        if (!ascii) {
            ++japanese;
            QVERIFY2(it.value(), qPrintable(it.key()));
        }
    }
    QCOMPARE(japanese, 4); // the four licence documents
}

void tst_WineProgram::startAndSettings_data()
{
    QTest::addColumn<bool>("besideExe");
    QTest::newRow("first start") << false;
    QTest::newRow("settings beside the exe are migrated") << true;
}

void tst_WineProgram::startAndSettings()
{
    QFETCH(bool, besideExe);
    if (besideExe) {
        // An older version kept its settings beside the exe.
        QJsonObject old{{QStringLiteral("is_used_this"), true}, {QStringLiteral("is_help"), false},
                        {QStringLiteral("stert_time"), 9}, {QStringLiteral("run_number"), 4}};
        QVERIFY(writeFile(appFolder + QStringLiteral("/tervalo_free.json"), QJsonDocument(old).toJson()));
    }

    QVERIFY2(startProgram(!besideExe), "no first-start notice or no main window");
    QCOMPARE(mainWindow.geometry.size(), QSize(630, 585));
    closeProgram(Close::AltF4);

    // Written where QStandardPaths puts per-user settings on Windows.
    QJsonObject saved = readJson(settingsPath());
    QVERIFY2(!saved.isEmpty(), qPrintable(settingsPath()));
    QCOMPARE(saved.value(QStringLiteral("is_used_this")).toBool(), true);
    QCOMPARE(saved.value(QStringLiteral("stert_time")).toInt(), besideExe ? 9 : 5);
    QCOMPARE(saved.value(QStringLiteral("run_number")).toInt(), besideExe ? 4 : 1);

    // A second start reads them back: the notice is not shown again, and
    // values set in the file come back out of the program unchanged.
    saved.insert(QStringLiteral("stert_time"), 7);
    saved.insert(QStringLiteral("run_number"), 3);
    saved.insert(QStringLiteral("stop_command"), QStringLiteral("81,6"));
    QVERIFY(writeFile(settingsPath(), QJsonDocument(saved).toJson()));
    QVERIFY2(startProgram(), "no main window on the second start");
    QVERIFY(!x->find(kFirstStartTitle));
    closeProgram(Close::AltF4);
    const QJsonObject again = readJson(settingsPath());
    QCOMPARE(again.value(QStringLiteral("stert_time")).toInt(), 7);
    QCOMPARE(again.value(QStringLiteral("run_number")).toInt(), 3);
    QCOMPARE(again.value(QStringLiteral("stop_command")).toString(), QStringLiteral("81,6"));
}

void tst_WineProgram::projectPlays()
{
    auto receiver = startReceiver();
    QVERIFY(receiver);
    const QPoint put(60, 50), glide(220, 160);
    const QString text = QStringLiteral("Hi 日本\n😀");
    const QString path = writeProject(
        QStringLiteral("plays"),
        {{{QStringLiteral("マウスポインター"), QString::number(put.x()), QString::number(put.y())},
          {QStringLiteral("時間"), QStringLiteral("0.3")}},
         {{QStringLiteral("クリック"), QStringLiteral("左"), QStringLiteral("0.01")}, {QStringLiteral("時間"), QStringLiteral("0.3")}},
         {{QStringLiteral("スムーズムーブ"), QString::number(glide.x()), QString::number(glide.y()), QStringLiteral("0.3")},
          {QStringLiteral("終わるまで待つ"), QStringLiteral("0.1")}},
         {{QStringLiteral("クリック"), QStringLiteral("左"), QStringLiteral("0.01")}, {QStringLiteral("時間"), QStringLiteral("0.3")}},
         {{QStringLiteral("キー"), QStringLiteral("65,4"), QStringLiteral("0.01")}, {QStringLiteral("時間"), QStringLiteral("0.3")}},
         {{QStringLiteral("入力"), text, QStringLiteral("1")}, {QStringLiteral("終わるまで待つ"), QStringLiteral("0.1")}}});
    writeSettings({});
    QVERIFY2(startProgram(), "no main window");
    QVERIFY2(openProject(path, true), "the Open dialog did not close");
    QVERIFY2(x->waitFor(titleOf(QStringLiteral("plays")), kWindowMs), "the title did not become the project's name");

    QVERIFY2(startRun(), "the run settings dialog stayed open");
    QVERIFY2(x->waitGone(titleOf(QStringLiteral("plays")), kWindowMs), "the main window did not hide for the run");
    // The last page's last character, then the window comes back.
    const QString lastChar = QStringLiteral("char %1").arg(text.back().unicode(), 4, 16, QLatin1Char('0'));
    QVERIFY2(receiver->waitUntil([&](const QStringList &l) { return l.contains(lastChar); }, kRunMs),
             qPrintable(QStringLiteral("the run did not play to its end; received: ")
                        + receiver->lines().join(QLatin1Char('|')) + QStringLiteral("; the receiver answers: ")
                        + receiver->ask(QStringLiteral("state"), QStringLiteral("state"), 5000)
                        + QStringLiteral("; windows: ") + x->describeWindows()));
    auto back = x->waitFor(titleOf(QStringLiteral("plays")), kRunMs);
    QVERIFY2(back, qPrintable(QStringLiteral("the main window did not come back after the run; received: ")
                              + receiver->lines().join(QLatin1Char('|'))));

    const QPoint origin = receiver->rect().topLeft();
    // Put, then a click there: the pointer stood where the page said.
    const QStringList downs = receiver->linesStarting(QStringLiteral("down"));
    QVERIFY2(downs.size() == 2, qPrintable(receiver->lines().join(QLatin1Char('|'))));
    auto expectedDown = [&](QPoint p) {
        return QStringLiteral("down l %1 %2 %3 %4").arg(p.x() - origin.x()).arg(p.y() - origin.y()).arg(p.x()).arg(p.y());
    };
    QCOMPARE(downs[0], expectedDown(put));
    QCOMPARE(downs[1], expectedDown(glide));
    QCOMPARE(receiver->linesStarting(QStringLiteral("up")).size(), 2);

    // Shift+A: the A arrives with Shift down.
    QStringList keyDowns = receiver->linesStarting(QStringLiteral("keydown"));
    QVERIFY2(keyDowns.contains(QStringLiteral("keydown 41 1 0 0")), qPrintable(keyDowns.join(QLatin1Char('|'))));

    // The A of Shift+A, then the text unit by unit, nothing more and
    // nothing less.
    QStringList expectedChars{QStringLiteral("char 0041")};
    for (QChar c : text)
        expectedChars << QStringLiteral("char %1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
    QCOMPARE(receiver->linesStarting(QStringLiteral("char")), expectedChars);

    // Nothing stays pressed.
    QCOMPARE(receiver->ask(QStringLiteral("held"), QStringLiteral("held")), QStringLiteral("held"));
    closeProgram();
}

void tst_WineProgram::stopCommandFromAnotherProcess()
{
    auto receiver = startReceiver();
    QVERIFY(receiver);
    const QPoint target = receiver->centre();
    const QString path = writeProject(
        QStringLiteral("loop"),
        {{{QStringLiteral("マウスポインター"), QString::number(target.x()), QString::number(target.y())},
          {QStringLiteral("即時")}},
         {{QStringLiteral("クリック"), QStringLiteral("左"), QStringLiteral("0.05")}, {QStringLiteral("時間"), QStringLiteral("0.1")}},
         {{QStringLiteral("キー"), QStringLiteral("65,0"), QStringLiteral("0.05")}, {QStringLiteral("時間"), QStringLiteral("0.2")}}});
    writeSettings({{QStringLiteral("run_number"), 114514}});
    QVERIFY2(startProgram(), "no main window");
    QVERIFY2(openProject(path, true), "the Open dialog did not close");
    QVERIFY(x->waitFor(titleOf(QStringLiteral("loop")), kWindowMs));
    QVERIFY2(startRun(), "the run settings dialog stayed open");

    // The loop goes round at least twice before it is stopped.
    QVERIFY2(receiver->waitUntil(
                 [](const QStringList &l) { return l.filter(QStringLiteral("keydown 41")).size() >= 2; }, kRunMs),
             qPrintable(receiver->lines().join(QLatin1Char('|'))));
    // Ctrl+Alt+S from another process, through the X server; the pointer
    // rests on the receiver, so the keys reach Wine there. The run polls
    // the key state (GetAsyncKeyState) every 50 ms, so the keys are held
    // the way a person holds them: until the window is back.
    x->moveTo(target);
    x->keyDown(QStringLiteral("ctrl+alt+s"));
    const bool back = x->waitFor(titleOf(QStringLiteral("loop")), kWindowMs).has_value();
    x->keyUp(QStringLiteral("ctrl+alt+s"));
    QVERIFY2(back, "the window did not come back after the stop command");
    QCOMPARE(receiver->ask(QStringLiteral("held"), QStringLiteral("held")), QStringLiteral("held"));
    // And the run is over: from here on until the program has ended,
    // nothing more arrives.
    receiver->forget();
    closeProgram();
    QCOMPARE(receiver->ask(QStringLiteral("held"), QStringLiteral("held")), QStringLiteral("held"));
    QCOMPARE(receiver->linesStarting(QStringLiteral("keydown")), QStringList());
    QCOMPARE(receiver->linesStarting(QStringLiteral("down")), QStringList());
}

void tst_WineProgram::trayStopsRun()
{
    auto receiver = startReceiver();
    QVERIFY(receiver);
    const QString path = writeProject(QStringLiteral("tray"),
                                      {{{QStringLiteral("キー"), QStringLiteral("65,0"), QStringLiteral("0.05")},
                                        {QStringLiteral("時間"), QStringLiteral("0.2")}}});
    writeSettings({{QStringLiteral("run_number"), 114514}});
    QVERIFY2(startProgram(), "no main window");
    QVERIFY2(openProject(path, true), "the Open dialog did not close");
    QVERIFY(x->waitFor(titleOf(QStringLiteral("tray")), kWindowMs));
    QVERIFY2(startRun(), "the run settings dialog stayed open");
    QVERIFY2(x->waitGone(titleOf(QStringLiteral("tray")), kWindowMs), "the main window did not hide for the run");

    // With no tray of the desktop's own on the test display, Wine shows
    // the notification area as a window of its own; the icon fills it.
    auto tray = x->waitFor(kTrayTitle, kWindowMs);
    QVERIFY2(tray, "no tray window");
    x->clickAt(tray->geometry.topLeft() + QPoint(tray->geometry.height() / 2, tray->geometry.height() / 2));
    QVERIFY2(x->waitFor(titleOf(QStringLiteral("tray")), kWindowMs), "a click on the tray icon did not end the run");
    QVERIFY2(x->waitGone(kTrayTitle, kWindowMs), "the tray icon stayed after the run");
    QCOMPARE(receiver->ask(QStringLiteral("held"), QStringLiteral("held")), QStringLiteral("held"));
    closeProgram();
}

void tst_WineProgram::pointerCapture()
{
    auto receiver = startReceiver();
    QVERIFY(receiver);
    const QString path = writeProject(QStringLiteral("point"),
                                      {{{QStringLiteral("マウスポインター"), QStringLiteral("0"), QStringLiteral("0")},
                                        {QStringLiteral("時間"), QStringLiteral("0.1")}}});
    writeSettings({});
    QVERIFY2(startProgram(), "no main window");
    QVERIFY2(openProject(path, true), "the Open dialog did not close");
    QVERIFY(x->waitFor(titleOf(QStringLiteral("point")), kWindowMs));

    // 取得 hides the window; the user points at the target and presses the
    // hot key Ctrl+Alt+G there.
    x->clickIn(mainWindow, kGetButton);
    QVERIFY2(x->waitGone(titleOf(QStringLiteral("point")), kWindowMs), "the main window did not hide for the capture");
    const QPoint target = receiver->rect().topLeft() + QPoint(83, 61);
    x->moveTo(target);
    x->key(QStringLiteral("ctrl+alt+g"));
    auto back = x->waitFor(titleOf(QStringLiteral("point")), kWindowMs);
    QVERIFY2(back, "the window did not come back after Ctrl+Alt+G");
    mainWindow = *back;

    chooseFileMenuItem(3); // Save
    QVERIFY(QTest::qWaitFor(
        [&] {
            return recordsOf(readJson(path), QStringLiteral("list_command")).value(0)
                   == QStringList{QStringLiteral("マウスポインター"), QString::number(target.x()), QString::number(target.y())};
        },
        kWindowMs));
    closeProgram();
}

void tst_WineProgram::keyCapture()
{
    const QString path = writeProject(QStringLiteral("keys"),
                                      {{{QStringLiteral("なし")}, {QStringLiteral("時間"), QStringLiteral("0.1")}}});
    writeSettings({});
    QVERIFY2(startProgram(), "no main window");
    QVERIFY2(openProject(path, true), "the Open dialog did not close");
    auto w = x->waitFor(titleOf(QStringLiteral("keys")), kWindowMs);
    QVERIFY(w);
    mainWindow = *w;

    // キー is the fifth operation kind: four turns of the wheel on the kind
    // box choose it, and 追加 starts the capture through the low-level
    // keyboard hook. Input reaches the program in order, so no pause is
    // needed between them.
    x->moveTo(mainWindow.geometry.topLeft() + kCommandKindCombo);
    for (int i = 0; i < 4; ++i)
        x->wheelDown();
    const QImage menuBefore = x->grab(mainWindow, kMenuBar);
    x->clickIn(mainWindow, kAddCommandButton);
    // The capture greys the menu bar once the hook is in; a key pressed
    // before would reach the window instead.
    QVERIFY2(x->waitForChange(mainWindow, kMenuBar, menuBefore, kWindowMs), "the key capture did not start");
    x->key(QStringLiteral("ctrl+alt+g"));
    QVERIFY2(x->waitForLook(mainWindow, kMenuBar, menuBefore, kWindowMs), "the key capture did not end");
    chooseFileMenuItem(3); // Save
    QVERIFY(QTest::qWaitFor(
        [&] {
            return recordsOf(readJson(path), QStringLiteral("list_command")).value(0)
                   == QStringList{QStringLiteral("キー"), QStringLiteral("71,3"), QStringLiteral("0.01")};
        },
        kWindowMs));
    closeProgram();
}

void tst_WineProgram::badInput_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("Windows line endings and a byte-order mark") << QStringLiteral("crlf");
    QTest::newRow("a file another program holds open") << QStringLiteral("locked");
    QTest::newRow("Save As into a read-only folder") << QStringLiteral("readonly");
}

void tst_WineProgram::badInput()
{
    QFETCH(QString, kind);
    const QList<QPair<QStringList, QStringList>> pages{
        {{QStringLiteral("入力"), QStringLiteral("a\nb"), QStringLiteral("1")}, {QStringLiteral("時間"), QStringLiteral("0.5")}},
        {{QStringLiteral("なし")}, {QStringLiteral("即時")}}};
    const QString path = writeProject(kind, pages);
    auto receiver = startReceiver();
    QVERIFY(receiver);
    writeSettings({});

    if (kind == QLatin1String("crlf")) {
        QByteArray bytes = readFile(path);
        bytes.replace("\n", "\r\n");
        QVERIFY(writeFile(path, QByteArray("\xEF\xBB\xBF") + bytes));
        QVERIFY2(startProgram(), "no main window");
        QVERIFY2(openProject(path, true), "the Open dialog did not close");
        auto w = x->waitFor(titleOf(QStringLiteral("crlf")), kWindowMs);
        QVERIFY2(w, "the project did not load");
        mainWindow = *w;
        // Saved back in the program's own form: same pages, plain LF.
        chooseFileMenuItem(3);
        QVERIFY(QTest::qWaitFor([&] { return !readFile(path).startsWith("\xEF\xBB\xBF"); }, kWindowMs));
        const QByteArray saved = readFile(path);
        QVERIFY(!saved.contains('\r'));
        QCOMPARE(saved, projectJson(pages));
    } else if (kind == QLatin1String("locked")) {
        QVERIFY(receiver->ask(QStringLiteral("lock ") + prefix->windowsPath(path), QStringLiteral("locked")).size() > 0);
        QVERIFY2(startProgram(), "no main window");
        QVERIFY2(openProject(path, true), "the Open dialog did not close");
        auto error = x->waitFor(QStringLiteral("^読み込みエラー$"), kWindowMs);
        QVERIFY2(error, "no read error shown");
        x->moveTo(error->geometry.center());
        x->key(QStringLiteral("Return"));
        QVERIFY(x->waitGone(QStringLiteral("^読み込みエラー$"), kWindowMs));
        // The program goes on with the blank project.
        QVERIFY(x->find(kMainTitle) || x->find(QStringLiteral("^新規プロジェクト$")));
    } else {
        const QString folder = prefix->userFolder() + QStringLiteral("/readonly");
        QDir(folder).removeRecursively();
        QVERIFY(QDir().mkpath(folder));
        // Root may write anywhere unless the folder is immutable.
        QProcess chattr;
        chattr.start(QStringLiteral("chattr"), {QStringLiteral("+i"), folder});
        const bool immutable = chattr.waitForFinished(10000) && chattr.exitCode() == 0;
        if (!immutable)
            QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
        QFile probe(folder + QStringLiteral("/probe"));
        const bool writable = probe.open(QIODevice::WriteOnly);
        probe.remove();
        auto unlock = qScopeGuard([&] {
            QProcess undo;
            undo.start(QStringLiteral("chattr"), {QStringLiteral("-i"), folder});
            undo.waitForFinished(10000);
            QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            QDir(folder).removeRecursively();
        });
        if (writable)
            QSKIP("no way to make a read-only folder here (root without chattr)");

        QVERIFY2(startProgram(), "no main window");
        QVERIFY2(openProject(path, true), "the Open dialog did not close");
        auto w = x->waitFor(titleOf(QStringLiteral("readonly")), kWindowMs);
        QVERIFY(w);
        mainWindow = *w;
        chooseFileMenuItem(4); // Save As
        auto dialog = x->waitFor(kSaveAsDialogTitle, kWindowMs);
        QVERIFY2(dialog, "no Save As dialog");
        x->moveTo(dialog->geometry.center());
        x->key(QStringLiteral("ctrl+a"));
        x->type(prefix->windowsPath(folder + QStringLiteral("/new.cmdat")));
        x->key(QStringLiteral("Return"));
        auto error = x->waitFor(QStringLiteral("^保存エラー$"), kWindowMs);
        QVERIFY2(error, "no save error shown");
        x->moveTo(error->geometry.center());
        x->key(QStringLiteral("Return"));
        QVERIFY(x->waitGone(QStringLiteral("^保存エラー$"), kWindowMs));
        QVERIFY(!QFileInfo::exists(folder + QStringLiteral("/new.cmdat")));
    }
    closeProgram();
}

// --play at a cmd prompt finds a picture the receiver window paints and
// clicks its centre: the screen read through GDI, the click through SendInput.
void tst_WineProgram::clickImage()
{
    auto receiver = startReceiver();
    QVERIFY(receiver);
    const QPoint at(37, 23);
    QCOMPARE(receiver->ask(QStringLiteral("picture %1 %2").arg(at.x()).arg(at.y()), QStringLiteral("picture")),
             QStringLiteral("picture %1 %2").arg(at.x()).arg(at.y()));
    QImage image(kPatternWidth, kPatternHeight, QImage::Format_RGB32);
    for (int y = 0; y < kPatternHeight; ++y)
        for (int x = 0; x < kPatternWidth; ++x)
            image.setPixel(x, y, 0xFF000000u | patternPixel(x, y));
    const QString path = writeProject(
        QStringLiteral("image"),
        {{{QStringLiteral("画像クリック"), picture::encode(image), QStringLiteral("左"), QStringLiteral("0"), QStringLiteral("10")},
          {QStringLiteral("終わるまで待つ"), QStringLiteral("0")}}});
    writeSettings({});
    auto cmd = prefix->start(QStringLiteral("cmd"),
                             {QStringLiteral("/c"), QStringLiteral("tervalo_free.exe"), QStringLiteral("--play"),
                              QStringLiteral("Z:") + QString(path).replace(QLatin1Char('/'), QLatin1Char('\\')),
                              QStringLiteral("--delay"), QStringLiteral("0"), QStringLiteral("--quiet")},
                             appFolder);
    QVERIFY(cmd->waitForFinished(kRunMs));
    QVERIFY2(cmd->exitCode() == 0, qPrintable(QString::fromUtf8(cmd->readAll())));
    const QPoint centre = receiver->rect().topLeft() + at + QPoint(kPatternWidth / 2, kPatternHeight / 2);
    const QString down = QStringLiteral("down l %1 %2 %3 %4")
                             .arg(centre.x() - receiver->rect().x())
                             .arg(centre.y() - receiver->rect().y())
                             .arg(centre.x())
                             .arg(centre.y());
    QVERIFY2(receiver->waitUntil([&](const QStringList &l) { return l.contains(down); }, kWindowMs),
             qPrintable(receiver->lines().join(QLatin1Char('|'))));
}

void tst_WineProgram::commandLineInConsole_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("code");
    QTest::newRow("version") << QStringList{QStringLiteral("--version")} << 0;
    QTest::newRow("a file that is not there")
        << QStringList{QStringLiteral("--play"), QStringLiteral("missing.cmdat"), QStringLiteral("--delay"), QStringLiteral("0")}
        << 2;
    QTest::newRow("bad usage") << QStringList{QStringLiteral("--times"), QStringLiteral("2")} << 64;
}

// Typed at a cmd prompt, as a Windows user schedules or tries it: the
// program's words appear in that console (it is a GUI program, which gets
// none of its own) and its exit code is the one the Linux program gives.
void tst_WineProgram::commandLineInConsole()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, code);
    auto cmd = prefix->start(QStringLiteral("cmd"),
                             QStringList{QStringLiteral("/c"), QStringLiteral("tervalo_free.exe")} + arguments, appFolder);
    QVERIFY(cmd->waitForFinished(kRunMs));
    const QString out = QString::fromUtf8(cmd->readAll());
    QCOMPARE(cmd->exitCode(), code);
    QVERIFY2(out.contains(kProgram), qPrintable(out));
}

int main(int argc, char *argv[])
{
    if (env("DISPLAY").isEmpty()) {
        std::fprintf(stderr, "SKIP: no DISPLAY: Wine needs an X display (scripts/test starts one)\n");
        return qEnvironmentVariableIsEmpty("TERVALO_WINE_REQUIRED") ? 77 : 1;
    }
    // The X server's pixels are read through Qt's xcb platform.
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    const bool required = !qEnvironmentVariableIsEmpty("TERVALO_WINE_REQUIRED");
    QStringList missing;
    for (const char *name : {"TERVALO_WIN_ZIP", "TERVALO_RECEIVER", "TERVALO_WINE", "TERVALO_WINESERVER"}) {
        if (!QFileInfo::exists(env(name)))
            missing << QString::fromLatin1(name);
    }
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        missing << QStringLiteral("xdotool");
    if (!missing.isEmpty()) {
        std::fprintf(stderr, "%s: missing %s (scripts/windows makes the zip)\n", required ? "FAIL" : "SKIP",
                     qPrintable(missing.join(QStringLiteral(", "))));
        return required ? 1 : 77;
    }
    tst_WineProgram test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_wineprogram.moc"
