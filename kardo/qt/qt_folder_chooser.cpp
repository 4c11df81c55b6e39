// The folder chooser of CFolderDialog as Qt's own file dialog for folders.
#include <kardo/qt_folder_chooser.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QThread>
#include <cstdio>
#include <cstring>

namespace {

// An item handed out by the chooser: one folder.
struct Item {
    QString path;
};

LPITEMIDLIST AsList(Item* item) { return reinterpret_cast<LPITEMIDLIST>(item); }
const Item* AsItem(LPCITEMIDLIST list) { return reinterpret_cast<const Item*>(list); }

// The file dialog with an OK button the caller can lock: while locked, the
// button stays disabled whatever the dialog itself decides, and accepting
// (Return in the name field included) is refused.
class ChooserDialog : public QFileDialog {
public:
    ChooserDialog(QWidget* parent, const QString& title) : QFileDialog(parent, title) {
        setOption(QFileDialog::DontUseNativeDialog);
        setOption(QFileDialog::ShowDirsOnly);
        setFileMode(QFileDialog::Directory);
        if (auto* box = findChild<QDialogButtonBox*>()) okButton_ = box->button(QDialogButtonBox::Open);
        if (okButton_) okButton_->installEventFilter(this);
    }

    void AllowOk(bool allowed) {
        okAllowed_ = allowed;
        if (okButton_) okButton_->setEnabled(allowed);
    }

    void accept() override {
        if (okAllowed_) QFileDialog::accept();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == okButton_ && event->type() == QEvent::EnabledChange && !okAllowed_ && okButton_->isEnabled())
            okButton_->setEnabled(false);
        return QFileDialog::eventFilter(watched, event);
    }

private:
    QPushButton* okButton_ = nullptr;
    bool okAllowed_ = true;
};

// One open chooser; its window handle is the record's address.
struct Session {
    ChooserDialog* dialog;
    QLabel* status;
    const BROWSEINFOA* info;
    QString selection;
};

// Open choosers, innermost last; touched on the GUI thread only.
QList<Session*> g_open;

HWND HandleOf(Session* session) { return reinterpret_cast<HWND>(session); }

Session* SessionOf(HWND window) {
    for (Session* session : g_open)
        if (HandleOf(session) == window) return session;
    return nullptr;
}

QApplication* Application() { return qobject_cast<QApplication*>(QCoreApplication::instance()); }

// Runs f on the GUI thread, waiting for it when called from another thread.
template <class F>
auto OnGuiThread(F f) -> decltype(f()) {
    if (QThread::currentThread() == Application()->thread()) return f();
    decltype(f()) result{};
    QMetaObject::invokeMethod(Application(), [&] { result = f(); }, Qt::BlockingQueuedConnection);
    return result;
}

// Tells the caller when the folder that "Choose" would take has changed.
void SelectionIs(Session* session, const QString& path) {
    const QString folder = path.isEmpty() ? session->dialog->directory().absolutePath() : QDir::cleanPath(path);
    if (folder == session->selection) return;
    session->selection = folder;
    if (!session->info->lpfn) return;
    Item item{folder};
    session->info->lpfn(HandleOf(session), BFFM_SELCHANGED, reinterpret_cast<LPARAM>(AsList(&item)),
                        session->info->lParam);
}

// Copies UTF-8 text into a buffer of `size` bytes, never ending inside a character.
void CopyText(const QByteArray& text, char* out, size_t size) {
    size_t length = std::min(static_cast<size_t>(text.size()), size - 1);
    if (length < static_cast<size_t>(text.size()))
        while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
    std::memcpy(out, text.constData(), length);
    out[length] = '\0';
}

