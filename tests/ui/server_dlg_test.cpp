// The main dialog driving the real engine: a pseudo-terminal is the device,
// clients are real TCP sockets on 127.0.0.1.
#include <signal.h>
#include <strings.h>

#include <QAction>
#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <random>
#include <thread>

#include "pty_pair.h"
#include "server/engine/server_engine.h"
#include "server/ui/about_dlg.h"
#include "server/ui/context_help.h"
#include "server/ui/qt_message_box.h"
#include "server/ui/server_dlg.h"
#include "server/ui/server_signals.h"
#include "ui_test_support.h"

namespace {

QLineEdit* Edit(CServerDlg& d, int id) { return static_cast<QLineEdit*>(d.Control(id)); }
QLabel* Label(CServerDlg& d, int id) { return static_cast<QLabel*>(d.Control(id)); }
QPushButton* Button(CServerDlg& d, int id) { return static_cast<QPushButton*>(d.Control(id)); }
QListWidget* List(CServerDlg& d) { return static_cast<QListWidget*>(d.Control(1007)); }
QCheckBox* Check(CServerDlg& d) { return static_cast<QCheckBox*>(d.Control(1008)); }

QStringList Items(QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
    return out;
}

QStringList SpyTexts(const QSignalSpy& spy) {
    QStringList out;
    for (const auto& args : spy) out << args.at(0).toString();
    return out;
}

void Click(QWidget* button) { QTest::mouseClick(button, Qt::LeftButton); }

void SaveSettingsForTest(const std::string& device, const std::string& data, const std::string& ctrl, int autostart) {
    SaveServerSettings(ServerSettings{device, data, ctrl, autostart});
}

}  // namespace

class ServerDlgTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<uitest::RecordingBoxes> boxes_;

