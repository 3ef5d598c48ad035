#include "criteria/core/Drives.h"
#include "criteria/core/EditorText.h"
#include "criteria/core/FolderTree.h"

#include "platform/Error.h"
#include "platform/text/Cp950.h"
#include "support/Fixtures.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Orvanta;

TEST(Drives, MountTableGivesRootFirstWithoutVirtualFileSystems)
{
    const QByteArray mounts =
        "proc /proc proc rw,relatime 0 0\n"
        "sysfs /sys sysfs rw 0 0\n"
        "devtmpfs /dev devtmpfs rw 0 0\n"
        "tmpfs /dev/shm tmpfs rw 0 0\n"
        "tmpfs /run tmpfs rw 0 0\n"
        "/dev/sdb1 /run/media/user/USB\\040STICK vfat rw 0 0\n"
        "/dev/sda2 /home ext4 rw 0 0\n"
        "/dev/sda1 / ext4 rw 0 0\n"
        "cgroup2 /sys/fs/cgroup cgroup2 rw 0 0\n"
        "tmpfs /tmp tmpfs rw 0 0\n"
        "/dev/sdc1 /media/cd iso9660 ro 0 0\n"
        "/dev/sda2 /home ext4 rw 0 0\n"
        "binfmt_misc /proc/sys/fs/binfmt_misc binfmt_misc rw 0 0\n";
    const QStringList expected = {QStringLiteral("/"), QStringLiteral("/home"), QStringLiteral("/media/cd"),
                                  QStringLiteral("/run/media/user/USB STICK"), QStringLiteral("/tmp")};
    EXPECT_EQ(Drives::parseMounts(mounts), expected);
    EXPECT_EQ(Drives::parseMounts(""), QStringList{QStringLiteral("/")});
}

TEST(Drives, ThisMachineHasTheRootFirst)
{
    const QStringList drives = Drives::mounted();
    ASSERT_FALSE(drives.isEmpty());
    EXPECT_EQ(drives.first(), QStringLiteral("/"));
    for (const QString& d : drives)
        EXPECT_FALSE(d.startsWith(QLatin1String("/proc")) || d.startsWith(QLatin1String("/sys"))) << d.toStdString();
}

TEST(Drives, DriveOfAPathIsTheLongestMountPointHoldingIt)
{
    const QStringList drives = {QStringLiteral("/"), QStringLiteral("/home"), QStringLiteral("/media/cd")};
    struct Case {
        const char* path;
        const char* drive;
    };
    for (const Case& c : std::initializer_list<Case>{{"/", "/"},
                                                     {"/etc", "/"},
                                                     {"/home", "/home"},
                                                     {"/home/user/x", "/home"},
                                                     {"/homework", "/"},
                                                     {"/media/cd/", "/media/cd"},
                                                     {"/media/cdrom", "/"}})
        EXPECT_EQ(Drives::driveOf(QString::fromUtf8(c.path), drives), QString::fromUtf8(c.drive)) << c.path;
}

TEST(Drives, EachDriveRemembersItsLastFolder)
{
    const QString before = QDir::currentPath();
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    ASSERT_TRUE(QDir(tmp.path()).mkpath(QStringLiteral("a/b")));
    const QString ab = tmp.filePath(QStringLiteral("a/b"));
    // Pretend the temporary folder is a drive of its own.
    const QStringList drives = {QStringLiteral("/"), tmp.path()};

    Drives::setCurrentFolder(ab);
    EXPECT_EQ(QDir::currentPath(), ab);
    EXPECT_EQ(Drives::currentFolderOn(tmp.path(), drives), ab);
    Drives::setCurrentFolder(QStringLiteral("/"));
    EXPECT_EQ(Drives::currentFolderOn(QStringLiteral("/"), drives), QStringLiteral("/"));

    try {
        Drives::setCurrentFolder(tmp.filePath(QStringLiteral("missing")));
        ADD_FAILURE() << "entering a missing folder must fail";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), ErrorCode::PathNotFound);
    }
    EXPECT_EQ(QDir::currentPath(), QStringLiteral("/"));
    QDir::setCurrent(before);
}

TEST(FolderTree, LevelsFromTheRootDown)
{
    EXPECT_EQ(FolderTree::levels(QStringLiteral("/")), QStringList{QStringLiteral("/")});
    EXPECT_EQ(FolderTree::levels(QStringLiteral("/home/user/")),
              (QStringList{QStringLiteral("/"), QStringLiteral("/home"), QStringLiteral("/home/user")}));
    // From a drive's root down; a folder off that drive gets the levels from "/".
    EXPECT_EQ(FolderTree::levels(QStringLiteral("/media/usb/books"), QStringLiteral("/media/usb")),
              (QStringList{QStringLiteral("/media/usb"), QStringLiteral("/media/usb/books")}));
    EXPECT_EQ(FolderTree::levels(QStringLiteral("/media/usb"), QStringLiteral("/media/usb/")),
              QStringList{QStringLiteral("/media/usb")});
    EXPECT_EQ(FolderTree::levels(QStringLiteral("/home/user"), QStringLiteral("/")),
              (QStringList{QStringLiteral("/"), QStringLiteral("/home"), QStringLiteral("/home/user")}));
    EXPECT_EQ(FolderTree::levels(QStringLiteral("/media/usbstick"), QStringLiteral("/media/usb")),
              (QStringList{QStringLiteral("/"), QStringLiteral("/media"), QStringLiteral("/media/usbstick")}));
    EXPECT_EQ(FolderTree::displayName(QStringLiteral("/")), QStringLiteral("/"));
    EXPECT_EQ(FolderTree::displayName(QStringLiteral("/home/user")), QStringLiteral("user"));
}

TEST(FolderTree, SubfoldersSortedWithoutHiddenOnes)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    QDir d(tmp.path());
    for (const char* name : {"beta", "Alpha", ".hidden", "gamma"})
        ASSERT_TRUE(d.mkdir(QString::fromUtf8(name)));
    Orvanta::Test::writeFile(tmp.filePath(QStringLiteral("file.txt")), "x");
    EXPECT_EQ(FolderTree::subfolders(tmp.path()),
              (QStringList{tmp.filePath(QStringLiteral("Alpha")), tmp.filePath(QStringLiteral("beta")),
                           tmp.filePath(QStringLiteral("gamma"))}));
}

TEST(EditorText, LinesBecomeWidgetLinesAndLoneBreaksStayCharacters)
{
    struct Case {
        QString text, widget;
    };
    const std::vector<Case> cases = {
        {"", ""},
        {"a\r\n", "a\n"},
        {"a\r\nb\r\n", "a\nb\n"},
        {"a\nb\n\r\n", QStringLiteral("a\u240Ab\u240A\n")},
        {"a\rb", QStringLiteral("a\u240Db")},
        {QStringLiteral("中\u00A0文\r\n"), QStringLiteral("中\u00A0文\n")},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(EditorText::toWidget(c.text), c.widget) << c.text.toStdString();
        EXPECT_EQ(EditorText::fromWidget(c.widget), c.text) << c.text.toStdString();
    }
    EXPECT_EQ(EditorText::fromWidget(QStringLiteral("a\u2029b\u2028c")), QStringLiteral("a\r\nb\r\nc"));
}

// The pictures that stand for lone LF and CR could never be saved as
// themselves, so mapping them back changes nothing the user could keep.
TEST(EditorText, ThePicturesHaveNoCodeInTheCodePage)
{
    EXPECT_EQ(Cp950::encode(QStringLiteral("\u240A\u240D")), QByteArray("??"));
}
