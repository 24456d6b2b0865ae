#include "console_front.h"

#include "loader_state.h"
#include "wait_for_comm_text.h"

namespace vrx::cli {

namespace {

const QString kCancelLine = QStringLiteral("\r\n--- Cancel download, closing port ---\r\n");

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
    waitLoop();
}

void ConsoleFront::startCommand() {
    outcome_ = {};
    commErrorsAtStart_ = dialogs_.commErrors();
    openAttempts_ = 0;
}

CommandOutcome ConsoleFront::outcome() const {
    CommandOutcome o = outcome_;
    o.commErrors = dialogs_.commErrors() - commErrorsAtStart_;
    o.openAttempts = openAttempts_;
    return o;
}

}  // namespace vrx::cli
