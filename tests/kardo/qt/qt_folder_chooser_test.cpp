// CFolderDialog in the Qt chooser of libkardo-qt, driven like a user would
// on Qt's offscreen platform: a script acts on the open chooser from inside
// its modal loop. One case opens the dialog from another thread.
#include <kardo/folder_dialog.h>
#include <kardo/qt_folder_chooser.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <atomic>
#include <functional>
#include <thread>

namespace {

// Records what the chooser calls back; may refuse folders outside a prefix.
class RecordingDialog : public CFolderDialog {
public:
    using CFolderDialog::CFolderDialog;
    std::vector<std::string> selections;
    std::string okOnlyBelow;
    void OnInitDialog() override {
        CFolderDialog::OnInitDialog();
        if (!okOnlyBelow.empty()) EnableOK(0);
    }
    void OnSelChanged(LPCITEMIDLIST item) override {
        CFolderDialog::OnSelChanged(item);
        selections.push_back(GetPathName());
        if (!okOnlyBelow.empty()) EnableOK(GetPathName().rfind(okOnlyBelow, 0) == 0);
    }
};

// DoModal on its own thread.
struct Modal {
    std::atomic<bool> done{false};
    int result = 0;
    std::thread thread;
    explicit Modal(CFolderDialog& dialog) {
        thread = std::thread([this, &dialog] {
            result = dialog.DoModal();
            done = true;
        });
    }
    ~Modal() {
        if (thread.joinable()) thread.join();
    }
};

// Acts on the open chooser from inside its modal loop: every 10 ms the
// current step runs, until it returns true; then the next one. A script
// that is stuck for 10 s closes the chooser, so the case fails instead of
// hanging.
class Script {
public:
    using Step = std::function<bool(QFileDialog*)>;
    explicit Script(std::vector<Step> steps) : steps_(std::move(steps)) {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!chooser || !chooser->isVisible() || next_ >= steps_.size()) return;
            if (deadline_.hasExpired()) {
                chooser->reject();
                return;
            }
            if (steps_[next_](chooser)) ++next_;
        });
        timer_.start();
    }
    bool Finished() const { return next_ == steps_.size(); }

private:
    std::vector<Step> steps_;
    size_t next_ = 0;
    QTimer timer_;
    QDeadlineTimer deadline_{10000};
};

QPushButton* ChooseButton(QFileDialog* chooser) {
    return chooser->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open);
}
QString StatusText(QFileDialog* chooser) { return chooser->findChild<QLabel*>("statusText")->text(); }
std::string Utf8(const QString& text) { return text.toUtf8().toStdString(); }

// Highlights a folder of the list the way the arrow keys do, once the
// file system model knows it.
Script::Step Highlight(const QString& path) {
    return [path](QFileDialog* chooser) {
        const QModelIndex index = chooser->findChild<QFileSystemModel*>()->index(path);
        if (!index.isValid()) return false;
        chooser->findChild<QListView*>("listView")->setCurrentIndex(index);
        return true;
    };
}

Script::Step Click(QPushButton* (*button)(QFileDialog*)) {
    return [button](QFileDialog* chooser) {
        QTest::mouseClick(button(chooser), Qt::LeftButton);
        return true;
    };
}

}  // namespace

class QtFolderChooserTest : public QObject {
    Q_OBJECT
    QTemporaryDir root_;
    QString base_;  // a folder name of more than 35 characters, with umlauts

private slots:
    void initTestCase() {
        QVERIFY(root_.isValid());
        base_ = root_.path() + QStringLiteral("/Daten für die Übergabe");
        QVERIFY(QDir().mkpath(base_ + "/alpha"));
        QVERIFY(QDir().mkpath(base_ + "/beta"));
        QVERIFY(base_.size() > 35);
        kardo_qt_install_folder_chooser();
    }

