// VRX5520_Loader: the loader's desktop program. Maps COM1: .. COM8: to serial
// devices (the INI file's [PORTS] section, else the devices present), opens
// the main window on a QSerialPort line and runs the event loop.
#include <QApplication>
#include <QFileInfo>
#include <cstdio>

#include "display_check.h"
#include "ini_file.h"
#include "loader_window.h"
#include "port_map.h"
#include "qserialport_line.h"
#include "qt_dialogs.h"

namespace {

QString programPathFrom(const char* argv0) {
    // Before QApplication exists only argv[0] is known; /proc gives the real file.
    const QFileInfo self(QStringLiteral("/proc/self/exe"));
    const QString target = self.symLinkTarget();
    return target.isEmpty() ? QFileInfo(QString::fromLocal8Bit(argv0)).absoluteFilePath() : target;
}

}  // namespace

int main(int argc, char** argv) {
    if (const auto message = vrx::MissingDisplayMessage(programPathFrom(argv[0]))) {
        std::fputs(message->toLocal8Bit().constData(), stderr);
        return 2;
    }
    QApplication app(argc, argv);
    const QString programPath = QCoreApplication::applicationFilePath();
    const QFileInfo program(programPath);
    const QString iniFile = program.absolutePath() + "/" + program.completeBaseName() + ".INI";
    vrx::PortMap ports(vrx::ReadIniPorts(iniFile), vrx::PortMap::presentSerialDevices());

    vrx::QSerialPortLine line;
    vrx::QtDialogs dialogs;
    vrx::WindowSetup setup;
    setup.programPath = programPath;
    setup.portDevice = [&ports](int port) { return ports.deviceForPort(port); };
    setup.refreshPorts = [&ports, iniFile] {
        ports = vrx::PortMap(vrx::ReadIniPorts(iniFile), vrx::PortMap::presentSerialDevices());
    };
    vrx::LoaderWindow window(line, dialogs, setup);
    dialogs.setParent(&window);
    window.show();
    return app.exec();
}
