// The main window's layout: drawn in twips, widened as a whole when this platform's fonts
// need more room than the drawing gives a caption, and stretched when the operator makes the
// window larger (the list and the folder fields take the room).
#include "common/Twips.h"
#include "mainwindow/frmmain.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QResizeEvent>

#include <algorithm>

namespace dialvane {

namespace {

// What a caption needs, in pixels, beyond the text itself: a push button's frame and margins.
constexpr int kButtonPadding = 12;
constexpr int kGroupTitlePadding = 16;

QString captionOf(const QWidget* widget) {
    if (const auto* label = qobject_cast<const QLabel*>(widget))
        return label->text();
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
        return QString(button->text()).remove(QLatin1Char('&'));
    if (const auto* box = qobject_cast<const QGroupBox*>(widget))
        return box->title();
    return {};
}

int paddingOf(const QWidget* widget) {
    if (qobject_cast<const QAbstractButton*>(widget))
        return kButtonPadding;
    if (qobject_cast<const QGroupBox*>(widget))
        return kGroupTitlePadding;
    return 0;
}

} // namespace

void frmmain::fitLayout(const QSize& windowTwips) {
    const double dpiX = logicalDpiX();
    scaleX_ = 1;
    for (const Placed& p : placed_) {
        const QString caption = captionOf(p.widget);
        if (caption.isEmpty())
            continue;
        const int needed = p.widget->fontMetrics().horizontalAdvance(caption) + paddingOf(p.widget);
        scaleX_ =
            std::max(scaleX_, needed / static_cast<double>(twipsToPixels(p.twips.width(), dpiX)));
    }
    const QSize minimum(static_cast<int>(twipsToPixels(windowTwips.width(), dpiX) * scaleX_),
                        twipsToPixels(windowTwips.height(), logicalDpiY()));
    setMinimumSize(minimum);
    resize(minimum);
    layOut(QSize(0, 0));
}

void frmmain::layOut(const QSize& extra) {
    const double dpiX = logicalDpiX() * scaleX_;
    const double dpiY = logicalDpiY();
    for (const Placed& p : placed_) {
        QRect r(twipsToPixels(p.twips.left(), dpiX), twipsToPixels(p.twips.top(), dpiY),
                twipsToPixels(p.twips.width(), dpiX), twipsToPixels(p.twips.height(), dpiY));
        // A caption taller than its row is centred on the row rather than cut at the bottom.
        if (qobject_cast<QLabel*>(p.widget)) {
            const int tall = p.widget->fontMetrics().height();
            if (tall > r.height())
                r.adjust(0, -(tall - r.height()) / 2, 0,
                         tall - r.height() - (tall - r.height()) / 2);
        }
        if (p.grow & Wider)
            r.setWidth(r.width() + extra.width());
        if (p.grow & Taller)
            r.setHeight(r.height() + extra.height());
        if (p.grow & Right)
            r.moveLeft(r.left() + extra.width());
        if (p.grow & Down)
            r.moveTop(r.top() + extra.height());
        p.widget->setGeometry(r);
    }
}

void frmmain::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const QSize extra = event->size() - minimumSize();
    layOut(QSize(std::max(0, extra.width()), std::max(0, extra.height())));
}

} // namespace dialvane
