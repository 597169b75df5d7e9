#pragma once
// Keeps the status window in step with the link: loaded on first use, shown while a carrier
// is up, hidden when it drops, destroyed when the port closes. Everything arrives as queued
// signals from the link thread, so the window never waits on the line.

#include "link/LinkObserver.h"

#include <QByteArray>
#include <QObject>

#include <memory>

namespace dialvane {

class LinkThread;
class frmcom;

class StatusWindowHost : public QObject {
    Q_OBJECT
public:
    explicit StatusWindowHost(QObject* parent = nullptr);
    ~StatusWindowHost() override;

    // Follows what `link` reports from now on.
    void attach(LinkThread& link);

    // The window, or null while it is not loaded.
    frmcom* window() const { return window_.get(); }
    // The window, loaded (but not shown) if it was not.
    frmcom& load();

public slots:
    void setCaption(dialvane::StatusLabel label, const QByteArray& text);
    void showStatus();
    void repaintStatus();
    void hideStatus();
    void unload();
    // A call that ended on a failure: the reason stays in the data field until the carrier
    // drops, so the operator can read why.
    void showFailure(const QString& reason);
    // The progress line under the data field.
    void showProgress(const dialvane::CallSummary& sofar);

private:
    std::unique_ptr<frmcom> window_;
    // Once a call has shown a block, the field keeps it until the next one: the texts in
    // between (blank, the direction) would make every block blink past unread.
    bool blockShown_ = false;
    QByteArray direction_;
};

} // namespace dialvane
