#pragma once
// Routines shared by the text fields of the main window.

#include <QString>

namespace dialvane {

// A path of two or more characters gets the platform separator appended when it lacks one;
// a shorter text becomes the empty text, except the POSIX root "/", which stays. Every folder the
// program stores or shows passes here.
QString AddBackslash(const QString& path);

} // namespace dialvane
