// A file written whole or not at all: what is left in the folder after each
// way of writing it, and the number each failure carries.
#include "platform/Error.h"
#include "platform/files/FileSystem.h"
#include "support/Fixtures.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>

using namespace Orvanta;

TEST(ReplaceFileWhole, WritesTheWholeFileOrLeavesTheFolderAsItWas)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString root = dir.path();
    Orvanta::Test::writeFile(root + "/old.tsv", "old content\n");
    Orvanta::Test::writeFile(root + "/a file", "x");
    QDir(root).mkdir("a folder");
    const QByteArray bytes = QByteArray("甲\td.htm\n").repeated(10000);

    const struct {
        const char* what;
        QString path;
        std::optional<int> error; // none: written
    } cases[] = {
        {"a new file", root + "/new.tsv", std::nullopt},
        {"a file replaced", root + "/old.tsv", std::nullopt},
        {"no such folder", root + "/missing/x.tsv", ErrorCode::PathNotFound},
        {"a file where the folder should be", root + "/a file/x.tsv", ErrorCode::PathNotFound},
        {"a folder where the file should be", root + "/a folder", ErrorCode::PathFileAccessError},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QStringList before = QDir(root).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        std::optional<int> error;
        try {
            FileSystem::replaceFileWhole(c.path, bytes);
        } catch (const Error& e) {
            error = e.number();
        }
        EXPECT_EQ(error, c.error);
        QStringList after = QDir(root).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        if (!c.error) {
            EXPECT_EQ(Orvanta::Test::readFile(c.path), bytes);
            after.removeAll(QFileInfo(c.path).fileName());
            QStringList expected = before;
            expected.removeAll(QFileInfo(c.path).fileName());
            EXPECT_EQ(after, expected) << "nothing beside the file";
        } else {
            EXPECT_EQ(after, before) << "nothing left behind";
        }
    }
    EXPECT_EQ(Orvanta::Test::readFile(root + "/a file"), QByteArray("x"));
    EXPECT_TRUE(QFileInfo(root + "/a folder").isDir());
}
