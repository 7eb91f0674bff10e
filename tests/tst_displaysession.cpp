// Which Qt platform the program asks for, how it recognises a Wayland
// session, and the one-time notice it shows there.

#include "gui/mainwindow/tervalo.h"
#include "gui/mainwindow/waylandsupport.h"
#include "platform/desktop_sim.h"
#include "platform/displaysession.h"
#include "settings/settingsfile.h"
#include "support/dialoganswerer.h"
#include "support/simfixture.h"
#include "support/tempsettings.h"

#include <QCloseEvent>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>
#include <QtTest>

namespace {
// "A=1 B=" → A set to 1, B set to an empty text; names not listed are unset.
QProcessEnvironment environment(const QString &spec)
{
    QProcessEnvironment env;
    for (const QString &pair : spec.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        env.insert(pair.section(QLatin1Char('='), 0, 0), pair.section(QLatin1Char('='), 1));
    return env;
}

// A desktop that answers as GNOME's backend does, for the notice.
// A simulated desktop under a backend's name.
struct NamedDesktop : platform::SimDesktop {
    explicit NamedDesktop(const char *name) : name_(name) {}
    const char *name() const override { return name_; }
    const char *name_;
};

// Sets or unsets one variable of this process until the end of the scope.
struct ScopedVariable {
    ScopedVariable(const char *name, const QByteArray &value, bool set = true)
        : name(name), old(qgetenv(name)), wasSet(qEnvironmentVariableIsSet(name))
    {
        if (set)
            qputenv(name, value);
        else
            qunsetenv(name);
    }
    ~ScopedVariable()
    {
        if (wasSet)
            qputenv(name, old);
        else
            qunsetenv(name);
    }
    const char *name;
    QByteArray old;
    bool wasSet;
};
} // namespace

Q_DECLARE_METATYPE(waylandsupport::Backend)

class TestDisplaySession : public QObject {
    Q_OBJECT
private slots:
    void platformRequest_data()
    {
        QTest::addColumn<QString>("kernel");
        QTest::addColumn<QString>("env");
        QTest::addColumn<QByteArray>("request");
        QTest::newRow("linux, nothing chosen") << "linux" << "" << QByteArray("xcb;wayland");
        QTest::newRow("linux, Wayland session") << "linux" << "XDG_SESSION_TYPE=wayland WAYLAND_DISPLAY=wayland-0"
                                                << QByteArray("xcb;wayland");
        QTest::newRow("linux, chosen empty") << "linux" << "QT_QPA_PLATFORM=" << QByteArray("xcb;wayland");
        QTest::newRow("linux, user chose wayland") << "linux" << "QT_QPA_PLATFORM=wayland" << QByteArray();
        QTest::newRow("linux, user chose xcb") << "linux" << "QT_QPA_PLATFORM=xcb" << QByteArray();
        QTest::newRow("windows") << "winnt" << "" << QByteArray();
    }
    void platformRequest()
    {
        QFETCH(QString, kernel);
        QFETCH(QString, env);
        QFETCH(QByteArray, request);
        QCOMPARE(DisplaySession::platformRequest(environment(env), kernel), request);
    }

    void requestPlatformSetsTheVariable_data()
    {
        QTest::addColumn<bool>("set");
        QTest::addColumn<QByteArray>("chosen");
        QTest::newRow("unset") << false << QByteArray();
        QTest::newRow("chosen by the user") << true << QByteArray("wayland");
    }
    void requestPlatformSetsTheVariable()
    {
        QFETCH(bool, set);
        QFETCH(QByteArray, chosen);
        ScopedVariable platform("QT_QPA_PLATFORM", chosen, set);
        DisplaySession::requestPlatform();
        const bool linux = QSysInfo::kernelType() == "linux";
        QCOMPARE(qgetenv("QT_QPA_PLATFORM"), set ? chosen : linux ? QByteArray("xcb;wayland") : QByteArray());
    }

    void sessionKind_data()
    {
        QTest::addColumn<QString>("env");
        QTest::addColumn<QString>("kernel");
        QTest::addColumn<QString>("platform");
        QTest::addColumn<bool>("wayland");
        QTest::addColumn<bool>("notX11");
        QTest::newRow("X11 session") << "XDG_SESSION_TYPE=x11" << "linux" << "xcb" << false << false;
        QTest::newRow("no variables") << "" << "linux" << "xcb" << false << false;
        QTest::newRow("Wayland by session type") << "XDG_SESSION_TYPE=wayland" << "linux" << "xcb" << true << true;
        QTest::newRow("Wayland, upper case") << "XDG_SESSION_TYPE=Wayland" << "linux" << "xcb" << true << true;
        QTest::newRow("Wayland by display") << "WAYLAND_DISPLAY=wayland-0" << "linux" << "xcb" << true << true;
        QTest::newRow("empty display") << "WAYLAND_DISPLAY= XDG_SESSION_TYPE=tty" << "linux" << "xcb" << false
                                       << false;
        QTest::newRow("Qt on wayland") << "" << "linux" << "wayland" << false << true;
        QTest::newRow("Qt offscreen") << "" << "linux" << "offscreen" << false << true;
        QTest::newRow("windows") << "WAYLAND_DISPLAY=x" << "winnt" << "windows" << true << false;
    }
    void sessionKind()
    {
        QFETCH(QString, env);
        QFETCH(QString, kernel);
        QFETCH(QString, platform);
        QFETCH(bool, wayland);
        QFETCH(bool, notX11);
        QCOMPARE(DisplaySession::isWayland(environment(env)), wayland);
        QCOMPARE(DisplaySession::notX11(environment(env), kernel, platform), notX11);
    }

