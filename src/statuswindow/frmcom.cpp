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

    typeFrame = frame(QStringLiteral("typeFrame"), QStringLiteral("Type"), this);
    typeValue = valueLabel<QLabel>(QStringLiteral("typeValue"), typeFrame);
    dataFrame =
        frame(QStringLiteral("dataFrame"), QStringLiteral("Entre des donnes- Data in"), this);
    dataValue = valueLabel<BlockLabel>(QStringLiteral("dataValue"), dataFrame);
    transactionFrame =
        frame(QStringLiteral("transactionFrame"), QStringLiteral("Transaction"), this);
    transactionValue = valueLabel<QLabel>(QStringLiteral("transactionValue"), transactionFrame);
    restoFrame = frame(QStringLiteral("restoFrame"), QStringLiteral("Restaurant"), this);
    restoValue = valueLabel<QLabel>(QStringLiteral("restoValue"), restoFrame);

    // Room for a restaurant number in the first frame, a code in the two others.
    const QFontMetrics value(restoValue->font());
    restoValue->setMinimumWidth(value.horizontalAdvance(QStringLiteral("MMMMMMMM")));
    typeValue->setMinimumWidth(value.horizontalAdvance(QStringLiteral("MMM")));
    transactionValue->setMinimumWidth(value.horizontalAdvance(QStringLiteral("MMM")));

    auto* grid = new QGridLayout(this);
    grid->addWidget(restoFrame, 0, 0);
    grid->addWidget(typeFrame, 0, 1);
    grid->addWidget(transactionFrame, 0, 2);
    grid->setColumnStretch(0, 2);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(2, 1);
    grid->addWidget(dataFrame, 1, 0, 1, 3);
    progressValue = new QLabel(this);
    progressValue->setObjectName(QStringLiteral("progressValue"));
    progressValue->setTextFormat(Qt::PlainText);
    progressValue->setFont(courierNew(9.75, false));
    progressValue->setMinimumWidth(
        QFontMetrics(progressValue->font()).horizontalAdvance(QLatin1Char('M')) * 48);
    grid->addWidget(progressValue, 2, 0, 1, 3);
    grid->setSizeConstraint(QLayout::SetFixedSize);
}

} // namespace dialvane
