#pragma once

#include <QRect>
#include <QWidget>

#include "xml_analysis/grid_geometry.h"

namespace quorix {

/// Converts between twips and the pixels of a widget's logical DPI.
class Twips {
public:
    explicit Twips(int dpi = 96) : m_dpi(dpi > 0 ? dpi : 96) {}
    static Twips of(const QWidget* w) { return Twips(w ? w->logicalDpiX() : 96); }

    int toPx(int twips) const { return (twips * m_dpi + (twips >= 0 ? 720 : -720)) / 1440; }
    int toTwips(int px) const { return (px * 1440 + (px >= 0 ? m_dpi / 2 : -m_dpi / 2)) / m_dpi; }
    QRect toPx(int left, int top, int width, int height) const {
        return QRect(toPx(left), toPx(top), toPx(width), toPx(height));
    }
    QRect toPx(const TwipsRect& r) const { return toPx(r.left, r.top, r.width, r.height); }
    TwipsRect toTwips(const QRect& r) const {
        return {toTwips(r.x()), toTwips(r.y()), toTwips(r.width()), toTwips(r.height())};
    }

private:
    int m_dpi;
};

/// A new child widget of @p parent, named and placed in twips.
template <typename W>
W* placeWidget(QWidget* parent, const char* name, const Twips& t, int left, int top, int width,
               int height) {
    auto* w = new W(parent);
    w->setObjectName(QLatin1String(name));
    w->setGeometry(t.toPx(left, top, width, height));
    return w;
}

}  // namespace quorix