private slots:
    void init() {
        uitest::ClearSettings();
        boxes_ = std::make_unique<uitest::RecordingBoxes>();
    }
    void cleanup() { boxes_.reset(); }

    void firstStartOnANewAccount() {
        CServerDlg dlg;
        QCOMPARE(dlg.windowTitle(), QStringLiteral("tovan"));
        QCOMPARE(Edit(dlg, 1002)->text(), QString());
        QCOMPARE(Edit(dlg, 1003)->text(), QString());
        QCOMPARE(Edit(dlg, 1004)->text(), QString());
        QVERIFY(!Check(dlg)->isChecked());
        QCOMPARE(dlg.AutostartFlag(), 0);
        QCOMPARE(Label(dlg, 1000)->text(), QStringLiteral("Server angehalten"));
        QCOMPARE(Button(dlg, 1001)->text(), QStringLiteral("Start Server"));
        QCOMPARE(Label(dlg, 1010)->text(), QStringLiteral(" "));
        QCOMPARE(Label(dlg, 1011)->text(), QStringLiteral(" "));
        QCOMPARE(List(dlg)->count(), 0);
        QVERIFY(!dlg.Engine().IsRunning());
        // Opening the dialog writes nothing.
        QVERIFY(!QFile::exists(QString::fromStdString(ServerSettingsFile())));
    }

    void controlsTextsAndTabOrderOfTheTemplate() {
        CServerDlg dlg;
        QCOMPARE(Button(dlg, 1)->text(), QStringLiteral("Speichern"));
        QVERIFY(Button(dlg, 1)->isDefault());
        QCOMPARE(Button(dlg, 2)->text(), QStringLiteral("Beenden"));
        QCOMPARE(Check(dlg)->text(), QStringLiteral("Autostart"));
        QCOMPARE(Check(dlg)->layoutDirection(), Qt::RightToLeft);  // text left of the box
        for (const char* label : {"Device", "Data port", "Ctrl port", "IP Adresse"}) {
            bool found = false;
            for (QLabel* l : dlg.findChildren<QLabel*>()) found = found || l->text() == QString::fromUtf8(label);
            QVERIFY2(found, label);
        }
        // Tab goes through the controls in the template's order.
        const QList<int> expected = {1002, 1003, 1004, 1008, 1007, 1, 2, 1001};
        QList<int> order;
        QWidget* w = dlg.Control(1002);
        for (int i = 0; i < expected.size(); ++i) {
            order << w->property("controlId").toInt();
            do w = w->nextInFocusChain();
            while (!(w->focusPolicy() & Qt::TabFocus) || w->property("controlId").isNull());
        }
        QCOMPARE(order, expected);
    }

    void layoutKeepsTheTemplateProportions() {
        CServerDlg dlg;
        // Template: 185 x 169 units; positions as fractions of the dialog.
        auto near = [](double actual, double expected, double tolerance) { return std::abs(actual - expected) <= tolerance; };
        const double ux = dlg.width() / 185.0, uy = dlg.height() / 169.0;
        struct Expect { int id, x, y, w, h; };
        // The Device field (1002) is the edit part of a list that reaches to the buttons.
        for (const Expect& e : {Expect{1002, 43, 7, 81, 14}, Expect{1001, 128, 39, 50, 14}, Expect{1007, 7, 84, 171, 56},
                                Expect{1000, 7, 154, 171, 8}, Expect{1, 128, 7, 50, 14}}) {
            const QWidget* control = e.id == 1002 ? dlg.Control(e.id)->parentWidget() : dlg.Control(e.id);
            const QRect r = control->geometry();
            QVERIFY2(near(r.x(), e.x * ux, 1.5) && near(r.y(), e.y * uy, 1.5), qPrintable(QString::number(e.id)));
            QVERIFY2(near(r.width(), e.w * ux, 1.5) && near(r.height(), e.h * uy, 1.5), qPrintable(QString::number(e.id)));
        }
        // Units follow the font: a vertical unit is an eighth of a line.
        QVERIFY(near(uy * 8, dlg.fontMetrics().height(), 1.0));
    }

    void saveStoresAsTypedAndStartUsesTheLeadingDigits() {
        testsupport::PtyPair pty;
        // The data port text "2000x" means port 2000; on a machine where 2000
        // is taken, another port with the same trailing letter proves the rule.
        const uint16_t dataPort = uitest::PortIsFree(2000) ? 2000 : uitest::FreePort();
        const QString dataText = QString::number(dataPort) + "x";
        const uint16_t ctrlPort = uitest::FreePort();
        CServerDlg dlg;
        QVERIFY(uitest::ShowActive(dlg));
        uitest::TypeInto(Edit(dlg, 1002), QString::fromStdString(pty.path()));
        uitest::TypeInto(Edit(dlg, 1003), dataText);
        uitest::TypeInto(Edit(dlg, 1004), QString::number(ctrlPort));
        Click(Button(dlg, 1));  // Speichern
        QVERIFY(dlg.isVisible());
        QCOMPARE(uitest::StoredValue("Device").toString(), QString::fromStdString(pty.path()));
        QCOMPARE(uitest::StoredValue("Data port").toString(), dataText);
        QCOMPARE(uitest::StoredValue("Ctrl port").toString(), QString::number(ctrlPort));
        QCOMPARE(uitest::StoredValue("Autostart").toInt(), 0);

        Click(Button(dlg, 1001));  // Start Server
        QVERIFY(dlg.Engine().IsRunning());
        const int client = uitest::ConnectTo(dataPort);
        QVERIFY2(client >= 0, "nobody listens on the port of the leading digits");
        QTRY_COMPARE(Label(dlg, 1011)->text(), QStringLiteral("connected"));
        QTRY_COMPARE(Items(List(dlg)), QStringList{uitest::LocalEndText(client)});
        // Bytes of the data port reach the device unchanged.
        QVERIFY(uitest::WaitForDeviceSetUp(pty));
        uitest::SendAll(client, "AT\r");
        const auto received = pty.Receive(3);
        QCOMPARE(std::string(received.begin(), received.end()), std::string("AT\r"));
        close(client);
        Click(Button(dlg, 1001));
    }

    void enterInAFieldSavesAndTheDialogStaysOpen() {
        CServerDlg dlg;
        QVERIFY(uitest::ShowActive(dlg));
        uitest::TypeInto(Edit(dlg, 1002), "COM2");
        QTest::keyClick(Edit(dlg, 1002), Qt::Key_Return);
        QVERIFY(dlg.isVisible());
        QCOMPARE(uitest::StoredValue("Device").toString(), QStringLiteral("COM2"));
    }

    void editedFieldIsTakenWhenItLosesTheFocus() {
        CServerDlg dlg;
        QVERIFY(uitest::ShowActive(dlg));
        uitest::TypeInto(Edit(dlg, 1002), "lpt2");
        QCOMPARE(dlg.DeviceField(), std::string());  // not yet exchanged
        Edit(dlg, 1003)->setFocus(Qt::TabFocusReason);
        QCOMPARE(dlg.DeviceField(), std::string("lpt2"));
    }

    void startTakesTheEditedTextsWithoutAFocusChange() {
        // A window that never became active (no window manager) reports no
        // focus change; the click on Start still uses what is in the boxes.
        testsupport::PtyPair pty;
        const uint16_t dataPort = uitest::FreePort(), ctrlPort = uitest::FreePort();
        CServerDlg dlg;
        Edit(dlg, 1002)->setText(QString::fromStdString(pty.path()));
        Edit(dlg, 1003)->setText(QString::number(dataPort));
        Edit(dlg, 1004)->setText(QString::number(ctrlPort));
        Click(Button(dlg, 1001));
        QCOMPARE(dlg.DeviceField(), pty.path());
        const int client = uitest::ConnectTo(dataPort);
        QVERIFY(client >= 0);
        QVERIFY(uitest::WaitForDeviceSetUp(pty));
        uitest::SendAll(client, "x");
        QCOMPARE(pty.Receive(1).size(), size_t(1));
        close(client);
        Click(Button(dlg, 1001));
    }

    void autostartTickedButNotSavedDoesNotStartNextTime() {
        SaveSettingsForTest("COM1", "2000", "2001", 0);
        {
            CServerDlg dlg;
            QVERIFY(uitest::ShowActive(dlg));
            Click(Check(dlg));
            QVERIFY(Check(dlg)->isChecked());
            QCOMPARE(dlg.AutostartFlag(), 1);
            Click(Button(dlg, 2));  // Beenden
        }
        QCOMPARE(uitest::StoredValue("Autostart").toInt(), 0);
        CServerDlg next;
        QVERIFY(!next.Engine().IsRunning());
        QVERIFY(!Check(next)->isChecked());
        QCOMPARE(Button(next, 1001)->text(), QStringLiteral("Start Server"));
        QCOMPARE(Label(next, 1000)->text(), QStringLiteral("Server angehalten"));
    }

    void savedAutostartStartsTheServerAndOpensMinimised() {
        testsupport::PtyPair pty;
        const uint16_t dataPort = uitest::FreePort(), ctrlPort = uitest::FreePort();
        SaveSettingsForTest(pty.path(), std::to_string(dataPort), std::to_string(ctrlPort), 1);
        CServerDlg dlg;
        QVERIFY(dlg.Engine().IsRunning());
        QVERIFY(Check(dlg)->isChecked());
        QCOMPARE(Button(dlg, 1001)->text(), QStringLiteral("Stop Server"));
        QCOMPARE(Label(dlg, 1000)->text(), QStringLiteral("Server gestartet"));
        QVERIFY(dlg.windowState() & Qt::WindowMinimized);
        dlg.show();
        QVERIFY(dlg.isMinimized());
        const int client = uitest::ConnectTo(ctrlPort);
        QVERIFY(client >= 0);
        close(client);
        dlg.reject();
    }

    void startAndStopTexts() {
        testsupport::PtyPair pty;
        const uint16_t dataPort = uitest::FreePort(), ctrlPort = uitest::FreePort();
        CServerDlg dlg(SettingOverrides{pty.path(), std::to_string(dataPort), std::to_string(ctrlPort)});
        QSignalSpy status(&dlg, &CServerDlg::statusTextChanged);
        QVERIFY(uitest::ShowActive(dlg));
        Click(Button(dlg, 1001));
        QCOMPARE(Button(dlg, 1001)->text(), QStringLiteral("Stop Server"));
        QCOMPARE(Label(dlg, 1000)->text(), QStringLiteral("Server gestartet"));
        QTRY_VERIFY(dlg.isMinimized());
        const int client = uitest::ConnectTo(dataPort);
        QVERIFY(client >= 0);
        QTRY_COMPARE(List(dlg)->count(), 1);
        Click(Button(dlg, 1001));
        QCOMPARE(Button(dlg, 1001)->text(), QStringLiteral("Start Server"));
        QCOMPARE(Label(dlg, 1000)->text(), QStringLiteral("Server gestoppt"));
        QCOMPARE(Label(dlg, 1010)->text(), QStringLiteral(" "));
        QCOMPARE(Label(dlg, 1011)->text(), QStringLiteral(" "));
        QCOMPARE(List(dlg)->count(), 0);
        QCOMPARE(SpyTexts(status), QStringList({"Server gestartet", "Server gestoppt"}));
        close(client);
    }

    void everyExitPathRunsStop_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("running");
        for (const char* how : {"Beenden", "Escape", "close box"}) {
            QTest::newRow(qPrintable(QString(how) + ", running")) << QString(how) << true;
            QTest::newRow(qPrintable(QString(how) + ", stopped")) << QString(how) << false;
        }
    }
    void everyExitPathRunsStop() {
        QFETCH(QString, how);
        QFETCH(bool, running);
        testsupport::PtyPair pty;
        const uint16_t dataPort = uitest::FreePort(), ctrlPort = uitest::FreePort();
        CServerDlg dlg(SettingOverrides{pty.path(), std::to_string(dataPort), std::to_string(ctrlPort)});
        QVERIFY(uitest::ShowActive(dlg));
        if (running) {
            Click(Button(dlg, 1001));
            dlg.showNormal();
            QVERIFY(uitest::ShowActive(dlg));
            const int probe = uitest::ConnectTo(dataPort);
            QVERIFY(probe >= 0);
            close(probe);
        }
        QSignalSpy status(&dlg, &CServerDlg::statusTextChanged);
        QSignalSpy finished(&dlg, &QDialog::finished);
        if (how == "Beenden") Click(Button(dlg, 2));
        if (how == "Escape") QTest::keyClick(&dlg, Qt::Key_Escape);
        if (how == "close box") dlg.close();
        QCOMPARE(SpyTexts(status), QStringList{"Server gestoppt"});
        QCOMPARE(finished.count(), 1);
        QCOMPARE(finished.at(0).at(0).toInt(), int(QDialog::Rejected));
        QVERIFY(!dlg.isVisible());
        QVERIFY(!dlg.Engine().IsRunning());
        // Every worker has ended, and the listeners have let go of their ports.
        QVERIFY(dlg.Engine().WaitForWorkers(5000));
        if (running) {
            QVERIFY(uitest::PortIsFree(dataPort));
            QVERIFY(uitest::PortIsFree(ctrlPort));
        }
    }

    void restartRequestRestartsAPrinterDevice() {
        QTemporaryDir printers;
        QFile printer(printers.filePath("lpt1"));
        QVERIFY(printer.open(QIODevice::WriteOnly));
        printer.close();
        qputenv("TOVAN_PRINTER_DIR", printers.path().toLocal8Bit());
        const uint16_t dataPort = uitest::FreePort(), ctrlPort = uitest::FreePort();
        CServerDlg dlg(SettingOverrides{"lpt1", std::to_string(dataPort), std::to_string(ctrlPort)});
        ServerSignalNotifier notifier;
        connect(&notifier, &ServerSignalNotifier::restartRequested, &dlg, &CServerDlg::OnRestartDevice);
        QSignalSpy status(&dlg, &CServerDlg::statusTextChanged);

        // Stopped: started and stopped again.
        kill(getpid(), SIGUSR1);
        QTRY_COMPARE(SpyTexts(status), QStringList({"Server gestartet", "Server gestoppt"}));
        QVERIFY(!dlg.Engine().IsRunning());

        // Running: stopped and started again, and the printer is written to after it.
        Click(Button(dlg, 1001));
        status.clear();
        kill(getpid(), SIGUSR1);
        QTRY_COMPARE(SpyTexts(status), QStringList({"Server gestoppt", "Server gestartet"}));
        QVERIFY(dlg.Engine().IsRunning());
        QCOMPARE(Button(dlg, 1001)->text(), QStringLiteral("Stop Server"));
        // The new run opens the printer on its own thread; bytes that come
        // before that are refused and the connection ends: send again then.
        const QString printerPath = printers.filePath("lpt1");
        for (int attempt = 0; attempt < 50 && QFileInfo(printerPath).size() < 4; ++attempt) {
            const int client = uitest::ConnectTo(dataPort);
            QVERIFY(client >= 0);
            uitest::SendAll(client, "page");
            pollfd p{client, POLLIN, 0};
            QDeadlineTimer deadline(5000);
            while (QFileInfo(printerPath).size() < 4 && !deadline.hasExpired()) {
                if (poll(&p, 1, 0) == 1) break;  // the server ended the connection
                QTest::qWait(5);
            }
            close(client);
        }
        QCOMPARE(QFileInfo(printerPath).size(), qint64(4));
        dlg.reject();
        qunsetenv("TOVAN_PRINTER_DIR");
    }

    void restartRequestLeavesASerialDeviceAlone() {
        testsupport::PtyPair pty;
        const uint16_t dataPort = uitest::FreePort(), ctrlPort = uitest::FreePort();
        CServerDlg dlg(SettingOverrides{"COM1", std::to_string(dataPort), std::to_string(ctrlPort)});
        ServerSignalNotifier notifier;
        connect(&notifier, &ServerSignalNotifier::restartRequested, &dlg, &CServerDlg::OnRestartDevice);
        QSignalSpy status(&dlg, &CServerDlg::statusTextChanged);
        QSignalSpy restarts(&notifier, &ServerSignalNotifier::restartRequested);
        kill(getpid(), SIGUSR1);
        QTRY_COMPARE(restarts.count(), 1);
        QVERIFY(status.isEmpty());
        QVERIFY(!dlg.Engine().IsRunning());
        QCOMPARE(Label(dlg, 1000)->text(), QStringLiteral("Server angehalten"));
    }

    void terminationSignalTakesTheExitPath() {
        testsupport::PtyPair pty;
        const uint16_t dataPort = uitest::FreePort(), ctrlPort = uitest::FreePort();
        CServerDlg dlg(SettingOverrides{pty.path(), std::to_string(dataPort), std::to_string(ctrlPort)});
        ServerSignalNotifier notifier;
        connect(&notifier, &ServerSignalNotifier::quitRequested, &dlg, &CServerDlg::reject);
        QVERIFY(uitest::ShowActive(dlg));
        dlg.OnStartStop();
        QSignalSpy status(&dlg, &CServerDlg::statusTextChanged);
        QSignalSpy finished(&dlg, &QDialog::finished);
        kill(getpid(), SIGTERM);
        QTRY_COMPARE(finished.count(), 1);
        QCOMPARE(SpyTexts(status), QStringList{"Server gestoppt"});
        QVERIFY(!dlg.Engine().IsRunning());
    }

    void logListKeepsItsLinesSorted() {
        CServerDlg dlg;
        QStringList lines = {"10.0.0.2:4000", "09.12.2026 10:00:01 - accept - failed", "192.168.1.7:51000",
                             "Zeta", "alpha", "127.0.0.1:33000", "10.0.0.10:4000", "Beta"};
        // Added from several threads at once.
        std::vector<std::thread> threads;
        for (const QString& line : lines) {
            threads.emplace_back([&dlg, text = line.toStdString()] { dlg.Engine().Log().AddString(text, LogLineKind::Peer); });
        }
        for (auto& t : threads) t.join();
        QStringList expected = lines;
        std::sort(expected.begin(), expected.end(), [](const QString& a, const QString& b) {
            return strcasecmp(a.toLatin1().constData(), b.toLatin1().constData()) < 0;
        });
        QTRY_COMPARE(Items(List(dlg)), expected);
        // A removed line goes; the rest keep their order.
        dlg.Engine().Log().DeleteFirstWithPrefix("10.0.0.1");  // the first line beginning with it
        expected.removeOne("10.0.0.10:4000");
        QTRY_COMPARE(Items(List(dlg)), expected);
        dlg.Engine().Log().ResetContent();
        QCOMPARE(List(dlg)->count(), 0);
    }

    void peerLinesComeAndGoFromWorkerThreads() {
        testsupport::PtyPair pty;
        const uint16_t dataPort = uitest::FreePort(), ctrlPort = uitest::FreePort();
        CServerDlg dlg(SettingOverrides{pty.path(), std::to_string(dataPort), std::to_string(ctrlPort)});
        dlg.OnStartStop();
        std::vector<int> clients;
        QStringList peers;
        for (int i = 0; i < 4; ++i) clients.push_back(uitest::ConnectTo(dataPort));
        clients.push_back(uitest::ConnectTo(ctrlPort));
        QTRY_COMPARE(List(dlg)->count(), 5);
        // The last client is accepted after all others.
        clients.push_back(uitest::ConnectTo(ctrlPort));
        for (int c : clients) {
            QVERIFY(c >= 0);
            peers << uitest::LocalEndText(c);
        }
        std::sort(peers.begin(), peers.end());  // one address: the port text decides
        QTRY_COMPARE(Items(List(dlg)), peers);
        QCOMPARE(Label(dlg, 1011)->text(), QStringLiteral("connected"));
        QCOMPARE(Label(dlg, 1010)->text(), QStringLiteral("connected"));
        // Bytes from two clients reach the device.
        QVERIFY(uitest::WaitForDeviceSetUp(pty));
        uitest::SendAll(clients[0], "ab");
        QCOMPARE(pty.Receive(2).size(), size_t(2));
        uitest::SendAll(clients[3], "cd");
        QCOMPARE(pty.Receive(2).size(), size_t(2));
        // Device data goes to the client accepted last: the second ctrl client.
        pty.Send("xyz");
        pollfd p{clients[5], POLLIN, 0};
        QVERIFY(poll(&p, 1, 5000) == 1);
        char buf[8] = {};
        QCOMPARE(recv(clients[5], buf, sizeof buf, 0), ssize_t(3));
        QCOMPARE(std::string(buf, 3), std::string("xyz"));

        close(clients[1]);
        peers.removeOne(uitest::LocalEndText(clients[1]) );
        QTRY_COMPARE(Items(List(dlg)).size(), 5);
        QTRY_COMPARE(Label(dlg, 1011)->text(), QString());
        for (size_t i = 0; i < clients.size(); ++i) {
            if (i != 1) close(clients[i]);
        }
        QTRY_COMPARE(List(dlg)->count(), 0);
        QTRY_COMPARE(Label(dlg, 1010)->text(), QString());
        dlg.OnStartStop();
    }

    void deviceFailureShowsAModalBoxWhileTheDeviceThreadWaits() {
        boxes_.reset();  // real Qt boxes in this test
        QtMessageBoxBridge bridge;
        bridge.Install();
        const uint16_t dataPort = uitest::FreePort(), ctrlPort = uitest::FreePort();
        CServerDlg dlg(SettingOverrides{"/nonexistent/ttyX", std::to_string(dataPort), std::to_string(ctrlPort)});
        bridge.SetParentWindow(&dlg);
        QString text;
        bool workersBusy = false;
        uitest::ModalWatcher watcher([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (box == nullptr) return false;
            text = box->text();
            // The device thread is still there, waiting for the answer.
            workersBusy = !dlg.Engine().WaitForWorkers(0);
            box->button(QMessageBox::Ok)->click();
            return true;
        });
        dlg.OnStartStop();
        QTRY_VERIFY(watcher.Done());
        QVERIFY(text.startsWith("Could not open device: "));
        QVERIFY(text.contains("No such file or directory"));
        QVERIFY(workersBusy);
        // The engine keeps running without a device.
        QVERIFY(dlg.Engine().IsRunning());
        dlg.reject();
        bridge.Close();
        boxes_ = std::make_unique<uitest::RecordingBoxes>();
    }

    void f1AsksForTheContextOfTheFocusedControl() {
        QList<unsigned> asked;
        auto previous = SetContextHelpHandler([&](QWidget*, unsigned context) { asked << context; });
        CServerDlg dlg;
        QVERIFY(uitest::ShowActive(dlg));
        for (int id : {1002, 1003, 1004, 1008, 1001, 1}) {
            dlg.Control(id)->setFocus(Qt::TabFocusReason);
            QTest::keyClick(dlg.Control(id), Qt::Key_F1);
        }
        SetContextHelpHandler(previous);
        QCOMPARE(asked, QList<unsigned>({133074u, 133073u, 133072u, 133075u}));
    }

    void defaultHelpShowsATextAndGoesWithTheDialog() {
        CServerDlg dlg;
        QVERIFY(uitest::ShowActive(dlg));
        Edit(dlg, 1002)->setFocus(Qt::TabFocusReason);
        QTest::keyClick(Edit(dlg, 1002), Qt::Key_F1);
        auto* help = dlg.findChild<QMessageBox*>("HelpWindow");
        QVERIFY(help != nullptr);
        QVERIFY(help->isVisible());
        QVERIFY(help->informativeText().contains("133074"));
        QVERIFY(help->text().startsWith("Device"));
        dlg.reject();
        QVERIFY(!help->isVisible());
    }

    void aboutBoxFromContextMenuEntryAndShortcut() {
        CServerDlg dlg;
        QCOMPARE(dlg.contextMenuPolicy(), Qt::ActionsContextMenu);
        QVERIFY(dlg.actions().contains(dlg.AboutAction()));
        QCOMPARE(dlg.AboutAction()->text(), QStringLiteral("Inf&o über tovan..."));
        QVERIFY(uitest::ShowActive(dlg));
        QString title;
        uitest::ModalWatcher watcher([&](QWidget* modal) {
            auto* about = qobject_cast<CAboutDlg*>(modal);
            if (about == nullptr) return false;
            title = about->windowTitle();
            about->accept();
            return true;
        });
        QTest::keyClick(&dlg, Qt::Key_I, Qt::ControlModifier);
        QVERIFY(watcher.Done());
        QCOMPARE(title, QStringLiteral("Info über tovan"));
    }

    void ownAddressIsADottedAddressOrBlank() {
        CServerDlg dlg;
        const QString text = Label(dlg, 1015)->text();
        in_addr parsed{};
        QVERIFY(text == " " || inet_pton(AF_INET, text.toLatin1().constData(), &parsed) == 1);
    }
};

TOVAN_UI_TEST_MAIN(ServerDlgTest)
#include "server_dlg_test.moc"
