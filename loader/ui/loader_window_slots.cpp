// frmLoader's image slots: choosing a file, the check box rule, address entry
// and the address check with its table.
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>

#include "address_check.h"
#include "file_paths.h"
#include "link.h"
#include "loader_state.h"
#include "loader_window.h"
#include "slot_rules.h"

namespace vrx {

namespace {

constexpr const char* kBinaryFilter =
    "Binary Files (.bin)|*.bin|Uboot Image (.ubt)|*.ubt|All Files (*.*)|*.*|";

}  // namespace

void LoaderWindow::chkExeURK_Click(int index) {
    if (chkExeURK_[index]->isChecked() && slotPath(index).isEmpty())
        chkExeURK_[index]->setChecked(false);
}

void LoaderWindow::cmdBrowse_Click(int index) {
    FileDialogRequest request;
    request.title = "Open binary file";
    request.filter = kBinaryFilter;
    request.filterIndex = (index >= 2 && index <= 4) ? 2 : 1;
    request.initialDir = cdlInitDir_;
    request.mustExist = true;
    const std::optional<QString> chosen = dialogs_.openFile(request);
    if (!chosen || chosen->isEmpty()) return;
    applySlotFill(index, BrowsedSlotFill(*chosen));
}

void LoaderWindow::applySlotFill(int index, const SlotFill& fill) {
    if (fill.address) txtStartAddress_[index]->setText(*fill.address);
    if (fill.size) lblCodeSize_[index]->setText(*fill.size);
    txtFilNam_[index]->setText(fill.name);
    // The path goes in before the tick: ticking a slot without a file undoes itself.
    txtFilNam_[index]->setProperty("Tag", fill.path);
    txtFilNam_[index]->setToolTip(fill.toolTip);
    chkExeURK_[index]->setChecked(fill.ticked);
    if (index == 0) cmdStartPrimary_->setEnabled(!fill.path.isEmpty());
}

void LoaderWindow::txtStartAddress_Validate(int index) {
    QLineEdit* box = txtStartAddress_[index];
    box->setText(NormalizeAddressText(box->text(), index));
}

void LoaderWindow::cmdValidateAdrs_Click() {
    checkAddresses();
}

bool LoaderWindow::checkAddresses() {
    const AddressCheckResult result =
        CheckAddresses(AddressInputsOf(*this), loaderState().sSlotName);
    lvwAdrs_->clear();
    for (const AddressRow& row : result.rows)
        lvwAdrs_->addTopLevelItem(
            new QTreeWidgetItem({QString::number(row.index), row.start, row.size}));
    ShowAddressMessages(result, dialogs_);
    return result.ok;
}

bool LoaderWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == txtStatus_ && event->type() == QEvent::KeyPress)
        return txtStatusKey(static_cast<QKeyEvent*>(event));
    for (int i = 0; i < kSlotCount; ++i) {
        if (watched != txtStartAddress_[i]) continue;
        if (event->type() == QEvent::KeyPress)
            return txtStartAddressKey(i, static_cast<QKeyEvent*>(event));
        if (event->type() == QEvent::FocusOut) txtStartAddress_Validate(i);
    }
    return QMainWindow::eventFilter(watched, event);
}

bool LoaderWindow::txtStartAddressKey(int index, QKeyEvent* key) {
    if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) return false;
    txtStartAddress_Validate(index);
    return true;
}

bool LoaderWindow::txtStatusKey(QKeyEvent* key) {
    int shift = 0;
    if (key->modifiers() & Qt::ShiftModifier) shift |= 1;
    if (key->modifiers() & Qt::ControlModifier) shift |= 2;
    if (key->modifiers() & Qt::AltModifier) shift |= 4;
    if (key->key() == Qt::Key_B && (shift & kShiftAlt)) {
        guarded([this] { link_->txtStatus_KeyDown(kKeyCodeB, kShiftAlt); });
        return true;
    }
    if (shift & kShiftAlt) return false;
    const QString text = key->text();
    if (text.isEmpty()) return false;  // navigation keys still move in the log
    guarded([this, &text] {
        for (QChar c : text) {
            if (c.unicode() < 256) link_->txtStatus_KeyPress(c.unicode());
        }
    });
    return true;
}

}  // namespace vrx
