// Construction of frmLoader: its controls, where they sit, and the wiring of
// their events to the handlers.
#include "loader_window.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QTreeWidget>

#include "link.h"
#include "loader_state.h"
#include "slot_rules.h"

namespace vrx {

namespace {

// The laid-out size. The debug send, the address table and its button sit to
// the right of it (from kHiddenLeft on) and show only in a widened window.
constexpr int kLaidOutWidth = 640;
constexpr int kLaidOutHeight = 770;
constexpr int kHiddenLeft = 680;
constexpr int kSlotRowHeight = 46;

struct SlotLook {
    const char* checkCaption;
    const char* addressCaption;
};

constexpr SlotLook kSlotLook[kSlotCount] = {
    {"&Primary Boot (IRAM)", "IRAM Address"},
    {"&Secondary Executable (SDRAM)", "SDRAM Address"},
    {"&UBoot image", "SDRAM Address"},
    {"&RootFS image", "SDRAM Address"},
    {"&Kernel image", "SDRAM Address"},
    {"&Flash image", "Flash Address"},
    {"fl_burn", "IRAM Address"},
};

QString indexed(const char* name, int index) {
    return QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(index);
}

template <typename W>
W* make(QWidget* parent, const QString& name, int x, int y, int w, int h) {
    auto* widget = new W(parent);
    widget->setObjectName(name);
    widget->setGeometry(x, y, w, h);
    return widget;
}

QPushButton* button(QWidget* parent, const QString& name, const char* caption, int x, int y, int w,
                    int h = 26) {
    auto* b = make<QPushButton>(parent, name, x, y, w, h);
    b->setText(caption);
    return b;
}

}  // namespace

LoaderWindow::LoaderWindow(SerialLine& line, Dialogs& dialogs, WindowSetup setup, QWidget* parent)
    : QMainWindow(parent), line_(line), dialogs_(dialogs), setup_(std::move(setup)) {
    setObjectName("frmLoader");
    setWindowTitle("VRX5520 Loader");
    buildControls();
    link_ = std::make_unique<Link>(line_, *this, this);
    connectHandlers();
    resize(kLaidOutWidth, kLaidOutHeight);
    Form_Load();
}

LoaderWindow::~LoaderWindow() = default;

void LoaderWindow::buildControls() {
    auto* client = new QWidget(this);
    client->setObjectName("client");
    setCentralWidget(client);

    lblHeader_ = make<QLabel>(client, "lblHeader", 10, 6, 600, 20);
    lblHeader_->setText("VRX5640 loader");
    QFont headerFont = lblHeader_->font();
    headerFont.setBold(true);
    lblHeader_->setFont(headerFont);

    buildPortFrame();
    buildSlotFrame("fraExecutables", "Executables", 90, 0, 1);
    cmdStartPrimary_ = button(findChild<QGroupBox*>("fraExecutables"), "cmdStartPrimary",
                              "Load bin's / Start primary", 10, 20 + 2 * kSlotRowHeight, 200);
    cmdStartSecondary_ = button(findChild<QGroupBox*>("fraExecutables"), "cmdStartSecondary",
                                "Start Secondary Executable", 216, 20 + 2 * kSlotRowHeight, 200);
    auto* images = buildSlotFrame("fraImages", "Uboot/RootFS/Kernel Images", 236, 2, 4);
    cmdURK_ = button(images, "cmdURK", "Download U/R/K images", 10, 20 + 3 * kSlotRowHeight, 200);
    auto* flash = buildSlotFrame("fraFlashLdr", "Program Flash", 428, 5, 6);
    chkErase_ = make<QCheckBox>(flash, "chkErase", 10, 20 + 2 * kSlotRowHeight, 200, 26);
    chkErase_->setText("Full Erase (be patient!)");
    cmdPrgFlash_ = button(flash, "cmdPrgFlash", "Program Flash", 216, 20 + 2 * kSlotRowHeight, 200);
    buildStatusFrame();
    buildHiddenControls();
    buildMenus();
    buildStatusBar();
    buildTimers();
}

void LoaderWindow::buildPortFrame() {
    auto* frame = make<QGroupBox>(centralWidget(), "fraComPort", 8, 28, 624, 58);
    frame->setTitle("Comport control");
    cmbComPort_ = make<PortComboBox>(frame, "cmbComPort", 10, 22, 90, 26);
    lblDevice_ = make<QLabel>(frame, "lblDevice", 106, 22, 170, 26);
    lblState_ = make<QLabel>(frame, "lblState", 282, 22, 64, 26);
    lblState_->setText("Closed...");
    cmdTerminal_ = button(frame, "cmdTerminal", "Enable &Terminal mode", 348, 20, 140, 28);
    cmdCancel_ = button(frame, "cmdCancel", "&Cancel && Close port", 492, 20, 126, 28);
}

QGroupBox* LoaderWindow::buildSlotFrame(const char* name, const char* caption, int top,
                                        int firstSlot, int lastSlot) {
    const int rows = lastSlot - firstSlot + 1;
    auto* frame =
        make<QGroupBox>(centralWidget(), name, 8, top, 624, 20 + rows * kSlotRowHeight + 30);
    frame->setTitle(caption);
    for (int slot = firstSlot; slot <= lastSlot; ++slot)
        buildSlotRow(frame, slot, 20 + (slot - firstSlot) * kSlotRowHeight);
    return frame;
}

void LoaderWindow::buildSlotRow(QWidget* frame, int slot, int top) {
    const SlotLook& look = kSlotLook[slot];
    chkExeURK_[slot] = make<QCheckBox>(frame, indexed("chkExeURK", slot), 10, top, 210, 22);
    chkExeURK_[slot]->setText(look.checkCaption);
    txtFilNam_[slot] = make<QLineEdit>(frame, indexed("txtFilNam", slot), 224, top, 300, 22);
    txtFilNam_[slot]->setProperty("Tag", QString());
    cmdBrowse_[slot] = button(frame, indexed("cmdBrowse", slot), "Browse", 530, top, 84, 22);
    lblStart_[slot] = make<QLabel>(frame, indexed("lblStart", slot), 30, top + 24, 100, 20);
    lblStart_[slot]->setText(look.addressCaption);
    txtStartAddress_[slot] =
        make<QLineEdit>(frame, indexed("txtStartAddress", slot), 134, top + 24, 100, 20);
    txtStartAddress_[slot]->setText(InitialAddressText(slot));
    lblSize_[slot] = make<QLabel>(frame, indexed("lblSize", slot), 250, top + 24, 34, 20);
    lblSize_[slot]->setText("Size");
    lblCodeSize_[slot] = make<QLabel>(frame, indexed("lblCodeSize", slot), 288, top + 24, 120, 20);
}

void LoaderWindow::buildStatusFrame() {
    fraControl_ = make<QGroupBox>(centralWidget(), "fraControl", 8, 574, 624, 146);
    fraControl_->setTitle("Status / Terminal output");
    txtStatus_ = make<QPlainTextEdit>(fraControl_, "txtStatus", 8, 20, 608, 118);
    QFont courier("Courier New");
    courier.setStyleHint(QFont::TypeWriter);
    courier.setFixedPitch(true);
    txtStatus_->setFont(courier);
    // The log takes no typed characters: keys go to the target in terminal
    // mode, and text shows only when the target echoes it.
    txtStatus_->setReadOnly(true);
    txtStatus_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    txtStatus_->setFocusPolicy(Qt::StrongFocus);
    txtStatus_->setUndoRedoEnabled(false);
}

void LoaderWindow::buildHiddenControls() {
    QWidget* client = centralWidget();
    cmdOutput_ = button(client, "cmdOutput", "Debug Send String:", kHiddenLeft, 30, 150);
    txtOut_ = make<QLineEdit>(client, "txtOut", kHiddenLeft + 8, 60, 142, 24);
    txtOut_->setText("4R");
    cmdValidateAdrs_ =
        button(client, "cmdValidateAdrs", "Validate Addresses", kHiddenLeft, 100, 150);
    lvwAdrs_ = make<QTreeWidget>(client, "lvwAdrs", kHiddenLeft, 130, 280, 200);
    lvwAdrs_->setColumnCount(3);
    lvwAdrs_->setHeaderLabels({"index", "start", "size"});
    lvwAdrs_->setRootIsDecorated(false);
    pgbDownload_ = make<QProgressBar>(client, "pgbDownload", kHiddenLeft, 340, 150, 20);
    pgbDownload_->setRange(0, 100);
    pgbDownload_->setValue(0);
}

void LoaderWindow::buildMenus() {
    QMenu* file = menuBar()->addMenu(" &File");
    file->setObjectName("mnuFile");
    mnuLoadIni_ = file->addAction("&Load INI file");
    mnuLoadIni_->setObjectName("mnuLoadIni");
    mnuWriteIni_ = file->addAction("&Write INI file");
    mnuWriteIni_->setObjectName("mnuWriteIni");
    mnuExecScript_ = file->addAction("&Execute Script");
    mnuExecScript_->setObjectName("mnuExecScript");
    mnuExecScript_->setEnabled(false);
    file->addSeparator();
    mnuExit_ = file->addAction("&Exit");
    mnuExit_->setObjectName("mnuExit");
    mnuAbout_ = menuBar()->addAction(" &About");
    mnuAbout_->setObjectName("mnuAbout");
}

void LoaderWindow::buildTimers() {
    // The monitor timer ticks without a handler; it is kept so the window
    // carries every timer of the program.
    auto* monitor = new QTimer(this);
    monitor->setObjectName("timMonitor");
    monitor->setInterval(250);
}

void LoaderWindow::buildStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName("staStatus");
    bar->setSizeGripEnabled(true);
    for (int i = 0; i < 3; ++i) {
        statusPanel_[i] = new QLabel(bar);
        statusPanel_[i]->setObjectName(QStringLiteral("staStatus.Panels(%1)").arg(i));
        statusPanel_[i]->setMinimumWidth(i == 1 ? 220 : 120);
    }
    statusPanel_[0]->setText("Progress -->");
    bar->addWidget(statusPanel_[0]);
    bar->addWidget(statusPanel_[1], 1);
    bar->addPermanentWidget(statusPanel_[2]);
}

