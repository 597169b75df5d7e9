#pragma once
// The folder picker behind the two "<" buttons of the configuration panel.

#include <QString>

#include <functional>

class QLineEdit;
class QWidget;

namespace dialvane {

// A modal folder chooser: the chosen folder's file-system path, or the empty text when the
// operator cancelled or chose something that is not a file-system folder.
using FolderChooser =
    std::function<QString(QWidget* owner, const QString& title, const QString& startFolder)>;

// Asks the operator for a folder, modal to `owner`, with `title` shown and `startFolder` (as
// the field holds it, separator included) open at first. The path comes back as the system
// gives it: the root with its separator, any other folder without one. Uses the chooser set
// with setFolderChooser, or the system's folder dialog.
QString BrowseForFolder(QWidget* owner, const QString& title, const QString& startFolder);

// Replaces the chooser BrowseForFolder uses (tests answer in place of a person); an empty
// function restores the folder dialog.
void setFolderChooser(FolderChooser chooser);

// The system's folder dialog, directories only.
QString ShowFolderDialog(QWidget* owner, const QString& title, const QString& startFolder);

// The titles of the two pickers.
QString BackroomFolderTitle(); // "Backroom/VeldDB"
QString LogFolderTitle();      // "Log"

// Click of a "<" button: picks a folder starting at the text of `field`; a chosen folder goes
// into `field` through AddBackslash and then `checkForChanges` runs. Cancel changes nothing and
// checks nothing.
void PickFolderInto(QWidget* owner, QLineEdit* field, const QString& title,
                    const std::function<void()>& checkForChanges);

} // namespace dialvane
