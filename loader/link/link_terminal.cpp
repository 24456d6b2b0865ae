// Terminal mode of Link: the terminal button, the receive timer with the
// script runner's awaited text, the display rules for received text, typing
// into the log, and the debug send buttons.
#include "link.h"
#include "loader_state.h"

namespace vrx {

namespace {
constexpr QChar kBackspace(8);
constexpr QChar kLineFeed(10);
constexpr QChar kCarriageReturn(13);
}  // namespace

void Link::cmdTerminal_Click() {
    auto& st = loaderState();
    st.bTerminalMode = !st.bTerminalMode;
    SetTerminalMode(st.bTerminalMode);
    if (!st.bTerminalMode) return;
    try {
        OpenPort();
    } catch (const std::exception& e) {
        // A missing or busy device leaves the line as SetTerminalMode's own
        // error path would: closed, in programmed mode.
        const bool debug = st.bDebug;
        if (!debug) showCommError("or other I/O problem", QString::fromLocal8Bit(e.what()));
        ClosePort();
        LogStatus("/n--- closing port ---/n");
        st.bTerminalMode = false;
        SetTerminalMode(st.bTerminalMode);
        if (debug) throw;
    }
}

void Link::timCommReceive_Timer() {
    auto& st = loaderState();
    if (!line_.isOpen() || line_.bytesWaiting() == 0) return;
    QString text = QString::fromLatin1(line_.read(0));
    if (!st.sWaitFor.isEmpty() && text.contains(st.sWaitFor)) st.sWaitFor.clear();
    ShowReceived(text);
}

void Link::ShowReceived(QString& text) {
    const int n = front_.logLength();
    int replaceLast = 0;
    for (qsizetype p = text.indexOf(kBackspace); p >= 0; p = text.indexOf(kBackspace)) {
        if (p == 0) {
            if (n > 0) replaceLast = 1;
            text.remove(0, 1);
        } else {
            text.remove(p - 1, 2);
        }
    }
    text.remove(kLineFeed);
    for (qsizetype p = text.indexOf(kCarriageReturn); p >= 0;
         p = text.indexOf(kCarriageReturn, p + 2)) {
        text.insert(p + 1, kLineFeed);
    }
    if (text.isEmpty() && replaceLast == 0) return;
    front_.writeLog(text, replaceLast);
}

int Link::txtStatus_KeyPress(int keyAscii) {
    if (line_.isOpen() && loaderState().bTerminalMode) {
        try {
            line_.write(QByteArray(1, static_cast<char>(keyAscii)));
        } catch (const SerialError&) {
            // A key lost on a failing line is not worth a box per keystroke;
            // the next sequence or mode switch reports the port.
        }
    }
    return 0;
}

void Link::txtStatus_KeyDown(int keyCode, int shift) {
    if (keyCode == kKeyCodeB && shift == kShiftAlt) PulseDtr();
}

void Link::cmdOutput_Click(const QByteArray& text) {
    try {
        line_.write(text);
    } catch (const SerialError& e) {
        showCommError("or other I/O problem", QString::fromLocal8Bit(e.what()));
    }
}

void Link::cmdOut_Click(const QByteArray& text) {
    loaderState().bDebug = true;
    cmdOutput_Click(text);
}

}  // namespace vrx
