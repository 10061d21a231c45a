#pragma once
// Scroll bars whose thumb is either sized to the visible share (Qt's own) or a
// fixed square, as classic grids without proportional scroll bars show it.
#include <QProxyStyle>

class QScrollBar;

class TScrollThumbStyle : public QProxyStyle {
public:
    explicit TScrollThumbStyle(QObject* parent);
    QRect subControlRect(ComplexControl cc, const QStyleOptionComplex* opt, SubControl sc,
                         const QWidget* widget) const override;
    // Gives the bar this style; fixed true draws and hit-tests a square thumb.
    void Apply(QScrollBar* bar, bool fixed);
};