    // The input backend follows the session: GNOME's remote desktop on a
    // GNOME Wayland session (when Mutter is on the bus), a wlroots
    // compositor's protocols on another Wayland session but KDE's (when the
    // compositor offers them), X11 everywhere else,
    // and TERVALO_BACKEND overrides with a known name only.
    void backendChoice_data()
    {
        using B = DisplaySession::Backend;
        QTest::addColumn<QString>("env");
        QTest::addColumn<B>("backend");
        QTest::addColumn<bool>("unknown");
        const QString gnomeWayland = "XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=GNOME ";
        QTest::newRow("X11 session") << "XDG_SESSION_TYPE=x11 DISPLAY=:0 XDG_CURRENT_DESKTOP=GNOME" << B::X11 << false;
        QTest::newRow("nothing set") << "" << B::X11 << false;
        QTest::newRow("GNOME Wayland") << gnomeWayland << B::GnomeIfThere << false;
        QTest::newRow("only WAYLAND_DISPLAY") << "WAYLAND_DISPLAY=wayland-0 XDG_CURRENT_DESKTOP=GNOME" << B::GnomeIfThere << false;
        QTest::newRow("desktop list, lower case") << "XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=ubuntu:gnome" << B::GnomeIfThere << false;
        QTest::newRow("GNOME only as part of a name") << "XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=GNOME-Flashback2" << B::WlrootsIfThere << false;
        QTest::newRow("sway") << "XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=sway" << B::WlrootsIfThere << false;
        QTest::newRow("Wayland, no desktop named") << "WAYLAND_DISPLAY=wayland-1" << B::WlrootsIfThere << false;
        QTest::newRow("sway under X11") << "XDG_SESSION_TYPE=x11 XDG_CURRENT_DESKTOP=sway" << B::X11 << false;
        QTest::newRow("wlroots asked on X11") << "XDG_SESSION_TYPE=x11 TERVALO_BACKEND=wlroots" << B::Wlroots << false;
        QTest::newRow("wlroots asked on GNOME Wayland") << gnomeWayland + "TERVALO_BACKEND=wlroots" << B::Wlroots << false;
        QTest::newRow("KDE Wayland") << "XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=KDE" << B::KdeIfThere << false;
        QTest::newRow("KDE by display, lower case") << "WAYLAND_DISPLAY=wayland-0 XDG_CURRENT_DESKTOP=kde" << B::KdeIfThere << false;
        QTest::newRow("KDE on X11") << "XDG_SESSION_TYPE=x11 DISPLAY=:0 XDG_CURRENT_DESKTOP=KDE" << B::X11 << false;
        QTest::newRow("KDE only as part of a name") << "XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=KDE-ish" << B::WlrootsIfThere << false;
        QTest::newRow("kde asked on X11") << "XDG_SESSION_TYPE=x11 TERVALO_BACKEND=kde" << B::Kde << false;
        QTest::newRow("x11 asked on KDE Wayland") << "XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=KDE TERVALO_BACKEND=x11" << B::X11 << false;
        QTest::newRow("unknown asked, KDE Wayland") << "XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=KDE TERVALO_BACKEND=plasma" << B::KdeIfThere << true;
        QTest::newRow("x11 asked on GNOME Wayland") << gnomeWayland + "TERVALO_BACKEND=x11" << B::X11 << false;
        QTest::newRow("gnome asked on X11") << "XDG_SESSION_TYPE=x11 TERVALO_BACKEND=gnome" << B::Gnome << false;
        QTest::newRow("unknown asked, GNOME Wayland") << gnomeWayland + "TERVALO_BACKEND=sway" << B::GnomeIfThere << true;
        QTest::newRow("unknown asked, X11") << "XDG_SESSION_TYPE=x11 TERVALO_BACKEND=GNOME" << B::X11 << true;
    }
    void backendChoice()
    {
        QFETCH(QString, env);
        QFETCH(DisplaySession::Backend, backend);
        QFETCH(bool, unknown);
        const DisplaySession::BackendChoice choice = DisplaySession::backendChoice(environment(env));
        QCOMPARE(choice.backend, backend);
        QCOMPARE(!choice.unknownRequest.isEmpty(), unknown);
    }

