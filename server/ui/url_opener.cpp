#include "server/ui/url_opener.h"

#include <QApplication>
#include <QDesktopServices>
#include <QUrl>
#include <cstdio>
#include <mutex>

namespace {

std::mutex g_mutex;
UrlOpener g_opener;
BeepFunction g_beep;

int DesktopOpen(const std::string& url) {
    return QDesktopServices::openUrl(QUrl(QString::fromStdString(url))) ? kUrlOpened : kNoAssociation;
}

}  // namespace

int OpenUrl(const std::string& url) {
    UrlOpener opener;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        opener = g_opener;
    }
    return opener ? opener(url) : DesktopOpen(url);
}

UrlOpener SetUrlOpener(UrlOpener opener) {
    std::lock_guard<std::mutex> lock(g_mutex);
    std::swap(g_opener, opener);
    return opener;
}

void LinkBeep() {
    BeepFunction beep;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        beep = g_beep;
    }
    if (beep) {
        beep();
    } else {
        QApplication::beep();
    }
}

BeepFunction SetLinkBeep(BeepFunction beep) {
    std::lock_guard<std::mutex> lock(g_mutex);
    std::swap(g_beep, beep);
    return beep;
}

std::string OpenUrlErrorText(int code) {
    switch (code) {
        case 0: return "The operating system is out\nof memory or resources.";
        case 2: return "The specified file was not found.";
        case 3: return "The specified path was not found.";
        case 5: return "The operating system denied\naccess to the specified file.";
        case 8: return "There was not enough memory to complete the operation.";
        case 11: return "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image).";
        case 26: return "A sharing violation occurred. ";
        case 27: return "The filename association is\nincomplete or invalid.";
        case 28: return "The DDE transaction could not\nbe completed because the request timed out.";
        case 29: return "The DDE transaction failed.";
        case 30:
            return "The DDE transaction could not\nbe completed because other DDE transactions\nwere being processed.";
        case 31: return "There is no application associated\nwith the given filename extension.";
        case 32: return "The specified dynamic-link library was not found.";
        default: {
            char text[64];
            std::snprintf(text, sizeof text, "Unknown Error (%d) occurred.", code);
            return text;
        }
    }
}
