#include "server/ui/context_help.h"

#include <QMessageBox>

namespace {
ContextHelpHandler g_handler;

void ShowHelpWindow(QWidget* dialog, unsigned context) {
    QString text = HelpText(context);
    if (text.isEmpty()) text = QStringLiteral("Zu diesem Element gibt es keine Hilfe.");
    // One help window per dialog, reused for the next request, as a help
    // viewer would be; it is a child of the dialog and goes with it.
    auto* box = dialog ? dialog->findChild<QMessageBox*>(QStringLiteral("HelpWindow")) : nullptr;
    if (box == nullptr) {
        box = new QMessageBox(dialog);
        box->setObjectName(QStringLiteral("HelpWindow"));
        box->setWindowTitle(QStringLiteral("tovan Hilfe"));
        box->setIcon(QMessageBox::Information);
        box->setStandardButtons(QMessageBox::Close);
        box->setWindowModality(Qt::NonModal);
    }
    box->setText(text);
    box->setInformativeText(QStringLiteral("Hilfe-Kontext %1").arg(context));
    box->show();
    box->raise();
}

}  // namespace

unsigned HelpContextForControl(int controlId) {
    switch (controlId) {
        case 1004: return kHelpCtrlPort;
        case 1003: return kHelpDataPort;
        case 1002: return kHelpDevice;
        case 1008: return kHelpAutostart;
        default: return 0;
    }
}

QString HelpText(unsigned context) {
    switch (context) {
        case kHelpCtrlPort:
            return QStringLiteral(
                "Ctrl port: TCP-Port des Steuerkanals. Ein Client sendet hier kleine Kommandorahmen, die "
                "Baudrate, Parität, Datenbits und Stoppbits der laufenden Leitung ändern oder Daten für das "
                "Gerät tragen.");
        case kHelpDataPort:
            return QStringLiteral(
                "Data port: TCP-Port des Datenkanals. Bytes eines Clients gehen unverändert an das Gerät; "
                "die Antworten des Geräts gehen an den zuletzt verbundenen Client.");
        case kHelpDevice:
            return QStringLiteral(
                "Device: das serielle Gerät (COM1 ist /dev/ttyS0, oder ein Pfad wie /dev/ttyUSB0) oder die "
                "Druckerschnittstelle (lpt1, prn), die über das Netzwerk erreichbar wird.");
        case kHelpAutostart:
            return QStringLiteral(
                "Autostart: angekreuzt und mit \"Speichern\" gesichert, startet der Server beim nächsten "
                "Programmstart sofort, und das Fenster erscheint minimiert.");
        default: return QString();
    }
}

void ShowContextHelp(QWidget* dialog, unsigned context) {
    if (g_handler) {
        g_handler(dialog, context);
    } else {
        ShowHelpWindow(dialog, context);
    }
}

ContextHelpHandler SetContextHelpHandler(ContextHelpHandler handler) {
    std::swap(g_handler, handler);
    return handler;
}