    void waylandNoticeOnce_data()
    {
        QTest::addColumn<QByteArray>("variable");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<bool>("wayland");
        QTest::addColumn<QByteArray>("backend"); // the chosen backend's name; empty: the simulated one
        QTest::addColumn<waylandsupport::Backend>("said");
        using B = waylandsupport::Backend;
        QTest::newRow("WAYLAND_DISPLAY") << QByteArray("WAYLAND_DISPLAY") << QByteArray("wayland-0") << true << QByteArray() << B::XWayland;
        QTest::newRow("XDG_SESSION_TYPE") << QByteArray("XDG_SESSION_TYPE") << QByteArray("wayland") << true << QByteArray() << B::XWayland;
        QTest::newRow("GNOME backend") << QByteArray("XDG_SESSION_TYPE") << QByteArray("wayland") << true << QByteArray("gnome") << B::Gnome;
        QTest::newRow("wlroots backend") << QByteArray("WAYLAND_DISPLAY") << QByteArray("wayland-1") << true << QByteArray("wlroots") << B::Wlroots;
        QTest::newRow("X11 session") << QByteArray("XDG_SESSION_TYPE") << QByteArray("x11") << false << QByteArray() << B::XWayland;
    }
    void waylandNoticeOnce()
    {
        QFETCH(QByteArray, variable);
        QFETCH(QByteArray, value);
        QFETCH(bool, wayland);
        QFETCH(QByteArray, backend);
        QFETCH(waylandsupport::Backend, said);
        TempSettings settings;
        QVERIFY(settings.write("{\"is_used_this\": true, \"stert_time\": 7}"));
        ScopedVariable display("WAYLAND_DISPLAY", {}, false);
        ScopedVariable type("XDG_SESSION_TYPE", {}, false);
        ScopedVariable session(variable.constData(), value);
        SimFixture sim;
        if (!backend.isEmpty())
            platform::setDesktop(std::make_shared<NamedDesktop>(backend.constData()));
        DialogAnswerer answerer;
        answerer.answerMessageBox(QMessageBox::Ok);
        answerer.answerMessageBox(QMessageBox::Ok); // answers a second notice, which must not come
        for (int start = 0; start < 2; ++start) {
            auto w = std::make_unique<tervalo>();
            QCOMPARE(w->settings().stertTime, 7);
            QCloseEvent close;
            QApplication::sendEvent(w.get(), &close);
            QVERIFY(close.isAccepted());
        }
        // Shown at the first start only, in both languages at once.
        QCOMPARE(answerer.seen.size(), wayland ? 1 : 0);
        if (wayland) {
            // What this backend supports, a line per feature in each language.
            const QString text = answerer.seen.first().text;
            QCOMPARE(answerer.seen.first().icon, QMessageBox::Information);
            QCOMPARE(text, waylandsupport::notice(said));
            QCOMPARE(text.count(QStringLiteral("\n・")), 2 * waylandsupport::kFeatures);
        }
        QFile f(settings.settingsFile());
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QJsonObject saved = QJsonDocument::fromJson(f.readAll()).object();
        QCOMPARE(saved.value("stert_time").toInt(), 7);
        // Remembered under its own key; a file that never needed it stays
        // with the keys every save writes.
        QCOMPARE(saved.contains("is_used_wayland"), wayland);
        QVERIFY(SettingsFile::save(SettingsValues()));
        QFile defaults(settings.settingsFile()); // written anew, not over the old file
        QVERIFY(defaults.open(QIODevice::ReadOnly));
        const QJsonObject always = QJsonDocument::fromJson(defaults.readAll()).object();
        QVERIFY(!always.contains("is_used_wayland"));
        QCOMPARE(saved.size(), always.size() + (wayland ? 1 : 0));
        if (wayland)
            QCOMPARE(saved.value("is_used_wayland").toBool(), true);
    }

    // The backends of a Wayland session differ from XWayland in every
    // feature; GNOME's and wlroots' differ where they work differently:
    // playing, the stop key, the colours and the pixels.
    void noticePerBackend()
    {
        using B = waylandsupport::Backend;
        auto differing = [](B one, B other) {
            const QStringList a = waylandsupport::notice(one).split('\n');
            const QStringList b = waylandsupport::notice(other).split('\n');
            if (a.size() != b.size())
                return -1;
            int count = 0;
            for (qsizetype i = 0; i < a.size(); ++i)
                count += a.at(i).startsWith(QStringLiteral("・")) && a.at(i) != b.at(i);
            return count;
        };
        QCOMPARE(differing(B::Gnome, B::XWayland), 2 * waylandsupport::kFeatures);
        QCOMPARE(differing(B::Wlroots, B::XWayland), 2 * waylandsupport::kFeatures);
        QCOMPARE(differing(B::Kde, B::XWayland), 2 * waylandsupport::kFeatures);
        QCOMPARE(differing(B::Wlroots, B::Gnome), 2 * 4);
    }
};

QTEST_MAIN(TestDisplaySession)
#include "tst_displaysession.moc"
