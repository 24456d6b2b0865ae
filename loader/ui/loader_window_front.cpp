// frmLoader as the LoaderFront of the link layer: slot getters reading the
// controls, the status log, button states, progress and the waiting dialog.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>
#include <cmath>

#include "link.h"
#include "loader_state.h"
#include "loader_window.h"
#include "shown_log_text.h"
#include "wait_for_comm.h"

namespace vrx {

bool LoaderWindow::slotTicked(int slot) const {
    return chkExeURK_.at(slot)->isChecked();
}

QString LoaderWindow::slotPath(int slot) const {
    return txtFilNam_.at(slot)->property("Tag").toString();
}

QString LoaderWindow::slotAddress(int slot) const {
    return txtStartAddress_.at(slot)->text();
}

QString LoaderWindow::slotSize(int slot) const {
    return lblCodeSize_.at(slot)->text();
}

bool LoaderWindow::fullErase() const {
    return chkErase_->isChecked();
}

int LoaderWindow::selectedPort() const {
    return cmbComPort_->currentData().toInt();
}

QString LoaderWindow::deviceForPort(int port) const {
    return setup_.portDevice ? setup_.portDevice(port) : QString();
}

void LoaderWindow::writeLog(const QString& text, int replaceLast) {
    QTextCursor cursor(txtStatus_->document());
    cursor.movePosition(QTextCursor::End);
    if (replaceLast > 0 && !logText_.isEmpty()) {
        const qsizetype count = std::min<qsizetype>(replaceLast, logText_.size());
        const qsizetype shownCount = ShownLogText(logText_.right(count)).size();
        logText_.chop(count);
        cursor.movePosition(QTextCursor::Left, QTextCursor::KeepAnchor, int(shownCount));
        cursor.removeSelectedText();
    }
    logText_ += text;
    cursor.insertText(ShownLogText(text));
    txtStatus_->setTextCursor(cursor);
    txtStatus_->ensureCursorVisible();
}

int LoaderWindow::logLength() const {
    return int(logText_.size());
}

void LoaderWindow::focusLog() {
    txtStatus_->setFocus();
}

void LoaderWindow::setControlEnabled(Control control, bool enabled) {
    switch (control) {
        case Control::StartPrimary:
            cmdStartPrimary_->setEnabled(enabled);
            break;
        case Control::StartSecondary:
            cmdStartSecondary_->setEnabled(enabled);
            break;
        case Control::URK:
            cmdURK_->setEnabled(enabled);
            break;
        case Control::PrgFlash:
            cmdPrgFlash_->setEnabled(enabled);
            break;
        case Control::ComPort:
            cmbComPort_->setEnabled(enabled);
            break;
        case Control::ExecScript:
            mnuExecScript_->setEnabled(enabled);
            break;
    }
}

void LoaderWindow::setTerminalCaption(const QString& caption) {
    cmdTerminal_->setText(caption);
}

void LoaderWindow::setPortState(const QString& text) {
    lblState_->setText(text);
}

void LoaderWindow::setStatusPanel(const QString& text) {
    statusPanel_[1]->setText(text);
}

void LoaderWindow::setProgress(float percent) {
    if (!std::isfinite(percent)) percent = 0;
    pgbDownload_->setValue(int(std::clamp(percent, 0.0f, 100.0f)));
}

void LoaderWindow::runBootIdWait(const std::function<void()>& waitLoop) {
    Link& link = *link_;
    WaitForCommDialog dialog([&link](const QByteArray& text) { link.cmdOut_Click(text); },
                             [&link] { link.PulseDtr(); });
    dialog.run(waitLoop);
}

}  // namespace vrx
