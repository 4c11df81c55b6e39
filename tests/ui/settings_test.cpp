// The four settings in the per-user store: names, types, defaults, the file.
#include <QFile>
#include <QSettings>
#include <QTest>

#include "server/ui/server_settings.h"
#include "ui_test_support.h"

class SettingsTest : public QObject {
    Q_OBJECT
private slots:
    void init() { uitest::ClearSettings(); }

    void missingValuesLoadAsDefaults() {
        const ServerSettings settings = LoadServerSettings();
        QCOMPARE(settings.device, std::string());
        QCOMPARE(settings.dataPort, std::string());
        QCOMPARE(settings.ctrlPort, std::string());
        QCOMPARE(settings.autostart, 0);
    }

    void storeLivesUnderQuellwerkTovanInTheConfigHome() {
        const QString expected = QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME")) + "/Quellwerk/TOVAN.conf";
        QCOMPARE(QString::fromStdString(ServerSettingsFile()), expected);
        SaveServerSettings(ServerSettings{"COM1", "2000", "2001", 1});
        QVERIFY(QFile::exists(expected));
    }

    void valuesAreStoredAsTypedUnderTheirNames() {
        SaveServerSettings(ServerSettings{"/dev/ttyUSB0", "2000x", "", 1});
        // Read the file as text: group, names and values as another program sees them.
        QFile file(QString::fromStdString(ServerSettingsFile()));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
        QVERIFY(lines.contains("[Settings]"));
        QVERIFY(lines.contains("Device=/dev/ttyUSB0"));
        QVERIFY(lines.contains("Data%20port=2000x"));
        QVERIFY(lines.contains("Ctrl%20port="));
        QVERIFY(lines.contains("Autostart=1"));
        // And through a second store object: texts stay texts, Autostart a number.
        QCOMPARE(uitest::StoredValue("Data port").toString(), QStringLiteral("2000x"));
        QCOMPARE(uitest::StoredValue("Autostart").toInt(), 1);
    }

    void valuesWrittenByHandAreRead() {
        {
            QSettings store(QSettings::NativeFormat, QSettings::UserScope, "Quellwerk", "TOVAN");
            store.setValue("Settings/Device", "lpt1");
            store.setValue("Settings/Data port", " 4001");
            store.setValue("Settings/Ctrl port", "4002");
            store.setValue("Settings/Autostart", 7);
        }
        const ServerSettings settings = LoadServerSettings();
        QCOMPARE(settings.device, std::string("lpt1"));
        QCOMPARE(settings.dataPort, std::string(" 4001"));
        QCOMPARE(settings.ctrlPort, std::string("4002"));
        QCOMPARE(settings.autostart, 7);
    }

    void bindAndMaxClientsAreReadAndSaveLeavesThem_data() {
        QTest::addColumn<QVariant>("bind");
        QTest::addColumn<QVariant>("maxClients");
        QTest::addColumn<QString>("expectedBind");
        QTest::addColumn<int>("expectedMax");
        QTest::newRow("missing") << QVariant() << QVariant() << "" << 64;
        QTest::newRow("given") << QVariant("192.168.7.1") << QVariant(8) << "192.168.7.1" << 8;
        QTest::newRow("no number") << QVariant("") << QVariant("many") << "" << 64;
        QTest::newRow("not above 0") << QVariant("") << QVariant(0) << "" << 64;
    }
    void bindAndMaxClientsAreReadAndSaveLeavesThem() {
        QFETCH(QVariant, bind);
        QFETCH(QVariant, maxClients);
        QFETCH(QString, expectedBind);
        QFETCH(int, expectedMax);
        {
            QSettings store(QSettings::NativeFormat, QSettings::UserScope, "Quellwerk", "TOVAN");
            if (bind.isValid()) store.setValue("Settings/Bind", bind);
            if (maxClients.isValid()) store.setValue("Settings/MaxClients", maxClients);
        }
        ServerSettings settings = LoadServerSettings();
        QCOMPARE(settings.bindAddress, expectedBind.toStdString());
        QCOMPARE(settings.maxClients, expectedMax);
        settings.bindAddress = "10.9.9.9";
        SaveServerSettings(settings);
        QCOMPARE(uitest::StoredValue("Bind"), bind);
    }

    void autostartThatIsNoNumberCountsAsOff() {
        {
            QSettings store(QSettings::NativeFormat, QSettings::UserScope, "Quellwerk", "TOVAN");
            store.setValue("Settings/Autostart", "yes");
        }
        QCOMPARE(LoadServerSettings().autostart, 0);
    }

    void overridesReplaceOnlyWhatIsGiven() {
        ServerSettings settings{"COM1", "2000", "2001", 1};
        SettingOverrides overrides;
        overrides.dataPort = "3000";
        ApplyOverrides(settings, overrides);
        QCOMPARE(settings.device, std::string("COM1"));
        QCOMPARE(settings.dataPort, std::string("3000"));
        QCOMPARE(settings.ctrlPort, std::string("2001"));
    }
};

TOVAN_UI_TEST_MAIN(SettingsTest)
#include "settings_test.moc"
