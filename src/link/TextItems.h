#pragma once
// The data files the station sends are read as text items separated by commas or line ends:
//  - blanks (spaces, tabs) before an item are skipped;
//  - an item that begins with a double quote runs to the next double quote, may hold commas,
//    and is taken without its quotes (anything after the closing quote up to the next comma
//    or line end is dropped);
//  - any other item runs up to the next comma or line end, without its trailing blanks;
//  - CR LF, LF and CR all end a line, so an empty line is an empty item.
// Only the first `keep` bytes of an item are kept, so a file without separators cannot make
// the station hold more than one record in memory.

#include <QByteArray>
#include <QIODevice>

namespace dialvane {

class TextItemReader {
public:
    TextItemReader(QIODevice& device, int keep);
    bool atEnd();
    QByteArray next();

private:
    bool peek(char* c);
    void skip();
    void consumeLineEnd(char c);

    QIODevice& device_;
    int keep_;
};

// The next text item as one record of `width` bytes: cut, or filled up with spaces.
QByteArray ReadRecord(TextItemReader& items, int width);

} // namespace dialvane
