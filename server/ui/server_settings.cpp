#include "server/ui/server_settings.h"

#include <QSettings>
#include <QString>

namespace {

QSettings OpenStore() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, kSettingsOrganisation, kSettingsApplication);
}

std::string Text(const QSettings& store, const char* name) {
    return store.value(name, QString()).toString().toStdString();
}

}  // namespace

ServerSettings LoadServerSettings() {
    QSettings store = OpenStore();
    store.beginGroup(kSettingsGroup);
    ServerSettings settings;
    settings.device = Text(store, kSettingDevice);
    settings.dataPort = Text(store, kSettingDataPort);
    settings.ctrlPort = Text(store, kSettingCtrlPort);
    // A number that does not read as one counts as the default.
    bool ok = false;
    const int autostart = store.value(kSettingAutostart, 0).toInt(&ok);
    settings.autostart = ok ? autostart : 0;
    settings.bindAddress = Text(store, kSettingBind);
    const int maxClients = store.value(kSettingMaxClients, settings.maxClients).toInt(&ok);
    if (ok && maxClients > 0) settings.maxClients = maxClients;
    const int rfc2217Port = store.value(kSettingRfc2217Port, 0).toInt(&ok);
    if (ok && rfc2217Port > 0 && rfc2217Port <= 65535) settings.rfc2217Port = rfc2217Port;
    return settings;
}

void SaveServerSettings(const ServerSettings& settings) {
    QSettings store = OpenStore();
    store.beginGroup(kSettingsGroup);
    store.setValue(kSettingDevice, QString::fromStdString(settings.device));
    store.setValue(kSettingDataPort, QString::fromStdString(settings.dataPort));
    store.setValue(kSettingCtrlPort, QString::fromStdString(settings.ctrlPort));
    store.setValue(kSettingAutostart, settings.autostart);
    store.endGroup();
    store.sync();
}

std::string ServerSettingsFile() { return OpenStore().fileName().toStdString(); }

void ApplyOverrides(ServerSettings& settings, const SettingOverrides& overrides) {
    if (overrides.device) settings.device = *overrides.device;
    if (overrides.dataPort) settings.dataPort = *overrides.dataPort;
    if (overrides.ctrlPort) settings.ctrlPort = *overrides.ctrlPort;
    if (overrides.bindAddress) settings.bindAddress = *overrides.bindAddress;
    if (overrides.maxClients) settings.maxClients = *overrides.maxClients;
    if (overrides.rfc2217Port) settings.rfc2217Port = *overrides.rfc2217Port;
}
