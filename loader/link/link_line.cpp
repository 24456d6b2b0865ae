// Line operations of Link: port, line modes, sends and waits, the response
// time-out, the status log, progress, the cancel button and the DTR pulse.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>

#include "hex_text.h"
#include "link.h"
#include "link_error.h"
#include "loader_state.h"

namespace vrx {

Link::Link(SerialLine& line, LoaderFront& front, QObject* parent)
    : QObject(parent), line_(line), front_(front) {
    timTimeOut_.setObjectName("timTimeOut");
    timSentStatus_.setObjectName("timSentStatus");
    timCommReceive_.setObjectName("timCommReceive");
    timSentStatus_.setInterval(kSentStatusIntervalMs);
    timCommReceive_.setInterval(kCommReceiveIntervalMs);
    timTimeOut_.setInterval(kResponseTimeoutMs);
    connect(&timTimeOut_, &QTimer::timeout, this, [this] { timTimeOut_Timer(); });
    connect(&timSentStatus_, &QTimer::timeout, this, [this] { timSentStatus_Timer(); });
    connect(&timCommReceive_, &QTimer::timeout, this, [this] { timCommReceive_Timer(); });
    connect(&line_, &SerialLine::lineLost, this, [this] { onLineLost(); });
}

Link::~Link() = default;

void Link::OpenPort() {
    if (line_.isOpen()) return;
    commPort_ = front_.selectedPort();
    commPortSet_ = true;
    const QString device = front_.deviceForPort(commPort_);
    if (device.isEmpty()) {
        throw SerialError(
            QString("COM%1: no serial device is mapped to this port").arg(commPort_).toStdString());
    }
    line_.open(device, kLineSettings);
    // Whatever the target said before we listened belongs to no exchange of ours.
    line_.discardInput();
    front_.setPortState("Open...");
    front_.setControlEnabled(Control::ComPort, false);
}

void Link::ClosePort() {
    if (!line_.isOpen()) return;
    line_.close();
    front_.setPortState("Closed...");
    front_.setControlEnabled(Control::ComPort, true);
}

// A vanished device leaves the port closed; show it, so the next wait ends with
// an error instead of waiting for bytes that cannot come.
void Link::onLineLost() {
    if (line_.isOpen()) line_.close();
    front_.setPortState("Closed...");
    front_.setControlEnabled(Control::ComPort, true);
}

void Link::applyTerminalMode(bool enable) {
    auto& st = loaderState();
    modeApplied_ = enable;
    st.bTerminalMode = enable;
    if (enable) {
        front_.setTerminalCaption("Disable Terminal mode");
        LogStatus("/n--- Enabling terminal mode ---/n");
        timCommReceive_.start();
        line_.setFlowControl(FlowControl::XonXoff);
        front_.setControlEnabled(Control::ExecScript, true);
    } else {
        front_.setTerminalCaption("Enable Terminal mode");
        LogStatus("/n--- Switching to programmed mode ---/n");
        line_.setFlowControl(FlowControl::None);
        timCommReceive_.stop();
        front_.setControlEnabled(Control::ExecScript, false);
    }
}

void Link::SetTerminalMode(bool& enable) {
    // The retry after an error runs with the port closed; should even that fail,
    // the mode is recorded without touching the line rather than retried forever.
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            if (enable != modeApplied_) applyTerminalMode(enable);
            front_.focusLog();
            return;
        } catch (const std::exception& e) {
            if (loaderState().bDebug) {
                ClosePort();
                recordProgrammedMode();
                throw;
            }
            showCommError("or other I/O problem", QString::fromLocal8Bit(e.what()));
            ClosePort();
            LogStatus("/n--- closing port ---/n");
            enable = false;
            modeApplied_ = true;
        }
    }
    recordProgrammedMode();
}

// Programmed mode on the front end without touching the line.
void Link::recordProgrammedMode() {
    timCommReceive_.stop();
    modeApplied_ = false;
    loaderState().bTerminalMode = false;
    front_.setTerminalCaption("Enable Terminal mode");
    front_.setControlEnabled(Control::ExecScript, false);
}

