// frmLoader's life: start-up (Form_Load), the resize rule with its snap-back,
// closing (refused while an operation runs), and the menu entries that belong
// to the window itself.
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QStatusBar>
#include <cmath>

#include "about_box.h"
#include "link.h"
#include "loader_state.h"
#include "loader_window.h"
#include "slot_rules.h"
#include "version.h"

namespace vrx {

void LoaderWindow::Form_Load() {
    for (int port = 1; port <= kPortCount; ++port)
        cmbComPort_->addItem(QStringLiteral("COM%1:").arg(port), port);
    cmbComPort_->setCurrentIndex(0);
    showPortDevice();

    LoaderState& state = loaderState();
    state.sSlotName = SlotNames();
    link_->SetResponseTimeout(false);
    state.bCancel = false;
    txtStatus_->clear();
    logText_.clear();
    cmdStartPrimary_->setEnabled(false);
    cmdStartSecondary_->setEnabled(false);
    cmdURK_->setEnabled(false);
    lblHeader_->setText(lblHeader_->text() + HeaderVersionSuffix());

    programPath_ =
        setup_.programPath.isEmpty() ? QCoreApplication::applicationFilePath() : setup_.programPath;
    const QFileInfo program(programPath_);
    programFolder_ = program.absolutePath();
    state.sIniFile = programFolder_ + QLatin1Char('/') + program.completeBaseName() + ".INI";
    iniStartupLoad();
    placeProgressBar();
    cdlInitDir_ = programFolder_;
}

void LoaderWindow::placeProgressBar() {
    // The bar fills the third panel exactly and follows it when it resizes.
    auto* fill = new QHBoxLayout(statusPanel_[2]);
    fill->setContentsMargins(0, 0, 0, 0);
    fill->addWidget(pgbDownload_);
    pgbDownload_->show();
    pgbDownload_->setValue(0);
}

QString PortEntryText(int port, const QString& device) {
    return QStringLiteral("COM%1: ").arg(port) +
           (device.isEmpty() ? QStringLiteral("(none)") : device);
}

void LoaderWindow::showPortDevice() {
    const int port = selectedPort();
    const QString device = port > 0 ? deviceForPort(port) : QString();
    lblDevice_->setText(device.isEmpty() ? QStringLiteral("(no device)") : device);
    for (int i = 0; i < cmbComPort_->count(); ++i) {
        const int item = cmbComPort_->itemData(i).toInt();
        const QString mapped = deviceForPort(item);
        cmbComPort_->setItemText(i, PortEntryText(item, mapped));
        cmbComPort_->setItemData(i, mapped.isEmpty() ? QStringLiteral("no device") : mapped,
                                 Qt::ToolTipRole);
    }
}

void LoaderWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    Form_Resize();
}

void LoaderWindow::Form_Resize() {
    if (isMinimized()) return;
    const int h = height();
    const int w = width();
    if (gaps_.iFraHeightGap == 0) {
        gaps_.iFraHeightGap = h - fraControl_->height();
        gaps_.iTxtHeightGap = h - txtStatus_->height();
        gaps_.iFraWidthGap = w - fraControl_->width();
        gaps_.iTxtWidthGap = w - txtStatus_->width();
    }
    const int fraHeight = h - gaps_.iFraHeightGap;
    const int txtHeight = h - gaps_.iTxtHeightGap;
    const int fraWidth = w - gaps_.iFraWidthGap;
    const int txtWidth = w - gaps_.iTxtWidthGap;
    if (fraHeight < 0 || txtHeight < 0 || fraWidth < 0 || txtWidth < 0) {
        // Smaller than this the frame or the log would vanish: back to the
        // last size that could be laid out.
        if (gaps_.iLastHeight > 0 && gaps_.iLastWidth > 0)
            resize(gaps_.iLastWidth, gaps_.iLastHeight);
        return;
    }
    fraControl_->resize(fraWidth, fraHeight);
    txtStatus_->resize(txtWidth, txtHeight);
    gaps_.iLastHeight = h;
    gaps_.iLastWidth = w;
}

void LoaderWindow::closeEvent(QCloseEvent* event) {
    if (Form_Unload())
        event->ignore();
    else
        event->accept();
}

bool LoaderWindow::Form_Unload() {
    LoaderState& state = loaderState();
    state.bCancel = true;
    const bool refuse = state.bBusy;
    if (line_.isOpen()) guarded([this] { link_->ClosePort(); });
    return refuse;
}

void LoaderWindow::mnuAbout_Click() {
    AboutBox box(dialogs_, this);
    box.exec();
}

void LoaderWindow::mnuWriteIni_Click() {
    LoaderState& state = loaderState();
    state.sMsg = QStringLiteral("Not yet implemented. Please edit ") + state.sIniFile +
                 QStringLiteral(" yourselfes");
    dialogs_.message(MessageIcon::Information, "Not yet implemented", state.sMsg);
}

void LoaderWindow::guarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        // Only debug mode lets errors out of the handlers. Show them and keep
        // the program running; a sequence that ended this way left the run
        // state busy, which would refuse every later close of the window.
        dialogs_.message(MessageIcon::Exclamation, "Error", QString::fromLocal8Bit(e.what()));
        LoaderState& state = loaderState();
        if (state.bBusy) {
            state.bBusy = false;
            try {
                link_->ClosePort();
            } catch (const std::exception&) {
                // The port is already unusable; closing it is all that was left.
            }
            if (!slotPath(0).isEmpty()) cmdStartPrimary_->setEnabled(true);
        }
    }
}

}  // namespace vrx
