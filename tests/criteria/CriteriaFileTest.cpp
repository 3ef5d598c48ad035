#include "criteria/core/CriteriaFile.h"

#include "platform/Error.h"
#include "platform/text/Cp950.h"
#include "support/Fixtures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

using namespace Orvanta;
using Orvanta::Test::errorNumberOf;
using Orvanta::Test::readFile;
using Orvanta::Test::writeFile;

namespace {

std::string show(const QByteArray& bytes)
{
    return bytes.toHex(' ').toStdString();
}

// Only the given names, hidden ones included: what a failed save may leave.
QStringList allEntries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

struct RoundTrip {
    const char* name;
    QByteArray onDisk;
    QString loaded;
    QByteArray savedUnchanged;
};

} // namespace

// An unedited load and save gives back the same lines, each ended by CR LF;
// a second round changes nothing more.
TEST(CriteriaFile, LoadThenSaveUnchanged)
{
    const std::vector<RoundTrip> cases = {
        {"one letter and CR LF", "a\r\n", QStringLiteral("a\r\n"), "a\r\n"},
        {"one letter without terminator", "a", QStringLiteral("a\r\n"), "a\r\n"},
        {"empty file", "", QString(), ""},
        {"an empty line", "\r\n", QStringLiteral("\r\n"), "\r\n"},
        {"LF-only line ends make one line", "a\nb\n", QStringLiteral("a\nb\n\r\n"), "a\nb\n\r\n"},
        {"lone CR ends a line", "a\rb", QStringLiteral("a\r\nb\r\n"), "a\r\nb\r\n"},
        {"CR CR LF is two lines", "a\r\r\n", QStringLiteral("a\r\n\r\n"), "a\r\n\r\n"},
        {"LF CR: the LF belongs to the line", "a\n\rb", QStringLiteral("a\n\r\nb\r\n"), "a\n\r\nb\r\n"},
        {"code page 950 text", "\xa4\xa4\xa4\xe5\r\n+\xb3\xc2 \xa5\xd5", QStringLiteral("中文\r\n+麻 白\r\n"),
         "\xa4\xa4\xa4\xe5\r\n+\xb3\xc2 \xa5\xd5\r\n"},
    };
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    for (const RoundTrip& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = writeFile(tmp.filePath(QStringLiteral("case.txt")), c.onDisk);
        const QString text = CriteriaFile::load(path);
        EXPECT_EQ(text, c.loaded);
        CriteriaFile::save(path, text);
        EXPECT_EQ(show(readFile(path)), show(c.savedUnchanged));
        CriteriaFile::save(path, CriteriaFile::load(path));
        EXPECT_EQ(show(readFile(path)), show(c.savedUnchanged)) << "a second round";
    }
    EXPECT_EQ(allEntries(tmp.path()), QStringList{QStringLiteral("case.txt")});
}

// Typed text: its last line gets a CR LF unless it has one.
TEST(CriteriaFile, TypedTextEndsWithOneLineEnd)
{
    const std::vector<std::pair<QString, QByteArray>> cases = {
        {QStringLiteral("abc"), "abc\r\n"},
        {QStringLiteral("a\r\nb"), "a\r\nb\r\n"},
        {QStringLiteral("abc\r\n"), "abc\r\n"},
        {QStringLiteral("abc\r\n\r\n"), "abc\r\n\r\n"},
        {QStringLiteral("a\r"), "a\r\r\n"},
        {QStringLiteral("a\n"), "a\n\r\n"},
        {QString(), ""},
    };
    for (const auto& [text, bytes] : cases)
        EXPECT_EQ(show(CriteriaFile::fileBytes(text)), show(bytes)) << text.toStdString();
}

TEST(CriteriaFile, SavingWritesCodePage950WithQuestionMarks)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString path = tmp.filePath(QStringLiteral("new.set"));
    CriteriaFile::save(path, QStringLiteral("中ก文\x20AC"));
    // Thai has no code in the page; the euro sign has (A3 E1).
    EXPECT_EQ(show(readFile(path)), show(QByteArray("\xa4\xa4?\xa4\xe5\xa3\xe1\r\n")));
    CriteriaFile::save(path, QString());
    EXPECT_EQ(show(readFile(path)), show(QByteArray()));
}

