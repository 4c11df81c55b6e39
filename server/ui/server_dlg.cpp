#include "server/ui/server_dlg.h"

#include <QAction>
#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>
#include <QStyleOptionButton>
#include <QThread>
#include <algorithm>
#include <iterator>

#include "platform/serial_devices.h"
#include "server/engine/server_engine.h"
#include "server/ui/about_dlg.h"
#include "server/ui/app_icon.h"
#include "server/ui/context_help.h"
#include "server/ui/dialog_units.h"
#include "server/ui/own_address.h"

namespace {

const char* const kControlId = "controlId";

template <class W>
W* Make(QWidget* parent, int id, const char* name, const QRect& rect) {
    auto* widget = new W(parent);
    widget->setObjectName(QString::fromLatin1(name));
    widget->setProperty(kControlId, id);
    widget->setGeometry(rect);
    return widget;
}

QLabel* Static(QWidget* parent, int id, const char* name, const char* text, const QRect& rect) {
    auto* label = Make<QLabel>(parent, id, name, rect);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setText(QString::fromUtf8(text));
    // A label never cuts its text: fonts wider than the template's take a
    // little of the gap to the field beside it.
    const int needed = label->fontMetrics().horizontalAdvance(label->text()) + 1;
    if (needed > rect.width()) label->resize(needed, rect.height());
    return label;
}

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

CServerDlg::CServerDlg(const SettingOverrides& overrides, QWidget* parent) : QDialog(parent) {
    // Caption, system menu, minimise box, context help, close box; not resizable.
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::WindowContextHelpButtonHint);
    setObjectName(QStringLiteral("102"));
    setWindowTitle(QString::fromLatin1(kDialogCaption));
    CreateControls();

    // The about entry: Linux window managers offer no way into their window
    // menu, so it sits in the dialog's context menu and on Ctrl+I.
    aboutAction_ = new QAction(QString::fromUtf8(kAboutMenuText), this);
    aboutAction_->setObjectName(QStringLiteral("aboutAction"));
    aboutAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));
    aboutAction_->setShortcutContext(Qt::WindowShortcut);
    connect(aboutAction_, &QAction::triggered, this, &CServerDlg::ShowAbout);
    addAction(aboutAction_);
    setContextMenuPolicy(Qt::ActionsContextMenu);

    setWindowIcon(AppIcon());

    const std::string address = OwnIpAddress();
    if (!address.empty()) ownAddress_->setText(Q(address));

    ServerSettings settings = LoadServerSettings();
    ApplyOverrides(settings, overrides);
    device_ = settings.device;
    dataPort_ = settings.dataPort;
    ctrlPort_ = settings.ctrlPort;
    bindAddress_ = settings.bindAddress;
    maxClients_ = settings.maxClients;
    rfc2217Port_ = static_cast<uint16_t>(settings.rfc2217Port);
    autostart_ = settings.autostart != 0 ? 1 : 0;

    statusText_ = kStatusIdle;
    startStopButton_->setText(QString::fromLatin1(kButtonStart));
    UpdateData(false);

    engine_ = std::make_unique<ServerEngine>(*this);
    engine_->Log().SetObserver(this);
    if (autostart_ != 0) OnStartStop();

    deviceEdit_->setFocus();
}

CServerDlg::~CServerDlg() {
    // The engine stops and detaches while the controls still exist.
    engine_.reset();
}

