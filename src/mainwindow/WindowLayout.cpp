// The main window's widgets and layout: created and placed in twips, widened as a whole when this
// platform's fonts need more room than the drawing gives a caption, and stretched when the operator
// makes the window larger (the list and the folder fields take the room).
#include "common/Twips.h"
#include "mainwindow/TextBox.h"
#include "mainwindow/frmmain.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QResizeEvent>
#include <QTreeWidget>

#include <algorithm>

namespace dialvane {

namespace {

// The captions' font: the classic dialog font where it exists, else a metric-compatible one.
QFont dialogFont() {
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans")});
    font.setPointSize(8);
    return font;
}

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

void frmmain::createWidgets() {
    setFont(dialogFont());
    // Each widget's place in twips, and how it follows a window made larger than its minimum.
    auto place = [&](QWidget* w, int left, int top, int width, int height, int grow = 0) {
        placed_.push_back({w, QRect(left, top, width, height), grow});
    };
    auto label = [&](const char* name, const QString& caption, QWidget* parent) {
        auto* l = new QLabel(caption, parent);
        l->setObjectName(QString::fromLatin1(name));
        l->setTextFormat(Qt::PlainText);
        return l;
    };
    auto textBox = [&](const char* name, const QString& text, QWidget* parent) {
        auto* t = new TextBox(text, parent);
        t->setObjectName(QString::fromLatin1(name));
        return t;
    };
    auto button = [&](const char* name, const QString& caption, QWidget* parent) {
        auto* b = new QPushButton(caption, parent);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        return b;
    };
    auto list = [&](const char* name, const QStringList& entries, QWidget* parent) {
        auto* c = new QComboBox(parent);
        c->setObjectName(QString::fromLatin1(name));
        c->addItems(entries);
        c->setCurrentIndex(-1);
        return c;
    };

    pathFrame = new QGroupBox(QStringLiteral("Path / Chemin"), this);
    pathFrame->setObjectName(QStringLiteral("pathFrame"));
    place(pathFrame, 127, 98, 4020, 3015, Wider | Taller);
    backroomFolderLabel = label("backroomFolderLabel", QStringLiteral("Backroom"), pathFrame);
    place(backroomFolderLabel, 90, 375, 690, 195);
    backroomFolderField = textBox("backroomFolderField", QStringLiteral("c:\\Backroom"), pathFrame);
    place(backroomFolderField, 810, 330, 2670, 285, Wider);
    backroomFolderButton = button("backroomFolderButton", QStringLiteral("<"), pathFrame);
    place(backroomFolderButton, 3585, 330, 285, 285, Right);
    logFolderLabel = label("logFolderLabel", QStringLiteral("Log"), pathFrame);
    place(logFolderLabel, 90, 750, 690, 195);
    logFolderField = textBox("logFolderField", QStringLiteral("c:\\Backroom"), pathFrame);
    place(logFolderField, 810, 690, 2670, 285, Wider);
    logFolderButton = button("logFolderButton", QStringLiteral("<"), pathFrame);
    place(logFolderButton, 3585, 690, 285, 285, Right);
    daysToKeepLabel =
        label("daysToKeepLabel", QStringLiteral("Keep (days) / Garde (jours)"), pathFrame);
    place(daysToKeepLabel, 870, 1080, 2070, 195);
    daysToKeepField = textBox("daysToKeepField", QString(), pathFrame);
    place(daysToKeepField, 3075, 1035, 405, 285);
    restaurantListLabel =
        label("restaurantListLabel",
              QStringLiteral("Current travel path date / Date du chemin d'inventaire"), pathFrame);
    place(restaurantListLabel, 60, 1410, 3900, 195, Wider);

    restaurantList = new QTreeWidget(pathFrame);
    restaurantList->setObjectName(QStringLiteral("restaurantList"));
    restaurantList->setColumnCount(4);
    restaurantList->setHeaderLabels({QStringLiteral("restonum"), QStringLiteral("timestamp"),
                                     QStringLiteral("Last call / Dernier appel"),
                                     QStringLiteral("Result / Résultat")});
    restaurantList->setRootIsDecorated(false);
    restaurantList->setItemsExpandable(false);
    restaurantList->setUniformRowHeights(true);
    restaurantList->setAllColumnsShowFocus(true);
    restaurantList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    place(restaurantList, 210, 1680, 3615, 945, Wider | Taller);
    restaurantList->header()->resizeSection(0, twipsToPixels(1050, logicalDpiX()));
    restaurantList->header()->setStretchLastSection(true);
    lastCallLabel = label("lastCallLabel", QStringLiteral("No call yet / Aucun appel"), pathFrame);
    place(lastCallLabel, 210, 2670, 3615, 240, Wider | Down);

    communicationFrame = new QGroupBox(QStringLiteral("Communication"), this);
    communicationFrame->setObjectName(QStringLiteral("communicationFrame"));
    place(communicationFrame, 127, 3195, 4020, 1545, Wider | Down);
    comPortLabel =
        label("comPortLabel", QStringLiteral("COM Port / Port Seris"), communicationFrame);
    place(comPortLabel, 495, 315, 1635, 195);
    comPortList = list("comPortList",
                       {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"),
                        QStringLiteral("4"), QStringLiteral("5"), QStringLiteral("6"),
                        QStringLiteral("7"), QStringLiteral("8"), QStringLiteral("9")},
                       communicationFrame);
    place(comPortList, 2220, 270, 1365, 315);
    speedLabel = label("speedLabel", QStringLiteral("Speed / Vitesse"), communicationFrame);
    place(speedLabel, 495, 720, 1635, 195);
    speedList =
        list("speedList", {QStringLiteral("1200"), QStringLiteral("2400"), QStringLiteral("9600")},
             communicationFrame);
    place(speedList, 2220, 675, 1365, 315);
    connectionLabel = label("connectionLabel", QStringLiteral("Connection"), communicationFrame);
    place(connectionLabel, 495, 1125, 1635, 195);
    connectionList = list("connectionList", {QStringLiteral("Modem"), QStringLiteral("Direct")},
                          communicationFrame);
    place(connectionList, 2220, 1080, 1365, 315);

    saveButton = button("saveButton", QStringLiteral("&Save / Sauvegarde"), this);
    place(saveButton, 135, 4875, 1770, 375, Down);
    closeButton = button("closeButton", QStringLiteral("&Close / Fermer"), this);
    place(closeButton, 2010, 4875, 1455, 375, Down);
    unlockButton = button("unlockButton", QString(), this);
    unlockButton->setIcon(QIcon(QStringLiteral(":/dialvane/unlock.xpm")));
    unlockButton->setToolTip(QStringLiteral("Unlock / Débarre"));
    place(unlockButton, 3570, 4905, 600, 330, Right | Down);

    // Controls that take the focus, in their tab order; labels and frames never take it.
    const QList<QWidget*> tabOrder = {saveButton,           closeButton,    backroomFolderField,
                                      backroomFolderButton, logFolderField, logFolderButton,
                                      daysToKeepField,      comPortList,    speedList,
                                      connectionList,       unlockButton,   restaurantList};
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);

    fitLayout(QSize(4275, 5325));
}

} // namespace dialvane
