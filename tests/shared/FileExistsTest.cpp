#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>

#include "shared/FileExists.h"

TEST(FileExists, TrueOnlyForAReadableFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("a.hex"));
    EXPECT_FALSE(FileExists(path));
    EXPECT_FALSE(FileExists(QString()));
    EXPECT_FALSE(FileExists(dir.path()));  // a directory

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    ASSERT_TRUE(file.setPermissions(QFileDevice::ReadOwner));
    EXPECT_TRUE(FileExists(path));  // read-only is still readable
}
