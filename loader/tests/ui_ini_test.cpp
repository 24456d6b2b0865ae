// The INI file as the window reads it: the start-up load and its "No file"
// box, the slot states an INI text leads to, and loading again from the menu.
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ui_test_support.h"

namespace vrx::test {
namespace {

struct SlotState {
    QString name;
    QString tag;
    QString tip;
    QString address;
    QString size;
    bool ticked;
    bool operator==(const SlotState&) const = default;
};

std::ostream& operator<<(std::ostream& out, const SlotState& s) {
    return out << "{" << s.name.toStdString() << ", tag " << s.tag.toStdString() << ", tip "
               << s.tip.toStdString() << ", " << s.address.toStdString() << ", "
               << s.size.toStdString() << ", " << (s.ticked ? "ticked" : "clear") << "}";
}

class IniTest : public WindowTest {
  protected:
    void writeIni(const QByteArray& text) { writeFile(folder.path(), "VRX5520_Loader.INI", text); }

    SlotState slot(int i) {
        auto* name = control<QLineEdit>(QString("txtFilNam(%1)").arg(i));
        return {name->text(),
                name->property("Tag").toString(),
                name->toolTip(),
                control<QLineEdit>(QString("txtStartAddress(%1)").arg(i))->text(),
                control<QLabel>(QString("lblCodeSize(%1)").arg(i))->text(),
                control<QCheckBox>(QString("chkExeURK(%1)").arg(i))->isChecked()};
    }
    SlotState loaded(int, const QString& relative, const char* address, const char* size) {
        const QString path = folder.path() + "/" + relative;
        return {QFileInfo(path).fileName(),
                path,
                "Path: " + QFileInfo(path).path() + "/",
                address,
                size,
                true};
    }
    SlotState missing(const char* name, const char* address) {
        return {QString("CAN'T FIND: ") + name,
                "",
                "File Not Found, check .INI file",
                address,
                "",
                false};
    }
    SlotState initial(int i) {
        const char* addresses[] = {"0x0",        "0x80000000", "0x80000000", "0x80000000",
                                   "0x80000000", "0x00000000", "0x0"};
        return {"", "", "", addresses[i], "", false};
    }
};

TEST_F(IniTest, MissingOrEmptyIniShowsTheNoFileBoxAndKeepsTheInitialSlots) {
    for (const bool emptyFile : {false, true}) {
        SCOPED_TRACE(emptyFile);
        if (emptyFile) writeIni("");
        makeWindow();
        ASSERT_EQ(startupBoxes.size(), 1u);
        EXPECT_EQ(startupBoxes[0].icon, MessageIcon::Information);
        EXPECT_EQ(startupBoxes[0].title, "No file");
        EXPECT_EQ(startupBoxes[0].text, "No INI File found. Expect " + folder.path() +
                                            "/VRX5520_Loader.INI\r\nDefault values are NOT set!");
        for (int i = 0; i < 7; ++i) EXPECT_EQ(slot(i), initial(i)) << i;
        EXPECT_FALSE(control<QPushButton>("cmdStartPrimary")->isEnabled());
        window.reset();
    }
}

TEST_F(IniTest, ValuesFillTheSlots) {
    writeFile(folder.path(), "boot/primary.bin", QByteArray(0x123, 'p'));
    writeFile(folder.path(), "second.bin", QByteArray(16, 's'));
    writeFile(folder.path(), "images/kernel.bin", QByteArray(70000, 'k'));
    writeFile(folder.path(), "flash.bin", QByteArray(2, 'f'));
    writeFile(folder.path(), "empty.bin", "");
    const QString absolute = writeFile(folder.path(), "abs/uboot.ubt", "u");
    writeIni(
        "[BINFILES]\r\n"
        "PRIMARY=boot\\primary.bin,4096\r\n"
        "SECONDARY=second.bin , 0x80000004 , extra\r\n"
        "FLASH=flash.bin\r\n"
        "FL_BURN=empty.bin,0x10\r\n"
        "[imgfiles]\r\n"
        "uboot=" +
        absolute.toUtf8() +
        ",0x12G4\r\n"
        "ROOTFS=,0x80000010\r\n"
        "KERNEL=images\\kernel.bin,&h80100000\r\n");
    makeWindow();
    EXPECT_TRUE(startupBoxes.empty());
    EXPECT_EQ(slot(0), loaded(0, "boot/primary.bin", "0x1000", "0x123"));
    EXPECT_EQ(slot(1), loaded(1, "second.bin", "0x80000004", "0x10"));
    EXPECT_EQ(slot(2), loaded(2, "abs/uboot.ubt", "0x0", "0x1"));
    EXPECT_EQ(slot(3), missing("", "0x80000004"));
    EXPECT_EQ(slot(4), loaded(4, "images/kernel.bin", "0x80100000", "0x11170"));
    EXPECT_EQ(slot(5), loaded(5, "flash.bin", "0x00000000", "0x2"));
    EXPECT_EQ(slot(6), missing("empty.bin", "0x80000004"));
    EXPECT_TRUE(control<QPushButton>("cmdStartPrimary")->isEnabled());
}

TEST_F(IniTest, PathOnlyMeansAddressZeroInEachSlotsWidth) {
    writeFile(folder.path(), "a.bin", "a");
    writeIni(
        "[BINFILES]\nPRIMARY=a.bin\nSECONDARY=a.bin\nFLASH=a.bin\nFL_BURN=a.bin\n"
        "[IMGFILES]\nUBOOT=a.bin\nROOTFS=a.bin\nKERNEL=a.bin\n");
    makeWindow();
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(slot(i).address, (i == 0 || i == 6) ? "0x0000" : "0x00000000") << i;
        EXPECT_TRUE(slot(i).ticked) << i;
    }
}

TEST_F(IniTest, MissingFilesClearTheirSlots) {
    writeIni("[BINFILES]\nPRIMARY=nothere/p.bin,0x0\nFLASH=gone.bin,0x100\nFL_BURN=gone.bin\n");
    makeWindow();
    EXPECT_EQ(slot(0), missing("p.bin", "0x0000"));
    EXPECT_EQ(slot(5), missing("gone.bin", "0x0000"));
    EXPECT_EQ(slot(6), missing("gone.bin", "0x80000004"));
    for (int i = 1; i <= 4; ++i) EXPECT_EQ(slot(i), initial(i)) << i;
    control<QCheckBox>("chkExeURK(0)")->click();
    EXPECT_FALSE(slot(0).ticked) << "a slot without a file cannot be ticked";
    EXPECT_FALSE(control<QPushButton>("cmdStartPrimary")->isEnabled());
}

TEST_F(IniTest, LoadingAgainReplacesOnlySlotsWithValues) {
    writeFile(folder.path(), "p.bin", "pp");
    writeIni("[BINFILES]\nPRIMARY=p.bin,0x20\n");
    LoaderWindow& w = makeWindow();
    const SlotState first = slot(0);

    dialogs.fileAnswers.push_back(writeFile(folder.path(), "chosen.ubt", "ccc"));
    w.cmdBrowse_Click(3);
    control<QLineEdit>("txtStartAddress(0)")->setText("0x0040");
    const SlotState chosen = slot(3);

    w.findChild<QAction*>("mnuLoadIni")->trigger();
    EXPECT_EQ(slot(0), first);
    EXPECT_EQ(slot(3), chosen);
    w.mnuLoadIni_Click();
    EXPECT_EQ(slot(0), first);
    EXPECT_TRUE(dialogs.boxes.empty()) << "loading shows no box";
}

TEST_F(IniTest, MenuLoadWithoutIniChangesNothing) {
    LoaderWindow& w = makeWindow();
    dialogs.fileAnswers.push_back(writeFile(folder.path(), "x.bin", "x"));
    w.cmdBrowse_Click(1);
    const SlotState before = slot(1);
    w.mnuLoadIni_Click();
    EXPECT_EQ(slot(1), before);
    EXPECT_TRUE(dialogs.boxes.empty());
}

}  // namespace
}  // namespace vrx::test