LPITEMIDLIST BrowseHere(const BROWSEINFOA* info) {
    ChooserDialog dialog(QApplication::activeWindow(), QString::fromUtf8(info->lpszTitle ? info->lpszTitle : ""));
    QLabel* status = nullptr;
    if (info->ulFlags & BIF_STATUSTEXT) {
        status = new QLabel(&dialog);
        status->setObjectName(QStringLiteral("statusText"));
        status->setTextFormat(Qt::PlainText);
        if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout()))
            grid->addWidget(status, grid->rowCount(), 0, 1, grid->columnCount());
        else if (dialog.layout())
            dialog.layout()->addWidget(status);
    }
    Session session{&dialog, status, info, QString()};
    g_open.append(&session);
    QObject::connect(&dialog, &QFileDialog::directoryEntered, &dialog,
                     [&session](const QString& folder) { SelectionIs(&session, folder); });
    QObject::connect(&dialog, &QFileDialog::currentChanged, &dialog,
                     [&session](const QString& path) { SelectionIs(&session, path); });

    if (info->lpfn) info->lpfn(HandleOf(&session), BFFM_INITIALIZED, 0, info->lParam);
    SelectionIs(&session, QString());
    const int result = dialog.exec();
    g_open.removeOne(&session);

    const QString chosen = result == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
    if (chosen.isEmpty()) return nullptr;
    const QString folder = QDir::cleanPath(QFileInfo(chosen).absoluteFilePath());
    if (info->pszDisplayName) {
        const QString name = QFileInfo(folder).fileName();
        CopyText((name.isEmpty() ? folder : name).toUtf8(), info->pszDisplayName, KARDO_PATH_BUFFER);
    }
    return AsList(new Item{folder});
}

LPITEMIDLIST Browse(void*, const BROWSEINFOA* info) {
    if (!Application()) {
        std::fprintf(stderr, "%s: no QApplication for the folder chooser, answered Cancel\n",
                     info->lpszTitle ? info->lpszTitle : "");
        std::fflush(stderr);
        return nullptr;
    }
    return OnGuiThread([info] { return BrowseHere(info); });
}

int PathFromItem(void*, LPCITEMIDLIST list, char* path) {
    path[0] = '\0';
    if (!list) return 0;
    const QFileInfo folder(AsItem(list)->path);
    const QByteArray text = QDir::cleanPath(folder.absoluteFilePath()).toUtf8();
    if (!folder.isDir() || text.size() >= KARDO_PATH_BUFFER) return 0;
    std::memcpy(path, text.constData(), static_cast<size_t>(text.size()) + 1);
    return 1;
}

void FreeItem(void*, LPITEMIDLIST list) { delete reinterpret_cast<Item*>(list); }

LRESULT SendToChooser(void*, HWND window, unsigned int message, WPARAM wParam, LPARAM lParam) {
    if (!Application()) return 0;
    return OnGuiThread([=]() -> LRESULT {
        Session* session = SessionOf(window);
        if (!session) return 0;
        switch (message) {
            case BFFM_SETSTATUSTEXTA:
                if (session->status && lParam)
                    session->status->setText(QString::fromUtf8(reinterpret_cast<const char*>(lParam)));
                break;
            case BFFM_ENABLEOK:
                session->dialog->AllowOk(lParam != 0);
                break;
            case BFFM_SETSELECTIONA: {
                const QString path = wParam ? QString::fromUtf8(reinterpret_cast<const char*>(lParam))
                                            : (lParam ? AsItem(reinterpret_cast<LPCITEMIDLIST>(lParam))->path
                                                      : QString());
                if (!path.isEmpty() && QFileInfo(path).isDir()) {
                    session->dialog->setDirectory(path);
                    SelectionIs(session, path);
                }
                break;
            }
            default:
                break;
        }
        return 0;
    });
}

const KARDO_FOLDER_CHOOSER kChooser = {Browse, PathFromItem, FreeItem, SendToChooser};

}  // namespace

const KARDO_FOLDER_CHOOSER* kardo_qt_folder_chooser(void) { return &kChooser; }

void kardo_qt_install_folder_chooser(void) { kardo_set_folder_chooser(&kChooser, nullptr); }
