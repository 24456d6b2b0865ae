#include "wait_for_comm.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "loader_state.h"
#include "serial_line.h"

namespace vrx {

WaitForCommDialog::WaitForCommDialog(PortWriter writeToPort, std::function<void()> pulseDtr,
                                     QWidget* parent)
    : QDialog(parent), writeToPort_(std::move(writeToPort)), pulseDtr_(std::move(pulseDtr)) {
    setObjectName("frmWaitForComm");
    setWindowTitle("Waiting for comm");
    // The debug send controls lie below the laid-out area on purpose: they
    // show only when the user enlarges the dialog.
    resize(300, 120);

    lblMsg_ = new QLabel(this);
    lblMsg_->setObjectName("lblMsg");
    lblMsg_->setGeometry(10, 8, 280, 74);
    lblMsg_->setWordWrap(true);

    cancelButton_ = new QPushButton("Cancel", this);
    cancelButton_->setObjectName("CancelButton");
    cancelButton_->setGeometry(200, 86, 90, 26);
    connect(cancelButton_, &QPushButton::clicked, this, &WaitForCommDialog::CancelButton_Click);

    txtOut_ = new QLineEdit("4", this);
    txtOut_->setObjectName("txtOut");
    txtOut_->setGeometry(160, 140, 130, 24);

    cmdOut_ = new QPushButton("Debug Send String:", this);
    cmdOut_->setObjectName("cmdOut");
    cmdOut_->setGeometry(10, 140, 140, 24);
    connect(cmdOut_, &QPushButton::clicked, this, &WaitForCommDialog::cmdOut_Click);

    // Key preview: the dialog sees every key before its controls do.
    for (QWidget* child : {static_cast<QWidget*>(lblMsg_), static_cast<QWidget*>(cancelButton_),
                           static_cast<QWidget*>(txtOut_), static_cast<QWidget*>(cmdOut_)})
        child->installEventFilter(this);
}

void WaitForCommDialog::Form_Load() {
    loaderState().bCancel = false;
    found_ = false;
    lblMsg_->setText(WaitForCommMessage());
}

void WaitForCommDialog::run(const std::function<void()>& waitLoop) {
    Form_Load();
    setWindowModality(Qt::ApplicationModal);
    show();
    try {
        waitLoop();
    } catch (...) {
        if (isVisible()) reject();
        throw;
    }
    if (!loaderState().bCancel) found_ = true;
    if (isVisible()) accept();
}

void WaitForCommDialog::Form_Unload() {
    if (!found_) loaderState().bCancel = true;
}

void WaitForCommDialog::done(int result) {
    Form_Unload();
    QDialog::done(result);
}

void WaitForCommDialog::CancelButton_Click() {
    loaderState().bCancel = true;
}

void WaitForCommDialog::cmdOut_Click() {
    loaderState().bDebug = true;
    try {
        if (writeToPort_) writeToPort_(txtOut_->text().toLatin1());
    } catch (const SerialError&) {
        // A debug send to a port that is gone has nobody to tell; the wait
        // itself reports the broken line.
    }
}

bool WaitForCommDialog::Form_KeyDown(int keyCode, Qt::KeyboardModifiers shift) {
    if (keyCode != Qt::Key_B || (shift & Qt::AltModifier) == 0) return false;
    if (pulseDtr_) pulseDtr_();
    return true;
}

bool WaitForCommDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (Form_KeyDown(key->key(), key->modifiers())) return true;
    }
    return QDialog::eventFilter(watched, event);
}

void WaitForCommDialog::keyPressEvent(QKeyEvent* event) {
    if (Form_KeyDown(event->key(), event->modifiers())) return;
    QDialog::keyPressEvent(event);
}

}  // namespace vrx
