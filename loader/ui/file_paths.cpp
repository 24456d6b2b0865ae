#include "file_paths.h"

#include <QFile>
#include <QFileInfo>

namespace vrx {

bool FileExists(const QString& path, bool rejectEmpty) {
    if (path.isEmpty() || QFileInfo(path).isDir()) return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    if (!rejectEmpty) return true;
    // Read rather than trust size(): character devices and pipes report 0.
    char probe = 0;
    return file.read(&probe, 1) == 1;
}

QString ResolvePath(const QString& path, const QString& programFolder) {
    if (path.startsWith(QLatin1Char('/'))) return path;
    return programFolder + QLatin1Char('/') + path;
}

QString DirectoryOf(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : path.left(slash + 1);
}

QString FileNameOf(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? path : path.mid(slash + 1);
}

std::optional<QString> FileSizeText(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists() || info.isDir()) return std::nullopt;
    return QStringLiteral("0x") + QString::number(info.size(), 16).toUpper();
}

}  // namespace vrx
