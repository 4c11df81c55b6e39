#pragma once
// The server's four settings per user, kept with QSettings (on Linux the file
// $XDG_CONFIG_HOME/Quellwerk/TOVAN.conf, default ~/.config), organisation
// "Quellwerk", application "TOVAN", group "Settings":
//   "Device"     text, empty when missing
//   "Data port"  text, empty when missing (the port as decimal text, stored as typed)
//   "Ctrl port"  text, empty when missing
//   "Autostart"  number, 0 when missing; not 0: start the server at program start
//   "Bind"       text, empty when missing: the address both ports listen on
//                (empty for all interfaces)
//   "MaxClients" number, 64 when missing or not above 0: clients served at once
//   "Rfc2217Port" number, 0 (no telnet COM-PORT port) when missing or not a port
// The dialog has no fields for Bind, MaxClients and Rfc2217Port: they are edited in the
// file (or given for one run on the command line), and Save leaves them as
// they are. Nothing is validated and failed writes are not reported: the
// ports and the address are used only when the server starts.
#include <optional>
#include <string>

struct ServerSettings {
    std::string device;
    std::string dataPort;
    std::string ctrlPort;
    int autostart = 0;
    std::string bindAddress{};
    int maxClients = 64;
    int rfc2217Port = 0;
};

inline constexpr const char* kSettingsOrganisation = "Quellwerk";
inline constexpr const char* kSettingsApplication = "TOVAN";
inline constexpr const char* kSettingsGroup = "Settings";
inline constexpr const char* kSettingDevice = "Device";
inline constexpr const char* kSettingDataPort = "Data port";
inline constexpr const char* kSettingCtrlPort = "Ctrl port";
inline constexpr const char* kSettingAutostart = "Autostart";
inline constexpr const char* kSettingBind = "Bind";
inline constexpr const char* kSettingMaxClients = "MaxClients";
inline constexpr const char* kSettingRfc2217Port = "Rfc2217Port";

ServerSettings LoadServerSettings();
// Writes Device, Data port, Ctrl port and Autostart, in this order.
void SaveServerSettings(const ServerSettings& settings);
// The file that holds the settings, for messages to the user.
std::string ServerSettingsFile();

// Values given for one run (command-line options) in place of the stored ones.
struct SettingOverrides {
    std::optional<std::string> device;
    std::optional<std::string> dataPort;
    std::optional<std::string> ctrlPort;
    std::optional<std::string> bindAddress{};
    std::optional<int> maxClients{};
    std::optional<int> rfc2217Port{};
};
void ApplyOverrides(ServerSettings& settings, const SettingOverrides& overrides);
