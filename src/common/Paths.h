#pragma once
// Folder strings end with the platform's separator and file names are built by concatenation.

#include <QString>

namespace dialvane {

// '\\' on Windows, '/' elsewhere.
QChar pathSeparator();

// Appends the separator when the last character is not one (an empty text becomes the
// separator alone). Used where folders given by callers are normalised.
QString withTrailingSeparator(const QString& folder);

// A path of two or more characters gets the platform separator appended when it lacks one;
// a shorter text becomes the empty text, except the POSIX root "/", which stays. Every folder the
// program stores or shows passes here.
QString AddBackslash(const QString& path);

// The built-in fallback folder: the root of drive C: on Windows, the user's home folder elsewhere.
QString fallbackFolder();

} // namespace dialvane
