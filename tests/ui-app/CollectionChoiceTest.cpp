// Which collection the program opens: the folder on the command line, the
// program's own folder, the remembered one, or one picked in the chooser; a
// folder that cannot be opened is named in a message and the chooser opens
// again.
#include "app/CollectionChoice.h"
#include "app/core/CollectionFolder.h"
#include "platform/ui/MessageBox.h"
#include "support/Fixtures.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace Orvanta::Test {
namespace {

using CollectionFolder::Problem;

class CollectionChoiceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        ASSERT_TRUE(config.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());
        MessageSink::setRecorder([this](QString, QString text) { messages << text; });
        CollectionChoice::setChooserForTesting([this](const QString& start) {
            starts << start;
            return answers.isEmpty() ? QString() : answers.takeFirst();
        });
        good = collection(QStringLiteral("good"));
        other = collection(QStringLiteral("other"));
    }
    void TearDown() override
    {
        CollectionChoice::setChooserForTesting({});
        MessageSink::setRecorder({});
    }

    QString collection(const QString& name) const
    {
        const QString path = root.filePath(name);
        writeFile(path + QStringLiteral("/jst.mdb"), "db");
        return path;
    }
    static QString remembered()
    {
        return QSettings(QStringLiteral("Tarsel"), QStringLiteral("Orvanta"))
            .value(CollectionChoice::rememberedKey())
            .toString();
    }
    static void remember(const QString& folder)
    {
        QSettings(QStringLiteral("Tarsel"), QStringLiteral("Orvanta"))
            .setValue(CollectionChoice::rememberedKey(), folder);
    }

    QTemporaryDir root, config;
    QString good, other;
    QStringList messages, starts, answers;
};

TEST_F(CollectionChoiceTest, WhatKeepsAFolderFromBeingACollection)
{
    writeFile(root.filePath(QStringLiteral("file")), "x");
    QDir().mkpath(root.filePath(QStringLiteral("empty")));
    writeFile(root.filePath(QStringLiteral("upper/JST.MDB")), "db");
    QDir().mkpath(root.filePath(QStringLiteral("dbfolder/jst.mdb")));
    const struct {
        QString folder;
        Problem problem;
    } cases[] = {
        {good, Problem::None},
        {root.filePath(QStringLiteral("upper")), Problem::None},
        {root.filePath(QStringLiteral("missing")), Problem::Missing},
        {QString(), Problem::Missing},
        {root.filePath(QStringLiteral("file")), Problem::NotAFolder},
        {root.filePath(QStringLiteral("empty")), Problem::NoDatabase},
        {root.filePath(QStringLiteral("dbfolder")), Problem::NoDatabase},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder.toStdString());
        EXPECT_EQ(CollectionFolder::check(c.folder), c.problem);
        if (c.problem != Problem::None)
            EXPECT_TRUE(CollectionFolder::message(c.problem, c.folder).contains(c.folder));
    }
}

TEST_F(CollectionChoiceTest, CommandLineFolderOpensWithoutChooserAndIsNotRemembered)
{
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(root.path()));
    EXPECT_EQ(CollectionChoice::installFolder(QStringLiteral("good/")), good) << "made absolute";
    QDir::setCurrent(before);
    EXPECT_TRUE(starts.isEmpty());
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_TRUE(remembered().isEmpty());
}

TEST_F(CollectionChoiceTest, BadCommandLineFolderIsNamedAndTheChooserOpens)
{
    writeFile(root.filePath(QStringLiteral("file")), "x");
    for (const QString& bad : {root.filePath(QStringLiteral("missing/deeper")), root.filePath(QStringLiteral("file")),
                               root.path()}) {
        SCOPED_TRACE(bad.toStdString());
        messages.clear();
        starts.clear();
        answers = QStringList{good};
        EXPECT_EQ(CollectionChoice::installFolder(bad), good);
        ASSERT_EQ(messages.size(), 1);
        EXPECT_TRUE(messages[0].contains(bad)) << messages[0].toStdString();
        ASSERT_EQ(starts.size(), 1);
        EXPECT_TRUE(QFileInfo(starts[0]).isDir()) << "starts at the nearest folder that exists";
        EXPECT_EQ(remembered(), good);
    }
}

TEST_F(CollectionChoiceTest, ChooserAsksAgainUntilAFolderServesAndRemembersIt)
{
    answers = QStringList{root.filePath(QStringLiteral("nothing")), root.path(), other};
    EXPECT_EQ(CollectionChoice::installFolder({}), other);
    EXPECT_EQ(starts.size(), 3);
    ASSERT_EQ(messages.size(), 2);
    EXPECT_TRUE(messages[0].contains(root.filePath(QStringLiteral("nothing"))));
    EXPECT_TRUE(messages[1].contains(QStringLiteral("jst.mdb")));
    EXPECT_EQ(remembered(), other);

    // The next start opens it without asking.
    starts.clear();
    messages.clear();
    EXPECT_EQ(CollectionChoice::installFolder({}), other);
    EXPECT_TRUE(starts.isEmpty());
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(CollectionChoiceTest, RememberedCollectionThatWentAwayIsNamedAndTheChooserOpens)
{
    remember(root.filePath(QStringLiteral("gone")));
    answers = QStringList{good};
    EXPECT_EQ(CollectionChoice::installFolder({}), good);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains(root.filePath(QStringLiteral("gone"))));
    EXPECT_EQ(starts.value(0), root.path());
    EXPECT_EQ(remembered(), good);
}

TEST_F(CollectionChoiceTest, ClosingTheChooserOpensNothing)
{
    EXPECT_EQ(CollectionChoice::installFolder({}), QString());
    EXPECT_EQ(starts.size(), 1);
    EXPECT_TRUE(remembered().isEmpty());
}

} // namespace
} // namespace Orvanta::Test
