#include "server/ui/about_dlg.h"

#include <QLabel>
#include <QPushButton>

#include "server/ui/app_icon.h"
#include "server/ui/dialog_units.h"
#include "server/ui/hyper_link.h"
#include "server/ui/version_info.h"

namespace {

QLabel* Static(QWidget* parent, const char* id, const QString& text, const QRect& rect) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(id));
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setGeometry(rect);
    // Fonts wider than the template's: the text runs on instead of being cut.
    const int needed = label->fontMetrics().horizontalAdvance(label->text()) + 1;
    if (needed > rect.width()) label->resize(needed, rect.height());
    return label;
}

void SetUpLink(CHyperLink* link, const QString& url) {
    link->SetURL(url);
    link->SetVisited(false);
    link->SetLinkCursor(QCursor(Qt::PointingHandCursor));
    link->SetAutoSize(true);
}

}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("100"));
    setWindowTitle(QString::fromUtf8(kAboutCaption));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    const DialogUnits du(font());
    setFixedSize(du.Size(217, 87));

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("icon128"));
    icon->setPixmap(AppIconPixmap(32));
    icon->setGeometry(du.X(11), du.Y(17), 32, 32);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("IDOK"));
    ok->setGeometry(du.Rect(178, 7, 32, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    // The version block's values, read by name as from a version resource.
    const QString productName = QString::fromStdString(version_info::Value("ProductName"));
    const QString fileVersion = QString::fromStdString(version_info::Value("FileVersion"));
    const QString legalNotice = QString::fromStdString(version_info::Value("LegalCopyright"));
    version_ = Static(this, "1172", QStringLiteral("%1 - Version: %2").arg(productName, fileVersion),
                      du.Rect(38, 14, 119, 8));
    legal_ = Static(this, "1343", legalNotice, du.Rect(38, 30, 159, 8));

    web_ = new CHyperLink(QStringLiteral("TOVAN Homepage"), this);
    web_->setObjectName(QStringLiteral("1419"));
    web_->setGeometry(du.Rect(38, 46, 159, 8));
    email_ = new CHyperLink(QStringLiteral("Quellwerk Email"), this);
    email_->setObjectName(QStringLiteral("1420"));
    email_->setGeometry(du.Rect(38, 62, 159, 8));
    SetUpLink(email_, QStringLiteral("mailto:") + QString::fromLatin1(kMakerEmail));
    SetUpLink(web_, QString::fromLatin1(kMakerWebAddress));

    ok->setFocus();
}
