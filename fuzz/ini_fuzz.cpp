// The INI reader on arbitrary file bytes: every slot key, the [PORTS] section
// and a slot value split, with the promises the callers rely on (values of at
// most 254 characters, ports 1 to 8, paths with '/' only).
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <cstdlib>

#include "fuzz_bytes.h"
#include "ini_file.h"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

const QString& iniPath() {
    static const QString path = QDir::tempPath() + QString("/x9fuzz_ini_%1.INI").arg(getpid());
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    {
        QFile file(iniPath());
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) std::abort();
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    for (const auto& key : vrx::kIniSlotKeys) {
        const QString value = vrx::ReadIniValue(iniPath(), key.section, key.key);
        check(value.size() <= vrx::kIniValueMax);
        const vrx::IniSlotValue slot = vrx::ParseIniSlotValue(value, "/opt/loader");
        check(!slot.path.contains(u'\\'));
    }
    const auto ports = vrx::ReadIniPorts(iniPath());
    for (auto it = ports.begin(); it != ports.end(); ++it) check(it.key() >= 1 && it.key() <= 8);

    // The same bytes as one slot value, as a hand-edited file may hold it.
    const QString raw =
        QString::fromLatin1(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const vrx::IniSlotValue slot = vrx::ParseIniSlotValue(raw, "/opt/loader");
    check(!slot.path.contains(u'\\'));
    return 0;
}
