#include "persistence/PrivateFiles.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace mintlux::PrivateFiles {

bool makeDirectories(const QString& path) {
    QStringList missing;
    for (QString dir = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
         !QFileInfo(dir).exists(); dir = QFileInfo(dir).path()) {
        missing.prepend(dir);
    }
    const auto mode = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
    for (const QString& dir : missing) {
        // Another process may have made it meanwhile; then its mode is its own.
        if (!QDir().mkdir(dir, mode) && !QFileInfo(dir).isDir()) {
            return false;
        }
    }
    return QFileInfo(path).isDir();
}

bool createFile(const QString& path) {
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
        return true;
    }
    return errno == EEXIST;
}

}  // namespace mintlux::PrivateFiles