    void opensOnTheInitialFolderAndChoosesWhatTheUserHighlights() {
        RecordingDialog dialog(Utf8(base_).c_str(), BIF_RETURNONLYFSDIRS, nullptr);
        QString title, shownDirectory, statusAtStart, statusAfter;
        bool ownDialog = false;
        QFileDialog::FileMode mode = QFileDialog::AnyFile;
        Script script({
            [&](QFileDialog* chooser) {
                title = chooser->windowTitle();
                ownDialog = chooser->testOption(QFileDialog::DontUseNativeDialog);
                mode = chooser->fileMode();
                shownDirectory = chooser->directory().absolutePath();
                statusAtStart = StatusText(chooser);
                return true;
            },
            Highlight(base_ + "/beta"),
            [&](QFileDialog* chooser) {
                statusAfter = StatusText(chooser);
                return true;
            },
            Click(ChooseButton),
        });
        QCOMPARE(dialog.DoModal(), int(CFolderDialog::IDOK));
        QVERIFY(script.Finished());
        QCOMPARE(title, QStringLiteral("Verzeichnis für Datenfiles auswählen"));
        QVERIFY(ownDialog);
        QCOMPARE(mode, QFileDialog::Directory);
        QCOMPARE(shownDirectory, base_);
        QCOMPARE(statusAtStart, base_.left(35) + "...");
        QCOMPARE(statusAfter, (base_ + "/beta").left(35) + "...");
        QCOMPARE(QString::fromStdString(dialog.GetPathName()), base_ + "/beta");
        QCOMPARE(QString::fromUtf8(dialog.m_szDisplayName), QStringLiteral("beta"));
        QVERIFY(!dialog.selections.empty());
        QCOMPARE(QString::fromStdString(dialog.selections.front()), base_);
        QCOMPARE(QString::fromStdString(dialog.selections.back()), base_ + "/beta");
    }

    void goingUpIsASelectionAndCancelKeepsTheInitialFolder() {
        RecordingDialog dialog(Utf8(base_ + "/alpha").c_str(), 0, nullptr);
        QString status;
        Script script({
            [&](QFileDialog* chooser) {
                QTest::mouseClick(chooser->findChild<QToolButton*>("toParentButton"), Qt::LeftButton);
                return true;
            },
            [&](QFileDialog* chooser) {
                if (dialog.selections.empty() || dialog.selections.back() != Utf8(base_)) return false;
                status = StatusText(chooser);
                QTest::keyClick(chooser, Qt::Key_Escape);
                return true;
            },
        });
        QCOMPARE(dialog.DoModal(), int(CFolderDialog::IDCANCEL));
        QVERIFY(script.Finished());
        QCOMPARE(status, base_.left(35) + "...");
        QCOMPARE(QString::fromStdString(dialog.GetPathName()), base_ + "/alpha");
    }

    void enableOkLocksTheChooseButton() {
        RecordingDialog dialog(Utf8(base_).c_str(), 0, nullptr);
        dialog.okOnlyBelow = Utf8(base_ + "/alpha");
        bool enabledAtStart = true, enabledAfterTyping = true, enabledBelow = false;
        int waited = 0;
        Script script({
            [&](QFileDialog* chooser) {
                enabledAtStart = ChooseButton(chooser)->isEnabled();
                // Typing a folder name makes the dialog itself want the button;
                // Return must not choose.
                auto* name = chooser->findChild<QLineEdit*>("fileNameEdit");
                QTest::keyClicks(name, "beta");
                enabledAfterTyping = ChooseButton(chooser)->isEnabled();
                QTest::keyClick(name, Qt::Key_Return);
                return true;
            },
            [&](QFileDialog*) { return ++waited == 5; },
            Highlight(base_ + "/alpha"),
            [&](QFileDialog* chooser) {
                enabledBelow = ChooseButton(chooser)->isEnabled();
                return true;
            },
            Click(ChooseButton),
        });
        QCOMPARE(dialog.DoModal(), int(CFolderDialog::IDOK));
        QVERIFY(script.Finished());
        QVERIFY(!enabledAtStart);
        QVERIFY(!enabledAfterTyping);
        QVERIFY(enabledBelow);
        QCOMPARE(QString::fromStdString(dialog.GetPathName()), base_ + "/alpha");
    }

    void aDialogOfAnotherThreadOpensOnTheGuiThread() {
        RecordingDialog dialog(Utf8(base_ + "/alpha").c_str(), 0, nullptr);
        bool onGuiThread = false;
        Script script({
            [&](QFileDialog* chooser) {
                onGuiThread = chooser->thread() == QThread::currentThread();
                chooser->reject();
                return true;
            },
        });
        Modal modal(dialog);
        QTRY_VERIFY_WITH_TIMEOUT(modal.done, 20000);
        QVERIFY(script.Finished());
        QVERIFY(onGuiThread);
        QCOMPARE(modal.result, int(CFolderDialog::IDCANCEL));
        QCOMPARE(QString::fromStdString(dialog.GetPathName()), base_ + "/alpha");
        QCOMPARE(QString::fromStdString(dialog.selections.front()), base_ + "/alpha");
    }
};

int main(int argc, char** argv) {
    if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QtFolderChooserTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "qt_folder_chooser_test.moc"
