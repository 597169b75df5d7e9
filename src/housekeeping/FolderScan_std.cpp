// Portable folder scans on std::filesystem, for platforms without the POSIX scan. Directory
// entries cache what the platform's listing tells (on Windows the attributes come with the
// names), so a name that a caller rejects costs no further call.

#include "housekeeping/FolderScan.h"
#include "housekeeping/Housekeeping.h"

#include "common/Paths.h"

#include <chrono>
#include <filesystem>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace dialvane::scan {

namespace {

fs::path toPath(const QString& folder) {
    return fs::path(folder.toStdU16String());
}

QString entryPath(const QString& folder, std::string_view name) {
    return withTrailingSeparator(folder) + QString::fromUtf8(name.data(), name.size());
}

[[noreturn]] void fail(const char* what, const QString& path, const std::error_code& error) {
    throw HousekeepingError(failureText(what, path, error.message()));
}

std::string utf8Name(const fs::directory_entry& entry) {
    const std::u8string name = entry.path().filename().u8string();
    return std::string(name.begin(), name.end());
}

bool isHidden(const fs::directory_entry& entry, std::string_view name) {
#ifdef _WIN32
    (void)name;
    const DWORD attributes = GetFileAttributesW(entry.path().c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0;
#else
    (void)entry;
    return name.starts_with('.');
#endif
}

} // namespace

void removeFiles(const QString& folder, const std::function<bool(std::string_view)>& wanted) {
    std::error_code error;
    fs::directory_iterator it(toPath(folder), error);
    if (error)
        fail("Cannot open the folder", folder, error);
    const auto visit = [&](const fs::directory_entry& entry) {
        const std::string name = utf8Name(entry);
        if (!wanted(name))
            return;
        // Both answers come from the listing's cached type where it has one.
        const bool regular = !entry.is_symlink(error) && !error && entry.is_regular_file(error);
        if (error)
            fail("Cannot read the attributes of", entryPath(folder, name), error);
        if (!regular)
            return;
        // false without an error: gone already, purged by a station sharing the folder.
        if (!fs::remove(entry.path(), error) && error)
            fail("Cannot delete the file", entryPath(folder, name), error);
    };
    while (it != fs::directory_iterator()) {
        visit(*it);
        it.increment(error);
        if (error)
            fail("Cannot read the folder", folder, error);
    }
}

void visitSubfoldersHolding(const QString& folder, std::string_view fileName,
                            const std::function<bool(std::string_view)>& wanted,
                            const std::function<void(std::string_view, std::int64_t)>& found) {
    std::error_code error;
    fs::directory_iterator it(toPath(folder), error);
    if (error) {
        if (error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory)
            return; // no such folder: nothing to list
        fail("Cannot open the folder", folder, error);
    }
    const fs::path file(std::u8string(fileName.begin(), fileName.end()));
    const auto visit = [&](const fs::directory_entry& entry) {
        const std::string name = utf8Name(entry);
        if (name.starts_with('.') || !wanted(name) || isHidden(entry, name))
            return;
        const bool isFolder = entry.is_directory(error); // follows links
        if (error) {
            std::error_code ignored;
            if (error == std::errc::no_such_file_or_directory && entry.is_symlink(ignored))
                return; // a link to nothing is no folder
            fail("Cannot read the attributes of", entryPath(folder, name), error);
        }
        if (!isFolder)
            return;
        const fs::path filePath = entry.path() / file;
        const QString shownPath = QString::fromStdU16String(filePath.u16string());
        const fs::file_status status = fs::status(filePath, error);
        if (error && status.type() != fs::file_type::not_found)
            fail("Cannot read the attributes of", shownPath, error);
        if (status.type() != fs::file_type::regular)
            return;
        const auto modified = fs::last_write_time(filePath, error);
        if (error)
            fail("Cannot read the time of", shownPath, error);
        const auto seconds =
            std::chrono::floor<std::chrono::seconds>(std::chrono::file_clock::to_sys(modified));
        found(name, static_cast<std::int64_t>(seconds.time_since_epoch().count()));
    };
    while (it != fs::directory_iterator()) {
        visit(*it);
        it.increment(error);
        if (error)
            fail("Cannot read the folder", folder, error);
    }
}

} // namespace dialvane::scan
