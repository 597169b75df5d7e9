#pragma once
// A scratch folder tree for the housekeeping tests, with files of chosen modification times.

#include <QDateTime>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

class ScratchTree {
public:
    ScratchTree() { EXPECT_TRUE(dir_.isValid()); }

    fs::path path(const std::string& relative = {}) const {
        return fs::path(dir_.path().toStdString()) / relative;
    }
    // The folder as the station stores it: with the trailing separator.
    QString folder(const std::string& relative = {}) const {
        return QString::fromStdString((path(relative) / "").string());
    }

    void file(const std::string& relative, const QDateTime& modified = {}) const {
        fs::create_directories(path(relative).parent_path());
        std::ofstream(path(relative)) << "x";
        if (modified.isValid())
            fs::last_write_time(
                path(relative),
                std::chrono::file_clock::from_sys(std::chrono::sys_time<std::chrono::milliseconds>(
                    std::chrono::milliseconds(modified.toMSecsSinceEpoch()))));
    }
    void folderAt(const std::string& relative) const { fs::create_directories(path(relative)); }

    // Names directly in `relative`, in the order the file system lists them.
    std::vector<std::string> names(const std::string& relative = {}) const {
        std::vector<std::string> result;
        for (const auto& entry : fs::directory_iterator(path(relative)))
            result.push_back(entry.path().filename().string());
        return result;
    }
    bool has(const std::string& relative) const {
        return fs::exists(fs::symlink_status(path(relative)));
    }

private:
    QTemporaryDir dir_;
};
