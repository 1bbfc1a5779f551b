// Tests of the XDG autostart list: recognising, adding and removing Quaylet's own entry.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "app/autostart_entry.h"
#include "app/autostart_list.h"

namespace quaylet {
namespace {

class AutostartListTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(root_.isValid());
        ASSERT_TRUE(QDir(root_.path()).mkpath("bin"));
        executable_ = root_.filePath("bin/quaylet");
        QFile program(executable_);
        ASSERT_TRUE(program.open(QIODevice::WriteOnly));
        program.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        program.close();
        link_ = root_.filePath("quaylet-link");
        ASSERT_TRUE(QFile::link(executable_, link_));
        directory_ = root_.filePath("config/autostart");
        ASSERT_TRUE(QDir().mkpath(directory_));
    }

    std::unique_ptr<AutostartList> open(const QString& executable) {
        return AutostartList::open(directory_, executable);
    }

    void writeEntry(const QString& name, const QString& body) {
        QFile file(directory_ + "/" + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(body.toUtf8());
    }

    QTemporaryDir root_;
    QString executable_;
    QString link_;
    QString directory_;
};

TEST_F(AutostartListTest, EntryPresentTwiceLosesOneOnRemovalAndAddingTwiceKeepsOne) {
    const auto list = open(executable_);
    ASSERT_TRUE(list);
    writeEntry("b.desktop", "[Desktop Entry]\nType=Application\nExec=" + executable_ + " --x\n");
    writeEntry("a.desktop", "[Desktop Entry]\nType=Application\nExec=" + executable_ + "\n");
    EXPECT_EQ(list->ownEntry(), directory_ + "/a.desktop");
    EXPECT_TRUE(list->removeOwnEntry());
    EXPECT_TRUE(list->removeOwnEntry());
    EXPECT_TRUE(list->addOwnEntry());
    EXPECT_TRUE(list->addOwnEntry());
    EXPECT_EQ(list->entries(), QStringList{directory_ + "/quaylet.desktop"});
}

TEST_F(AutostartListTest, SwitchedOffEntriesCountAsOffAndAreSwitchedOnInPlace) {
    writeEntry("quaylet.desktop",
               "[Desktop Entry]\nExec=" + executable_ + "\nX-GNOME-Autostart-enabled=false\n");
    writeEntry("hidden.desktop", "[Desktop Entry]\nHidden=true\nExec=" + executable_ + "\n");
    const auto list = open(executable_);
    EXPECT_FALSE(list->ownEntry());
    EXPECT_FALSE(list->removeOwnEntry());
    EXPECT_TRUE(list->addOwnEntry());
    EXPECT_EQ(list->entries().size(), 2);
    EXPECT_TRUE(readAutostartEntry(*list->ownEntry())->enabled);
}

TEST_F(AutostartListTest, UnresolvableEntriesAreSkippedAndKept) {
    writeEntry("quaylet.desktop", "[Desktop Entry]\nExec=/nonexistent/quaylet\n");
    writeEntry("broken.desktop", "not a desktop entry");
    ASSERT_TRUE(QFile::link(root_.filePath("missing"), directory_ + "/dangling.desktop"));
    const auto list = open(executable_);
    EXPECT_FALSE(list->ownEntry());
    EXPECT_TRUE(list->addOwnEntry());
    EXPECT_EQ(list->entries().size(), 4);
    EXPECT_EQ(list->ownEntry(), directory_ + "/quaylet-2.desktop");
}

TEST_F(AutostartListTest, LinksAreResolvedAndTheExecLineSurvivesReservedCharacters) {
    writeEntry("via-link.desktop", "[Desktop Entry]\nExec=" + link_ + "\n");
    EXPECT_TRUE(open(executable_)->ownEntry());
    const QString odd = root_.filePath("dir with \"quotes\" $HOME 100% `x`\\");
    ASSERT_TRUE(QDir().mkpath(odd));
    ASSERT_TRUE(QFile::copy(executable_, odd + "/quaylet"));
    const auto list = open(odd + "/quaylet");
    EXPECT_FALSE(list->ownEntry());
    EXPECT_TRUE(list->addOwnEntry());
    EXPECT_EQ(readAutostartEntry(directory_ + "/quaylet.desktop")->program, odd + "/quaylet");
}

} // namespace
} // namespace quaylet
