// vrxload's parts without a process: the command line, the model filled as
// the window fills them, the log shown as the window shows it, the progress
// line, and the console front end's account of a command.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "cli_options.h"
#include "console_front.h"
#include "console_output.h"
#include "slot_model.h"
#include "wait_for_comm.h"

namespace vrx::cli {
namespace {

TEST(CliOptions, CommandsRunInTheOrderGivenWithTheirArguments) {
    const auto parsed = ParseCommandLine(
        {"--port=COM2", "primary", "flash", "--erase", "script", "boot.scr", "--yes", "flash",
         "terminal", "--slot", "3=images/rootfs.ubt,0x80800000", "--untick", "4", "--quiet"});
    ASSERT_TRUE(parsed.options) << parsed.error.toStdString();
    const CliOptions& o = *parsed.options;
    ASSERT_EQ(o.commands.size(), 5u);
    EXPECT_EQ(o.commands[0].kind, CommandKind::Primary);
    EXPECT_EQ(o.commands[1].kind, CommandKind::Flash);
    EXPECT_TRUE(o.commands[1].erase);
    EXPECT_EQ(o.commands[2].kind, CommandKind::Script);
    EXPECT_EQ(o.commands[2].file, "boot.scr");
    EXPECT_FALSE(o.commands[3].erase) << "--erase belongs to one flash only";
    EXPECT_EQ(o.commands[4].kind, CommandKind::Terminal);
    EXPECT_EQ(o.port, "COM2");
    EXPECT_TRUE(o.yes);
    EXPECT_TRUE(o.quiet);
    ASSERT_EQ(o.slotFiles.size(), 1u);
    EXPECT_EQ(o.slotFiles[0].slot, 3);
    EXPECT_EQ(o.slotFiles[0].path, "images/rootfs.ubt");
    EXPECT_EQ(o.slotFiles[0].address, QString("0x80800000"));
    EXPECT_EQ(o.untick, std::vector<int>{4});
}

TEST(CliOptions, SlotWithoutAddressKeepsTheSlotsAddress) {
    const auto parsed = ParseCommandLine({"--slot", "0=/tmp/p.bin", "validate"});
    ASSERT_TRUE(parsed.options);
    EXPECT_FALSE(parsed.options->slotFiles[0].address.has_value());
}

TEST(CliOptions, HelpAndVersionNeedNoCommand) {
    EXPECT_TRUE(ParseCommandLine({"--help"}).options->help);
    EXPECT_TRUE(ParseCommandLine({"--version"}).options->version);
    EXPECT_FALSE(ParseCommandLine({"--quiet"}).options.has_value());
}

TEST(CliOptions, ComPortNamesAndDevicePaths) {
    EXPECT_EQ(ComPortNumber("COM1"), 1);
    EXPECT_EQ(ComPortNumber("com8:"), 8);
    EXPECT_EQ(ComPortNumber("COM9"), std::nullopt);
    EXPECT_EQ(ComPortNumber("COM0"), std::nullopt);
    EXPECT_EQ(ComPortNumber("/dev/ttyUSB0"), std::nullopt);
}

class SlotModelTest : public ::testing::Test {
  protected:
    void write(const QString& name, const QByteArray& bytes) {
        QDir().mkpath(QFileInfo(dir.filePath(name)).absolutePath());
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QTemporaryDir dir;
    SlotModel model;
};

TEST_F(SlotModelTest, StartsWithTheWindowsInitialAddresses) {
    const char* expected[] = {"0x0",        "0x80000000", "0x80000000", "0x80000000",
                              "0x80000000", "0x00000000", "0x0"};
    for (int i = 0; i < kSlotCount; ++i) {
        EXPECT_EQ(model.slot(i).address, expected[i]) << "slot " << i;
        EXPECT_FALSE(model.slot(i).ticked);
    }
}

TEST_F(SlotModelTest, IniValuesResolveAgainstTheGivenFolder) {
    write("images/kernel.bin", QByteArray(70000, 'k'));
    write("empty.bin", {});
    write("vrx.ini",
          "[IMGFILES]\nKERNEL=images\\kernel.bin\n"
          "[BINFILES]\nPRIMARY=missing.bin,0x10\nFL_BURN=empty.bin,0x20\n");
    bool primaryFile = true;
    model.primaryFileChanged = [&](bool has) { primaryFile = has; };
    model.loadIni(dir.filePath("vrx.ini"), dir.path());

    const Slot& kernel = model.slot(4);
    EXPECT_TRUE(kernel.ticked);
    EXPECT_EQ(kernel.path, dir.filePath("images/kernel.bin"));
    EXPECT_EQ(kernel.name, "kernel.bin");
    EXPECT_EQ(kernel.size, "0x11170");
    EXPECT_EQ(kernel.address, "0x00000000") << "no address: 0, normalised to 8 digits";

    EXPECT_EQ(model.slot(0).name, "CAN'T FIND: missing.bin");
    EXPECT_EQ(model.slot(0).address, "0x0000");
    EXPECT_TRUE(model.slot(0).path.isEmpty());
    EXPECT_FALSE(primaryFile) << "slot 0 without a file disables the primary load";
    EXPECT_EQ(model.slot(6).name, "CAN'T FIND: empty.bin") << "an empty file counts as missing";
    EXPECT_EQ(model.slot(6).address, "0x80000004");
    EXPECT_EQ(model.slot(1).address, "0x80000000") << "a slot without a value is left alone";
}

TEST_F(SlotModelTest, ChosenFileKeepsTheAddressUntilOneIsTyped) {
    write("p.bin", QByteArray(4096, 'p'));
    bool primaryFile = false;
    model.primaryFileChanged = [&](bool has) { primaryFile = has; };
    ASSERT_TRUE(model.browse(0, dir.filePath("p.bin")));
    EXPECT_TRUE(primaryFile);
    EXPECT_EQ(model.slot(0).size, "0x1000");
    EXPECT_EQ(model.slot(0).address, "0x0");
    EXPECT_TRUE(model.slot(0).ticked);
    model.typeAddress(0, "4096");
    EXPECT_EQ(model.slot(0).address, "0x1000");
    model.typeAddress(2, "0x12G4");
    EXPECT_EQ(model.slot(2).address, "0x0");
    EXPECT_FALSE(model.browse(1, dir.filePath("none.bin")));
    EXPECT_FALSE(model.browse(1, dir.path())) << "a folder is no file";
}

TEST_F(SlotModelTest, ASlotWithoutFileCannotBeTicked) {
    model.setTicked(3, true);
    EXPECT_FALSE(model.slot(3).ticked);
}

TEST(ConsoleOutputText, LogShowsAsTheWindowShowsIt) {
    EXPECT_EQ(ShownLogText("a\r\nb"), "a\nb");
    EXPECT_EQ(ShownLogText(QString(QChar(0)) + "x\t" + QChar(2) + QChar(0x7F)),
              QString(QChar(0x2400)) + "x\t" + QChar(0x2402) + QChar(0x2421));
    EXPECT_EQ(ShownLogText(QString(QChar(0xE9))), QString(QChar(0xE9)));
}

TEST(ConsoleOutputText, ProgressLineCountsRateAndTimeLeft) {
    EXPECT_EQ(ProgressLine(0, 1000, 0.0), "[........................]  0/1000 bytes  0%");
    EXPECT_EQ(ProgressLine(8192, 32768, 2.0),
              "[######..................]  8192/32768 bytes  25%  4.0 KiB/s  0:06 left");
    EXPECT_EQ(ProgressLine(100, 100, 1.0),
              "[########################]  100/100 bytes  100%  100 B/s  0:00 left");
}

TEST(ConsoleFrontText, WaitingTextIsTheWaitingDialogs) {
    EXPECT_EQ(WaitForCommText(), WaitForCommMessage());
}

}  // namespace
}  // namespace vrx::cli
