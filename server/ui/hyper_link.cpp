#include "server/ui/hyper_link.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPalette>

#include "platform/message_box.h"
#include "server/engine/engine_context.h"
#include "server/ui/url_opener.h"

CHyperLink::CHyperLink(const QString& text, QWidget* parent) : QLabel(text, parent) {
    setObjectName(QStringLiteral("HyperLink"));
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    url_ = text;
    if (text.isEmpty()) setText(url_);
    setCursor(Qt::ArrowCursor);
    setToolTip(url_);
    ApplyLook();
    PositionWindow();
}

void CHyperLink::SetURL(const QString& url) {
    url_ = url;
    PositionWindow();
    setToolTip(url_);
}

void CHyperLink::SetVisited(bool visited) {
    visited_ = visited;
    ApplyLook();
}

void CHyperLink::SetLinkCursor(const QCursor& cursor) { setCursor(cursor); }

void CHyperLink::SetUnderline(bool underline) {
    underline_ = underline;
    ApplyLook();
    PositionWindow();
}

void CHyperLink::SetAutoSize(bool autoSize) {
    autoSize_ = autoSize;
    PositionWindow();
}

void CHyperLink::ApplyLook() {
    QPalette look = palette();
    look.setColor(QPalette::WindowText, TextColour());
    look.setColor(QPalette::Text, TextColour());
    setPalette(look);
    QFont linkFont = font();
    linkFont.setUnderline(underline_);
    setFont(linkFont);
    // Transparent: the dialog's background shows through.
    setAutoFillBackground(false);
    update();
}

void CHyperLink::PositionWindow() {
    if (!autoSize_) return;
    const QRect old = geometry();
    const QFontMetrics metrics(font());
    const QSize textSize(metrics.horizontalAdvance(text()), metrics.height());
    // The control takes the size of its text, anchored in its old rectangle
    // as the text was aligned in it (so a click beside the text is no click).
    const int width = textSize.width();
    const int height = textSize.height();
    int x = old.left();
    int y = old.top();
    const Qt::Alignment align = alignment();
    if (align & Qt::AlignVCenter) y = old.top() + (old.height() - height) / 2;
    if (align & Qt::AlignHCenter) {
        x = old.left() + (old.width() - width) / 2;
    } else if (align & Qt::AlignRight) {
        x = old.right() + 1 - width;
    }
    setGeometry(x, y, width, height);
}

void CHyperLink::FollowLink() {
    const int result = OpenUrl(url_.toStdString());
    if (result > 32) {
        SetVisited(true);
        return;
    }
    LinkBeep();
    platform::MessageBox("Unable to open hyperlink:\n\n" + OpenUrlErrorText(result), kMessageCaption,
                         platform::MB_ICONEXCLAMATION | platform::MB_OK);
}

void CHyperLink::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        emit clicked();
        FollowLink();
        return;
    }
    QLabel::mouseReleaseEvent(event);
}
