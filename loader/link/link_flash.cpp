// NAND flash programming in Link: load fl_burn through the boot ROM, wake it
// with "F"/"S", then drive it with frames (version, header, data, end of
// data, complete), each acknowledged.
#include "hex_text.h"
#include "link.h"
#include "loader_state.h"

namespace vrx {

namespace {
constexpr int kStx = 0x02;
constexpr int kEtx = 0x03;
constexpr int kVersionRequest = 0xA6;
constexpr int kFlashHeader = 0xAE;
constexpr int kFlashData = 0xAF;
constexpr int kEndOfData = 0xA3;
constexpr int kFlashComplete = 0xB1;
}  // namespace

void Link::cmdPrgFlash_Click() {
    auto& st = loaderState();
    st.bBusy = true;
    st.bCancel = false;
    front_.setControlEnabled(Control::PrgFlash, false);
    try {
        if (!runFlashProgramming()) cancelPath(Control::PrgFlash);
    } catch (const std::exception& e) {
        failSequence(Control::PrgFlash, e);
    }
}

bool Link::runFlashProgramming() {
    auto& st = loaderState();
    ClosePort();
    bool programmed = false;
    SetTerminalMode(programmed);
    OpenPort();
    if (!front_.slotTicked(6)) {
        st.sMsg = "No fl_burn binary specified in INI file";
        front_.dialogs().message(MessageIcon::Exclamation, "Error", st.sMsg);
    }
    if (!WaitForBootId()) return false;
    if (!BootHandshake()) return false;
    bool ok = false;
    SendCode(6, ok);
    if (!ok) return false;

    LogStatus("Sending 'F' .. ");
    SendText("F");
    LogStatus("done!/n");
    LogStatus("Expect 'F' .. ");
    if (!ExpectChar("F")) return false;
    LogStatus(" .. found!/n");
    LogStatus("Sending 'S' .. ");
    SendText("S");
    LogStatus("done!/n");

    LogStatus("Sending VERSION REQUEST .. ");
    SendCommandFrame(kVersionRequest);
    LogStatus("done!/n");
    LogStatus("Reading VERSION INFORMATION frame .. ");
    QString version;
    if (!ReadInfoFrame(version)) return false;
    LogStatus(">" + version + "< done!/n");

    if (!sendFlashHeader()) return false;
    if (!sendFlashData()) return false;

    LogStatus("Sending END-OF-DATA frame .. ");
    sendByte(kStx);
    sendField("0xc");
    for (int b : {kEndOfData, kEndOfData, 0x00, 0x00, 0x00, 0x00, kEtx}) sendByte(b);
    if (!GetAck()) return false;

    LogStatus("Sending NAND FLASH COMPLETE.. ");
    SendCommandFrame(kFlashComplete);
    if (!GetAck()) return false;

    st.bBusy = false;
    front_.setControlEnabled(Control::PrgFlash, true);
    ClosePort();
    return true;
}

bool Link::sendFlashHeader() {
    LogStatus("Sending NAND FLASH HEADER frame .. ");
    sendByte(kStx);
    sendField("24");
    sendByte(kFlashHeader);
    sendField(front_.slotAddress(5));
    sendField(front_.slotSize(5));
    sendField("0x3");
    sendByte(0x01);
    sendByte(0x00);
    if (front_.fullErase()) {
        LogStatus("(ERASING FLASH) .. ");
        sendByte(0x01);
    } else {
        sendByte(0x00);
    }
    sendByte(0x00);
    sendByte(0x00);
    sendByte(kEtx);
    return GetAck();
}

bool Link::sendFlashData() {
    LogStatus("Sending NAND FLASH DATA frame .. ");
    sendByte(kStx);
    const std::int64_t frameLength = std::int64_t{HexTextToLong(front_.slotSize(5))} + 9;
    sendField(QString::number(frameLength));
    sendByte(kFlashData);
    // A cancelled transfer still closes the frame; the acknowledgement then
    // fails at once because the cancel request stays raised.
    bool sent = false;
    SendCode(5, sent);
    sendByte(0x00);
    sendByte(0x00);
    sendByte(kEtx);
    return GetAck();
}

}  // namespace vrx
