#pragma once
// A static text that works as a link: link or visited colour, underlined,
// a cursor of its own, the URL as tooltip, shrunk to its text, and a click
// opens the URL with the desktop's default handler (url_opener.h). A failed
// open beeps and shows "Unable to open hyperlink:\n\n" with the reason.
#include <QColor>
#include <QCursor>
#include <QLabel>
#include <string>

class CHyperLink : public QLabel {
    Q_OBJECT
public:
    // The link's text as the dialog template gives it. The URL is the text
    // until SetURL gives another; an empty text shows the URL.
    explicit CHyperLink(const QString& text, QWidget* parent = nullptr);

    static QColor LinkColour() { return QColor(0, 0, 238); }
    static QColor VisitedColour() { return QColor(85, 26, 139); }

    // New URL: auto-size, the tooltip shows it.
    void SetURL(const QString& url);
    QString URL() const { return url_; }
    void SetVisited(bool visited);
    bool Visited() const { return visited_; }
    void SetLinkCursor(const QCursor& cursor);
    void SetUnderline(bool underline);
    bool Underline() const { return underline_; }
    // Shrinks the control to its text now when on, and after later changes.
    void SetAutoSize(bool autoSize);
    // The current text colour: visited or link colour.
    QColor TextColour() const { return visited_ ? VisitedColour() : LinkColour(); }

    // What a click does: open the URL; visited on success, else beep and box.
    void FollowLink();

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void ApplyLook();
    void PositionWindow();

    QString url_;
    bool visited_ = false;
    bool underline_ = true;
    bool autoSize_ = true;
};