// What the editor tells the user before a save: how many characters would
// become "?", each counted once, the text's own "?" not among them.
TEST(CriteriaFile, CountsTheCharactersThatWouldBecomeQuestionMarks)
{
    const QChar loneHigh(char16_t(0xD840));
    const std::vector<std::pair<QString, qsizetype>> cases = {
        {QString(), 0},
        {QStringLiteral("中文 +麻黃湯 it's\r\n"), 0},
        {QStringLiteral("?"), 0},
        {QStringLiteral("中ก文"), 1},
        {QStringLiteral("?ก?"), 1},
        {QStringLiteral("爲人"), 1},           // U+7232, which Big5 lacks
        {QString::fromUcs4(U"㐀𠀀"), 2},      // Extension A and B: one each
        {QString(loneHigh) + QStringLiteral("a"), 1},
        {QStringLiteral("กขค\r\nง"), 4},
    };
    for (const auto& [text, count] : cases) {
        EXPECT_EQ(CriteriaFile::unsavableCharacters(text), count) << text.toStdString();
        EXPECT_EQ(CriteriaFile::fileBytes(text).count('?') - text.count(u'?'), count) << text.toStdString();
    }
    // The code page's duplicate codes, as a loaded file holds them, go back
    // as their own bytes and count for nothing.
    const QString duplicates = Cp950::decode("\xa2\xa4\xf9\xf9");
    EXPECT_EQ(CriteriaFile::unsavableCharacters(duplicates), 0);
    EXPECT_EQ(show(CriteriaFile::fileBytes(duplicates)), show("\xa2\xa4\xf9\xf9\r\n"));
}

// Saving asks first only when it would overwrite the content of a file the
// text did not come from.
TEST(CriteriaFile, KnowsWhenASaveOverwritesAnotherFile)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString loaded = writeFile(tmp.filePath(QStringLiteral("a.txt")), "a\r\n");
    const QString other = writeFile(tmp.filePath(QStringLiteral("b.txt")), "b\r\n");
    const QString empty = writeFile(tmp.filePath(QStringLiteral("empty.txt")), "");
    const QString link = tmp.filePath(QStringLiteral("link.txt"));
    ASSERT_TRUE(QFile::link(loaded, link));
    ASSERT_TRUE(QDir(tmp.path()).mkdir(QStringLiteral("folder.txt")));

    struct Case {
        const char* name;
        QString selected, loaded;
        bool asks;
    };
    const std::vector<Case> cases = {
        {"the loaded file", loaded, loaded, false},
        {"another file with content", other, loaded, true},
        {"nothing loaded yet", other, QString(), true},
        {"an empty file", empty, loaded, false},
        {"a new file", tmp.filePath(QStringLiteral("new.txt")), loaded, false},
        {"the loaded file through a link", link, loaded, false},
        {"the loaded file by another spelling", tmp.path() + QStringLiteral("/./a.txt"), loaded, false},
        {"no file selected", CriteriaFile::fullPath(tmp.path(), QString()), loaded, false},
        {"a folder", tmp.filePath(QStringLiteral("folder.txt")), loaded, false},
        {"the loaded file was removed", other, tmp.filePath(QStringLiteral("gone.txt")), true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CriteriaFile::overwritesAnotherFile(c.selected, c.loaded), c.asks) << c.name;
}

TEST(CriteriaFile, FullPathHasOneSeparator)
{
    struct Case {
        QString folder, name, path;
    };
    const std::vector<Case> cases = {
        {"/", "a.txt", "/a.txt"},
        {"/home/user", "a.txt", "/home/user/a.txt"},
        {"/media/usb/", "b.set", "/media/usb/b.set"},
        {"/home/user", "", "/home/user/"},
        {"/", "", "/"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CriteriaFile::fullPath(c.folder, c.name), c.path) << c.folder.toStdString();
}

TEST(CriteriaFile, ListsTxtAndSetFilesInAnyLetterCase)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    for (const char* name : {"c.txt", "a.TXT", "Z.set", "b.Set", "a.txt.bak", "a.text", ".hidden.txt",
                             "notes.doc", "set", "sub/inner.txt"})
        writeFile(tmp.filePath(QString::fromUtf8(name)), "x");
    ASSERT_TRUE(QDir(tmp.path()).mkdir(QStringLiteral("folder.txt")));
    ASSERT_TRUE(QFile::link(tmp.filePath(QStringLiteral("missing")), tmp.filePath(QStringLiteral("dangling.txt"))));

    const QStringList expected = {QStringLiteral("a.TXT"), QStringLiteral("b.Set"), QStringLiteral("c.txt"),
                                  QStringLiteral("Z.set")};
    EXPECT_EQ(CriteriaFile::listFiles(tmp.path()), expected);
    EXPECT_EQ(CriteriaFile::listFiles(tmp.path() + QLatin1Char('/')), expected);
    EXPECT_EQ(CriteriaFile::listFiles(tmp.filePath(QStringLiteral("absent"))), QStringList());
}

