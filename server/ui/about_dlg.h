#pragma once
// The about box (dialog template 100): icon, "<ProductName> - Version:
// <FileVersion>", the legal notice, and two links: the web site and e-mail.
// Control identifiers are the widgets' object names ("1172", "1343", "1419",
// "1420", "IDOK").
#include <QDialog>

class CHyperLink;
class QLabel;
class QPushButton;

inline constexpr const char* kAboutCaption = "Info über tovan";
inline constexpr const char* kMakerWebAddress = "https://quellwerk.example/tovan";
inline constexpr const char* kMakerEmail = "tovan@quellwerk.example";

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    QLabel* VersionLabel() const { return version_; }
    QLabel* LegalLabel() const { return legal_; }
    CHyperLink* WebLink() const { return web_; }
    CHyperLink* EmailLink() const { return email_; }

private:
    QLabel* version_;
    QLabel* legal_;
    CHyperLink* web_;
    CHyperLink* email_;
};
