#include "console_front.h"

#include <QStringList>

#include "loader_state.h"
#include "shown_log_text.h"
#include "wait_for_comm_text.h"

namespace vrx::cli {

namespace {

const QString kCancelLine = QStringLiteral("\r\n--- Cancel download, closing port ---\r\n");
// Enough to hold the last few log lines of any step.
constexpr qsizetype kCommandLogKept = 4096;

}  // namespace

QString WaitForCommText() {
    return WaitForCommMessage();
}

ConsoleFront::ConsoleFront(SlotModel& slotModel, ConsoleOutput& out, ConsoleDialogs& dialogs,
                           int port, PortDevice portDevice)
    : slots_(slotModel),
      out_(out),
      dialogs_(dialogs),
      port_(port),
      portDevice_(std::move(portDevice)) {
    // The window's start-up states; a file in slot 0 enables the primary load.
    enabled_[Control::StartPrimary] = !slots_.slot(0).path.isEmpty();
    enabled_[Control::StartSecondary] = false;
    enabled_[Control::URK] = false;
    enabled_[Control::PrgFlash] = true;
    enabled_[Control::ComPort] = true;
    enabled_[Control::ExecScript] = false;
    slots_.primaryFileChanged = [this](bool hasFile) { enabled_[Control::StartPrimary] = hasFile; };
}

QString ConsoleFront::deviceForPort(int port) const {
    // Only OpenPort asks, right before it opens.
    ++openAttempts_;
    return portDevice_ ? portDevice_(port) : QString();
}

void ConsoleFront::writeLog(const QString& text, int replaceLast) {
    logLength_ += text.size() - std::min<qsizetype>(replaceLast, logLength_);
    if (text == kCancelLine) outcome_.cancelPath = true;
    commandLog_.chop(std::min<qsizetype>(replaceLast, commandLog_.size()));
    commandLog_ += text;
    if (commandLog_.size() > 2 * kCommandLogKept) commandLog_ = commandLog_.right(kCommandLogKept);
    out_.log(text, replaceLast);
    if (logWritten) logWritten();
}

void ConsoleFront::setControlEnabled(Control control, bool enabled) {
    enabled_[control] = enabled;
}

bool ConsoleFront::isEnabled(Control control) const {
    const auto it = enabled_.find(control);
    return it != enabled_.end() && it->second;
}

void ConsoleFront::setPortState(const QString& text) {
    portState_ = text;
    if (portStateChanged) portStateChanged();
}

void ConsoleFront::setProgress(float) {
    if (!statusPanel_.startsWith(QLatin1String("bytes sent"))) return;
    const LoaderState& st = loaderState();
    out_.progress(st.lBytesSent, st.lBytesTotal);
    if (st.lBytesSent >= st.lBytesTotal) out_.endProgress();
}

bool ConsoleFront::checkAddresses() {
    const AddressCheckResult result =
        CheckAddresses(AddressInputsOf(*this), loaderState().sSlotName);
    rows_ = result.rows;
    ShowAddressMessages(result, dialogs_);
    if (!result.ok) outcome_.addressRefused = true;
    return result.ok;
}

void ConsoleFront::runBootIdWait(const std::function<void()>& waitLoop) {
    out_.notice(WaitForCommText());
    if (waitLimit_) waitLimit_->arm();
    waitLoop();
    if (waitLimit_ && waitLimit_->disarm()) {
        out_.diagnostic(QString("no boot ID from %1 within %2 s (is the board powered, the "
                                "service jumper fitted, the right port chosen?)")
                            .arg(deviceName())
                            .arg(waitLimit_->seconds()));
    }
}

QString ConsoleFront::portName(int port) const {
    return explicitDevice_.isEmpty() ? LoaderFront::portName(port) : explicitDevice_;
}

QString ConsoleFront::deviceName() const {
    const QString device = portDevice_ ? portDevice_(port_) : QString();
    return device.isEmpty() ? QString("COM%1").arg(port_) : device;
}

void ConsoleFront::startCommand() {
    outcome_ = {};
    commandLog_.clear();
    commErrorsAtStart_ = dialogs_.commErrors();
    openAttempts_ = 0;
}

QString ConsoleFront::failingStep() const {
    const qsizetype cancel = commandLog_.lastIndexOf(kCancelLine);
    const QString before = cancel < 0 ? commandLog_ : commandLog_.left(cancel);
    const QStringList lines = before.split(QStringLiteral("\r\n"));
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
        const QString shown = ShownLogText(*it).trimmed();
        if (!shown.isEmpty()) return shown;
    }
    return QString();
}

CommandOutcome ConsoleFront::outcome() const {
    CommandOutcome o = outcome_;
    o.commErrors = dialogs_.commErrors() - commErrorsAtStart_;
    o.openAttempts = openAttempts_;
    return o;
}

}  // namespace vrx::cli
