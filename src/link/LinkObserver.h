#pragma once
// What the link tells the windows. The status window implements the label and visibility
// part; the main window listens for the title. Calls arrive on the link's own thread.

#include "link/CallSummary.h"

#include <QByteArray>
#include <QString>

namespace dialvane {

enum class StatusLabel { Resto, MyType, Transaction, Data };

class LinkObserver {
public:
    virtual ~LinkObserver() = default;
    // The status window's value labels; texts are the bytes of the line, control bytes included.
    virtual void setCaption(StatusLabel, const QByteArray&) {}
    virtual void showStatus() {}
    virtual void repaintStatus() {}
    virtual void hideStatus() {}
    // The status window is unloaded with the port.
    virtual void unloadStatus() {}
    // The main window's title: "FERME/CLOSED" or the line settings and port.
    virtual void titleChanged(const QString&) {}
    // A call ended on a failure of a file or of the line; the reason is for the operator.
    virtual void callFailed(const QString&) {}
    virtual void callStarted() {}
    virtual void callEnded() {}
    // Something about the line worth a log line but not a message box: a modem's result texts
    // between calls ("RING", "NO CARRIER"), a modem that had to be reset.
    virtual void lineNotice(const QString&) {}
    // After each block of a file: the call so far (duration up to now).
    virtual void callProgress(const CallSummary&) {}
    // Once per call, just before callEnded.
    virtual void callSummary(const CallSummary&) {}
};

} // namespace dialvane
