#include "settings/INIFunctions.h"

#include "common/EightBitText.h"

#include <QFile>
#include <QSaveFile>

#include <optional>
#include <vector>

namespace dialvane {

namespace {

// One line of a file: its bytes without the line end, and the line end as it stood.
struct Line {
    QByteArray text;
    QByteArray end;
};

std::vector<Line> splitLines(const QByteArray& file) {
    std::vector<Line> lines;
    qsizetype start = 0;
    const qsizetype n = file.size();
    while (start < n) {
        qsizetype i = start;
        while (i < n && file[i] != '\r' && file[i] != '\n')
            ++i;
        Line line{file.mid(start, i - start), {}};
        if (i < n) {
            const qsizetype endLength =
                (file[i] == '\r' && i + 1 < n && file[i + 1] == '\n') ? 2 : 1;
            line.end = file.mid(i, endLength);
            i += endLength;
        }
        lines.push_back(std::move(line));
        start = i;
    }
    return lines;
}

bool isBlankByte(char c) {
    return c == ' ' || c == '\t';
}

QByteArray trimmed(const QByteArray& text) {
    qsizetype b = 0, e = text.size();
    while (b < e && isBlankByte(text[b]))
        ++b;
    while (e > b && isBlankByte(text[e - 1]))
        --e;
    return text.mid(b, e - b);
}

bool sameName(const QByteArray& a, const QByteArray& b) {
    return fromEightBit(a).compare(fromEightBit(b), Qt::CaseInsensitive) == 0;
}

// The section named by a header line "[name]", or nothing for any other line. A '[' without
// a closing ']' is not a header: the lines after it stay in the section before.
std::optional<QByteArray> sectionName(const QByteArray& line) {
    const QByteArray t = trimmed(line);
    if (!t.startsWith('['))
        return std::nullopt;
    const qsizetype close = t.lastIndexOf(']');
    if (close < 1)
        return std::nullopt;
    return trimmed(t.mid(1, close - 1));
}

struct KeyLine {
    QByteArray key;
    QByteArray value;
};

std::optional<KeyLine> keyLine(const QByteArray& line) {
    const QByteArray t = trimmed(line);
    if (t.startsWith(';'))
        return std::nullopt;
    const qsizetype eq = t.indexOf('=');
    if (eq < 0)
        return std::nullopt;
    QByteArray value = trimmed(t.mid(eq + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.mid(1, value.size() - 2);
    return KeyLine{trimmed(t.left(eq)), value};
}

QByteArray withoutByteOrderMark(const QByteArray& file) {
    static const QByteArray bom("\xEF\xBB\xBF");
    return file.startsWith(bom) ? file.mid(bom.size()) : file;
}

// Where a section lies in a file: its header line, and the line after its last non-blank line.
struct SectionSpan {
    std::size_t header;
    std::size_t endOfContent;
};

std::optional<SectionSpan> findSection(const std::vector<Line>& lines, const QByteArray& section) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto name = sectionName(lines[i].text);
        if (!name || !sameName(*name, section))
            continue;
        SectionSpan span{i, i + 1};
        for (std::size_t j = i + 1; j < lines.size() && !sectionName(lines[j].text); ++j)
            if (!trimmed(lines[j].text).isEmpty())
                span.endOfContent = j + 1;
        return span;
    }
    return std::nullopt;
}

std::optional<std::size_t> findKey(const std::vector<Line>& lines, const SectionSpan& span,
                                   const QByteArray& key) {
    for (std::size_t i = span.header + 1; i < span.endOfContent; ++i) {
        const auto kv = keyLine(lines[i].text);
        if (kv && sameName(kv->key, key))
            return i;
    }
    return std::nullopt;
}

QByteArray readWholeFile(const QString& fileName, bool* exists) {
    QFile file(fileName);
    *exists = file.open(QIODevice::ReadOnly);
    return *exists ? file.readAll() : QByteArray();
}

} // namespace

QByteArray readProfileValue(const QByteArray& file, const QByteArray& section,
                            const QByteArray& key, bool* found) {
    *found = false;
    // The first line may carry a byte order mark before its header.
    const std::vector<Line> lines = splitLines(withoutByteOrderMark(file));
    const auto span = findSection(lines, section);
    if (!span)
        return {};
    const auto at = findKey(lines, *span, key);
    if (!at)
        return {};
    *found = true;
    return keyLine(lines[*at].text)->value.left(kMaxProfileValueLength);
}

QByteArray writeProfileValue(const QByteArray& file, const QByteArray& section,
                             const QByteArray& key, const QByteArray& value) {
    static const QByteArray crlf("\r\n");
    QByteArray safeValue = value;
    safeValue.replace('\r', ' ').replace('\n', ' ');

    static const QByteArray bom("\xEF\xBB\xBF");
    const bool hasBom = file.startsWith(bom);
    std::vector<Line> lines = splitLines(hasBom ? file.mid(bom.size()) : file);

    const auto span = findSection(lines, section);
    if (span) {
        if (const auto at = findKey(lines, *span, key)) {
            Line& line = lines[*at];
            line.text = keyLine(line.text)->key + '=' + safeValue;
            line.end = crlf;
        } else {
            // A line before the insertion point that had no line end gets one.
            if (lines[span->endOfContent - 1].end.isEmpty())
                lines[span->endOfContent - 1].end = crlf;
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(span->endOfContent),
                         Line{key + '=' + safeValue, crlf});
        }
    } else {
        if (!lines.empty() && lines.back().end.isEmpty())
            lines.back().end = crlf;
        lines.push_back(Line{'[' + section + ']', crlf});
        lines.push_back(Line{key + '=' + safeValue, crlf});
    }

    QByteArray out = hasBom ? bom : QByteArray();
    for (const Line& line : lines)
        out += line.text + line.end;
    return out;
}

QString GetPrivateProfileString(const QString& section, const QString& key,
                                const QString& defaultValue, const QString& fileName) {
    bool exists = false;
    const QByteArray file = readWholeFile(fileName, &exists);
    if (!exists)
        return defaultValue.left(kMaxProfileValueLength);
    bool found = false;
    const QByteArray value = readProfileValue(file, toEightBit(section), toEightBit(key), &found);
    return found ? fromEightBit(value) : defaultValue.left(kMaxProfileValueLength);
}

bool WritePrivateProfileString(const QString& section, const QString& key, const QString& value,
                               const QString& fileName) {
    bool exists = false;
    const QByteArray old = readWholeFile(fileName, &exists);
    if (!exists && QFile::exists(fileName))
        return false; // there but unreadable: rewriting it would lose its other lines
    const QByteArray updated =
        writeProfileValue(old, toEightBit(section), toEightBit(key), toEightBit(value));
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(updated);
    return file.commit();
}

} // namespace dialvane
