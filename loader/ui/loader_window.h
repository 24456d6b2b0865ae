// frmLoader, the loader's main window: the port controls, the seven image
// slots, the sequence buttons, the status log and terminal, the address table,
// the status bar with its progress bar, and the menus.
//
// The window is the LoaderFront of the link layer: the sequences of Link read
// the slot controls and write the log, button states and progress through it.
// The slot controls are the only store of slot data (file path in the dynamic
// property "Tag" of txtFilNam(i)). Every control carries its program name as
// objectName, control arrays with their index: "txtFilNam(3)", "chkExeURK(0)".
#pragma once

#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>

#include "dialogs.h"
#include "loader_front.h"
#include "port_combo_box.h"
#include "serial_line.h"
#include "slot_rules.h"

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTreeWidget;

namespace vrx {

class Link;

// Where the window takes its program folder, its INI file and the devices
// behind COM1: .. COM8: from.
// A port list entry: "COM1: /dev/ttyUSB0", or "COM1: (none)" without a device.
QString PortEntryText(int port, const QString& device);

struct WindowSetup {
    // Full path of the program; the INI file and the file dialog's first
    // folder are beside it. Empty: the running executable.
    QString programPath;
    // The device each of COM1: .. COM8: maps to ("" when none).
    std::function<QString(int port)> portDevice;
    // Reads the port mapping again (INI file and devices present); called
    // each time the port list opens. Optional.
    std::function<void()> refreshPorts;
};

class LoaderWindow : public QMainWindow, public LoaderFront {
    Q_OBJECT
  public:
    // Builds the window and runs Form_Load (so the INI file is read, and its
    // message shown, before the window is first shown).
    LoaderWindow(SerialLine& line, Dialogs& dialogs, WindowSetup setup = {},
                 QWidget* parent = nullptr);
    ~LoaderWindow() override;

    Link& link() { return *link_; }
    QString programFolder() const { return programFolder_; }

    // --- LoaderFront ---
    bool slotTicked(int slot) const override;
    QString slotPath(int slot) const override;
    QString slotAddress(int slot) const override;
    QString slotSize(int slot) const override;
    bool fullErase() const override;
    int selectedPort() const override;
    QString deviceForPort(int port) const override;
    void writeLog(const QString& text, int replaceLast = 0) override;
    int logLength() const override;
    void focusLog() override;
    void setControlEnabled(Control control, bool enabled) override;
    void setTerminalCaption(const QString& caption) override;
    void setPortState(const QString& text) override;
    void setStatusPanel(const QString& text) override;
    void setProgress(float percent) override;
    Dialogs& dialogs() override { return dialogs_; }
    bool checkAddresses() override;
    void runBootIdWait(const std::function<void()>& waitLoop) override;

    // The whole status log as the program keeps it (CR LF line breaks).
    const QString& logText() const { return logText_; }

    // --- the window's own handlers ---
    void Form_Resize();
    // True when closing is refused.
    bool Form_Unload();
    void chkExeURK_Click(int index);
    void cmdBrowse_Click(int index);
    void txtStartAddress_Validate(int index);
    void cmdValidateAdrs_Click();
    void mnuAbout_Click();
    void mnuLoadIni_Click();
    void mnuWriteIni_Click();
    void mnuExecScript_Click();

    // Layout values kept between resizes.
    struct LayoutGaps {
        int iFraHeightGap = 0;
        int iTxtHeightGap = 0;
        int iFraWidthGap = 0;
        int iTxtWidthGap = 0;
        int iLastHeight = 0;
        int iLastWidth = 0;
    };
    const LayoutGaps& layoutGaps() const { return gaps_; }

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Copies a slot filling into slot `index`'s controls.
    void applySlotFill(int index, const SlotFill& fill);
    void buildControls();
    void buildPortFrame();
    QGroupBox* buildSlotFrame(const char* name, const char* caption, int top, int firstSlot,
                              int lastSlot);
    void buildSlotRow(QWidget* frame, int slot, int top);
    void buildStatusFrame();
    void buildHiddenControls();
    void buildMenus();
    void buildStatusBar();
    void buildTimers();
    void connectHandlers();

    void Form_Load();
    void iniStartupLoad();
    void placeProgressBar();
    void showPortDevice();
    // Runs a link handler; errors that a handler lets through (debug mode)
    // are shown instead of ending the program.
    void guarded(const std::function<void()>& handler);
    bool txtStatusKey(QKeyEvent* key);
    bool txtStartAddressKey(int index, QKeyEvent* key);

    SerialLine& line_;
    Dialogs& dialogs_;
    WindowSetup setup_;
    QString programPath_;
    QString programFolder_;
    QString cdlInitDir_;
    std::unique_ptr<Link> link_;
    QString logText_;
    LayoutGaps gaps_;

    QLabel* lblHeader_ = nullptr;
    PortComboBox* cmbComPort_ = nullptr;
    QLabel* lblDevice_ = nullptr;
    QLabel* lblState_ = nullptr;
    QPushButton* cmdTerminal_ = nullptr;
    QPushButton* cmdCancel_ = nullptr;
    QPushButton* cmdStartPrimary_ = nullptr;
    QPushButton* cmdStartSecondary_ = nullptr;
    QPushButton* cmdURK_ = nullptr;
    QCheckBox* chkErase_ = nullptr;
    QPushButton* cmdPrgFlash_ = nullptr;
    QPushButton* cmdValidateAdrs_ = nullptr;
    QTreeWidget* lvwAdrs_ = nullptr;
    QGroupBox* fraControl_ = nullptr;
    QPlainTextEdit* txtStatus_ = nullptr;
    QPushButton* cmdOutput_ = nullptr;
    QLineEdit* txtOut_ = nullptr;
    QLabel* statusPanel_[3] = {};
    QProgressBar* pgbDownload_ = nullptr;
    QAction* mnuLoadIni_ = nullptr;
    QAction* mnuWriteIni_ = nullptr;
    QAction* mnuExecScript_ = nullptr;
    QAction* mnuExit_ = nullptr;
    QAction* mnuAbout_ = nullptr;

    std::array<QCheckBox*, 7> chkExeURK_{};
    std::array<QLineEdit*, 7> txtFilNam_{};
    std::array<QPushButton*, 7> cmdBrowse_{};
    std::array<QLineEdit*, 7> txtStartAddress_{};
    std::array<QLabel*, 7> lblStart_{};
    std::array<QLabel*, 7> lblSize_{};
    std::array<QLabel*, 7> lblCodeSize_{};
};

}  // namespace vrx
