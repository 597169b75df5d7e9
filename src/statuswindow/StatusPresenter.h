#pragma once
// Turns the link's events into what the status window and the main window's title show. No
// widget here: the host (StatusWindowHost) puts the view on the window, and a test can feed
// events and read texts.
//
// The status window appears when a call's carrier comes up and goes when it drops. It shows
// the restaurant number, the type and transaction codes of the header, and in the data field
// the direction of the data until a first block crossed the line, then the last block received
// or sent, until the next one. A call that fails shows the reason there until its carrier
// drops. When a network line has several calls at once, the window follows the most recent;
// when that one ends, it shows the most recent of those still running, as it stands.

#include "link/CallFollower.h"
#include "link/LinkEvents.h"

#include <QByteArray>
#include <QString>

#include <map>

namespace dialvane {

// The data field's text until a call's first block: the direction of the data.
extern const QByteArray kDataIn;

struct StatusView {
    bool visible = false;
    QByteArray resto; // as the header gave them, control bytes included (escaped when shown)
    QByteArray type;
    QByteArray transaction;
    QString data;     // the last block as 8-bit text, or why the call failed; controls escaped
    QString progress; // "Data in: 120 blocks, 1 NAKs, 0 re-sent, 14 s"
};

class StatusPresenter {
public:
    // What the host does with the window after an event.
    enum class Window { Keep, Show, Hide, Unload };

    Window apply(const LinkEvent& event);
    // The call followed, as it stands (or the last one shown, hidden).
    const StatusView& view() const { return view_; }

private:
    struct Call {
        StatusView view;
        bool header = false; // a header other than "N" was answered: blocks are the file's
    };
    Window showFollowed();

    std::map<std::uint64_t, Call> calls_;
    CallFollower follower_;
    StatusView view_;
};

// The main window's title for a port event, or an empty text when the event leaves it as it
// is: the line settings and the port while open ("9600,n,8,1 COM1"), "FERME/CLOSED" once
// closed. A port that cannot be opened keeps the title its
// opening gave.
QString windowTitleFor(const LinkEvent& event);

} // namespace dialvane
