#include "station/ConfigFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace dialvane {

namespace {

// The package puts the example configuration in <prefix>/share/dialvane beside <prefix>/bin:
// that pair marks a program installed for the whole system, wherever the prefix is.
bool installed(const QString& programFolder) {
    const QDir folder(programFolder);
    return folder.dirName() == QStringLiteral("bin") &&
           QFileInfo::exists(folder.filePath(QStringLiteral("../share/dialvane/Dialvane.ini")));
}

// A line's name is one folder name: nothing that could lead out of the lines folder.
bool validLineName(const QString& name) {
    return !name.isEmpty() && name != QStringLiteral(".") && name != QStringLiteral("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\'));
}

ConfigFolder theOnlyLine(const QString& linesFolder) {
    QStringList lines;
    const QDir folder(linesFolder);
    for (const QString& name : folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name))
        if (QFileInfo::exists(folder.filePath(name + QStringLiteral("/Dialvane.ini"))))
            lines << name;
    if (lines.size() == 1)
        return {folder.filePath(lines.front()), {}};
    if (lines.isEmpty())
        return {{},
                QStringLiteral("no line is set up under %1 (a folder %1/NAME holding Dialvane.ini, "
                               "made from /usr/share/dialvane/Dialvane.ini): name the "
                               "configuration folder with --config-dir DIR")
                    .arg(linesFolder)};
    return {{},
            QStringLiteral("%1 lines are set up under %2 (%3): name one with --line NAME")
                .arg(lines.size())
                .arg(linesFolder, lines.join(QStringLiteral(", ")))};
}

} // namespace

ConfigFolderOptions configFolderOptions() {
    return {QCommandLineOption(QStringLiteral("config-dir"),
                               QStringLiteral("Folder holding Dialvane.ini."),
                               QStringLiteral("DIR")),
            QCommandLineOption(QStringLiteral("line"),
                               QStringLiteral("The installed line NAME: the folder %1/NAME.")
                                   .arg(QString::fromLatin1(kLinesFolder)),
                               QStringLiteral("NAME"))};
}

ConfigFolder chooseConfigFolder(const QCommandLineParser& parser,
                                const ConfigFolderOptions& options, const QString& programFolder,
                                ConfigUser user) {
    if (parser.isSet(options.configDir) && parser.value(options.configDir).isEmpty())
        return {{}, QStringLiteral("--config-dir needs a folder")};
    if (parser.isSet(options.line) && parser.value(options.line).isEmpty())
        return {{}, QStringLiteral("--line needs a line's name")};
    return chooseConfigFolder(
        parser.isSet(options.configDir) ? parser.value(options.configDir) : QString(),
        parser.isSet(options.line) ? parser.value(options.line) : QString(), programFolder, user);
}

ConfigFolder chooseConfigFolder(const QString& configDir, const QString& line,
                                const QString& programFolder, ConfigUser user,
                                const QString& linesFolder) {
    if (!configDir.isEmpty() && !line.isEmpty())
        return {{}, QStringLiteral("--config-dir and --line both name the folder: give one")};
    if (!configDir.isEmpty())
        return {QDir::cleanPath(QDir(configDir).absolutePath()), {}};
    if (!line.isEmpty()) {
        if (!validLineName(line))
            return {{},
                    QStringLiteral("--line takes the name of a folder under %1, not \"%2\"")
                        .arg(linesFolder, line)};
        return {QDir(linesFolder).filePath(line), {}};
    }
    if (!installed(programFolder))
        return {programFolder, {}};
    if (user == ConfigUser::Window)
        return {QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                    QStringLiteral("/dialvane"),
                {}};
    return theOnlyLine(linesFolder);
}

} // namespace dialvane
