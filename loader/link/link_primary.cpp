// The primary loader's command protocol in Link: one image per command letter
// (SendImage), the secondary load that ends the primary load, and the start of
// the secondary executable.
#include "link.h"
#include "loader_state.h"

namespace vrx {

namespace {
// Command letters by slot; slot 0 (the primary itself) has none.
constexpr const char* kCommandLetters[] = {"", "p", "u", "r", "k"};
}  // namespace

void Link::SendImage(int i, bool& ok) {
    auto& st = loaderState();
    ok = false;
    const QByteArray letter = (i >= 1 && i <= 4) ? kCommandLetters[i] : "";
    LogStatus("-- Sending command .. " + QString::fromLatin1(letter) + " ..");
    SendText(letter);
    LogStatus("done!/n");
    bool sent = false;
    SendCode(i, sent);
    if (!sent) {
        LogStatus("Sending code aborted...!/n");
        return;
    }
    LogStatus("Expect final 't' .. ");
    SetResponseTimeout(true);
    st.sRxChar = ReadChar();
    LogStatus(st.sRxChar);
    SetResponseTimeout(false);
    if (st.sRxChar != "t") {
        LogStatus("invalid char! Cancelled./n");
    } else {
        LogStatus(" .. found, ");
        LogStatus("/n---- " + st.sSlotName[i] + " loaded. ---/n");
        ok = true;
    }
    LogStatus("/n");
}

bool Link::LoadSecondary() {
    SetResponseTimeout(true);
    LogStatus("/n--- Loading Secondary executable ---/n");
    LogStatus("Wait for 'X' .. ");
    if (!ExpectChar("X")) return false;
    SetResponseTimeout(false);
    LogStatus(" .. found!/n");
    bool ok = false;
    SendImage(1, ok);
    return ok;
}

void Link::cmdStartSecondary_Click() {
    bool programmed = false;
    SetTerminalMode(programmed);
    LogStatus("/n-- Starting Secondary Executable --/n");
    try {
        SendText("d");
    } catch (const std::exception& e) {
        // Only a port closed by a failed mode switch gets here; starting the
        // terminal on it would just reopen a line the target never heard "d" on.
        if (loaderState().bDebug) throw;
        showCommError("or other I/O problem", QString::fromLocal8Bit(e.what()));
        return;
    }
    cmdTerminal_Click();
}

}  // namespace vrx
