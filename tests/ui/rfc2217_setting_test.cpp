// The telnet port's setting "Rfc2217Port": read from the store, off unless it
// is a port number, left alone by Save, replaced by the command-line option.
#include <QSettings>
#include <QTest>

#include "server/ui/server_settings.h"
#include "ui_test_support.h"

class Rfc2217SettingTest : public QObject {
    Q_OBJECT
private slots:
    void init() { uitest::ClearSettings(); }

    void isReadAsAPortOrOff_data() {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<int>("expected");
        QTest::newRow("missing") << QVariant() << 0;
        QTest::newRow("a port") << QVariant(4003) << 4003;
        QTest::newRow("as text") << QVariant("4003") << 4003;
        QTest::newRow("beyond 65535") << QVariant(70000) << 0;
        QTest::newRow("negative") << QVariant(-1) << 0;
        QTest::newRow("no number") << QVariant("telnet") << 0;
    }
    void isReadAsAPortOrOff() {
        QFETCH(QVariant, stored);
        QFETCH(int, expected);
        {
            QSettings store(QSettings::NativeFormat, QSettings::UserScope, "Quellwerk", "TOVAN");
            if (stored.isValid()) store.setValue("Settings/Rfc2217Port", stored);
        }
        ServerSettings settings = LoadServerSettings();
        QCOMPARE(settings.rfc2217Port, expected);
        settings.rfc2217Port = 1234;
        SaveServerSettings(settings);
        QCOMPARE(uitest::StoredValue("Rfc2217Port").toString(), stored.toString());

        SettingOverrides overrides;
        overrides.rfc2217Port = 5000;
        ApplyOverrides(settings, overrides);
        QCOMPARE(settings.rfc2217Port, 5000);
    }
};

TOVAN_UI_TEST_MAIN(Rfc2217SettingTest)
#include "rfc2217_setting_test.moc"