TEST(CriteriaFile, SavingIntoAFolderFailsAndChangesNothing)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    writeFile(tmp.filePath(QStringLiteral("a.txt")), "old");
    const QString noFileSelected = CriteriaFile::fullPath(tmp.path(), QString());
    QString text;
    EXPECT_EQ(errorNumberOf([&] { CriteriaFile::save(noFileSelected, QStringLiteral("x")); }, &text),
              ErrorCode::PathFileAccessError);
    EXPECT_TRUE(text.contains(noFileSelected)) << text.toStdString();
    EXPECT_EQ(errorNumberOf([&] { CriteriaFile::save(tmp.path(), QStringLiteral("x")); }),
              ErrorCode::PathFileAccessError);
    EXPECT_EQ(allEntries(tmp.path()), QStringList{QStringLiteral("a.txt")});
    EXPECT_EQ(readFile(tmp.filePath(QStringLiteral("a.txt"))), QByteArray("old"));
}

TEST(CriteriaFile, SavingIntoAReadOnlyFileKeepsIt)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString path = writeFile(tmp.filePath(QStringLiteral("locked.txt")), "old\r\n");
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0444), 0);
    QString text;
    EXPECT_EQ(errorNumberOf([&] { CriteriaFile::save(path, QStringLiteral("new")); }, &text),
              ErrorCode::PermissionDenied);
    EXPECT_TRUE(text.contains(path)) << text.toStdString();
    EXPECT_EQ(readFile(path), QByteArray("old\r\n"));
    EXPECT_EQ(allEntries(tmp.path()), QStringList{QStringLiteral("locked.txt")});
    // Reading it is still fine.
    EXPECT_EQ(CriteriaFile::load(path), QStringLiteral("old\r\n"));
}

TEST(CriteriaFile, SavingKeepsTheFilePermissions)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString path = writeFile(tmp.filePath(QStringLiteral("mine.txt")), "old");
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0640), 0);
    CriteriaFile::save(path, QStringLiteral("new"));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(readFile(path), QByteArray("new\r\n"));
}

namespace {

struct stat statOf(const QString& path)
{
    struct stat st {};
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0) << path.toStdString();
    return st;
}

// Runs `body` in a child process as the unprivileged user 65534, so that
// permissions hold even when the tests run as the superuser; returns what
// the body returned, or -1 when the child could not become that user.
int asAnotherUser(const std::function<int()>& body)
{
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(255);
        int code = 0;
        try {
            code = body();
        } catch (...) {
            code = 254;
        }
        ::_exit(code);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) == 255)
        return -1;
    return WEXITSTATUS(status);
}

} // namespace

// A file with other names: they all see the new content.
TEST(CriteriaFile, SavingKeepsHardLinks)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString path = writeFile(tmp.filePath(QStringLiteral("a.txt")), "old\r\n");
    const QString other = tmp.filePath(QStringLiteral("other-name.set"));
    ASSERT_EQ(::link(QFile::encodeName(path).constData(), QFile::encodeName(other).constData()), 0);
    const ino_t inode = statOf(path).st_ino;

    CriteriaFile::save(path, QStringLiteral("a longer new text"));
    EXPECT_EQ(readFile(other), QByteArray("a longer new text\r\n"));
    CriteriaFile::save(path, QStringLiteral("short"));
    EXPECT_EQ(readFile(other), QByteArray("short\r\n")) << "cut to the new length";
    EXPECT_EQ(statOf(path).st_ino, inode);
    EXPECT_EQ(statOf(path).st_nlink, 2u);
    EXPECT_EQ(allEntries(tmp.path()), (QStringList{QStringLiteral("a.txt"), QStringLiteral("other-name.set")}));
}

// Another user's file that this user may write keeps its owner.
TEST(CriteriaFile, SavingKeepsTheFileOwner)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString path = writeFile(tmp.filePath(QStringLiteral("theirs.txt")), "old");
    const QByteArray local = QFile::encodeName(path);
    if (::chown(local.constData(), 65534, 65534) != 0)
        GTEST_SKIP() << "cannot give a file away here: " << std::strerror(errno);
    ASSERT_EQ(::chmod(local.constData(), 0664), 0);

    CriteriaFile::save(path, QStringLiteral("new"));
    const struct stat st = statOf(path);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
    EXPECT_EQ(st.st_mode & 07777, 0664u);
    EXPECT_EQ(readFile(path), QByteArray("new\r\n"));
}

