#include "platform/Error.h"
#include "platform/files/FileSystem.h"
#include "platform/files/LineReader.h"
#include "support/Fixtures.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Orvanta;
using Orvanta::Test::errorNumberOf;

TEST(ExistenceTest, OnlyVisibleRegularFilesCount)
{
    QTemporaryDir dir;
    const QString root = dir.path();
    Orvanta::Test::writeFile(root + "/EditMod", "");
    Orvanta::Test::writeFile(root + "/.index.jpg", "x");
    QDir(root).mkdir("index.jpg");
    Orvanta::Test::writeFile(root + "/DATA/A.HTM", "x");

    EXPECT_TRUE(FileSystem::fileExists(root + "\\EditMod")) << "an empty file counts";
    EXPECT_FALSE(FileSystem::fileExists(root + "\\index.jpg")) << "a folder does not count";
    EXPECT_FALSE(FileSystem::fileExists(root + "\\.index.jpg")) << "a hidden file does not count";
    EXPECT_FALSE(FileSystem::fileExists(root + "\\missing"));
    EXPECT_TRUE(FileSystem::fileExists(root + "\\data\\a.htm")) << "letter case is resolved";
    EXPECT_TRUE(FileSystem::folderExists(root + "\\index.jpg"));
    EXPECT_FALSE(FileSystem::folderExists(root + "\\EditMod"));
}

TEST(FileSystem, TextFilesAreCodePage950)
{
    QTemporaryDir dir;
    const QString path = dir.path() + "\\page.htm";
    FileSystem::writeTextFile(path, QStringLiteral("人參\r\n甘草 人参"));
    EXPECT_EQ(Orvanta::Test::readFile(dir.path() + "/page.htm"), QByteArray("\xa4\x48\xb0\xd1\r\n\xa5\xcc\xaf\xf3 \xa4\x48?"));
    EXPECT_EQ(FileSystem::readTextFile(path), QStringLiteral("人參\r\n甘草 人?"));
    // Replacing truncates.
    FileSystem::writeTextFile(path, QStringLiteral("x"));
    EXPECT_EQ(Orvanta::Test::readFile(dir.path() + "/page.htm"), QByteArray("x"));
    EXPECT_EQ(FileSystem::readTextFile(path), "x");
}

TEST(FileSystem, FailuresCarryNumbers)
{
    QTemporaryDir dir;
    const QString root = dir.path();
    QDir(root).mkdir("folder");
    Orvanta::Test::writeFile(root + "/file", "x");

    EXPECT_EQ(errorNumberOf([&] { FileSystem::readTextFile(root + "\\missing.htm"); }), ErrorCode::FileNotFound);
    EXPECT_EQ(errorNumberOf([&] { FileSystem::readTextFile(root + "\\nofolder\\a.htm"); }), ErrorCode::PathNotFound);
    EXPECT_EQ(errorNumberOf([&] { FileSystem::readTextFile(root + "\\folder"); }), ErrorCode::PathFileAccessError);
    EXPECT_EQ(errorNumberOf([&] { FileSystem::writeTextFile(root + "\\folder", "x"); }), ErrorCode::PathFileAccessError);
    EXPECT_EQ(errorNumberOf([&] { FileSystem::writeTextFile(root + "\\file\\x", "x"); }), ErrorCode::PathNotFound);
    EXPECT_EQ(errorNumberOf([&] { FileSystem::deleteFile(root + "\\missing"); }), ErrorCode::FileNotFound);
    EXPECT_EQ(errorNumberOf([&] { FileSystem::deleteFile(root + "\\folder"); }), ErrorCode::PathFileAccessError);
    EXPECT_EQ(errorNumberOf([&] { FileSystem::createFolder(root + "\\a\\b"); }), ErrorCode::PathNotFound);
    EXPECT_EQ(errorNumberOf([&] { FileSystem::createFolder(root + "\\file"); }), ErrorCode::PathFileAccessError);

    FileSystem::createFolder(root + "\\tmp");
    EXPECT_TRUE(QFileInfo(root + "/tmp").isDir());
    FileSystem::deleteFile(root + "\\file");
    EXPECT_FALSE(QFile::exists(root + "/file"));
}

TEST(LineReader, CrOrCrLfEndALineAndALoneLfDoesNot)
{
    struct Case {
        QByteArray bytes;
        QStringList lines;
    } cases[] = {
        {"", {}},
        {"a", {"a"}},
        {"a\r\n", {"a"}},
        {"a\r\nb", {"a", "b"}},
        {"a\rb\r", {"a", "b"}},
        {"a\nb\n", {"a\nb\n"}},
        {"\r\n\r\n", {"", ""}},
        {"a\r\r\nb", {"a", "", "b"}},
        {"\xa4\x48\xb0\xd1\r\n", {QStringLiteral("人參")}},
    };
    for (const Case& c : cases) {
        LineReader reader(c.bytes);
        QStringList got;
        while (!reader.atEnd())
            got << reader.readLine();
        EXPECT_EQ(got, c.lines) << c.bytes.toHex().toStdString();
    }
}
