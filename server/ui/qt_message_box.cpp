#include "server/ui/qt_message_box.h"

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QPushButton>
#include <QThread>

#include "platform/message_box.h"

namespace {

QMessageBox::Icon IconFor(unsigned flags) {
    switch (flags & platform::MB_ICONMASK) {
        case platform::MB_ICONHAND: return QMessageBox::Critical;
        case platform::MB_ICONQUESTION: return QMessageBox::Question;
        case platform::MB_ICONEXCLAMATION: return QMessageBox::Warning;
        case platform::MB_ICONASTERISK: return QMessageBox::Information;
        default: return QMessageBox::NoIcon;
    }
}

struct ButtonChoice {
    QMessageBox::StandardButton button;
    int result;
};

std::vector<ButtonChoice> ButtonsFor(unsigned flags) {
    using B = QMessageBox;
    switch (flags & platform::MB_TYPEMASK) {
        case platform::MB_OKCANCEL: return {{B::Ok, platform::IDOK}, {B::Cancel, platform::IDCANCEL}};
        case platform::MB_ABORTRETRYIGNORE:
            return {{B::Abort, platform::IDABORT}, {B::Retry, platform::IDRETRY}, {B::Ignore, platform::IDIGNORE}};
        case platform::MB_YESNOCANCEL:
            return {{B::Yes, platform::IDYES}, {B::No, platform::IDNO}, {B::Cancel, platform::IDCANCEL}};
        case platform::MB_YESNO: return {{B::Yes, platform::IDYES}, {B::No, platform::IDNO}};
        case platform::MB_RETRYCANCEL: return {{B::Retry, platform::IDRETRY}, {B::Cancel, platform::IDCANCEL}};
        default: return {{B::Ok, platform::IDOK}};
    }
}

}  // namespace

int ShowQtMessageBox(QWidget* parent, const std::string& text, const std::string& caption, unsigned flags) {
    QMessageBox box(parent);
    box.setObjectName(QStringLiteral("MessageBox"));
    box.setWindowTitle(QString::fromStdString(caption));
    box.setText(QString::fromStdString(text));
    box.setIcon(IconFor(flags));
    box.setWindowModality(Qt::ApplicationModal);
    const std::vector<ButtonChoice> choices = ButtonsFor(flags);
    std::vector<QAbstractButton*> buttons;
    for (const ButtonChoice& choice : choices) buttons.push_back(box.addButton(choice.button));
    const size_t defaultIndex = (flags & platform::MB_DEFBUTTON2) && choices.size() > 1 ? 1 : 0;
    box.setDefaultButton(static_cast<QPushButton*>(buttons[defaultIndex]));
    // Escape: Cancel where there is one; a box with only OK answers OK.
    int escapeResult = -1;
    for (size_t i = 0; i < choices.size(); ++i) {
        if (choices[i].result == platform::IDCANCEL || (choices.size() == 1 && choices[i].result == platform::IDOK)) {
            box.setEscapeButton(buttons[i]);
            escapeResult = choices[i].result;
        }
    }
    box.exec();
    QAbstractButton* pressed = box.clickedButton();
    for (size_t i = 0; i < choices.size(); ++i) {
        if (buttons[i] == pressed) return choices[i].result;
    }
    // Closed without a button (the window manager's close box).
    return escapeResult != -1 ? escapeResult : platform::DefaultMessageBox(text, caption, flags);
}

QtMessageBoxBridge::QtMessageBoxBridge(QObject* parent) : QObject(parent) {}

QtMessageBoxBridge::~QtMessageBoxBridge() {
    if (installed_) platform::SetMessageBoxHandler(previous_);
    Close();
}

void QtMessageBoxBridge::Install() {
    previous_ = platform::SetMessageBoxHandler(
        [this](const std::string& text, const std::string& caption, unsigned flags) { return Show(text, caption, flags); });
    installed_ = true;
}

void QtMessageBoxBridge::Close() {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    for (const auto& request : waiting_) {
        request->answered = true;
        request->dropped = true;
    }
    waiting_.clear();
    if (shown_ && !shown_->answered) {
        shown_->answered = true;
        shown_->dropped = true;
    }
    answered_.notify_all();
}

void QtMessageBoxBridge::ShowWaiting() {
    std::unique_lock<std::mutex> lock(mutex_);
    // A box is up already: this call runs inside its event loop, and the
    // loop below shows the next one when that box has been answered.
    if (showing_) return;
    showing_ = true;
    while (!waiting_.empty() && !closed_) {
        shown_ = waiting_.front();
        waiting_.pop_front();
        std::string text = shown_->text;
        if (shown_->askers > 1) {
            if (!text.empty() && text.back() != '\n') text += '\n';
            text += "(" + std::to_string(shown_->askers) + " times)";
        }
        const std::string caption = shown_->caption;
        const unsigned flags = shown_->flags;
        lock.unlock();
        const int result = ShowQtMessageBox(parentWindow_.data(), text, caption, flags);
        lock.lock();
        if (!shown_->answered) {
            shown_->answered = true;
            shown_->result = result;
        }
        shown_.reset();
        answered_.notify_all();
    }
    showing_ = false;
}

int QtMessageBoxBridge::Show(const std::string& text, const std::string& caption, unsigned flags) {
    if (QThread::currentThread() == thread()) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (closed_) return platform::DefaultMessageBox(text, caption, flags);
        }
        return ShowQtMessageBox(parentWindow_.data(), text, caption, flags);
    }
    std::shared_ptr<Request> request;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_) return platform::DefaultMessageBox(text, caption, flags);
        for (const auto& waiting : waiting_) {
            if (waiting->text == text && waiting->caption == caption && waiting->flags == flags) {
                request = waiting;
                ++request->askers;
                break;
            }
        }
        if (!request) {
            if (waiting_.size() >= kMaxWaiting) return platform::IDOK;
            request = std::make_shared<Request>();
            request->text = text;
            request->caption = caption;
            request->flags = flags;
            waiting_.push_back(request);
            if (!showing_) QMetaObject::invokeMethod(this, [this] { ShowWaiting(); }, Qt::QueuedConnection);
        }
    }
    std::unique_lock<std::mutex> lock(mutex_);
    answered_.wait(lock, [&] { return request->answered; });
    if (request->dropped) {
        lock.unlock();
        // The box will not come up any more: the text still reaches the user,
        // and the worker goes on with the cautious answer.
        return platform::DefaultMessageBox(text, caption, flags);
    }
    return request->result;
}
