#pragma once
// Which folder's Dialvane.ini a command works on. Every program and command decides it here,
// so that `--line NAME` and `--config-dir DIR` mean the same thing in the window, the service,
// `--check` and the reports.
//
// Without either option a program run from a build tree or from a folder of its own reads the
// Dialvane.ini beside it, as it always has. An installed program (in a `bin` folder whose
// `share/dialvane` holds the example configuration) never does: its folder is the system's, not a
// station's. There the commands take the one line configured under /etc/dialvane and ask for
// --line when there are several or none; the window takes the user's own folder.

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>

namespace dialvane {

// Where an installed station's lines live: /etc/dialvane/<line>/Dialvane.ini.
inline constexpr char kLinesFolder[] = "/etc/dialvane";

struct ConfigFolderOptions {
    QCommandLineOption configDir;
    QCommandLineOption line;
};
// The two options, described once for every command's parser.
ConfigFolderOptions configFolderOptions();

struct ConfigFolder {
    QString folder;  // absolute, no trailing separator; empty when `problem` is set
    QString problem; // a command line that names no usable folder: the command exits 2
};

enum class ConfigUser { Command, Window };

// `programFolder` is the folder of the running executable.
ConfigFolder chooseConfigFolder(const QCommandLineParser& parser,
                                const ConfigFolderOptions& options, const QString& programFolder,
                                ConfigUser user);

// The same, on explicit values (empty: not given): the rules without a parser.
ConfigFolder chooseConfigFolder(const QString& configDir, const QString& line,
                                const QString& programFolder, ConfigUser user,
                                const QString& linesFolder = QString::fromLatin1(kLinesFolder));

} // namespace dialvane
