// Message boxes of the program as modal Qt boxes on the GUI thread; a worker
// thread that asks for one waits for the user's answer.
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <atomic>
#include <memory>
#include <vector>
#include <thread>

#include "platform/message_box.h"
#include "server/ui/qt_message_box.h"
#include "ui_test_support.h"

namespace {

QMessageBox* AsBox(QWidget* w) { return qobject_cast<QMessageBox*>(w); }

// A worker that asks for a box and keeps the answer.
struct Worker {
    std::atomic<bool> done{false};
    std::atomic<int> result{0};
    std::thread thread;
    Worker(std::string text, unsigned flags) {
        thread = std::thread([this, text, flags] {
            result = platform::MessageBox(text, "tovan", flags);
            done = true;
        });
    }
    ~Worker() {
        if (thread.joinable()) thread.join();
    }
};

}  // namespace

class MessageBoxTest : public QObject {
    Q_OBJECT
private slots:
    void workerWaitsForTheBoxOnTheGuiThread() {
        QtMessageBoxBridge bridge;
        bridge.Install();
        bool doneWhileShown = true;
        QString shownText, shownTitle;
        QMessageBox::Icon shownIcon = QMessageBox::NoIcon;
        bool onGuiThread = false;
        Worker worker("Could not open device: No such file or directory\n",
                      platform::MB_ICONEXCLAMATION | platform::MB_OKCANCEL);
        uitest::ModalWatcher watcher([&](QWidget* modal) {
            QMessageBox* box = AsBox(modal);
            if (box == nullptr) return false;
            doneWhileShown = worker.done;
            shownText = box->text();
            shownTitle = box->windowTitle();
            shownIcon = box->icon();
            onGuiThread = QThread::currentThread() == qApp->thread();
            box->button(QMessageBox::Cancel)->click();
            return true;
        });
        QTRY_VERIFY(worker.done);
        QVERIFY(watcher.Done());
        QVERIFY(!doneWhileShown);
        QVERIFY(onGuiThread);
        QCOMPARE(shownText, QStringLiteral("Could not open device: No such file or directory\n"));
        QCOMPARE(shownTitle, QStringLiteral("tovan"));
        QCOMPARE(shownIcon, QMessageBox::Warning);
        QCOMPARE(worker.result.load(), int(platform::IDCANCEL));
    }

    void twoWorkersEachGetTheirOwnAnswer() {
        QtMessageBoxBridge bridge;
        bridge.Install();
        QStringList seen;
        Worker first("first", platform::MB_YESNO);
        Worker second("second", platform::MB_YESNO);
        // Answer "Yes" to the box that says "first" and "No" to "second".
        uitest::ModalWatcher watcher([&](QWidget* modal) {
            QMessageBox* box = AsBox(modal);
            if (box == nullptr) return false;
            seen << box->text();
            box->button(box->text() == "first" ? QMessageBox::Yes : QMessageBox::No)->click();
            return seen.size() == 2;
        });
        QTRY_VERIFY(first.done && second.done);
        QCOMPARE(first.result.load(), int(platform::IDYES));
        QCOMPARE(second.result.load(), int(platform::IDNO));
        seen.sort();
        QCOMPARE(seen, QStringList({"first", "second"}));
    }

    void boxOnTheGuiThreadIsShownDirectly_data() {
        QTest::addColumn<unsigned>("flags");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("expected");
        QTest::newRow("ok, Return") << unsigned(platform::MB_OK) << int(Qt::Key_Return) << int(platform::IDOK);
        QTest::newRow("ok, Escape") << unsigned(platform::MB_OK) << int(Qt::Key_Escape) << int(platform::IDOK);
        QTest::newRow("yes/no, second button default")
            << unsigned(platform::MB_YESNO | platform::MB_DEFBUTTON2) << int(Qt::Key_Return) << int(platform::IDNO);
        QTest::newRow("yes/no/cancel, Escape")
            << unsigned(platform::MB_YESNOCANCEL) << int(Qt::Key_Escape) << int(platform::IDCANCEL);
        QTest::newRow("retry/cancel, Return")
            << unsigned(platform::MB_RETRYCANCEL) << int(Qt::Key_Return) << int(platform::IDRETRY);
        QTest::newRow("abort/retry/ignore, Return")
            << unsigned(platform::MB_ABORTRETRYIGNORE) << int(Qt::Key_Return) << int(platform::IDABORT);
    }
    void boxOnTheGuiThreadIsShownDirectly() {
        QFETCH(unsigned, flags);
        QFETCH(int, key);
        QFETCH(int, expected);
        QtMessageBoxBridge bridge;
        bridge.Install();
        uitest::ModalWatcher watcher([&](QWidget* modal) {
            if (AsBox(modal) == nullptr) return false;
            QTest::keyClick(modal, Qt::Key(key));
            return true;
        });
        QCOMPARE(platform::MessageBox("question", "tovan", flags), expected);
        QVERIFY(watcher.Done());
    }

