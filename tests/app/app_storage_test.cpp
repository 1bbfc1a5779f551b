// Tests of where a run keeps its settings and login item: a snapshot run never writes the user's.
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "app/app_storage.h"
#include "app/autostart_list.h"

namespace quaylet {
namespace {

TEST(AppStorage, TemporaryStorageLeavesTheUsersConfigurationAloneAndGoesAway) {
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QByteArray config = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath("config")));
    QString scratch;
    {
        const std::unique_ptr<AppStorage> storage = AppStorage::temporary();
        storage->settings().setValue("hasEverRun", true);
        storage->settings().sync();
        EXPECT_EQ(storage->settings().status(), QSettings::NoError);
        const auto list = AutostartList::open(storage->autostartDirectory(),
                                              QCoreApplication::applicationFilePath());
        ASSERT_TRUE(list);
        EXPECT_TRUE(list->addOwnEntry());
        scratch = QFileInfo(storage->settings().fileName()).absolutePath();
        EXPECT_TRUE(QFileInfo::exists(scratch));
        EXPECT_NE(AppStorage::user()->autostartDirectory(), storage->autostartDirectory());
    }
    EXPECT_FALSE(QFileInfo::exists(scratch));
    EXPECT_FALSE(QFileInfo::exists(home.filePath("config")));
    qputenv("XDG_CONFIG_HOME", config);
}

} // namespace
} // namespace quaylet
