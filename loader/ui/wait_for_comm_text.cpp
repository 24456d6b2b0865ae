#include "wait_for_comm_text.h"

namespace vrx {

QString WaitForCommMessage() {
    return QStringLiteral(
        "Cycle power off/on on the VRX5520 demo board, \r\n"
        "Make sure that service jumper is installed\r\n"
        "\r\n"
        "Waiting for Boot_ID from VRX5520....");
}

}  // namespace vrx
