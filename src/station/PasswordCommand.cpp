#include "station/PasswordCommand.h"

#include "common/PasswordHash.h"
#include "station/TerminalEcho.h"

#include <QCommandLineParser>

#include <optional>
#include <string>

namespace dialvane {

namespace {

// A password longer than this is no typing but a file piped in by mistake.
constexpr std::size_t kMaxPasswordBytes = 1024;

// One line of `in` without its line end; nothing at the end of the input. A line too long is
// read to its end and refused.
std::optional<QString> readLine(std::FILE* in, bool* tooLong) {
    std::string line;
    int c = 0;
    bool any = false;
    while ((c = std::fgetc(in)) != EOF) {
        any = true;
        if (c == '\n')
            break;
        if (line.size() <= kMaxPasswordBytes)
            line.push_back(static_cast<char>(c));
    }
    if (!any)
        return std::nullopt;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    *tooLong = line.size() > kMaxPasswordBytes;
    return QString::fromLocal8Bit(line.data(), static_cast<qsizetype>(line.size()));
}

std::optional<QString> ask(const char* prompt, std::FILE* in, QTextStream& err, bool* tooLong) {
    err << prompt;
    err.flush();
    const EchoOff quiet(in);
    return readLine(in, tooLong);
}

} // namespace

int runPasswordCommand(const QStringList& arguments, std::FILE* in, QTextStream& out,
                       QTextStream& err) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Makes the PasswordHash line that gives the configuration panel a "
                       "password of its own: put it in section [Security] of Dialvane.ini.\n"
                       "On a terminal it asks for the password twice, without showing it; "
                       "otherwise it reads one line from standard input.\n"
                       "Exit status 0 when the line is printed, 1 when no password was given or "
                       "the two entries differ, 2 for a command line that makes no sense."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("password"), QString());
    auto usage = [&err](const QString& text) {
        err << "dialvane password: " << text << "\n(see dialvane password --help)\n";
        return 2;
    };
    if (!parser.parse(arguments))
        return usage(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        out << parser.helpText();
        return 0;
    }
    if (parser.positionalArguments().size() > 1)
        return usage(QStringLiteral("unexpected \"%1\": the password is read, never given on "
                                    "the command line")
                         .arg(parser.positionalArguments().at(1)));

    bool tooLong = false;
    std::optional<QString> password;
    if (isTerminal(in)) {
        password = ask("Password: ", in, err, &tooLong);
        bool againTooLong = false;
        const std::optional<QString> again = ask("Again: ", in, err, &againTooLong);
        if (password && (!again || *again != *password)) {
            err << "dialvane password: the two entries differ; nothing was made\n";
            return 1;
        }
    } else {
        password = readLine(in, &tooLong);
    }
    if (!password || password->isEmpty()) {
        err << "dialvane password: no password given\n";
        return 1;
    }
    if (tooLong) {
        err << "dialvane password: longer than " << kMaxPasswordBytes << " bytes\n";
        return 1;
    }
    out << "PasswordHash=" << PasswordHash::derive(*password).text() << '\n';
    out.flush();
    return 0;
}

} // namespace dialvane
