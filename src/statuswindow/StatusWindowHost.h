#pragma once
// Keeps the status window in step with the link's events: loaded on first use, shown while a
// call's carrier is up, hidden when it drops, destroyed when the port closes. What it shows
// comes from the presenter; events arrive as queued signals, so the window never waits on the
// line.

#include "link/LinkEvents.h"
#include "statuswindow/StatusPresenter.h"

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
    void unload();

public slots:
    void apply(const dialvane::LinkEvent& event);

private:
    frmcom& load();
    void render();

    StatusPresenter presenter_;
    std::unique_ptr<frmcom> window_;
};

} // namespace dialvane
