#pragma once
// The main dialog of tovan (dialog template 102): Device, Data port and Ctrl
// port fields, the Autostart check box, the own IP address, the log list,
// the status line, and the buttons "Speichern" (save, the default button),
// "Beenden" (exit) and the Start/Stop button. It owns the redirection engine
// and is its window (ServerView), and it mirrors the engine's log list.
//
// The Device field is an editable list: it offers the serial devices present
// on the machine (platform/serial_devices.h) and takes any typed name; it
// reaches to the buttons, and its list is as wide as the longest name.
//
// Control identifiers of the template are kept: every control has the
// property "controlId" and, where the template gives a number, that number as
// its object name ("1002" is the Device field, "1007" the log list); the two
// standard buttons are "IDOK" and "IDCANCEL".
//
// Threads: everything here runs on the GUI thread except the two entry
// points the engine's workers use, SetChannelStatus and the log-list
// observer. They only queue the change; the queue is applied on the GUI
// thread in the order the changes were made (at once when the change comes
// from the GUI thread itself, so Stop's own changes are visible when it
// returns).
#include <QDialog>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "server/engine/log_list.h"
#include "server/engine/server_view.h"
#include "server/ui/server_settings.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class ServerEngine;

inline constexpr const char* kAboutMenuText = "Inf&o über tovan...";
inline constexpr const char* kDialogCaption = "tovan";

class CServerDlg : public QDialog, public ServerView, public LogListObserver {
    Q_OBJECT
public:
    // Dialog start-up: loads the settings (with the run's overrides on top),
    // shows them, and starts the server at once when Autostart is set (the
    // window then opens minimised).
    explicit CServerDlg(const SettingOverrides& overrides = {}, QWidget* parent = nullptr);
    ~CServerDlg() override;

    // A control by its template identifier (1000..1015, 1 IDOK, 2 IDCANCEL).
    QWidget* Control(int id) const;
    ServerEngine& Engine() { return *engine_; }
    // The dialog's fields as last exchanged with the controls.
    std::string DeviceField() const { return device_; }
    std::string DataPortField() const { return dataPort_; }
    std::string CtrlPortField() const { return ctrlPort_; }
    int AutostartFlag() const { return autostart_; }
    QAction* AboutAction() const { return aboutAction_; }

    // The Start/Stop button.
    void OnStartStop();
    // The printer restart request (SIGUSR1).
    void OnRestartDevice();
    // "Speichern": saves the settings; the dialog stays open.
    void SaveSettings();
    // Opens the about box modally.
    void ShowAbout();
    // F1: help for the control that has the focus.
    void OnHelp();
    // The program ends: stops what runs and waits up to waitMs for the
    // engine's threads; true when all have ended.
    bool ShutdownEngine(int waitMs);

    // "Speichern" and Enter save and keep the dialog open.
    void accept() override;
    // "Beenden", Escape and the close box: the Stop path, then the dialog ends.
    void reject() override;

    // ServerView
    std::string DeviceText() override { return device_; }
    std::string DataPortText() override { return dataPort_; }
    std::string CtrlPortText() override { return ctrlPort_; }
    void SetButtonText(const std::string& text) override;
    void SetStatusText(const std::string& text) override;
    void SetChannelStatus(Channel channel, const std::string& text) override;
    void Minimise() override;
    std::string BindText() override { return bindAddress_; }
    int MaxClients() override { return maxClients_; }
    uint16_t Rfc2217Port() override { return rfc2217Port_; }

    // LogListObserver (any thread)
    void OnLineAdded(int index, const std::string& line, LogLineKind kind) override;
    void OnLineDeleted(int index, const std::string& line, LogLineKind kind) override;
    void OnReset() override;

signals:
    // Every status text the dialog shows, in order ("Server gestartet", ...).
    void statusTextChanged(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct UiUpdate {
        enum Kind { LineAdded, LineDeleted, Reset, ChannelStatus } kind;
        int index = 0;
        QString text;
        Channel channel = Channel::Data;
    };
    void CreateControls();
    // true: controls -> fields; false: fields -> controls.
    void UpdateData(bool saveAndValidate);
    void Queue(UiUpdate update);
    void ApplyQueued();
    void Apply(const UiUpdate& update);

    // Fields, as the dialog exchanges them with its controls.
    std::string ctrlPort_;
    std::string dataPort_;
    std::string device_;
    std::string statusText_;
    int autostart_ = 0;
    // Settings without a control, from the store (or the command line).
    std::string bindAddress_;
    int maxClients_ = 64;
    uint16_t rfc2217Port_ = 0;
    bool exiting_ = false;

    QComboBox* deviceList_ = nullptr;  // offers the serial devices present
    QLineEdit* deviceEdit_ = nullptr;  // its edit field: control 1002
    QLineEdit* dataPortEdit_ = nullptr;
    QLineEdit* ctrlPortEdit_ = nullptr;
    QLabel* dataStatus_ = nullptr;
    QLabel* ctrlStatus_ = nullptr;
    QCheckBox* autostartBox_ = nullptr;
    QLabel* ownAddress_ = nullptr;
    QListWidget* logList_ = nullptr;
    QLabel* statusLine_ = nullptr;
    QPushButton* saveButton_ = nullptr;
    QPushButton* exitButton_ = nullptr;
    QPushButton* startStopButton_ = nullptr;
    QAction* aboutAction_ = nullptr;

    std::mutex queueMutex_;
    std::deque<UiUpdate> queue_;

    // Last: made after the controls, ended before them.
    std::unique_ptr<ServerEngine> engine_;
};
