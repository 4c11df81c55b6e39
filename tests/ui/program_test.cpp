// The tovan program as a user starts it: without a display it runs headless
// by itself, taking the settings saved by the dialog.
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

#include "pty_pair.h"
#include "server/ui/server_settings.h"
#include "ui_test_support.h"

namespace {

// An environment without any display and with its own settings folder.
QProcessEnvironment NoDisplay(const QString& configHome) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    env.insert("XDG_CONFIG_HOME", configHome);
    return env;
}

bool WaitForOutput(QProcess& process, const QString& text) {
    QDeadlineTimer deadline(10000);
    QString seen;
    while (!deadline.hasExpired()) {
        seen += QString::fromLocal8Bit(process.readAllStandardOutput());
        if (seen.contains(text)) return true;
        if (process.state() == QProcess::NotRunning) return false;
        process.waitForReadyRead(100);
    }
    return false;
}

}  // namespace

class ProgramTest : public QObject {
    Q_OBJECT
private slots:
    void withoutDisplayItRunsHeadlessOnTheSavedSettings() {
        testsupport::PtyPair pty;
        const uint16_t dataPort = uitest::FreePort(), ctrlPort = uitest::FreePort();
        // Saved as the dialog saves them, in this program's settings folder.
        const QString configHome = QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME"));
        uitest::ClearSettings();
        SaveServerSettings(ServerSettings{pty.path(), std::to_string(dataPort) + "x", std::to_string(ctrlPort), 0});

        QProcess tovan;
        tovan.setProcessEnvironment(NoDisplay(configHome));
        tovan.start(TOVAN_PROGRAM, QStringList());
        QVERIFY(tovan.waitForStarted());
        QVERIFY(WaitForOutput(tovan, "Server gestartet"));
        const int client = uitest::ConnectTo(dataPort);
        QVERIFY(client >= 0);
        QVERIFY(uitest::WaitForDeviceSetUp(pty));
        uitest::SendAll(client, "hello");
        const auto bytes = pty.Receive(5);
        QCOMPARE(std::string(bytes.begin(), bytes.end()), std::string("hello"));
        close(client);
        tovan.terminate();  // SIGTERM: Stop, then the program ends
        QVERIFY(tovan.waitForFinished(10000));
        QCOMPARE(tovan.exitStatus(), QProcess::NormalExit);
        QCOMPARE(tovan.exitCode(), 0);
        const QString err = QString::fromLocal8Bit(tovan.readAllStandardError());
        QVERIFY2(err.contains("no display") && err.contains("running headless"), qPrintable(err));
    }

    void optionsOverrideTheSavedSettings() {
        testsupport::PtyPair pty;
        const uint16_t dataPort = uitest::FreePort(), ctrlPort = uitest::FreePort();
        const QString configHome = QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME"));
        uitest::ClearSettings();
        SaveServerSettings(ServerSettings{"/nonexistent/tty", "1", "2", 0});
        QProcess tovan;
        tovan.setProcessEnvironment(NoDisplay(configHome));
        tovan.start(TOVAN_PROGRAM, {"--headless", "--device", QString::fromStdString(pty.path()), "--data-port",
                                    QString::number(dataPort), "--ctrl-port", QString::number(ctrlPort)});
        QVERIFY(WaitForOutput(tovan, "Server gestartet"));
        const int client = uitest::ConnectTo(ctrlPort);
        QVERIFY(client >= 0);
        close(client);
        tovan.terminate();
        QVERIFY(tovan.waitForFinished(10000));
        QCOMPARE(tovan.exitCode(), 0);
        // --headless says nothing about a display.
        QVERIFY(!QString::fromLocal8Bit(tovan.readAllStandardError()).contains("no display"));
    }

    void withADisplayTheDialogRunsAndATerminationSignalEndsIt() {
        // A display (drawn offscreen), Autostart saved, a device that does not
        // exist: the server starts at once and the device thread's box comes
        // up and waits; SIGTERM still ends the program cleanly.
        const QString configHome = QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME"));
        uitest::ClearSettings();
        const uint16_t dataPort = uitest::FreePort(), ctrlPort = uitest::FreePort();
        SaveServerSettings(ServerSettings{"/nonexistent/ttyQ", std::to_string(dataPort), std::to_string(ctrlPort), 1});
        QProcessEnvironment env = NoDisplay(configHome);
        env.insert("DISPLAY", ":99");
        env.insert("QT_QPA_PLATFORM", "offscreen");
        QProcess tovan;
        tovan.setProcessEnvironment(env);
        tovan.start(TOVAN_PROGRAM, QStringList());
        QVERIFY(tovan.waitForStarted());
        // The server runs: its data port takes clients.
        const int client = uitest::ConnectTo(dataPort);
        QVERIFY(client >= 0);
        close(client);
        tovan.terminate();
        QVERIFY(tovan.waitForFinished(10000));
        QCOMPARE(tovan.exitStatus(), QProcess::NormalExit);
        QCOMPARE(tovan.exitCode(), 0);
        const QString err = QString::fromLocal8Bit(tovan.readAllStandardError());
        QVERIFY2(!err.contains("running headless"), qPrintable(err));
        // The box nobody answered still reached the user.
        QVERIFY2(err.contains("Could not open device: "), qPrintable(err));
        QCOMPARE(QString::fromLocal8Bit(tovan.readAllStandardOutput()), QString());
    }

    void aDisplayThatCannotBeOpenedMeansHeadless() {
        testsupport::PtyPair pty;
        const uint16_t dataPort = uitest::FreePort(), ctrlPort = uitest::FreePort();
        const QString configHome = QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME"));
        uitest::ClearSettings();
        SaveServerSettings(ServerSettings{pty.path(), std::to_string(dataPort), std::to_string(ctrlPort), 0});
        QProcessEnvironment env = NoDisplay(configHome);
        env.insert("DISPLAY", "127.0.0.1:5987");  // nobody serves X there
        QProcess tovan;
        tovan.setProcessEnvironment(env);
        tovan.start(TOVAN_PROGRAM, QStringList());
        QVERIFY(WaitForOutput(tovan, "Server gestartet"));
        tovan.terminate();
        QVERIFY(tovan.waitForFinished(10000));
        QCOMPARE(tovan.exitCode(), 0);
        const QString err = QString::fromLocal8Bit(tovan.readAllStandardError());
        QVERIFY2(err.contains("cannot open display 127.0.0.1:5987: running headless"), qPrintable(err));
    }

    void withNothingSavedItSaysWhatIsMissing() {
        QTemporaryDir config;
        QProcess tovan;
        tovan.setProcessEnvironment(NoDisplay(config.path()));
        tovan.start(TOVAN_PROGRAM, QStringList());
        QVERIFY(tovan.waitForFinished(10000));
        QCOMPARE(tovan.exitCode(), 2);
        const QString err = QString::fromLocal8Bit(tovan.readAllStandardError());
        QVERIFY2(err.contains("--device") && err.contains("--data-port") && err.contains("--ctrl-port"), qPrintable(err));
        QVERIFY2(err.contains(config.path() + "/Quellwerk/TOVAN.conf"), qPrintable(err));
    }
};

TOVAN_UI_TEST_MAIN(ProgramTest)
#include "program_test.moc"
