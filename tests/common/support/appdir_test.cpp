#include "common/support/appdir.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(AppDir, JoinsEitherSeparatorAndBecomesCurrent) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    support::SetAppDir(dir.path() + "/");
    EXPECT_EQ(support::AppDir(), QDir::cleanPath(dir.path()));
    EXPECT_EQ(QDir::current().canonicalPath(), QDir(dir.path()).canonicalPath());
    EXPECT_EQ(support::AppPath(QStringLiteral("\\配置文件\\VKD2950.ini")),
              support::AppDir() + QStringLiteral("/配置文件/VKD2950.ini"));
    const QString folder = support::AppPath(QStringLiteral("运行记录"));
    EXPECT_TRUE(support::EnsureFolder(folder));
    EXPECT_TRUE(QDir(folder).exists());
}
