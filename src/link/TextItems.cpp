#include "link/TextItems.h"

#include "common/FixedText.h"

namespace dialvane {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}
bool isLineEnd(char c) {
    return c == '\r' || c == '\n';
}

} // namespace

TextItemReader::TextItemReader(QIODevice& device, int keep) : device_(device), keep_(keep) {}

bool TextItemReader::atEnd() {
    return device_.atEnd();
}

bool TextItemReader::peek(char* c) {
    return device_.peek(c, 1) == 1;
}

void TextItemReader::skip() {
    char c;
    device_.getChar(&c);
}

void TextItemReader::consumeLineEnd(char c) {
    skip();
    char next;
    if (c == '\r' && peek(&next) && next == '\n')
        skip();
}

QByteArray TextItemReader::next() {
    QByteArray item;
    char c;
    while (peek(&c) && isBlank(c))
        skip();

    if (peek(&c) && c == '"') {
        skip();
        while (device_.getChar(&c) && c != '"')
            if (item.size() < keep_)
                item.append(c);
        // Whatever follows the closing quote belongs to no item.
        while (peek(&c) && c != ',' && !isLineEnd(c))
            skip();
    } else {
        qsizetype kept = 0; // the item without its trailing blanks ends at `kept`
        qsizetype length = 0;
        while (peek(&c) && c != ',' && !isLineEnd(c)) {
            skip();
            ++length;
            if (item.size() < keep_)
                item.append(c);
            if (!isBlank(c))
                kept = length;
        }
        item.truncate(kept);
    }

    if (peek(&c)) {
        if (c == ',')
            skip();
        else if (isLineEnd(c))
            consumeLineEnd(c);
    }
    return item;
}

QByteArray ReadRecord(TextItemReader& items, int width) {
    return assignFixed(items.next(), width);
}

} // namespace dialvane