void Link::SendText(const QByteArray& text) {
    auto& st = loaderState();
    if (st.bDebug) return;
    // A line that cannot take more yet is waited for in the event loop. A
    // cancel request ends the wait; the bytes are queued anyway and the
    // sequence sees the request right after.
    waitForRoom(line_, [&st] { return st.bCancel; });
    line_.write(text);
}

void Link::sendField(const QString& numberText) {
    for (int i = 3; i >= 0; --i) sendByte(HexByte(numberText, i));
}

// One turn that never blocks, so bytes and flags already there are seen; then
// sleep until the next event (data, timer, input) instead of polling.
void Link::waitForEvents() {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

QString Link::ReadChar() {
    auto& st = loaderState();
    QCoreApplication::processEvents();
    for (;;) {
        if (st.bCancel) return QString(QChar(0));
        if (!line_.isOpen()) throw SerialError("the serial port is closed");
        if (line_.bytesWaiting() > 0) break;
        waitForEvents();
    }
    const QByteArray byte = line_.read(1);
    if (byte.isEmpty()) throw SerialError("the serial port returned no data");
    return QString(QChar(static_cast<uchar>(byte[0])));
}

bool Link::ExpectChar(const QString& expected) {
    auto& st = loaderState();
    st.sRxChar = ReadChar();
    LogStatus(st.sRxChar);
    if (st.sRxChar == expected) return true;
    LogStatus("invalid character received! Cancelling./n");
    return false;
}

void Link::LogStatus(const QString& text) {
    QString out = text;
    out.replace(QLatin1String("/n"), QLatin1String("\r\n"));
    front_.writeLog(out);
    QCoreApplication::processEvents();
}

void Link::SetResponseTimeout(bool on) {
    if (!on) {
        timTimeOut_.stop();
        return;
    }
    responseTimeoutMs_ = loaderState().bDebug ? kResponseTimeoutDebugMs : kResponseTimeoutMs;
    timTimeOut_.start(responseTimeoutMs_ / timeoutDivisor_);
}

void Link::timTimeOut_Timer() {
    auto& st = loaderState();
    st.bCancel = true;
    // The timer keeps running until the sequence disarms it; one box is enough
    // for a user who leaves it open.
    if (timeoutBoxOpen_) return;
    st.sMsg = QString("No valid serial response received within %1 second\r\nAborting operation")
                  .arg(QString(" ") + QString::number(responseTimeoutMs_ / 1000));
    timeoutBoxOpen_ = true;
    front_.dialogs().message(MessageIcon::Exclamation, "TimeOut", st.sMsg);
    timeoutBoxOpen_ = false;
}

void Link::timSentStatus_Timer() {
    const auto& st = loaderState();
    front_.setStatusPanel(QString("bytes sent %1 / %2").arg(st.lBytesSent).arg(st.lBytesTotal));
    float percent = 0;
    if (st.lBytesTotal > 0) {
        percent = static_cast<float>(st.lBytesSent) / static_cast<float>(st.lBytesTotal) * 100.0f;
    }
    front_.setProgress(percent);
}

void Link::cmdCancel_Click() {
    auto& st = loaderState();
    if (st.bBusy) {
        st.bCancel = true;
        return;
    }
    ClosePort();
    LogStatus("/n--- Closing port ---/n");
    if (!front_.slotPath(0).isEmpty()) front_.setControlEnabled(Control::StartPrimary, true);
    front_.setControlEnabled(Control::URK, false);
    front_.setControlEnabled(Control::StartSecondary, false);
    bool programmed = false;
    SetTerminalMode(programmed);
}

void Link::PulseDtr() {
    if (!line_.isOpen()) return;
    line_.setDtr(false);
    bool elapsed = false;
    QTimer::singleShot(kDtrPulseMs, this, [&elapsed] { elapsed = true; });
    while (!elapsed) waitForEvents();
    if (line_.isOpen()) line_.setDtr(true);
}

int Link::commPort() const {
    return commPortSet_ ? commPort_ : front_.selectedPort();
}

void Link::showCommError(const QString& cause, const QString& error) {
    auto& st = loaderState();
    st.sMsg = QString("Error communicating with %1\r\n%2\r\nError: %3")
                  .arg(front_.portName(commPort()))
                  .arg(cause, error);
    front_.dialogs().message(MessageIcon::Exclamation, "Error", st.sMsg);
}

}  // namespace vrx
