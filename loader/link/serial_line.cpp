#include "serial_line.h"

#include <QCoreApplication>
#include <QEventLoop>

namespace vrx {

void waitForRoom(SerialLine& line, const std::function<bool()>& stop) {
    while (line.isOpen() && line.writeRoom() <= 0 && !stop()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

}  // namespace vrx