void LoaderWindow::connectHandlers() {
    Link& link = *link_;
    const auto onClick = [this](QPushButton* b, std::function<void()> handler) {
        connect(b, &QPushButton::clicked, this, [this, handler] { guarded(handler); });
    };
    onClick(cmdStartPrimary_, [&link] { link.cmdStartPrimary_Click(); });
    onClick(cmdStartSecondary_, [&link] { link.cmdStartSecondary_Click(); });
    onClick(cmdURK_, [&link] { link.cmdURK_Click(); });
    onClick(cmdPrgFlash_, [&link] { link.cmdPrgFlash_Click(); });
    onClick(cmdTerminal_, [&link] { link.cmdTerminal_Click(); });
    onClick(cmdCancel_, [&link] { link.cmdCancel_Click(); });
    onClick(cmdOutput_, [this, &link] { link.cmdOutput_Click(txtOut_->text().toLatin1()); });
    onClick(cmdValidateAdrs_, [this] { cmdValidateAdrs_Click(); });
    for (int i = 0; i < kSlotCount; ++i) {
        onClick(cmdBrowse_[i], [this, i] { cmdBrowse_Click(i); });
        connect(chkExeURK_[i], &QCheckBox::toggled, this, [this, i] { chkExeURK_Click(i); });
        txtStartAddress_[i]->installEventFilter(this);
    }
    txtStatus_->installEventFilter(this);
    connect(cmbComPort_, &QComboBox::currentIndexChanged, this, [this] { showPortDevice(); });
    cmbComPort_->aboutToOpen = [this] {
        if (setup_.refreshPorts) setup_.refreshPorts();
        showPortDevice();
    };
    connect(mnuLoadIni_, &QAction::triggered, this, [this] { mnuLoadIni_Click(); });
    connect(mnuWriteIni_, &QAction::triggered, this, [this] { mnuWriteIni_Click(); });
    connect(mnuExecScript_, &QAction::triggered, this, [this] { mnuExecScript_Click(); });
    connect(mnuExit_, &QAction::triggered, this, &QWidget::close);
    connect(mnuAbout_, &QAction::triggered, this, [this] { mnuAbout_Click(); });
}

}  // namespace vrx
