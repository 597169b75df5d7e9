#pragma once
// The two folder scans the housekeeping needs, one directory pass each. Each platform has its
// own implementation (FolderScan_posix.cpp, FolderScan_std.cpp); the rules about which names
// qualify stay with the callers, which see names as raw bytes: the file system's own bytes on
// POSIX, UTF-8 where the platform's names are UTF-16. The callers only test ASCII characters,
// whose order and case are the same in every such encoding.

#include <QString>

#include <cstdint>
#include <functional>
#include <string_view>

namespace dialvane::scan {

// Every name of `folder` for which `wanted(name)` holds and that is a regular file (not a folder,
// not a symbolic link) is deleted. The folder is listed once; the deletions follow in the order
// that is cheapest for the file system (on POSIX by inode number, elsewhere the listing's).
// Throws HousekeepingError when the folder cannot be opened (missing included) or read, or when
// a file cannot be deleted, leaving that file and the ones after it.
void removeFiles(const QString& folder, const std::function<bool(std::string_view)>& wanted);

// For every subfolder of `folder` that is not hidden, whose name passes `wanted` and that holds
// the regular file `fileName`, calls `found(subfolder name, last change of the file in whole
// seconds since 1970 UTC)`. Links to folders count as folders. A missing `folder` gives nothing;
// any other failure to read it or its entries throws HousekeepingError.
void visitSubfoldersHolding(const QString& folder, std::string_view fileName,
                            const std::function<bool(std::string_view)>& wanted,
                            const std::function<void(std::string_view, std::int64_t)>& found);

// Description of a failed operation for HousekeepingError: "<what> "<path>": <reason>."
QString failureText(const char* what, const QString& path, const std::string& reason);

} // namespace dialvane::scan
