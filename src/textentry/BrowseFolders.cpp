#include "textentry/BrowseFolders.h"

#include "textentry/MainModule.h"

#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QUrl>

namespace dialvane {

namespace {

FolderChooser& folderChooser() {
    static FolderChooser chooser;
    return chooser;
}

} // namespace

void setFolderChooser(FolderChooser chooser) {
    folderChooser() = std::move(chooser);
}

QString ShowFolderDialog(QWidget* owner, const QString& title, const QString& startFolder) {
    QFileDialog dialog(owner, title);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    // Opened inside the start folder, accepting without another choice returns that folder,
    // as the start folder is the one selected at first. A folder that does not exist leaves the
    // dialog at its own default.
    dialog.setDirectory(startFolder);
    dialog.setWindowModality(Qt::ApplicationModal);
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    const QList<QUrl> chosen = dialog.selectedUrls();
    // A place outside the file system (a network location of a platform dialog) has no path
    // to store; it counts as no choice.
    if (chosen.isEmpty() || !chosen.first().isLocalFile())
        return QString();
    return QDir::toNativeSeparators(chosen.first().toLocalFile());
}

QString BrowseForFolder(QWidget* owner, const QString& title, const QString& startFolder) {
    if (const FolderChooser& chooser = folderChooser())
        return chooser(owner, title, startFolder);
    return ShowFolderDialog(owner, title, startFolder);
}

QString BackroomFolderTitle() {
    return QStringLiteral("Backroom/VeldDB");
}

QString LogFolderTitle() {
    return QStringLiteral("Log");
}

void PickFolderInto(QWidget* owner, QLineEdit* field, const QString& title,
                    const std::function<void()>& checkForChanges) {
    const QString chosen = BrowseForFolder(owner, title, field->text());
    if (chosen.isEmpty())
        return;
    field->setText(AddBackslash(chosen));
    if (checkForChanges)
        checkForChanges();
}

} // namespace dialvane
