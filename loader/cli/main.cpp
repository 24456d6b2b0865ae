// vrxload: the loader's sequences from the command line. Fills the slots from
// the INI file and the options as the window would, then runs the commands
// through the same Link as the window, on a QSerialPort line, inside the
// event loop.
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "cli_options.h"
#include "command_runner.h"
#include "console_dialogs.h"
#include "console_front.h"
#include "console_output.h"
#include "counting_port_line.h"
#include "file_paths.h"
#include "ini_file.h"
#include "interrupt_watch.h"
#include "line_trace.h"
#include "link.h"
#include "loader_state.h"
#include "port_listing.h"
#include "port_map.h"
#include "slot_model.h"
#include "version.h"
#include "wait_limit.h"

namespace {

using namespace vrx::cli;

constexpr const char* kWindowIniName = "VRX5520_Loader.INI";

struct IniChoice {
    QString file;
    QString folder;  // relative paths in it resolve here
    bool explicitFile = false;
};

IniChoice chooseIni(const CliOptions& options) {
    if (!options.ini) {
        const QString folder = QCoreApplication::applicationDirPath();
        return {folder + "/" + kWindowIniName, folder, false};
    }
    const QFileInfo info(*options.ini);
    return {info.absoluteFilePath(), info.absolutePath(), true};
}

// The window's start-up rules for its own INI file; a file named with --ini
// must be readable. False on a configuration error.
bool loadIni(const IniChoice& ini, SlotModel& slotModel, ConsoleOutput& out) {
    if (ini.explicitFile) {
        const QFileInfo info(ini.file);
        if (!info.isFile() || !info.isReadable()) {
            out.diagnostic("cannot read the INI file " + ini.file);
            return false;
        }
    }
    if (vrx::FileExists(ini.file, true)) {
        slotModel.loadIni(ini.file, ini.folder);
    } else {
        out.box("No file",
                "No INI File found. Expect " + ini.file + "\r\nDefault values are NOT set!");
    }
    return true;
}

bool applySlotOptions(const CliOptions& options, SlotModel& slotModel, ConsoleOutput& out) {
    for (const SlotOption& s : options.slotFiles) {
        if (!slotModel.browse(s.slot, s.path)) {
            out.diagnostic(QString("--slot %1: cannot read %2").arg(s.slot).arg(s.path));
            return false;
        }
        if (s.address) slotModel.typeAddress(s.slot, *s.address);
    }
    for (int slot : options.untick) slotModel.setTicked(slot, false);
    return true;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    ConsoleOutput out(stdout, stderr, false);
    const ParsedCommandLine parsed = ParseCommandLine(app.arguments().mid(1));
    if (!parsed.options) {
        out.diagnostic(parsed.error + " (see vrxload --help)");
        return kExitUsage;
    }
    const CliOptions& options = *parsed.options;
    if (options.help) {
        std::fputs(UsageText().toLocal8Bit().constData(), stdout);
        return kExitOk;
    }
    if (options.version) {
        std::printf("vrxload %d.%d (rev %d)\n", vrx::kVersionMajor, vrx::kVersionMinor,
                    vrx::kVersionRevision);
        return kExitOk;
    }
    out.setQuiet(options.quiet);

    vrx::LoaderState& state = vrx::loaderState();
    state.sSlotName = vrx::SlotNames();
    const IniChoice ini = chooseIni(options);
    state.sIniFile = ini.file;
    SlotModel slotModel;
    if (!loadIni(ini, slotModel, out) || !applySlotOptions(options, slotModel, out))
        return kExitUsage;

    int port = 1;
    QString device;
    if (!options.port.isEmpty()) {
        if (const auto com = ComPortNumber(options.port)) {
            port = *com;
        } else {
            device = options.port;
        }
    }
    const vrx::PortMap ports(vrx::ReadIniPorts(ini.file), device.isEmpty()
                                                              ? vrx::PortMap::presentSerialDevices()
                                                              : QStringList());
    auto portDevice = [&ports, device](int n) {
        return device.isEmpty() ? ports.deviceForPort(n) : device;
    };

    QFile traceFile(options.trace);
    std::unique_ptr<LineTrace> trace;
    if (!options.trace.isEmpty()) {
        if (!traceFile.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            out.diagnostic("cannot write the trace file " + options.trace + ": " +
                           traceFile.errorString());
            return kExitUsage;
        }
        trace = std::make_unique<LineTrace>(traceFile);
    }

    InterruptWatch interrupts;
    if (!interrupts.installed())
        out.diagnostic("Ctrl-C cannot be caught here; it ends the program");
    ConsoleDialogs dialogs(out, options.yes, &interrupts);
    ConsoleFront front(slotModel, out, dialogs, port, portDevice);
    front.setExplicitDevice(device);
    WaitLimit waitLimit(options.waitSeconds);
    front.setWaitLimit(&waitLimit);
    CountingPortLine line;
    line.setTrace(trace.get());
    vrx::Link link(line, front);
    link.SetResponseTimeout(false);
    CommandRunner runner(link, front, out, line, &interrupts);
    runner.portListing = [&ini] {
        const vrx::PortMap fresh(vrx::ReadIniPorts(ini.file), vrx::PortMap::presentSerialDevices());
        const QString source = fresh.isExplicit() ? "[PORTS] in " + ini.file
                                                  : "the devices present, USB adapters first";
        return PortListing(fresh, source, PresentSerialDeviceInfos());
    };

    int status = kExitOk;
    QTimer::singleShot(0, &app, [&] {
        status = runner.run(options.commands);
        app.quit();
    });
    app.exec();
    return status;
}
