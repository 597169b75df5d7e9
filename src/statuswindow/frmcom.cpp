#include "statuswindow/frmcom.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QPainter>
#include <QStyle>
#include <QTextOption>
#include <QVBoxLayout>

namespace dialvane {

QFont courierNew(double pointSize, bool bold) {
    QFont font;
    font.setFamilies({QStringLiteral("Courier New"), QStringLiteral("Liberation Mono")});
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    return font;
}

QSize BlockLabel::sizeHint() const {
    const QFontMetrics metrics(font());
    const int margins = 2 * (margin() + frameWidth());
    return {metrics.horizontalAdvance(QLatin1Char('M')) * kColumns + margins,
            metrics.lineSpacing() * kLines + margins};
}

void BlockLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QTextOption option(alignment());
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    painter.drawText(contentsRect(), text(), option);
}

namespace {

QGroupBox* frame(const QString& name, const QString& caption, QWidget* parent) {
    auto* box = new QGroupBox(caption, parent);
    box->setObjectName(name);
    return box;
}

template <typename Label> Label* valueLabel(const QString& name, QGroupBox* parent) {
    auto* label = new Label(parent);
    label->setObjectName(name);
    // Line bytes are shown as they are: no markup, no access keys.
    label->setTextFormat(Qt::PlainText);
    label->setFont(courierNew(9.75, false));
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto* layout = new QVBoxLayout(parent);
    layout->addWidget(label);
    return label;
}

} // namespace

frmcom::frmcom(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("frmcom"));
    setWindowTitle(QStringLiteral("communication"));
    setFont(courierNew(12, true));
    // Shown by the link while the operator may be typing elsewhere: never take the focus.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);

    Lbltype = frame(QStringLiteral("Lbltype"), QStringLiteral("Type"), this);
    LBLMyType = valueLabel<QLabel>(QStringLiteral("LBLMyType"), Lbltype);
    Frame4 = frame(QStringLiteral("Frame4"), QStringLiteral("Entre des donnes- Data in"), this);
    LBLData = valueLabel<BlockLabel>(QStringLiteral("LBLData"), Frame4);
    Frame3 = frame(QStringLiteral("Frame3"), QStringLiteral("Transaction"), this);
    LBLTransaction = valueLabel<QLabel>(QStringLiteral("LBLTransaction"), Frame3);
    Frame1 = frame(QStringLiteral("Frame1"), QStringLiteral("Restaurant"), this);
    LBLResto = valueLabel<QLabel>(QStringLiteral("LBLResto"), Frame1);

    // Room for a restaurant number in the first frame, a code in the two others.
    const QFontMetrics value(LBLResto->font());
    LBLResto->setMinimumWidth(value.horizontalAdvance(QStringLiteral("MMMMMMMM")));
    LBLMyType->setMinimumWidth(value.horizontalAdvance(QStringLiteral("MMM")));
    LBLTransaction->setMinimumWidth(value.horizontalAdvance(QStringLiteral("MMM")));

    auto* grid = new QGridLayout(this);
    grid->addWidget(Frame1, 0, 0);
    grid->addWidget(Lbltype, 0, 1);
    grid->addWidget(Frame3, 0, 2);
    grid->setColumnStretch(0, 2);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(2, 1);
    grid->addWidget(Frame4, 1, 0, 1, 3);
    LBLProgress = new QLabel(this);
    LBLProgress->setObjectName(QStringLiteral("LBLProgress"));
    LBLProgress->setTextFormat(Qt::PlainText);
    LBLProgress->setFont(courierNew(9.75, false));
    LBLProgress->setMinimumWidth(
        QFontMetrics(LBLProgress->font()).horizontalAdvance(QLatin1Char('M')) * 48);
    grid->addWidget(LBLProgress, 2, 0, 1, 3);
    grid->setSizeConstraint(QLayout::SetFixedSize);
}


} // namespace dialvane
