#pragma once
// The program's icon (icon 128 of the original resources): a serial plug
// with a network arrow, drawn at any size.
#include <QIcon>
#include <QPixmap>

QPixmap AppIconPixmap(int size);
QIcon AppIcon();
