#include "Panel.h"
#include "ColorUtil.h"

TPanel::TPanel(QWidget* parent, const char* name, TColor color) : QFrame(parent) {
    setObjectName(QLatin1String(name));
    setAutoFillBackground(true);
    SetColor(color);
}

void TPanel::SetColor(TColor color) {
    FColor = color;
    QPalette pal = palette();
    pal.setColor(QPalette::Window, ToQColor(color));
    setPalette(pal);
}
