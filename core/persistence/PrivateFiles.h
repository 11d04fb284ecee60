#pragma once

#include <QFileDevice>
#include <QString>

// What the user holds and what they pay is nobody else's business: files the programs create for
// it are the user's alone. Directories and files that already exist keep their mode, since the
// user (or the system) chose it.
namespace mintlux::PrivateFiles {

inline constexpr QFileDevice::Permissions kFileMode =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// Creates each missing directory of `path` with mode 0700; true when `path` is a directory then.
bool makeDirectories(const QString& path);

// Creates `path` empty with mode 0600 unless it exists; true when it exists then.
bool createFile(const QString& path);

}  // namespace mintlux::PrivateFiles
