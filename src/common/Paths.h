#pragma once
// Folder strings end with the platform's separator and file names are built by concatenation.

#include <QString>

namespace dialvane {

// '\\' on Windows, '/' elsewhere.
QChar pathSeparator();

// Appends the separator when the last character is not one (an empty text becomes the
// separator alone). Used where folders given by callers are normalised.
QString withTrailingSeparator(const QString& folder);

// The built-in fallback folder: the root of drive C: on Windows, the user's home folder elsewhere.
QString fallbackFolder();

} // namespace dialvane
