// What the main window shows of the call journal: the last call and result of each
// restaurant in the list, the line under it with the last call and today's failures, and the
// question Save asks when a folder cannot take files.
#include "common/EightBitText.h"
#include "housekeeping/Housekeeping.h"
#include "journal/Reports.h"
#include "mainwindow/TextBox.h"
#include "mainwindow/frmmain.h"
#include "station/CallHistory.h"
#include "textentry/MainModule.h"

#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QTreeWidget>

namespace dialvane {

namespace {

constexpr int kLastCallColumn = 2;
constexpr int kResultColumn = 3;

QDate today(const MainWindowContext& context) {
    return context.clock->localTime().date();
}

} // namespace

void frmmain::showCallHistory(const QStringList& restaurants) {
    const journal::LastCalls found =
        journal::lastCalls(station_.configuration().LogFolder, restaurants, today(context_));
    for (int i = 0; i < restaurantList->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = restaurantList->topLevelItem(i);
        const auto call = found.byRestaurant.find(item->text(0));
        if (call == found.byRestaurant.end())
            continue;
        item->setText(kLastCallColumn, formatTravelPathTime(call->second.start, context_.locale));
        item->setText(kResultColumn, callResult(call->second, context_.locale));
    }
    lastCall_ = found.latest;
    failuresDate_ = today(context_);
    failuresToday_ = found.notCompletedToday;
    journalProblem_ = found.problems.join(QLatin1Char(' '));
    showLastCall();
}

void frmmain::callRecorded(const journal::Entry& call) {
    const QString resto = printable(call.restaurant);
    for (int i = 0; i < restaurantList->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = restaurantList->topLevelItem(i);
        if (item->text(0) != resto)
            continue;
        item->setText(kLastCallColumn, formatTravelPathTime(call.start, context_.locale));
        item->setText(kResultColumn, callResult(call, context_.locale));
    }
    if (failuresDate_ != call.start.date()) {
        failuresDate_ = call.start.date();
        failuresToday_ = 0;
    }
    if (call.outcome != QStringLiteral("completed"))
        ++failuresToday_;
    lastCall_ = call;
    journalProblem_.clear();
    showLastCall();
}

void frmmain::showLastCall() {
    QString text = lastCall_ ? lastCallLine(*lastCall_, context_.locale)
                             : QStringLiteral("No call yet / Aucun appel");
    if (callsInProgress_.running() > 0)
        text = QStringLiteral("%1 in progress / en cours  ·  ")
                   .arg(callsInProgress_.running() == 1
                            ? QStringLiteral("1 call")
                            : QStringLiteral("%1 calls").arg(callsInProgress_.running())) +
               text;
    if (failuresDate_ == today(context_) && failuresToday_ > 0)
        text += QStringLiteral("  ·  %1 failed today").arg(failuresToday_);
    if (!journalProblem_.isEmpty())
        text += QStringLiteral("  ·  ") + journalProblem_;
    // The journal's problem names its file: a folder name is no more trusted than a reason.
    text = escapeControls(text);
    lastCallLabel->setText(text);
    lastCallLabel->setToolTip(text);
}

// A folder that does not exist or cannot be written makes every call after the Save fail:
// the operator is asked before such a folder is stored.
bool frmmain::foldersConfirmed() {
    QStringList problems;
    const struct {
        const char* name;
        QString folder;
    } folders[] = {{"Backroom", AddBackslash(backroomFolderField->text())},
                   {"Log", AddBackslash(logFolderField->text())}};
    for (const auto& f : folders) {
        const QFileInfo info(f.folder);
        if (!info.isDir())
            problems << QStringLiteral("The %1 folder %2 does not exist.")
                            .arg(QLatin1String(f.name), f.folder);
        else if (!info.isWritable())
            problems << QStringLiteral("The %1 folder %2 cannot be written.")
                            .arg(QLatin1String(f.name), f.folder);
    }
    if (problems.isEmpty())
        return true;
    const QString question = problems.join(QLatin1Char('\n')) + QStringLiteral(" Save anyway?");
    if (context_.confirm)
        return context_.confirm(question);
    return QMessageBox::question(this, QStringLiteral("Dialvane"), question,
                                 QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

} // namespace dialvane
