#include "criteria/core/CriteriaFile.h"

#include "platform/Error.h"
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

TEST(CriteriaFile, LoadThenSaveUnchanged)
{
    const std::vector<RoundTrip> cases = {
        {"one letter and CR LF", "a\r\n", QStringLiteral("a\r\n"), "a\r\n\r\n"},
        {"one letter without terminator", "a", QStringLiteral("a\r\n"), "a\r\n\r\n"},
        {"empty file", "", QString(), "\r\n"},
        {"LF-only line ends make one line", "a\nb\n", QStringLiteral("a\nb\n\r\n"), "a\nb\n\r\n\r\n"},
        {"lone CR ends a line", "a\rb", QStringLiteral("a\r\nb\r\n"), "a\r\nb\r\n\r\n"},
        {"CR CR LF is two lines", "a\r\r\n", QStringLiteral("a\r\n\r\n"), "a\r\n\r\n\r\n"},
        {"LF CR: the LF belongs to the line", "a\n\rb", QStringLiteral("a\n\r\nb\r\n"), "a\n\r\nb\r\n\r\n"},
        {"code page 950 text", "\xa4\xa4\xa4\xe5\r\n+\xb3\xc2 \xa5\xd5", QStringLiteral("中文\r\n+麻 白\r\n"),
         "\xa4\xa4\xa4\xe5\r\n+\xb3\xc2 \xa5\xd5\r\n\r\n"},
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
        // A second round adds one more empty line, as each save does.
        CriteriaFile::save(path, CriteriaFile::load(path));
        EXPECT_EQ(show(readFile(path)), show(c.savedUnchanged + "\r\n"));
    }
    EXPECT_EQ(allEntries(tmp.path()), QStringList{QStringLiteral("case.txt")});
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
    EXPECT_EQ(show(readFile(path)), show(QByteArray("\r\n")));
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
