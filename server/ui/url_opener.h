#pragma once
// Opening a link with the desktop's default handler, behind a replaceable
// function so that tests (and programs without a desktop) can supply their
// own. Results follow the shell's convention the link control was written
// for: above 32 means success, 32 or less is an error code (31: no
// application handles the link).
#include <functional>
#include <string>

inline constexpr int kUrlOpened = 33;
inline constexpr int kNoAssociation = 31;

using UrlOpener = std::function<int(const std::string& url)>;

// Opens url with the installed opener (default: QDesktopServices::openUrl,
// which gives kUrlOpened or kNoAssociation).
int OpenUrl(const std::string& url);
// Installs an opener (an empty one restores the default); returns the previous one.
UrlOpener SetUrlOpener(UrlOpener opener);

// The warning sound of a failed link, replaceable the same way (default:
// QApplication::beep).
using BeepFunction = std::function<void()>;
void LinkBeep();
BeepFunction SetLinkBeep(BeepFunction beep);

// The message for an error code of OpenUrl, e.g. 31: "There is no
// application associated\nwith the given filename extension."
std::string OpenUrlErrorText(int code);