void CServerDlg::CreateControls() {
    const DialogUnits du(font());
    setFixedSize(du.Size(185, 169));

    Static(this, -1, "DeviceLabel", "Device", du.Rect(7, 10, 24, 8));
    deviceList_ = new QComboBox(this);
    deviceList_->setObjectName(QStringLiteral("DeviceList"));
    deviceList_->setGeometry(du.Rect(43, 7, 81, 14));
    deviceList_->setEditable(true);
    deviceList_->setInsertPolicy(QComboBox::NoInsert);
    deviceEdit_ = new QLineEdit(deviceList_);
    deviceEdit_->setObjectName(QStringLiteral("1002"));
    deviceEdit_->setProperty(kControlId, 1002);
    deviceList_->setLineEdit(deviceEdit_);
    int widest = 0;
    for (const std::string& device : platform::ListSerialDevices()) {
        deviceList_->addItem(Q(device));
        widest = std::max(widest, deviceList_->fontMetrics().horizontalAdvance(Q(device)));
    }
    deviceList_->view()->setMinimumWidth(widest + 2 * deviceList_->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
    deviceEdit_->clear();
    // A name picked from the list counts at once, as a typed one does when
    // the field loses the focus.
    connect(deviceList_, &QComboBox::textActivated, this, [this] { UpdateData(true); });
    Static(this, -1, "DataPortLabel", "Data port", du.Rect(7, 26, 30, 8));
    dataPortEdit_ = Make<QLineEdit>(this, 1003, "1003", du.Rect(43, 23, 40, 14));
    dataStatus_ = Static(this, 1011, "1011", " ", du.Rect(91, 26, 36, 8));
    Static(this, -1, "CtrlPortLabel", "Ctrl port", du.Rect(7, 42, 25, 8));
    ctrlPortEdit_ = Make<QLineEdit>(this, 1004, "1004", du.Rect(43, 39, 40, 14));
    ctrlStatus_ = Static(this, 1010, "1010", " ", du.Rect(91, 42, 36, 8));

    // Text left of the box.
    autostartBox_ = Make<QCheckBox>(this, 1008, "1008", du.Rect(7, 57, 42, 10));
    autostartBox_->setText(QStringLiteral("Autostart"));
    autostartBox_->setLayoutDirection(Qt::RightToLeft);
    {
        // Wide enough that the style does not cut the text: what the box,
        // the gap and the margins take plus the text itself.
        QStyleOptionButton option;
        option.initFrom(autostartBox_);
        option.text = autostartBox_->text();
        const int contents = autostartBox_->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, autostartBox_).width();
        const int needed = option.rect.width() - contents + autostartBox_->fontMetrics().horizontalAdvance(option.text) + 1;
        if (needed > autostartBox_->width()) autostartBox_->resize(needed, autostartBox_->height());
    }

    Static(this, -1, "IpLabel", "IP Adresse", du.Rect(7, 70, 34, 8));
    ownAddress_ = Static(this, 1015, "1015", " ", du.Rect(46, 70, 75, 8));

    logList_ = Make<QListWidget>(this, 1007, "1007", du.Rect(7, 84, 171, 56));
    logList_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    logList_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    logList_->setFrameShape(QFrame::Box);
    logList_->setSelectionMode(QAbstractItemView::SingleSelection);
    // The engine keeps the lines in order; the widget shows them as they stand.
    logList_->setSortingEnabled(false);

    statusLine_ = Static(this, 1000, "1000", "", du.Rect(7, 154, 171, 8));

    saveButton_ = Make<QPushButton>(this, 1, "IDOK", du.Rect(128, 7, 50, 14));
    saveButton_->setText(QStringLiteral("Speichern"));
    saveButton_->setDefault(true);
    exitButton_ = Make<QPushButton>(this, 2, "IDCANCEL", du.Rect(128, 23, 50, 14));
    exitButton_->setText(QStringLiteral("Beenden"));
    startStopButton_ = Make<QPushButton>(this, 1001, "1001", du.Rect(128, 39, 50, 14));
    startStopButton_->setText(QStringLiteral("Button1"));

    // The template's tab order.
    QWidget* order[] = {deviceList_, dataPortEdit_, ctrlPortEdit_, autostartBox_, logList_,
                        saveButton_, exitButton_,   startStopButton_};
    for (size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);

    // Each edit box is read back into the dialog's fields when it loses the focus.
    for (QLineEdit* edit : {deviceEdit_, dataPortEdit_, ctrlPortEdit_}) edit->installEventFilter(this);
    // The list around the Device field holds the focus for its edit field.
    deviceList_->installEventFilter(this);

    // The "?" button's help mode shows the same texts as F1.
    deviceEdit_->setWhatsThis(HelpText(kHelpDevice));
    deviceList_->setWhatsThis(HelpText(kHelpDevice));
    dataPortEdit_->setWhatsThis(HelpText(kHelpDataPort));
    ctrlPortEdit_->setWhatsThis(HelpText(kHelpCtrlPort));
    autostartBox_->setWhatsThis(HelpText(kHelpAutostart));

    // A click on the button takes the focus from an edit box first, so the
    // edited text counts. Without a window manager the window may never be
    // active and then no focus change is reported: read the boxes here too.
    connect(startStopButton_, &QPushButton::clicked, this, [this] {
        UpdateData(true);
        OnStartStop();
    });
    connect(saveButton_, &QPushButton::clicked, this, &CServerDlg::SaveSettings);
    connect(exitButton_, &QPushButton::clicked, this, &CServerDlg::reject);
    connect(autostartBox_, &QCheckBox::clicked, this, [this](bool checked) { autostart_ = checked ? 1 : 0; });

    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    help->setContext(Qt::WindowShortcut);
    connect(help, &QShortcut::activated, this, &CServerDlg::OnHelp);
}

QWidget* CServerDlg::Control(int id) const {
    for (QWidget* child : findChildren<QWidget*>()) {
        if (child->property(kControlId).toInt() == id) return child;
    }
    return nullptr;
}

