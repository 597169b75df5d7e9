// Arbitrary bytes as an INI file: reading and writing must not crash, and a write must change
// exactly the one setting it names. The input: three length-prefixed names (section, key, value),
// a section and key to probe, then the file. The names are made well-formed (no line breaks, '='
// in keys, brackets, or blanks and quotes around): only such names are promised to read back.
#include "settings/INIFunctions.h"

#include <QString>

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

using namespace dialvane;

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

QByteArray takeName(FuzzedDataProvider& in, const char* forbidden, std::size_t maxLength) {
    const std::string raw = in.ConsumeRandomLengthString(maxLength);
    QByteArray name;
    for (char c : raw)
        if (c != '\r' && c != '\n' && std::string_view(forbidden).find(c) == std::string_view::npos)
            name.append(c);
    return name.trimmed();
}

bool sameName(const QByteArray& a, const QByteArray& b) {
    return QString::fromLatin1(a).compare(QString::fromLatin1(b), Qt::CaseInsensitive) == 0;
}

// True when `before` and `after` differ only in one stretch that lies within one line of
// `before` and is no longer than `maxInserted` in `after`: everything else survived.
bool changedOnlyLocally(const QByteArray& before, const QByteArray& after, qsizetype maxInserted) {
    qsizetype prefix = 0;
    const qsizetype limit = std::min(before.size(), after.size());
    while (prefix < limit && before[prefix] == after[prefix])
        ++prefix;
    qsizetype suffix = 0;
    while (suffix < limit - prefix &&
           before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix])
        ++suffix;
    const QByteArray removed = before.mid(prefix, before.size() - prefix - suffix);
    const QByteArray inserted = after.mid(prefix, after.size() - prefix - suffix);
    // A removed stretch may end with its line's end, but must not span two lines.
    QByteArray removedBody = removed;
    while (!removedBody.isEmpty() && (removedBody.back() == '\r' || removedBody.back() == '\n'))
        removedBody.chop(1);
    if (removedBody.contains('\r') || removedBody.contains('\n'))
        return false;
    return inserted.size() <= maxInserted;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    QByteArray section = takeName(in, "[]", 40);
    QByteArray key = takeName(in, "=[];", 40);
    QByteArray value = takeName(in, "", 300);
    const QByteArray probeS = QByteArray::fromStdString(in.ConsumeRandomLengthString(40));
    const QByteArray probeK = QByteArray::fromStdString(in.ConsumeRandomLengthString(40));
    const QByteArray file = QByteArray::fromStdString(in.ConsumeRemainingBytesAsString());

    if (section.isEmpty())
        section = "S";
    if (key.isEmpty())
        key = "k";
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value[0] = 'q'; // a quoted value reads back without its quotes

    bool found = false;
    const QByteArray probeBefore = readProfileValue(file, probeS, probeK, &found);
    const bool probeFoundBefore = found;
    if (found && probeBefore.size() > kMaxProfileValueLength)
        fail("value longer than the read buffer");

    const QByteArray written = writeProfileValue(file, section, key, value);

    const QByteArray readBack = readProfileValue(written, section, key, &found);
    if (!found || readBack != value)
        fail("written value does not read back");

    if (!(sameName(probeS, section) && sameName(probeK, key))) {
        const QByteArray probeAfter = readProfileValue(written, probeS, probeK, &found);
        if (found != probeFoundBefore || probeAfter != probeBefore)
            fail("another setting changed");
    }

    // At most: a line end for an unterminated last line, a section header, the key line.
    const qsizetype maxInserted = 2 + section.size() + 4 + key.size() + 1 + value.size() + 2;
    if (!changedOnlyLocally(file, written, maxInserted))
        fail("bytes outside the written setting changed");

    if (writeProfileValue(written, section, key, value) != written)
        fail("writing the same setting twice changed the file again");
    return 0;
}
