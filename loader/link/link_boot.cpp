// The boot ROM side of Link: the wait for the boot ID, the handshake from "A"
// to "R", the code transfer of a slot, and the primary load button.
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

#include "hex_text.h"
#include "link.h"
#include "link_error.h"
#include "loader_state.h"

namespace vrx {

namespace {

// The most SendCode hands the line in one turn of its loop.
constexpr qint64 kSendPiece = 512;

QByteArray readWholeFile(const QString& path) {
    if (path.isEmpty()) throw LinkError("no file is chosen for this slot");
    QFile file(path);
    if (!QFileInfo::exists(path)) throw LinkError("file not found: " + path.toStdString());
    if (!file.open(QIODevice::ReadOnly)) {
        throw LinkError("cannot read " + path.toStdString() + ": " +
                        file.errorString().toStdString());
    }
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        throw LinkError("cannot read " + path.toStdString() + ": " +
                        file.errorString().toStdString());
    }
    return bytes;
}

}  // namespace

bool Link::WaitForBootId() {
    auto& st = loaderState();
    LogStatus("Waiting for BootID .. ");
    st.bCancel = false;
    // The front end runs the loop inside its dialog; an error must not unwind
    // through the dialog's event loop, so it is carried out and rethrown here.
    std::exception_ptr failure;
    front_.runBootIdWait([this, &st, &failure] {
        try {
            do {
                st.sRxChar = ReadChar();
                LogStatus(st.sRxChar);
            } while (st.sRxChar != "5" && !st.bCancel);
        } catch (...) {
            failure = std::current_exception();
            st.bCancel = true;
        }
    });
    if (failure) std::rethrow_exception(failure);
    if (st.bCancel) {
        LogStatus("cancelled!/n");
        return false;
    }
    LogStatus(" .. found!/n");
    return true;
}

bool Link::BootHandshake() {
    SetResponseTimeout(true);
    LogStatus("Sending 'A' .. ");
    SendText("A");
    LogStatus("done!/n");
    LogStatus("Expect 2-nd BootId .. ");
    if (!ExpectChar("5")) return false;
    LogStatus(" .. found!/n");
    LogStatus("Sending 'U','3'.. ");
    SendText("U");
    SendText("3");
    LogStatus("done!/n");
    LogStatus("Expect 'R' .. ");
    if (!ExpectChar("R")) return false;
    LogStatus(" .. found!/n");
    SetResponseTimeout(false);
    return true;
}

void Link::SendCode(int i, bool& ok) {
    auto& st = loaderState();
    ok = false;
    if (i != 5) {
        front_.setStatusPanel("");
        front_.setProgress(0);
        LogStatus("Sending startaddress .. ");
        sendField(front_.slotAddress(i));
        LogStatus("done!/n");
        LogStatus("Sending size .. ");
        sendField(front_.slotSize(i));
        LogStatus("done!/n");
        if (i >= 1 && i <= 4) {
            LogStatus("Wait for acceptance from primary boot .. ");
            SetResponseTimeout(true);
            st.sRxChar = ReadChar();
            LogStatus(st.sRxChar);
            SetResponseTimeout(false);
            if (st.sRxChar == "E") {
                LogStatus(" .. Error signalled back from primary boot./n");
                return;
            }
            if (st.sRxChar != "o") {
                LogStatus(" .. invalid char! Cancelled./n");
                return;
            }
            LogStatus(" ..OK!/n");
        }
        LogStatus("Sending code .. ");
    }
    const QByteArray code = readWholeFile(front_.slotPath(i));
    st.lBytesTotal = HexTextToLong(front_.slotSize(i));
    timSentStatus_.start();
    // However the transfer ends, the progress timer must not outlive it.
    struct StopTimer {
        QTimer& timer;
        ~StopTimer() { timer.stop(); }
    } stopTimer{timSentStatus_};

    bool complete = true;
    std::int32_t n = 0;
    while (n < st.lBytesTotal) {
        // As much as the line takes now, so the loop turns per piece, not per
        // byte; bytes past the end of the file are counted, not sent.
        if (!st.bDebug) waitForRoom(line_, [&st] { return st.bCancel; });
        const qint64 piece = std::clamp<qint64>(line_.writeRoom(), 1,
                                                std::min<qint64>(kSendPiece, st.lBytesTotal - n));
        const qint64 fromFile = std::clamp<qint64>(code.size() - n, 0, piece);
        if (fromFile > 0) SendText(code.mid(n, fromFile));
        n += std::int32_t(piece);
        st.lBytesSent = n;
        QCoreApplication::processEvents();
        if (st.bCancel && confirmCancel()) {
            complete = false;
            break;
        }
    }
    st.lBytesSent = n;
    timSentStatus_Timer();
    timSentStatus_.stop();
    if (!complete) return;
    if (i != 5) LogStatus("done!/n");
    ok = true;
}

bool Link::confirmCancel() {
    auto& st = loaderState();
    st.sMsg = "If you cancel now, you have to restart all over!\r\nAre you sure?";
    if (front_.dialogs().askYesNo(kProgramTitle, st.sMsg)) return true;
    st.bCancel = false;
    return false;
}

void Link::cmdStartPrimary_Click() {
    auto& st = loaderState();
    if (!front_.checkAddresses()) return;
    st.bBusy = true;
    st.bCancel = false;
    front_.setControlEnabled(Control::StartPrimary, false);
    front_.setControlEnabled(Control::StartSecondary, false);
    front_.setControlEnabled(Control::URK, false);
    try {
        if (!runPrimaryLoad()) cancelPath(Control::StartPrimary);
    } catch (const std::exception& e) {
        failSequence(Control::StartPrimary, e);
    }
}

bool Link::runPrimaryLoad() {
    auto& st = loaderState();
    ClosePort();
    bool programmed = false;
    SetTerminalMode(programmed);
    OpenPort();
    if (front_.slotTicked(0)) {
        if (!WaitForBootId()) return false;
        if (!BootHandshake()) return false;
        bool ok = false;
        SendCode(0, ok);
        if (!ok) return false;
    }
    if (front_.slotTicked(1)) {
        if (!LoadSecondary()) return false;
        front_.setControlEnabled(Control::URK, true);
        front_.setControlEnabled(Control::StartSecondary, true);
    } else {
        bool terminal = true;
        SetTerminalMode(terminal);
    }
    st.bBusy = false;
    front_.setControlEnabled(Control::StartPrimary, true);
    return true;
}

// Debug mode lets the error out to the front end, but the window is left as
// the cancel path leaves it either way: a start button left disabled or a
// response time-out left armed would outlive the error box.
void Link::failSequence(Control startButton, const std::exception& error) {
    const bool debug = loaderState().bDebug;
    if (!debug) showCommError("or other download problem", QString::fromLocal8Bit(error.what()));
    cancelPath(startButton);
    if (debug) throw;
}

void Link::cancelPath(Control startButton) {
    ClosePort();
    LogStatus("/n--- Cancel download, closing port ---/n");
    SetResponseTimeout(false);
    loaderState().bBusy = false;
    front_.setControlEnabled(startButton, true);
}

}  // namespace vrx
