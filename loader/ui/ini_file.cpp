#include "ini_file.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringList>
#include <functional>

#include "file_paths.h"

namespace vrx {

namespace {

QString unquoted(const QString& value) {
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
        value.back() == value.front())
        return value.mid(1, value.size() - 2);
    return value;
}

// Calls `visit` with (key, value) for every entry of every section named
// `section`, in file order, until it returns false.
void forEachEntry(const QString& file, const QString& section,
                  const std::function<bool(const QString&, const QString&)>& visit) {
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly)) return;
    const QString text = QString::fromUtf8(in.readAll());
    bool inSection = false;
    for (const QString& rawLine : text.split(QRegularExpression("\r\n|\r|\n"))) {
        const QString line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#')) continue;
        if (line.startsWith(u'[')) {
            const qsizetype close = line.indexOf(u']');
            const QString name = line.mid(1, close < 0 ? -1 : close - 1).trimmed();
            inSection = name.compare(section, Qt::CaseInsensitive) == 0;
            continue;
        }
        if (!inSection) continue;
        const qsizetype equals = line.indexOf(u'=');
        if (equals < 0) continue;
        if (!visit(line.left(equals).trimmed(), unquoted(line.mid(equals + 1).trimmed()))) return;
    }
}

}  // namespace

QString ReadIniValue(const QString& file, const QString& section, const QString& key) {
    QString result;
    forEachEntry(file, section, [&](const QString& name, const QString& value) {
        if (name.compare(key, Qt::CaseInsensitive) != 0) return true;
        result = value.left(kIniValueMax);
        return false;
    });
    return result;
}

IniSlotValue ParseIniSlotValue(const QString& value, const QString& programFolder) {
    const QStringList fields = value.split(u',');
    // Blanks around the path are dropped as around the address: on Windows a
    // name written "kernel.bin , 0x0" opened the file without its blank.
    QString path = fields.value(0).trimmed();
    path.replace(u'\\', u'/');
    IniSlotValue result;
    result.path = ResolvePath(path, programFolder);
    result.address = fields.size() > 1 ? fields[1].trimmed() : QStringLiteral("0");
    return result;
}

QMap<int, QString> ReadIniPorts(const QString& file) {
    QMap<int, QString> ports;
    static const QRegularExpression comKey("^COM([1-8])$",
                                           QRegularExpression::CaseInsensitiveOption);
    forEachEntry(file, "PORTS", [&](const QString& name, const QString& value) {
        const auto match = comKey.match(name);
        if (match.hasMatch() && !value.isEmpty()) {
            const int port = match.captured(1).toInt();
            if (!ports.contains(port)) ports.insert(port, value);
        }
        return true;
    });
    return ports;
}

}  // namespace vrx
