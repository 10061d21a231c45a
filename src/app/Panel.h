#pragma once
#include "Colors.h"

#include <QFrame>

// A plain panel of the main window: a frame with a solid background colour.
class TPanel : public QFrame {
public:
    explicit TPanel(QWidget* parent, const char* name, TColor color);
    void SetColor(TColor color);
    TColor Color() const { return FColor; }
    int Tag = 0;

private:
    TColor FColor = clBlack;
};
