// The main window: start-up state and captions, the resize rule, closing,
// the cancel button when idle, the check box rule, keys in the status log,
// file selection and address entry.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <map>

#include "about_box.h"
#include "link.h"
#include "ui_test_support.h"
#include "version.h"

namespace vrx::test {
namespace {

QString name(const char* array, int index) {
    return QString("%1(%2)").arg(array).arg(index);
}

struct SlotExpectation {
    int slot;
    const char* check;
    const char* frame;
    const char* address;
    const char* addressCaption;
};

const SlotExpectation kSlots[] = {
    {0, "&Primary Boot (IRAM)", "fraExecutables", "0x0", "IRAM Address"},
    {1, "&Secondary Executable (SDRAM)", "fraExecutables", "0x80000000", "SDRAM Address"},
    {2, "&UBoot image", "fraImages", "0x80000000", "SDRAM Address"},
    {3, "&RootFS image", "fraImages", "0x80000000", "SDRAM Address"},
    {4, "&Kernel image", "fraImages", "0x80000000", "SDRAM Address"},
    {5, "&Flash image", "fraFlashLdr", "0x00000000", "Flash Address"},
    {6, "fl_burn", "fraFlashLdr", "0x0", "IRAM Address"},
};

TEST_F(WindowTest, StartsWithTheSlotTableValues) {
    makeWindow();
    for (const SlotExpectation& e : kSlots) {
        SCOPED_TRACE(e.slot);
        auto* check = control<QCheckBox>(name("chkExeURK", e.slot));
        ASSERT_TRUE(check);
        EXPECT_EQ(check->text(), e.check);
        EXPECT_FALSE(check->isChecked());
        EXPECT_EQ(check->parentWidget()->objectName(), e.frame);
        EXPECT_EQ(control<QLineEdit>(name("txtStartAddress", e.slot))->text(), e.address);
        EXPECT_EQ(control<QLabel>(name("lblStart", e.slot))->text(), e.addressCaption);
        EXPECT_EQ(control<QLabel>(name("lblSize", e.slot))->text(), "Size");
        EXPECT_EQ(control<QLabel>(name("lblCodeSize", e.slot))->text(), "");
        EXPECT_EQ(control<QPushButton>(name("cmdBrowse", e.slot))->text(), "Browse");
        auto* file = control<QLineEdit>(name("txtFilNam", e.slot));
        EXPECT_EQ(file->text(), "");
        EXPECT_EQ(file->property("Tag").toString(), "");
    }
}

TEST_F(WindowTest, PortListIsReadAgainEachTimeItOpens) {
    // At start-up one adapter; it is unplugged and comes back as ttyUSB1.
    std::map<int, QString> devices{{1, "/dev/ttyUSB0"}};
    int refreshes = 0;
    WindowSetup setup;
    setup.portDevice = [&devices](int port) {
        const auto it = devices.find(port);
        return it == devices.end() ? QString() : it->second;
    };
    setup.refreshPorts = [&refreshes] { ++refreshes; };
    makeWindow(setup);
    auto* ports = control<QComboBox>("cmbComPort");
    EXPECT_EQ(ports->itemText(0), "COM1: /dev/ttyUSB0");
    EXPECT_EQ(ports->itemText(1), "COM2: (none)");
    EXPECT_EQ(ports->count(), 8) << "the eight entries stay";

    devices = {{1, "/dev/ttyUSB1"}, {2, "/dev/ttyACM0"}};
    ports->showPopup();
    EXPECT_EQ(refreshes, 1);
    EXPECT_EQ(ports->itemText(0), "COM1: /dev/ttyUSB1");
    EXPECT_EQ(ports->itemText(1), "COM2: /dev/ttyACM0");
    EXPECT_EQ(ports->itemText(7), "COM8: (none)");
    EXPECT_EQ(control<QLabel>("lblDevice")->text(), "/dev/ttyUSB1");
    ports->hidePopup();
    EXPECT_EQ(ports->currentData().toInt(), 1);
}

TEST_F(WindowTest, StartsWithCaptionsPortsAndDisabledButtons) {
    LoaderWindow& w = makeWindow();
    EXPECT_EQ(w.windowTitle(), "VRX5520 Loader");
    EXPECT_EQ(control<QLabel>("lblHeader")->text(), QString("VRX5640 loader, V%1.%2 (rev %3)")
                                                        .arg(kVersionMajor)
                                                        .arg(kVersionMinor)
                                                        .arg(kVersionRevision));

    auto* ports = control<QComboBox>("cmbComPort");
    ASSERT_EQ(ports->count(), 8);
    for (int n = 1; n <= 8; ++n) {
        EXPECT_EQ(ports->itemText(n - 1), QString("COM%1: /dev/ttyTEST%1").arg(n));
        EXPECT_EQ(ports->itemData(n - 1).toInt(), n);
    }
    EXPECT_EQ(ports->currentIndex(), 0);
    EXPECT_EQ(control<QLabel>("lblDevice")->text(), "/dev/ttyTEST1");
    ports->setCurrentIndex(2);
    EXPECT_EQ(control<QLabel>("lblDevice")->text(), "/dev/ttyTEST3");
    EXPECT_EQ(w.selectedPort(), 3);

    const std::pair<const char*, const char*> captions[] = {
        {"lblState", "Closed..."},
        {"cmdTerminal", "Enable &Terminal mode"},
        {"cmdCancel", "&Cancel && Close port"},
        {"cmdStartPrimary", "Load bin's / Start primary"},
        {"cmdStartSecondary", "Start Secondary Executable"},
        {"cmdURK", "Download U/R/K images"},
        {"chkErase", "Full Erase (be patient!)"},
        {"cmdPrgFlash", "Program Flash"},
        {"cmdValidateAdrs", "Validate Addresses"},
        {"cmdOutput", "Debug Send String:"},
        {"txtOut", "4R"},
    };
    for (const auto& [control_, caption] : captions) {
        QWidget* widget = control<QWidget>(control_);
        ASSERT_TRUE(widget);
        QString text = widget->property("text").toString();
        EXPECT_EQ(text, caption) << control_;
    }
    const std::pair<const char*, const char*> frames[] = {
        {"fraComPort", "Comport control"},           {"fraExecutables", "Executables"},
        {"fraImages", "Uboot/RootFS/Kernel Images"}, {"fraFlashLdr", "Program Flash"},
        {"fraControl", "Status / Terminal output"},
    };
    for (const auto& [frame, caption] : frames)
        EXPECT_EQ(control<QGroupBox>(frame)->title(), caption) << frame;

    EXPECT_FALSE(control<QPushButton>("cmdStartPrimary")->isEnabled());
    EXPECT_FALSE(control<QPushButton>("cmdStartSecondary")->isEnabled());
    EXPECT_FALSE(control<QPushButton>("cmdURK")->isEnabled());
    EXPECT_TRUE(control<QPushButton>("cmdPrgFlash")->isEnabled());
    EXPECT_TRUE(w.logText().isEmpty());
    EXPECT_FALSE(w.link().timTimeOut().isActive());

    auto* log = control<QPlainTextEdit>("txtStatus");
    EXPECT_TRUE(QFontInfo(log->font()).fixedPitch());
    EXPECT_EQ(log->parentWidget()->objectName(), "fraControl");

    auto* table = control<QTreeWidget>("lvwAdrs");
    ASSERT_EQ(table->columnCount(), 3);
    EXPECT_EQ(table->headerItem()->text(0), "index");
    EXPECT_EQ(table->headerItem()->text(1), "start");
    EXPECT_EQ(table->headerItem()->text(2), "size");
    EXPECT_EQ(table->topLevelItemCount(), 0);

    const LoaderState& state = loaderState();
    EXPECT_EQ(state.sIniFile, folder.path() + "/VRX5520_Loader.INI");
    EXPECT_FALSE(state.bCancel);
    const QString names[8] = {"",
                              "Secondary Executable",
                              "UBoot image",
                              "Root FS image",
                              "Kernel image",
                              "UBoot marker (0x80000000)",
                              "UBoot marker (0x82000000)",
                              "maximum address"};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(state.sSlotName[i], names[i]);
}

TEST_F(WindowTest, StatusBarHoldsTheProgressBarAndMenusCarryTheirEntries) {
    LoaderWindow& w = makeWindow();
    auto* bar = control<QStatusBar>("staStatus");
    auto* progress = control<QProgressBar>("pgbDownload");
    ASSERT_TRUE(bar && progress);
    EXPECT_TRUE(bar->isAncestorOf(progress));
    EXPECT_EQ(progress->parentWidget()->objectName(), "staStatus.Panels(2)");
    auto* monitor = w.findChild<QTimer*>("timMonitor");
    ASSERT_TRUE(monitor);
    EXPECT_EQ(monitor->interval(), 250);
    EXPECT_EQ(progress->value(), 0);
    EXPECT_EQ(control<QLabel>("staStatus.Panels(0)")->text(), "Progress -->");
    w.setStatusPanel("bytes sent 1024 / 8192");
    w.setProgress(12.5f);
    EXPECT_EQ(control<QLabel>("staStatus.Panels(1)")->text(), "bytes sent 1024 / 8192");
    EXPECT_EQ(progress->value(), 12);

    const std::pair<const char*, const char*> entries[] = {
        {"mnuLoadIni", "&Load INI file"},
        {"mnuWriteIni", "&Write INI file"},
        {"mnuExecScript", "&Execute Script"},
        {"mnuExit", "&Exit"},
        {"mnuAbout", " &About"},
    };
    for (const auto& [entry, caption] : entries) {
        auto* action = w.findChild<QAction*>(entry);
        ASSERT_TRUE(action) << entry;
        EXPECT_EQ(action->text(), caption);
    }
    EXPECT_EQ(w.findChild<QMenu*>("mnuFile")->title(), " &File");
    EXPECT_FALSE(w.findChild<QAction*>("mnuExecScript")->isEnabled());
}

TEST_F(WindowTest, DebugControlsAndAddressTableLieRightOfTheLaidOutArea) {
    LoaderWindow& w = makeWindow();
    w.show();
    for (const char* hidden : {"cmdOutput", "txtOut", "lvwAdrs", "cmdValidateAdrs"}) {
        QWidget* widget = control<QWidget>(hidden);
        EXPECT_GE(widget->mapTo(&w, QPoint(0, 0)).x(), w.width()) << hidden;
    }
}

TEST_F(WindowTest, ResizeFollowsTheGapsAndSnapsBackWhenTooSmall) {
    LoaderWindow& w = makeWindow();
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    auto* frame = control<QWidget>("fraControl");
    auto* log = control<QWidget>("txtStatus");
    const auto gaps = w.layoutGaps();
    ASSERT_GT(gaps.iFraHeightGap, 0);
    EXPECT_EQ(gaps.iFraHeightGap, w.height() - frame->height());
    EXPECT_EQ(gaps.iTxtWidthGap, w.width() - log->width());

    w.resize(w.width() + 100, w.height() + 50);
    ASSERT_TRUE(spinUntil([&] { return w.layoutGaps().iLastWidth == w.width(); }));
    EXPECT_EQ(frame->height(), w.height() - gaps.iFraHeightGap);
    EXPECT_EQ(log->height(), w.height() - gaps.iTxtHeightGap);
    EXPECT_EQ(frame->width(), w.width() - gaps.iFraWidthGap);
    EXPECT_EQ(log->width(), w.width() - gaps.iTxtWidthGap);
    const QSize good = w.size();

    // So small that the log would get a negative height: back to the last good size.
    w.resize(good.width(), gaps.iTxtHeightGap - 20);
    spinUntil([&] { return w.size() == good; }, 1000);
    EXPECT_EQ(w.size(), good);
    EXPECT_EQ(log->height(), good.height() - gaps.iTxtHeightGap);

    w.showMinimized();
    QCoreApplication::processEvents();
    w.showNormal();
    QCoreApplication::processEvents();
    EXPECT_EQ(w.layoutGaps().iFraHeightGap, gaps.iFraHeightGap);
    EXPECT_EQ(w.layoutGaps().iTxtWidthGap, gaps.iTxtWidthGap);
}

TEST_F(WindowTest, ClosingWhileBusyIsRefusedButCancelsAndClosesThePort) {
    LoaderWindow& w = makeWindow();
    w.show();
    w.link().OpenPort();
    ASSERT_TRUE(pair.loaderEnd->isOpen());
    loaderState().bBusy = true;

    EXPECT_FALSE(w.close());
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(loaderState().bCancel);
    EXPECT_FALSE(pair.loaderEnd->isOpen());
    EXPECT_EQ(control<QLabel>("lblState")->text(), "Closed...");
    EXPECT_TRUE(control<QComboBox>("cmbComPort")->isEnabled());

    loaderState().bBusy = false;
    EXPECT_TRUE(w.close());
}

TEST_F(WindowTest, ExitMenuClosesWhenIdle) {
    LoaderWindow& w = makeWindow();
    w.show();
    w.link().OpenPort();
    w.findChild<QAction*>("mnuExit")->trigger();
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(pair.loaderEnd->isOpen());
}

TEST_F(WindowTest, CancelButtonWhenIdleClosesThePortAndLogs) {
    for (const bool slot0HasFile : {false, true}) {
        SCOPED_TRACE(slot0HasFile);
        resetLoaderState();
        LoaderWindow& w = makeWindow();
        if (slot0HasFile) {
            dialogs.fileAnswers.push_back(writeFile(folder.path(), "p.bin", "xyz"));
            w.cmdBrowse_Click(0);
            control<QPushButton>("cmdStartPrimary")->setEnabled(false);
        }
        w.link().OpenPort();
        control<QPushButton>("cmdCancel")->click();
        EXPECT_FALSE(pair.loaderEnd->isOpen());
        EXPECT_EQ(control<QLabel>("lblState")->text(), "Closed...");
        EXPECT_TRUE(w.logText().endsWith("\r\n--- Closing port ---\r\n"));
        EXPECT_EQ(control<QPushButton>("cmdStartPrimary")->isEnabled(), slot0HasFile);
        EXPECT_FALSE(control<QPushButton>("cmdURK")->isEnabled());
        EXPECT_FALSE(control<QPushButton>("cmdStartSecondary")->isEnabled());
    }
}

TEST_F(WindowTest, SlotBoxCanOnlyBeTickedWithAFile) {
    LoaderWindow& w = makeWindow();
    auto* check = control<QCheckBox>("chkExeURK(3)");
    check->click();
    EXPECT_FALSE(check->isChecked());
    dialogs.fileAnswers.push_back(writeFile(folder.path(), "rootfs.ubt", "data"));
    w.cmdBrowse_Click(3);
    EXPECT_TRUE(check->isChecked());
    check->click();
    EXPECT_FALSE(check->isChecked());
    check->click();
    EXPECT_TRUE(check->isChecked());
}

TEST_F(WindowTest, BrowseFillsTheSlotFromTheChosenFile) {
    LoaderWindow& w = makeWindow();
    const QString path = writeFile(folder.path(), "images/kernel.bin", QByteArray(70000, 'k'));
    control<QLineEdit>("txtStartAddress(4)")->setText("0x80100000");
    dialogs.fileAnswers.push_back(path);
    control<QPushButton>("cmdBrowse(4)")->click();

    ASSERT_EQ(dialogs.fileRequests.size(), 1u);
    const FileDialogRequest& request = dialogs.fileRequests[0];
    EXPECT_EQ(request.title, "Open binary file");
    EXPECT_EQ(request.filter,
              "Binary Files (.bin)|*.bin|Uboot Image (.ubt)|*.ubt|All Files (*.*)|*.*|");
    EXPECT_EQ(request.filterIndex, 2);
    EXPECT_EQ(request.initialDir, folder.path());
    EXPECT_TRUE(request.mustExist);

    auto* file = control<QLineEdit>("txtFilNam(4)");
    EXPECT_EQ(file->text(), "kernel.bin");
    EXPECT_EQ(file->property("Tag").toString(), path);
    EXPECT_EQ(w.slotPath(4), path);
    EXPECT_EQ(file->toolTip(), "Path: " + folder.path() + "/images/");
    EXPECT_EQ(control<QLabel>("lblCodeSize(4)")->text(), "0x11170");
    EXPECT_TRUE(control<QCheckBox>("chkExeURK(4)")->isChecked());
    EXPECT_FALSE(control<QPushButton>("cmdStartPrimary")->isEnabled());

    // A second choice replaces name, path, size and tick but not the address.
    const QString second = writeFile(folder.path(), "k2.bin", QByteArray(0x1F, 'x'));
    control<QCheckBox>("chkExeURK(4)")->setChecked(false);
    dialogs.fileAnswers.push_back(second);
    w.cmdBrowse_Click(4);
    EXPECT_EQ(file->text(), "k2.bin");
    EXPECT_EQ(file->property("Tag").toString(), second);
    EXPECT_EQ(control<QLabel>("lblCodeSize(4)")->text(), "0x1F");
    EXPECT_TRUE(control<QCheckBox>("chkExeURK(4)")->isChecked());
    EXPECT_EQ(control<QLineEdit>("txtStartAddress(4)")->text(), "0x80100000");
}

TEST_F(WindowTest, BrowseFilterPositionAndPrimaryButtonPerSlot) {
    LoaderWindow& w = makeWindow();
    const QString path = writeFile(folder.path(), "a.bin", "1234");
    auto* primary = control<QPushButton>("cmdStartPrimary");
    for (int slot = 6; slot >= 0; --slot) {
        primary->setEnabled(false);
        dialogs.fileAnswers.push_back(path);
        w.cmdBrowse_Click(slot);
        EXPECT_EQ(dialogs.fileRequests.back().filterIndex, (slot >= 2 && slot <= 4) ? 2 : 1)
            << slot;
        EXPECT_EQ(primary->isEnabled(), slot == 0) << slot;
    }
}

TEST_F(WindowTest, CancelledOrEmptyBrowseChangesNothing) {
    LoaderWindow& w = makeWindow();
    dialogs.fileAnswers.push_back(std::nullopt);
    dialogs.fileAnswers.push_back(QString());
    w.cmdBrowse_Click(0);
    w.cmdBrowse_Click(0);
    EXPECT_EQ(dialogs.fileRequests.size(), 2u);
    EXPECT_EQ(control<QLineEdit>("txtFilNam(0)")->text(), "");
    EXPECT_FALSE(control<QCheckBox>("chkExeURK(0)")->isChecked());
    EXPECT_FALSE(control<QPushButton>("cmdStartPrimary")->isEnabled());
}

TEST_F(WindowTest, BrowsedFileThatVanishedKeepsTheOldSize) {
    LoaderWindow& w = makeWindow();
    dialogs.fileAnswers.push_back(writeFile(folder.path(), "one.bin", "12345"));
    w.cmdBrowse_Click(2);
    dialogs.fileAnswers.push_back(folder.path() + "/gone.bin");
    w.cmdBrowse_Click(2);
    EXPECT_EQ(control<QLineEdit>("txtFilNam(2)")->text(), "gone.bin");
    EXPECT_EQ(control<QLabel>("lblCodeSize(2)")->text(), "0x5");
    EXPECT_TRUE(control<QCheckBox>("chkExeURK(2)")->isChecked());
}

TEST_F(WindowTest, AddressIsNormalisedOnEnterAndOnFocusLoss) {
    LoaderWindow& w = makeWindow();
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    auto* box = control<QLineEdit>("txtStartAddress(0)");
    box->setFocus();
    box->setText("4096");
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_EQ(box->text(), "0x1000");
    EXPECT_TRUE(box->hasFocus()) << "Enter must not move the focus";

    auto* other = control<QLineEdit>("txtStartAddress(2)");
    other->setFocus();
    other->setText("0x1000");
    box->setFocus();
    QCoreApplication::processEvents();
    EXPECT_EQ(other->text(), "0x00001000");

    box->setText("0x12G4");
    other->setFocus();
    QCoreApplication::processEvents();
    EXPECT_EQ(box->text(), "0x0");
}

TEST_F(WindowTest, TypingInTerminalModeSendsTheKeyAndLeavesTheLogAlone) {
    LoaderWindow& w = makeWindow();
    w.show();
    auto* log = control<QPlainTextEdit>("txtStatus");

    // Programmed mode, port closed: nothing goes anywhere.
    QTest::keyClicks(log, "x");
    EXPECT_TRUE(pair.loaderEnd->written().isEmpty());

    control<QPushButton>("cmdTerminal")->click();
    ASSERT_TRUE(loaderState().bTerminalMode);
    ASSERT_TRUE(pair.loaderEnd->isOpen());
    EXPECT_EQ(control<QPushButton>("cmdTerminal")->text(), "Disable Terminal mode");
    const QString logBefore = w.logText();
    QTest::keyClicks(log, "ls");
    QTest::keyClick(log, Qt::Key_Return);
    EXPECT_EQ(pair.loaderEnd->written(), QByteArray("ls\r"));
    EXPECT_EQ(w.logText(), logBefore);

    // Debug mode silences SendText, not typing.
    loaderState().bDebug = true;
    pair.loaderEnd->clearWritten();
    QTest::keyClicks(log, "q");
    EXPECT_EQ(pair.loaderEnd->written(), QByteArray("q"));
}

TEST_F(WindowTest, AltBInTheLogPulsesDtr) {
    LoaderWindow& w = makeWindow();
    w.show();
    std::vector<bool> dtr;
    QObject::connect(pair.boardEnd.get(), &MemoryLine::dtrChanged,
                     [&](bool on) { dtr.push_back(on); });
    auto* log = control<QPlainTextEdit>("txtStatus");
    QTest::keyClick(log, Qt::Key_B, Qt::AltModifier);
    EXPECT_TRUE(dtr.empty()) << "no pulse with the port closed";

    w.link().OpenPort();
    QTest::keyClick(log, Qt::Key_B, Qt::AltModifier);
    EXPECT_EQ(dtr, (std::vector<bool>{false, true}));
    EXPECT_TRUE(pair.loaderEnd->written().isEmpty());
}

TEST_F(WindowTest, DebugSendWritesTheTextWhateverTheMode) {
    LoaderWindow& w = makeWindow();
    w.link().OpenPort();
    control<QPushButton>("cmdOutput")->click();
    EXPECT_EQ(pair.loaderEnd->written(), QByteArray("4R"));
    EXPECT_FALSE(loaderState().bDebug);
}

TEST_F(WindowTest, LogKeepsControlCharactersAndReplacesTheLastOne) {
    LoaderWindow& w = makeWindow();
    auto* log = control<QPlainTextEdit>("txtStatus");
    w.writeLog("ab\r\nc");
    w.writeLog(QString(QChar(0)));
    EXPECT_EQ(w.logLength(), 6);
    EXPECT_EQ(log->toPlainText(), QString("ab\nc") + QChar(0x2400));
    w.writeLog("d\r\n", 1);
    EXPECT_EQ(w.logText(), "ab\r\ncd\r\n");
    EXPECT_EQ(log->toPlainText(), "ab\ncd\n");
    w.writeLog("x", 1);  // replaces the LF of the last line break
    EXPECT_EQ(w.logText(), "ab\r\ncd\rx");
    EXPECT_EQ(log->toPlainText(), "ab\ncdx");
}

TEST_F(WindowTest, ValidateAddressesFillsTheTableAndShowsOneBoxPerProblem) {
    LoaderWindow& w = makeWindow();
    const QString image = writeFile(folder.path(), "img.bin", QByteArray(0x10, 'i'));
    for (int slot : {1, 2, 3}) {
        dialogs.fileAnswers.push_back(image);
        w.cmdBrowse_Click(slot);
    }
    control<QLineEdit>("txtStartAddress(1)")->setText("0x80000000");
    control<QLineEdit>("txtStartAddress(2)")->setText("0x81FFFFF8");
    control<QLineEdit>("txtStartAddress(3)")->setText("0x80001000");
    control<QPushButton>("cmdValidateAdrs")->click();

    ASSERT_EQ(dialogs.boxes.size(), 2u);
    for (const auto& box : dialogs.boxes) {
        EXPECT_EQ(box.icon, MessageIcon::Exclamation);
        EXPECT_EQ(box.title, "Address overlap or too large");
    }
    EXPECT_EQ(dialogs.boxes[0].text,
              "Address range for the UBoot marker (0x80000000)\r\noverlaps the address range "
              "for Secondary Executable");
    EXPECT_EQ(dialogs.boxes[1].text,
              "Address range for the UBoot image\r\noverlaps the address range for UBoot "
              "marker (0x82000000)");
    EXPECT_EQ(loaderState().sMsg, dialogs.boxes[1].text);

    auto* table = control<QTreeWidget>("lvwAdrs");
    const QStringList expected[] = {{"5", "0x00000000", "0x4"},  {"1", "0x00000000", "0x10"},
                                    {"3", "0x00001000", "0x10"}, {"2", "0x01FFFFF8", "0x10"},
                                    {"6", "0x02000000", ""},     {"7", "0x04000000", ""}};
    ASSERT_EQ(table->topLevelItemCount(), 6);
    for (int row = 0; row < 6; ++row) {
        const QTreeWidgetItem* item = table->topLevelItem(row);
        EXPECT_EQ((QStringList{item->text(0), item->text(1), item->text(2)}), expected[row])
            << "row " << row;
    }

    // Fixed: the table is rebuilt, no box, true.
    dialogs.boxes.clear();
    control<QLineEdit>("txtStartAddress(1)")->setText("0x80000004");
    control<QLineEdit>("txtStartAddress(2)")->setText("0x81FFFFF0");
    EXPECT_TRUE(w.checkAddresses());
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_EQ(loaderState().sMsg, "");
    EXPECT_EQ(table->topLevelItemCount(), 6);
}

TEST_F(WindowTest, ErrorsLetThroughInDebugModeAreShownNotFatal) {
    LoaderWindow& w = makeWindow();
    pair.loaderEnd->setRefusedDevices({"/dev/ttyTEST1"});
    loaderState().bDebug = true;
    control<QPushButton>("cmdStartPrimary")->setEnabled(true);
    control<QPushButton>("cmdStartPrimary")->click();
    ASSERT_FALSE(dialogs.boxes.empty());
    EXPECT_EQ(dialogs.boxes.back().title, "Error");
    EXPECT_EQ(dialogs.boxes.back().icon, MessageIcon::Exclamation);
    EXPECT_FALSE(loaderState().bBusy) << "the window can still be closed";
    EXPECT_FALSE(pair.loaderEnd->isOpen());
    w.show();
    EXPECT_TRUE(w.close());
}

TEST_F(WindowTest, WriteIniMenuOnlyTellsTheUserToEditTheFile) {
    LoaderWindow& w = makeWindow();
    w.findChild<QAction*>("mnuWriteIni")->trigger();
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].icon, MessageIcon::Information);
    EXPECT_EQ(dialogs.boxes[0].title, "Not yet implemented");
    EXPECT_EQ(dialogs.boxes[0].text, "Not yet implemented. Please edit " + folder.path() +
                                         "/VRX5520_Loader.INI yourselfes");
    EXPECT_FALSE(QFile::exists(loaderState().sIniFile));
}