// A folder the user may not write, holding a file the user may: the file is
// written in place; a new file cannot be made there.
TEST(CriteriaFile, SavingIntoAWritableFileInAnUnwritableFolder)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString folder = tmp.filePath(QStringLiteral("shared"));
    const QString path = writeFile(folder + QStringLiteral("/open.txt"), "old content\r\n");
    const QString created = folder + QStringLiteral("/new.txt");
    ASSERT_EQ(::chmod(QFile::encodeName(tmp.path()).constData(), 0755), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0666), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0555), 0);
    const struct stat before = statOf(path);

    // The superuser writes every folder; another user does not.
    const auto attempt = [&] {
        CriteriaFile::save(path, QStringLiteral("new"));
        return errorNumberOf([&] { CriteriaFile::save(created, QStringLiteral("x")); });
    };
    const int refusedNew = ::geteuid() == 0 ? asAnotherUser(attempt) : attempt();
    ::chmod(QFile::encodeName(folder).constData(), 0755);
    if (refusedNew < 0)
        GTEST_SKIP() << "cannot run as another user here";

    EXPECT_EQ(refusedNew, ErrorCode::PermissionDenied);
    EXPECT_EQ(show(readFile(path)), show("new\r\n"));
    const struct stat after = statOf(path);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_mode & 07777, 0666u);
    EXPECT_EQ(allEntries(folder), QStringList{QStringLiteral("open.txt")});
}

TEST(CriteriaFile, SavingThroughASymbolicLinkReplacesTheFileItNames)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString target = writeFile(tmp.filePath(QStringLiteral("real/target.txt")), "old");
    const QString link = tmp.filePath(QStringLiteral("link.txt"));
    ASSERT_TRUE(QFile::link(target, link));
    CriteriaFile::save(link, QStringLiteral("new"));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(readFile(target), QByteArray("new\r\n"));
}

TEST(CriteriaFile, MissingFilesAndFoldersAreReported)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    EXPECT_EQ(errorNumberOf([&] { CriteriaFile::load(tmp.filePath(QStringLiteral("gone.txt"))); }),
              ErrorCode::FileNotFound);
    EXPECT_EQ(errorNumberOf([&] { CriteriaFile::load(tmp.path() + QLatin1Char('/')); }),
              ErrorCode::PathFileAccessError);
    EXPECT_EQ(errorNumberOf([&] { CriteriaFile::load(tmp.filePath(QStringLiteral("no/such.txt"))); }),
              ErrorCode::PathNotFound);
    EXPECT_EQ(errorNumberOf([&] { CriteriaFile::save(tmp.filePath(QStringLiteral("no/such.txt")), QString()); }),
              ErrorCode::PathNotFound);
    EXPECT_FALSE(QFileInfo::exists(tmp.filePath(QStringLiteral("no"))));
}

namespace {

// A text larger than any of the small file systems below.
QString largeText()
{
    return QString(200 * 1024, QLatin1Char('x'));
}

} // namespace

// A full disk, on a real small file system.
TEST(CriteriaFile, FullDiskKeepsTheOldFileWhole)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString mountPoint = tmp.filePath(QStringLiteral("small"));
    ASSERT_TRUE(QDir().mkdir(mountPoint));
    const QByteArray point = QFile::encodeName(mountPoint);
    if (::mount("tmpfs", point.constData(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here (" << std::strerror(errno)
                     << "); the file-size limit test covers the same path";

    const QString path = writeFile(mountPoint + QStringLiteral("/full.txt"), "old content\r\n");
    QString text;
    const int number = errorNumberOf([&] { CriteriaFile::save(path, largeText()); }, &text);
    const QByteArray after = readFile(path);
    const QStringList left = allEntries(mountPoint);
    // A small save still works once the failed one is gone.
    CriteriaFile::save(path, QStringLiteral("small"));
    const QByteArray afterSmall = readFile(path);
    ::umount(point.constData());

    EXPECT_EQ(number, ErrorCode::DiskFull);
    EXPECT_TRUE(text.contains(path)) << text.toStdString();
    EXPECT_EQ(after, QByteArray("old content\r\n"));
    EXPECT_EQ(left, QStringList{QStringLiteral("full.txt")});
    EXPECT_EQ(afterSmall, QByteArray("small\r\n"));
}

// The same, where the process may write only so many bytes into one file.
TEST(CriteriaFile, FileSizeLimitKeepsTheOldFileWhole)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString path = writeFile(tmp.filePath(QStringLiteral("limited.txt")), "old content\r\n");

    rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 64 * 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    QString text;
    const int number = errorNumberOf([&] { CriteriaFile::save(path, largeText()); }, &text);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(number, ErrorCode::DiskFull);
    EXPECT_TRUE(text.contains(path)) << text.toStdString();
    EXPECT_EQ(readFile(path), QByteArray("old content\r\n"));
    EXPECT_EQ(allEntries(tmp.path()), QStringList{QStringLiteral("limited.txt")});
}