    void closeReleasesWaitingWorkersAndLaterOnes() {
        auto bridge = std::make_unique<QtMessageBoxBridge>();
        bridge->Install();
        Worker worker("never answered", platform::MB_OKCANCEL);
        // Close while the box is up; the worker goes on with the cautious answer.
        uitest::ModalWatcher watcher([&](QWidget* modal) {
            QMessageBox* box = AsBox(modal);
            if (box == nullptr) return false;
            bridge->Close();
            for (int i = 0; i < 500 && !worker.done; ++i) QThread::msleep(10);
            box->button(QMessageBox::Ok)->click();
            return true;
        });
        QTRY_VERIFY(worker.done);
        QVERIFY(watcher.Done());
        QCOMPARE(worker.result.load(), int(platform::IDCANCEL));
        // Later requests are not shown and do not wait.
        Worker later("after close", platform::MB_YESNO);
        QTRY_VERIFY(later.done);
        QCOMPARE(later.result.load(), int(platform::IDNO));
        QVERIFY(QApplication::activeModalWidget() == nullptr);
        bridge.reset();
    }

    void boxesOfManyWorkersNeverNestAndRepeatsAreCounted() {
        QtMessageBoxBridge bridge;
        bridge.Install();
        const std::string repeated = "Could not get device parameters: Bad file descriptor\n";
        std::vector<std::unique_ptr<Worker>> workers;
        for (int i = 0; i < 30; ++i) workers.push_back(std::make_unique<Worker>(repeated, platform::MB_ICONEXCLAMATION));
        for (int i = 0; i < 8; ++i) {
            workers.push_back(std::make_unique<Worker>("text " + std::to_string(i), platform::MB_ICONEXCLAMATION));
        }
        auto allDone = [&] {
            return std::all_of(workers.begin(), workers.end(), [](const auto& w) { return w->done.load(); });
        };
        int mostAtOnce = 0;
        QStringList seen;
        uitest::ModalWatcher watcher([&](QWidget* modal) {
            QMessageBox* box = AsBox(modal);
            if (box == nullptr) return false;
            int open = 0;
            for (QWidget* w : QApplication::topLevelWidgets()) open += AsBox(w) != nullptr && w->isVisible();
            mostAtOnce = std::max(mostAtOnce, open);
            seen << box->text();
            box->button(QMessageBox::Ok)->click();
            return allDone();
        });
        QTRY_VERIFY_WITH_TIMEOUT(allDone(), 20000);
        QCOMPARE(mostAtOnce, 1);
        QVERIFY2(seen.size() < 30, qPrintable(QString::number(seen.size())));
        QVERIFY(!seen.filter(QStringLiteral(" times)")).isEmpty());
        for (const auto& w : workers) QCOMPARE(w->result.load(), int(platform::IDOK));
    }

    void aWorkerWhoseBoxFindsTheQueueFullGoesOnAsWithOk() {
        QtMessageBoxBridge bridge;
        bridge.Install();
        Worker first("first", platform::MB_OKCANCEL);
        std::vector<std::unique_ptr<Worker>> workers;
        auto doneCount = [&] {
            return std::count_if(workers.begin(), workers.end(), [](const auto& w) { return w->done.load(); });
        };
        int shown = 0;
        bool refusedAtOnce = false;
        uitest::ModalWatcher watcher([&](QWidget* modal) {
            QMessageBox* box = AsBox(modal);
            if (box == nullptr) return false;
            if (shown == 0) {
                // The first box is up: 40 more ask; 16 can wait, 24 cannot.
                if (workers.empty()) {
                    for (int i = 0; i < 40; ++i) {
                        workers.push_back(std::make_unique<Worker>("queued " + std::to_string(i), platform::MB_OKCANCEL));
                    }
                }
                if (doneCount() < 24) return false;
                refusedAtOnce = doneCount() == 24;
                for (const auto& w : workers) {
                    if (w->done && w->result != platform::IDOK) refusedAtOnce = false;
                }
            }
            ++shown;
            box->button(QMessageBox::Cancel)->click();
            return first.done && doneCount() == 40;
        });
        QTRY_VERIFY_WITH_TIMEOUT(first.done && doneCount() == 40, 20000);
        QVERIFY(refusedAtOnce);
        QCOMPARE(shown, 17);
        QCOMPARE(first.result.load(), int(platform::IDCANCEL));
    }

    void destroyedBridgeRestoresTheDefaultHandler() {
        {
            QtMessageBoxBridge bridge;
            bridge.Install();
        }
        Worker worker("to standard error", platform::MB_YESNO);
        QTRY_VERIFY(worker.done);
        QCOMPARE(worker.result.load(), int(platform::IDNO));
    }
};

TOVAN_UI_TEST_MAIN(MessageBoxTest)
#include "message_box_test.moc"
