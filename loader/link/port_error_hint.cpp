#include "port_error_hint.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <vector>

namespace vrx {

namespace {

QString groupName(gid_t gid) {
    const group* g = ::getgrgid(gid);
    return g ? QString::fromLocal8Bit(g->gr_name) : QString::number(gid);
}

// The groups of this process: the ones the login gave it, not the ones the
// group file lists now (a fresh usermod needs a new login to count).
bool processInGroup(gid_t gid) {
    if (::getegid() == gid) return true;
    const int count = ::getgroups(0, nullptr);
    if (count <= 0) return false;
    std::vector<gid_t> groups(size_t(count), 0);
    const int got = ::getgroups(count, groups.data());
    for (int i = 0; i < got; ++i) {
        if (groups[size_t(i)] == gid) return true;
    }
    return false;
}

// Whether the group file names the user as a member of `gid` (usermod -aG done).
bool userListedInGroup(gid_t gid) {
    const passwd* user = ::getpwuid(::getuid());
    if (!user) return false;
    if (user->pw_gid == gid) return true;
    const group* g = ::getgrgid(gid);
    if (!g) return false;
    for (char** member = g->gr_mem; member && *member; ++member) {
        if (std::strcmp(*member, user->pw_name) == 0) return true;
    }
    return false;
}

}  // namespace

QString PortOpenHint(const PortOpenFacts& facts) {
    switch (facts.cause) {
        case PortOpenCause::AccessDenied: {
            // No group may open it (mode 0600, owned by root:root): joining one helps nothing.
            if (facts.group.isEmpty()) {
                return QString(
                           "\n%1 may be opened by its owner only. Install the udev rule shipped "
                           "with the loader (%2) and plug the adapter in again.")
                    .arg(facts.device, QString::fromLatin1(kUdevRulePath));
            }
            const QString& group = facts.group;
            if (facts.joinedSinceLogin) {
                return QString(
                           "\n%1 belongs to the group %2, which this user joined after logging "
                           "in: log out and in again (or run: newgrp %2).")
                    .arg(facts.device, group);
            }
            return QString(
                       "\n%1 belongs to the group %2, and this user is not in it. Either run"
                       "\n  sudo usermod -aG %2 $USER"
                       "\nand log out and in again, or install the udev rule shipped with the "
                       "loader (%3) and plug the adapter in again.")
                .arg(facts.device, group, QString::fromLatin1(kUdevRulePath));
        }
        case PortOpenCause::Busy:
            if (facts.device.contains(QLatin1String("ttyACM"))) {
                return QString(
                           "\n%1 is in use. ModemManager probes new ttyACM devices and holds "
                           "them for a while: wait a few seconds, or stop it "
                           "(sudo systemctl stop ModemManager), or install the udev rule "
                           "shipped with the loader (%2), which tells it to leave common "
                           "adapters alone.")
                    .arg(facts.device, QString::fromLatin1(kUdevRulePath));
            }
            return QString(
                       "\n%1 is in use by another program (a terminal such as minicom or "
                       "screen?); close it and try again.")
                .arg(facts.device);
        case PortOpenCause::Other:
            break;
    }
    return QString();
}

PortOpenFacts InspectPortOpenFailure(const QString& device, QSerialPort::SerialPortError error) {
    PortOpenFacts facts;
    facts.device = device;
    if (error != QSerialPort::PermissionError) return facts;
    const QByteArray path = QFile::encodeName(device);
    if (::access(path.constData(), R_OK | W_OK) != 0 && errno == EACCES) {
        facts.cause = PortOpenCause::AccessDenied;
        struct stat info {};
        const mode_t groupReadWrite = S_IRGRP | S_IWGRP;
        if (::stat(path.constData(), &info) == 0 && info.st_gid != 0 &&
            (info.st_mode & groupReadWrite) == groupReadWrite) {
            facts.group = groupName(info.st_gid);
            facts.joinedSinceLogin = !processInGroup(info.st_gid) && userListedInGroup(info.st_gid);
        }
        return facts;
    }
    // Access is granted, yet the open was refused: someone else holds the device.
    facts.cause = PortOpenCause::Busy;
    return facts;
}

QString PortOpenFailure(const QString& device, QSerialPort& port) {
    const QString text = "cannot open " + device + ": " + port.errorString() +
                         PortOpenHint(InspectPortOpenFailure(device, port.error()));
    port.clearError();
    return text;
}

}  // namespace vrx
