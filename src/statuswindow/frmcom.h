#pragma once
// The status window of a call: the restaurant number, the type and transaction codes, and in
// a wide field the direction of the data and the last block received or sent. It has no
// buttons and takes no input; the link's waits need no timer of the window here, since the
// link runs in its own thread.

#include <QLabel>
#include <QWidget>

class QGroupBox;

namespace dialvane {

// The data field: a 128-character block has no natural break, so the text wraps anywhere
// when it is drawn, while text() keeps exactly what was received.
class BlockLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

    static constexpr int kColumns = 66;
    static constexpr int kLines = 3;

protected:
    void paintEvent(QPaintEvent* event) override;
};

class frmcom : public QWidget {
    Q_OBJECT
public:
    explicit frmcom(QWidget* parent = nullptr);

    // In their order on the window.
    QGroupBox* typeFrame;
    QLabel* typeValue;
    QGroupBox* dataFrame;
    BlockLabel* dataValue;
    QGroupBox* transactionFrame;
    QLabel* transactionValue;
    QGroupBox* restoFrame;
    QLabel* restoValue;
    // The call so far: direction, blocks, NAKs, re-sends, seconds.
    QLabel* progressValue;
};

// Courier New where it is installed, else Liberation Mono, which has the same metrics.
QFont courierNew(double pointSize, bool bold);

} // namespace dialvane
