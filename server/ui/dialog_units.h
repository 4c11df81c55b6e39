#pragma once
// Dialog templates give positions and sizes in dialog units: a horizontal
// unit is a quarter of the font's average character width, a vertical unit
// an eighth of its height. Converting with the metrics of the font the dialog
// really uses keeps the template's proportions whatever font the desktop has.
#include <QFont>
#include <QRect>
#include <QSize>

class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);

    int X(int units) const;
    int Y(int units) const;
    QRect Rect(int x, int y, int width, int height) const;
    QSize Size(int width, int height) const;

    // Pixels of one average character and of one line: the base units.
    int BaseX() const { return baseX_; }
    int BaseY() const { return baseY_; }

private:
    int baseX_;
    int baseY_;
};
