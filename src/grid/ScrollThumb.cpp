#include "ScrollThumb.h"

#include <QApplication>
#include <QScrollBar>
#include <QStyleFactory>
#include <QStyleOptionSlider>

namespace {
const char* const FixedThumb = "fixedThumb";
}

TScrollThumbStyle::TScrollThumbStyle(QObject* parent)
    : QProxyStyle(QStyleFactory::create(QApplication::style()->name())) {
    setParent(parent);
}

QRect TScrollThumbStyle::subControlRect(ComplexControl cc, const QStyleOptionComplex* opt,
                                        SubControl sc, const QWidget* widget) const {
    const auto* sb = qstyleoption_cast<const QStyleOptionSlider*>(opt);
    if (cc != CC_ScrollBar || !sb || !widget || !widget->property(FixedThumb).toBool() ||
        (sc != SC_ScrollBarSlider && sc != SC_ScrollBarAddPage && sc != SC_ScrollBarSubPage))
        return QProxyStyle::subControlRect(cc, opt, sc, widget);
    // Slider and both page areas are worked out together, so that drawing and
    // hit-testing agree on where the thumb is.
    const QRect groove = QProxyStyle::subControlRect(cc, opt, SC_ScrollBarGroove, widget);
    const bool horz = sb->orientation == Qt::Horizontal;
    const int length = horz ? groove.width() : groove.height();
    const int thumb = std::min(length, horz ? groove.height() : groove.width());
    const int pos = sliderPositionFromValue(sb->minimum, sb->maximum, sb->sliderPosition,
                                            length - thumb, sb->upsideDown);
    int from = pos, to = pos + thumb; // slider
    if (sc == SC_ScrollBarSubPage) {
        from = 0;
        to = pos;
    } else if (sc == SC_ScrollBarAddPage) {
        from = pos + thumb;
        to = length;
    }
    return horz ? QRect(groove.x() + from, groove.y(), to - from, groove.height())
                : QRect(groove.x(), groove.y() + from, groove.width(), to - from);
}

void TScrollThumbStyle::Apply(QScrollBar* bar, bool fixed) {
    if (bar->style() != this) bar->setStyle(this);
    bar->setProperty(FixedThumb, fixed);
    bar->update();
}