TEST_F(WindowTest, AboutBoxShowsTitleVersionAndStartsTheSystemInfoTool) {
    makeWindow();
    AboutBox box(dialogs);
    EXPECT_EQ(box.windowTitle(), "About VRX5520_Loader");
    EXPECT_EQ(box.findChild<QLabel*>("lblTitle")->text(), "VRX5520_Loader");
    EXPECT_EQ(
        box.findChild<QLabel*>("lblVersion")->text(),
        QString("Version %1.%2.%3").arg(kVersionMajor).arg(kVersionMinor).arg(kVersionRevision));

    QStringList started;
    box.setStarter([&](const QString& program) {
        started << program;
        return true;
    });
    box.setToolFinder([] { return QString("/usr/bin/hardinfo"); });
    box.findChild<QPushButton*>("cmdSysInfo")->click();
    EXPECT_EQ(started, QStringList{"/usr/bin/hardinfo"});
    EXPECT_TRUE(dialogs.boxes.empty());

    for (const bool found : {false, true}) {
        box.setToolFinder([found] { return found ? QString("/usr/bin/broken") : QString(); });
        box.setStarter([](const QString&) { return false; });
        box.cmdSysInfo_Click();
        ASSERT_FALSE(dialogs.boxes.empty());
        EXPECT_EQ(dialogs.boxes.back().text, "System Information Is Unavailable At This Time");
        EXPECT_EQ(dialogs.boxes.back().title, "VRX5520_Loader");
    }
}

TEST(FindSystemInfoTool, TakesTheFirstToolOnThePath) {
    QTemporaryDir dir;
    for (const char* name : {"kinfocenter", "hardinfo"}) {
        QFile tool(dir.path() + "/" + name);
        ASSERT_TRUE(tool.open(QIODevice::WriteOnly));
        tool.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
    }
    EXPECT_EQ(FindSystemInfoTool(kSystemInfoTools, {dir.path()}), dir.path() + "/hardinfo");
    EXPECT_EQ(FindSystemInfoTool({"no-such-tool"}, {dir.path()}), "");
}

}  // namespace
}  // namespace vrx::test
