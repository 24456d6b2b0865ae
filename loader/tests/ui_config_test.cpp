// The window's widget-free helpers: path rules, the INI reader, the file
// dialog's filter list and the display check.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <map>

#include "display_check.h"
#include "file_paths.h"
#include "ini_file.h"
#include "qt_dialogs.h"

namespace vrx {
namespace {

QString writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
    return path;
}

TEST(FilePaths, SplitAndResolveWithLinuxRules) {
    EXPECT_EQ(DirectoryOf("/opt/vrx/boot.bin"), "/opt/vrx/");
    EXPECT_EQ(FileNameOf("/opt/vrx/boot.bin"), "boot.bin");
    EXPECT_EQ(DirectoryOf("boot.bin"), "");
    EXPECT_EQ(FileNameOf("boot.bin"), "boot.bin");
    EXPECT_EQ(DirectoryOf("/opt/vrx/"), "/opt/vrx/");
    EXPECT_EQ(FileNameOf("/opt/vrx/"), "");
    EXPECT_EQ(ResolvePath("/abs/k.bin", "/prog"), "/abs/k.bin");
    EXPECT_EQ(ResolvePath("images/k.bin", "/prog"), "/prog/images/k.bin");
    EXPECT_EQ(ResolvePath("", "/prog"), "/prog/");
}

TEST(FilePaths, FileExistsTellsFilesFromEmptyFilesAndFolders) {
    QTemporaryDir dir;
    const QString empty = writeFile(dir.path() + "/empty.bin", "");
    const QString full = writeFile(dir.path() + "/full.bin", "x");
    EXPECT_FALSE(FileExists(empty, true));
    EXPECT_TRUE(FileExists(empty, false));
    EXPECT_TRUE(FileExists(full, true));
    EXPECT_FALSE(FileExists(dir.path() + "/missing.bin", false));
    EXPECT_FALSE(FileExists(dir.path(), false));
    EXPECT_FALSE(FileExists("", false));
    EXPECT_EQ(FileSizeText(full), "0x1");
    EXPECT_EQ(FileSizeText(dir.path() + "/missing.bin"), std::nullopt);
}

TEST(IniFile, ValuesAreFoundWithoutRegardToCase) {
    QTemporaryDir dir;
    const QString ini = writeFile(dir.path() + "/t.INI",
                                  "; a comment\r\n"
                                  "[binfiles]\r\n"
                                  "  primary = boot/p.bin , 0x10 \r\n"
                                  "Secondary=\"quoted.bin\"\r\n"
                                  "PRIMARY=second-one-ignored\r\n"
                                  "[ImgFiles]\n"
                                  "kernel=k.bin\n"
                                  "[PORTS]\n"
                                  "COM1=/dev/pts/7\n"
                                  "com3 = /dev/ttyUSB0\n"
                                  "COM9=/dev/ttyS9\n"
                                  "LPT1=/dev/lp0\n");
    EXPECT_EQ(ReadIniValue(ini, "BINFILES", "PRIMARY"), "boot/p.bin , 0x10");
    EXPECT_EQ(ReadIniValue(ini, "BinFiles", "SECONDARY"), "quoted.bin");
    EXPECT_EQ(ReadIniValue(ini, "IMGFILES", "KERNEL"), "k.bin");
    EXPECT_EQ(ReadIniValue(ini, "IMGFILES", "UBOOT"), "");
    EXPECT_EQ(ReadIniValue(ini, "NOSECTION", "KERNEL"), "");
    EXPECT_EQ(ReadIniValue(dir.path() + "/missing.INI", "BINFILES", "PRIMARY"), "");
    const QMap<int, QString> ports = ReadIniPorts(ini);
    EXPECT_EQ(ports, (QMap<int, QString>{{1, "/dev/pts/7"}, {3, "/dev/ttyUSB0"}}));
}

TEST(IniFile, LongValuesAreCutTo254Characters) {
    QTemporaryDir dir;
    const QByteArray longValue(1000, 'a');
    const QString ini = writeFile(dir.path() + "/t.INI", "[BINFILES]\nPRIMARY=" + longValue);
    EXPECT_EQ(ReadIniValue(ini, "BINFILES", "PRIMARY"), QString(254, 'a'));
}

TEST(IniFile, SlotValueSplitsPathAndAddress) {
    struct Case {
        const char* value;
        const char* path;
        const char* address;
    } cases[] = {
        {"boot\\primary.bin,0x0", "/prog/boot/primary.bin", "0x0"},
        {"/work/second.bin, 0x80000004 ,ignored", "/work/second.bin", "0x80000004"},
        {"kernel.bin", "/prog/kernel.bin", "0"},
        {" kernel.bin , 0x10", "/prog/kernel.bin", "0x10"},
        {",0x10", "/prog/", "0x10"},
        {"images/kernel.bin,", "/prog/images/kernel.bin", ""},
    };
    for (const Case& c : cases) {
        const IniSlotValue v = ParseIniSlotValue(c.value, "/prog");
        EXPECT_EQ(v.path, c.path) << c.value;
        EXPECT_EQ(v.address, c.address) << c.value;
    }
}

TEST(QtNameFilters, PipeListBecomesQtFilters) {
    EXPECT_EQ(QtNameFilters("Binary Files (.bin)|*.bin|Uboot Image (.ubt)|*.ubt|All Files "
                            "(*.*)|*.*|"),
              (QStringList{"Binary Files (.bin) (*.bin)", "Uboot Image (.ubt) (*.ubt)",
                           "All Files (*.*) (*)"}))
        << "All Files must show extensionless images such as zImage";
    EXPECT_EQ(QtNameFilters("Scripts|*.scr;*.txt"), (QStringList{"Scripts (*.scr *.txt)"}));
    EXPECT_EQ(QtNameFilters("Script Files (.scr)|*.scr|All Files (*.*)|*.*|"),
              (QStringList{"Script Files (.scr) (*.scr)", "All Files (*.*) (*)"}));
    EXPECT_EQ(QtNameFilters("Mixed|*.bin;*.*"), (QStringList{"Mixed (*.bin *)"}));
}

TEST(DisplayCheck, AnyDisplayOrChosenPlatformIsEnough) {
    const std::map<std::string, QString> settings[] = {{{"DISPLAY", ":0"}},
                                                       {{"WAYLAND_DISPLAY", "wayland-0"}},
                                                       {{"QT_QPA_PLATFORM", "offscreen"}}};
    for (const auto& env : settings) {
        const auto reader = [&env](const char* name) {
            const auto it = env.find(name);
            return it == env.end() ? QString() : it->second;
        };
        EXPECT_EQ(MissingDisplayMessage("/opt/VRX5520_Loader", reader), std::nullopt);
    }
    const auto none = [](const char*) { return QString(); };
    const auto message = MissingDisplayMessage("/opt/VRX5520_Loader", none);
    ASSERT_TRUE(message);
    EXPECT_TRUE(message->contains("needs a display"));
    EXPECT_TRUE(message->contains("xvfb-run -a /opt/VRX5520_Loader"));
}

}  // namespace
}  // namespace vrx
