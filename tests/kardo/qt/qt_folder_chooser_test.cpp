// CFolderDialog in the Qt chooser of libkardo-qt, driven like a user would
// on Qt's offscreen platform: a script acts on the open chooser from inside
// its modal loop.
#include <kardo/folder_dialog.h>
#include <kardo/qt_folder_chooser.h>

#include <QApplication>
#include <QDialogButtonBox>
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

// Records the selections; with okOnlyBelow set, OK only for folders below it.
class RecordingDialog : public CFolderDialog {
public:
    using CFolderDialog::CFolderDialog;
    std::vector<QString> selections;
    std::string okOnlyBelow;
    void OnInitDialog() override {
        CFolderDialog::OnInitDialog();
        if (!okOnlyBelow.empty()) EnableOK(0);
    }
    void OnSelChanged(LPCITEMIDLIST item) override {
        CFolderDialog::OnSelChanged(item);
        selections.push_back(QString::fromStdString(GetPathName()));
        if (!okOnlyBelow.empty()) EnableOK(GetPathName().rfind(okOnlyBelow, 0) == 0);
    }
};

// Every 10 ms the current step runs on the open chooser until it returns
// true, then the next one. Stuck for 10 s, it closes the chooser, so that the
// case fails instead of hanging.
class Script {
public:
    using Step = std::function<bool(QFileDialog*)>;
    explicit Script(std::vector<Step> steps) : steps_(std::move(steps)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!chooser || !chooser->isVisible() || Finished()) return;
            if (deadline_.hasExpired())
                chooser->reject();
            else if (steps_[next_](chooser))
                ++next_;
        });
        timer_.start(10);
    }
    bool Finished() const { return next_ == steps_.size(); }

private:
    std::vector<Step> steps_;
    size_t next_ = 0;
    QTimer timer_;
    QDeadlineTimer deadline_{10000};
};

QPushButton* Choose(QFileDialog* chooser) {
    return chooser->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open);
}
QString Status(QFileDialog* chooser) { return chooser->findChild<QLabel*>("statusText")->text(); }
QString Short(const QString& path) { return path.left(35) + "..."; }
std::string Utf8(const QString& text) { return text.toUtf8().toStdString(); }

// Highlights a folder in the list as the arrow keys do, once the model knows it.
Script::Step Highlight(const QString& path) {
    return [path](QFileDialog* chooser) {
        const QModelIndex index = chooser->findChild<QFileSystemModel*>()->index(path);
        if (index.isValid()) chooser->findChild<QListView*>("listView")->setCurrentIndex(index);
        return index.isValid();
    };
}

}  // namespace

class QtFolderChooserTest : public QObject {
    Q_OBJECT
    QTemporaryDir root_;
    QString base_;  // longer than 35 characters, with umlauts

private slots:
    void initTestCase() {
        base_ = root_.path() + QStringLiteral("/Daten für die Übergabe");
        QVERIFY(QDir().mkpath(base_ + "/alpha") && QDir().mkpath(base_ + "/beta"));
        kardo_qt_install_folder_chooser();
    }

    // OK only below beta: locked at the start, for a typed name and for
    // Return; open once the user highlights beta.
    void opensOnTheInitialFolderAndChoosesWhatTheUserHighlights() {
        RecordingDialog dialog(Utf8(base_).c_str(), BIF_RETURNONLYFSDIRS, nullptr);
        dialog.okOnlyBelow = Utf8(base_ + "/beta");
        QStringList seen;  // title, shown folder, status at start, status after highlighting
        std::vector<bool> enabled;
        bool ownDialog = false;
        Script script({
            [&](QFileDialog* chooser) {
                seen << chooser->windowTitle() << chooser->directory().absolutePath() << Status(chooser);
                ownDialog = chooser->testOption(QFileDialog::DontUseNativeDialog) &&
                            chooser->fileMode() == QFileDialog::Directory;
                enabled.push_back(Choose(chooser)->isEnabled());
                auto* name = chooser->findChild<QLineEdit*>("fileNameEdit");
                QTest::keyClicks(name, "alpha");
                enabled.push_back(Choose(chooser)->isEnabled());
                QTest::keyClick(name, Qt::Key_Return);
                return true;
            },
            Highlight(base_ + "/beta"),
            [&](QFileDialog* chooser) {
                seen << Status(chooser);
                enabled.push_back(Choose(chooser)->isEnabled());
                QTest::mouseClick(Choose(chooser), Qt::LeftButton);
                return true;
            },
        });
        QCOMPARE(dialog.DoModal(), int(CFolderDialog::IDOK));
        QVERIFY(script.Finished());
        QVERIFY(ownDialog);
        QCOMPARE(seen, QStringList({QStringLiteral("Verzeichnis für Datenfiles auswählen"), base_, Short(base_),
                                    Short(base_ + "/beta")}));
        QCOMPARE(enabled, std::vector<bool>({false, false, true}));
        QCOMPARE(QString::fromStdString(dialog.GetPathName()), base_ + "/beta");
        QCOMPARE(QString::fromUtf8(dialog.m_szDisplayName), QStringLiteral("beta"));
        QCOMPARE(dialog.selections.front(), base_);
        QCOMPARE(dialog.selections.back(), base_ + "/beta");
    }

    // From a worker thread: the chooser opens on the GUI thread.
    void goingUpIsASelectionAndCancelKeepsTheInitialFolder() {
        RecordingDialog dialog(Utf8(base_ + "/alpha").c_str(), 0, nullptr);
        bool onGuiThread = false;
        Script script({
            [&](QFileDialog* chooser) {
                onGuiThread = chooser->thread() == QThread::currentThread();
                QTest::mouseClick(chooser->findChild<QToolButton*>("toParentButton"), Qt::LeftButton);
                return true;
            },
            [&](QFileDialog* chooser) {
                if (dialog.selections.back() != base_ || Status(chooser) != Short(base_)) return false;
                QTest::keyClick(chooser, Qt::Key_Escape);
                return true;
            },
        });
        std::atomic<int> result{0};
        std::thread worker([&] { result = dialog.DoModal(); });
        QTRY_VERIFY_WITH_TIMEOUT(result != 0, 20000);
        worker.join();
        QVERIFY(script.Finished());
        QVERIFY(onGuiThread);
        QCOMPARE(result.load(), int(CFolderDialog::IDCANCEL));
        QCOMPARE(QString::fromStdString(dialog.GetPathName()), base_ + "/alpha");
    }
};

int main(int argc, char** argv) {
    if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QtFolderChooserTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "qt_folder_chooser_test.moc"
