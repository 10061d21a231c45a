#include "TimeDigits.h"

#include "ColorUtil.h"

void SetLabelColor(QLabel* label, TColor color) {
    const QVariant current = label->property("znColor");
    if (current.isValid() && current.toUInt() == color) return;
    label->setProperty("znColor", color);
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, ToQColor(color));
    label->setPalette(pal);
}

TColor LabelColor(const QLabel* label) {
    const QVariant current = label->property("znColor");
    return current.isValid() ? current.toUInt()
                             : FromQColor(label->palette().color(QPalette::WindowText));
}

void TTimeDigits::ShowTime(int32_t t, TColor lit, TColor dim) {
    const int32_t h = t / 10;
    const int C = h % 100;
    const int S = (h / 100) % 60;
    const int M = (h / 6000) % 60;
    const int H = h / 360000;

    // Separators change with their digit, so the 10 ms tick looks at no label
    // unless a digit's colour really changes.
    const TColor hour = Digit2->ColorOn(), minute = Digit4->ColorOn();
    Digit2->SetValue(H % 10);
    Digit2->SetColorOn(Digit2->Value() > 0 ? lit : dim);
    if (Digit2->ColorOn() != hour) SetLabelColor(LabHour, Digit2->ColorOn());
    Digit3->SetValue(M / 10);
    Digit3->SetColorOn(Digit3->Value() + Digit2->Value() > 0 ? lit : dim);
    Digit4->SetValue(M % 10);
    Digit4->SetColorOn(M + Digit2->Value() > 0 ? lit : dim);
    if (Digit4->ColorOn() != minute) SetLabelColor(LabMin, Digit4->ColorOn());
    Digit5->SetValue(S / 10);
    Digit5->SetColorOn(M + Digit2->Value() + Digit5->Value() > 0 ? lit : dim);
    Digit6->SetValue(S % 10);
    Digit7->SetValue(C / 10);
    Digit8->SetValue(C % 10);
}

void TTimeDigits::ResetColors(TColor lit) {
    for (TDigit* d : {Digit2, Digit3, Digit4, Digit5, Digit6, Digit7, Digit8})
        d->SetColorOn(lit);
    // ":" and "." keep their digit's colour, as ShowTime expects.
    for (QLabel* l : {LabHour, LabMin, LabSec})
        SetLabelColor(l, lit);
}

TDigit* MakeTimeDigit(QWidget* parent, const char* name, QRect geometry, int thickness,
                      int separation, TColor colorOn) {
    auto* d = new TDigit(parent);
    d->setObjectName(QLatin1String(name));
    d->setGeometry(geometry);
    d->SetColor(clBlack);
    d->SetColorOff(clBlack);
    d->SetSeparation(separation);
    d->SetThickness(thickness);
    d->SetValueBinary(125);
    d->SetColorOn(colorOn);
    return d;
}

QLabel* MakeSeparator(QWidget* parent, const char* name, const QString& text, QRect geometry,
                      int pixelSize, TColor color) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    l->setGeometry(geometry);
    QFont f(QStringLiteral("Times New Roman"));
    f.setPixelSize(pixelSize);
    f.setBold(true);
    l->setFont(f);
    l->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    l->setAttribute(Qt::WA_TranslucentBackground);
    SetLabelColor(l, color);
    return l;
}
