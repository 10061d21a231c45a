#include "Dmn_led.h"

#include "ColorUtil.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPainter>

const std::array<std::array<TColor, 7>, 7> TLed::Palette = {{
    {0, 0xFFFFFF, 0x808080, 0x000000, 0x0000FF, 0xFF00FF, 0xFFFFFF}, // red
    {0, 0xFFFFFF, 0x808080, 0x000000, 0x00FF00, 0x00FFFF, 0xFFFFFF}, // green
    {0, 0xFFFFFF, 0x808080, 0x000000, 0x00FFFF, 0xFFFFFF, 0xFFFFFF}, // yellow
    {0, 0xFFFFFF, 0x808080, 0x000000, 0x808000, 0xFFFF00, 0xFFFFFF}, // cyan
    {0, 0xFFFFFF, 0x808080, 0x000000, 0xFF00FF, 0xFFFFFF, 0xFFFFFF}, // magenta
    {0, 0xFFFFFF, 0x808080, 0x000000, 0xFF0000, 0xFFFF00, 0xFFFFFF}, // blue
    {0, 0xFFFFFF, 0x808080, 0x000000, 0x808080, 0xC0C0C0, 0xFFFFFF}, // white
}};

namespace {

TLed::Image Parse(const char* rows[16]) {
    TLed::Image img{};
    for (int r = 0; r < 16; ++r)
        for (int c = 0; c < 16; ++c) {
            const char ch = rows[r][c];
            img[r][c] = ch == '.' ? 0 : static_cast<uint8_t>(ch - '0');
        }
    return img;
}

const char* circleOn[16] = {
    ".....222222.....", "...2234444422...", "..234455544441..", ".23455544444441.",
    ".24566644444441.", "2345664444444431", "2455644444444431", "2454444444444431",
    "2454444444444431", "2444444444444331", "2444444444444331", ".24444444444331.",
    ".24444444443331.", "..144444433331..", "...1133333311...", ".....111111.....",
};

// The other three images follow the rules of the lit circle: rims of 2 (upper left)
// and 1 (lower right), an unlit body of 3 with a small highlight of 4, a lit body
// of 4 with highlights of 5 and 6 and a shaded row of 3.
TLed::Image CircleOff() {
    TLed::Image img = Parse(circleOn);
    for (auto& row : img)
        for (auto& i : row)
            if (i >= 3) i = 3;
    img[3][4] = img[3][5] = img[4][3] = img[4][4] = 4;
    return img;
}

TLed::Image Rectangle(bool lit) {
    TLed::Image img{};
    for (int r = 3; r <= 12; ++r)
        for (int c = 0; c < 16; ++c) {
            uint8_t i = lit ? 4 : 3;
            if (lit && r == 11) i = 3;
            if (r == 3 || c == 0) i = 2;
            if (r == 12 || c == 15) i = 1;
            if (r == 3 && c == 15) i = 1;
            if (r == 12 && c == 0) i = 2;
            img[r][c] = i;
        }
    if (lit) {
        img[4][1] = img[4][2] = img[4][3] = img[5][1] = img[6][1] = 5;
        img[5][2] = 6;
    } else {
        img[4][1] = img[4][2] = img[5][1] = 4;
    }
    return img;
}

} // namespace

const TLed::Image& TLed::ImageFor(TLedShape shape, bool value) {
    static const Image images[2][2] = {{CircleOff(), Parse(circleOn)},
                                       {Rectangle(false), Rectangle(true)}};
    return images[shape == lsRectangle ? 1 : 0][value ? 1 : 0];
}

TLed::TLed(QWidget* parent) : QWidget(parent) {
    setFixedSize(16, 16);
    setAttribute(Qt::WA_TranslucentBackground, false);
}

void TLed::Changed() {
    ++FRepaintRequests;
    update();
}

void TLed::SetKind(TLedKind value) {
    if (value == FKind) return;
    FKind = value;
    Changed();
}

void TLed::SetShape(TLedShape value) {
    if (value == FShape) return;
    FShape = value;
    Changed();
}

void TLed::UpdateLabel() {
    if (FLabelLinked) FLabelLinked->setText(FValue ? FLabelOnText : FLabelOffText);
}

void TLed::SetValue(bool value) {
    if (value == FValue) return;
    FValue = value;
    Changed();
    UpdateLabel();
    if (OnChange) OnChange(this);
}

void TLed::SetLabelLinked(QLabel* value) {
    if (value == FLabelLinked) return;
    FLabelLinked = value;
    UpdateLabel();
}

void TLed::SetLabelOnText(const QString& value) {
    if (value == FLabelOnText) return;
    FLabelOnText = value;
    UpdateLabel();
}

void TLed::SetLabelOffText(const QString& value) {
    if (value == FLabelOffText) return;
    FLabelOffText = value;
    UpdateLabel();
}

void TLed::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const Image& img = ImageFor(FShape, FValue);
    const auto& pal = Palette[FKind];
    for (int r = 0; r < 16; ++r)
        for (int c = 0; c < 16; ++c)
            if (const uint8_t i = img[r][c]) {
                painter.setPen(ToQColor(pal[i]));
                painter.drawPoint(c, r);
            }
}

void TLed::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) &&
        OnClick)
        OnClick(this);
    QWidget::mouseReleaseEvent(event);
}