void CServerDlg::UpdateData(bool saveAndValidate) {
    if (saveAndValidate) {
        ctrlPort_ = ctrlPortEdit_->text().toStdString();
        dataPort_ = dataPortEdit_->text().toStdString();
        device_ = deviceEdit_->text().toStdString();
        statusText_ = statusLine_->text().toStdString();
        autostart_ = autostartBox_->isChecked() ? 1 : 0;
    } else {
        ctrlPortEdit_->setText(Q(ctrlPort_));
        dataPortEdit_->setText(Q(dataPort_));
        deviceEdit_->setText(Q(device_));
        statusLine_->setText(Q(statusText_));
        autostartBox_->setChecked(autostart_ != 0);
    }
}

bool CServerDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut &&
        (watched == deviceEdit_ || watched == deviceList_ || watched == dataPortEdit_ || watched == ctrlPortEdit_)) {
        UpdateData(true);
    }
    return QDialog::eventFilter(watched, event);
}

void CServerDlg::OnStartStop() { engine_->OnStartStop(); }

void CServerDlg::OnRestartDevice() {
    if (!exiting_) engine_->OnRestartDevice();
}

void CServerDlg::SaveSettings() {
    UpdateData(true);
    ServerSettings settings;
    settings.device = device_;
    settings.dataPort = dataPort_;
    settings.ctrlPort = ctrlPort_;
    settings.autostart = autostart_;
    SaveServerSettings(settings);
}

void CServerDlg::accept() { SaveSettings(); }

void CServerDlg::reject() {
    if (!exiting_) {
        exiting_ = true;
        engine_->OnExit();
        // The help window goes with the dialog.
        if (auto* helpWindow = findChild<QMessageBox*>(QStringLiteral("HelpWindow"))) helpWindow->close();
    }
    QDialog::done(QDialog::Rejected);
}

void CServerDlg::ShowAbout() {
    CAboutDlg about(this);
    about.exec();
}

void CServerDlg::OnHelp() {
    QWidget* focus = focusWidget();
    if (focus == deviceList_) focus = deviceEdit_;
    const unsigned context = focus ? HelpContextForControl(focus->property(kControlId).toInt()) : 0;
    if (context != 0) ShowContextHelp(this, context);
}

bool CServerDlg::ShutdownEngine(int waitMs) { return engine_->Shutdown(waitMs); }

void CServerDlg::SetButtonText(const std::string& text) { startStopButton_->setText(Q(text)); }

void CServerDlg::SetStatusText(const std::string& text) {
    statusText_ = text;
    statusLine_->setText(Q(text));
    emit statusTextChanged(Q(text));
}

void CServerDlg::Minimise() {
    if (isVisible()) {
        showMinimized();
    } else {
        // Not shown yet (Autostart): the window opens minimised.
        setWindowState(windowState() | Qt::WindowMinimized);
    }
}

void CServerDlg::SetChannelStatus(Channel channel, const std::string& text) {
    UiUpdate update{UiUpdate::ChannelStatus, 0, Q(text), channel};
    Queue(std::move(update));
}

void CServerDlg::OnLineAdded(int index, const std::string& line, LogLineKind) {
    Queue(UiUpdate{UiUpdate::LineAdded, index, Q(line), Channel::Data});
}

void CServerDlg::OnLineDeleted(int index, const std::string& line, LogLineKind) {
    Queue(UiUpdate{UiUpdate::LineDeleted, index, Q(line), Channel::Data});
}

void CServerDlg::OnReset() { Queue(UiUpdate{UiUpdate::Reset, 0, QString(), Channel::Data}); }

void CServerDlg::Queue(UiUpdate update) {
    {
        std::lock_guard<std::mutex> lock(queueMutex_);
        queue_.push_back(std::move(update));
    }
    if (QThread::currentThread() == thread()) {
        ApplyQueued();
    } else {
        QMetaObject::invokeMethod(this, [this] { ApplyQueued(); }, Qt::QueuedConnection);
    }
}

void CServerDlg::ApplyQueued() {
    std::deque<UiUpdate> updates;
    {
        std::lock_guard<std::mutex> lock(queueMutex_);
        updates.swap(queue_);
    }
    for (const UiUpdate& update : updates) Apply(update);
}

void CServerDlg::Apply(const UiUpdate& update) {
    switch (update.kind) {
        case UiUpdate::LineAdded: {
            const int index = std::clamp(update.index, 0, logList_->count());
            logList_->insertItem(index, update.text);
            break;
        }
        case UiUpdate::LineDeleted: {
            // The model's index; the text guards against a list that went out of step.
            int index = update.index;
            if (index < 0 || index >= logList_->count() || logList_->item(index)->text() != update.text) {
                const auto found = logList_->findItems(update.text, Qt::MatchExactly);
                index = found.isEmpty() ? -1 : logList_->row(found.first());
            }
            if (index >= 0) delete logList_->takeItem(index);
            break;
        }
        case UiUpdate::Reset: logList_->clear(); break;
        case UiUpdate::ChannelStatus:
            (update.channel == Channel::Data ? dataStatus_ : ctrlStatus_)->setText(update.text);
            break;
    }
}
