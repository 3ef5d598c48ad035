#include "criteria/frmBrowser.h"

#include "app/forms/Handler.h"
#include "criteria/DriveList.h"
#include "criteria/FileList.h"
#include "criteria/FolderList.h"
#include "criteria/TextArea.h"
#include "criteria/core/CriteriaFile.h"
#include "criteria/core/Drives.h"
#include "criteria/core/SaveQuestions.h"
#include "platform/Error.h"
#include "platform/ui/Fonts.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/Twips.h"

#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QPalette>
#include <QPushButton>

namespace Orvanta {
namespace {

const QString Ming = QStringLiteral("新細明體");

// The design's two system colours, taken from the platform palette:
// colour 19 (inactive caption text) has no role of its own; the nearest is
// the text drawn on an inactive window's highlight bar, as caption text is
// drawn on the inactive title bar. Colour 20 (3-D highlight) is Light.
QColor systemColour19()
{
    return QPalette().color(QPalette::Inactive, QPalette::HighlightedText);
}

QColor systemColour20()
{
    return QPalette().color(QPalette::Active, QPalette::Light);
}

// A path as the caption shows it. Qt reads "[*]" in a title as the
// modified-document mark and drops it; doubled, it shows as written.
QString captionFor(const QString& path)
{
    QString caption = path;
    return caption.replace(QLatin1String("[*]"), QLatin1String("[*][*]"));
}

void paintBackground(QWidget* w, const QColor& colour, std::initializer_list<QPalette::ColorRole> roles)
{
    QPalette pal = w->palette();
    for (QPalette::ColorRole role : roles)
        pal.setColor(role, colour);
    w->setPalette(pal);
    w->setAutoFillBackground(true);
}

} // namespace

QString frmBrowser::designCaption()
{
    return QStringLiteral("Tarsel 全文檢索條件 瀏覽、複製、編輯、更新、存檔");
}

frmBrowser::frmBrowser()
{
    setWindowTitle(designCaption());
    // Client area 6870 x 6465 twips, placed at 6360, 4245 twips on the screen.
    setGeometry(pxRect(6360, 4245, 6870, 6465));
    buildControls();
    applyColours();

    // Every list starts at the process's current folder, which the editor
    // moved there the last time it was open.
    QString start = QDir::currentPath();
    if (!QFileInfo(start).isDir())
        start = QStringLiteral("/");
    drvList->selectQuietly(start);
    dirList->setPath(start);
    filList->setPath(dirList->path());

    connectHandler(drvList, &DriveList::changed, this, &frmBrowser::drvList_Change);
    connectHandler(dirList, &FolderList::changed, this, &frmBrowser::dirList_Change);
    connectHandler(filList, &FileList::fileDoubleClicked, this, &frmBrowser::filList_DblClick);
    connectHandler(Command1, &QPushButton::clicked, this, &frmBrowser::Command1_Click);
}

void frmBrowser::buildControls()
{
    // The frame comes first so that the window's own lists and the text area,
    // which lie inside its rectangle, are drawn above it.
    fraFrame = new QGroupBox(QStringLiteral("選擇檔案"), this);
    fraFrame->setObjectName(QStringLiteral("fraFrame"));
    fraFrame->setGeometry(pxRect(120, 120, 6615, 6255));
    fraFrame->setFont(designFont(Ming, 9.75));
    fraFrame->setFocusPolicy(Qt::NoFocus);

    filList = new FileList(fraFrame);
    filList->setObjectName(QStringLiteral("filList"));
    filList->setGeometry(pxRect(3480, 360, 2895, 2115));
    filList->setFont(designFont(Ming, 11.25));

    drvList = new DriveList(this);
    drvList->setObjectName(QStringLiteral("drvList"));
    drvList->setGeometry(pxRect(360, 480, 3015, 345));
    drvList->setFont(designFont(Ming, 11.25));

    dirList = new FolderList(this);
    dirList->setObjectName(QStringLiteral("dirList"));
    dirList->setGeometry(pxRect(360, 960, 3015, 1620));
    dirList->setFont(designFont(Ming, 11.25));

    txtBrowser = new TextArea(this);
    txtBrowser->setObjectName(QStringLiteral("txtBrowser"));
    txtBrowser->setGeometry(pxRect(120, 2880, 6615, 2895));
    txtBrowser->setFont(designFont(Ming, 12.75));
    // Tab moves on to the save button, as the tab order says, rather than
    // typing a tab character.
    txtBrowser->setTabChangesFocus(true);

    Command1 = new QPushButton(QStringLiteral("存檔"), fraFrame);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setGeometry(pxRect(5640, 5760, 855, 375));
    Command1->setFont(designFont(Ming, 11.25));
    // Enter clicks it while it has the focus, as Space does.
    Command1->setAutoDefault(true);

    drvList->raise();
    dirList->raise();
    txtBrowser->raise();

    setTabOrder(filList, drvList);
    setTabOrder(drvList, dirList);
    setTabOrder(dirList, txtBrowser);
    setTabOrder(txtBrowser, Command1);
}

void frmBrowser::applyColours()
{
    const QColor c19 = systemColour19();
    const QColor c20 = systemColour20();
    paintBackground(this, c19, {QPalette::Window});
    paintBackground(fraFrame, c19, {QPalette::Window});
    paintBackground(filList, c20, {QPalette::Base});
    paintBackground(drvList, c20, {QPalette::Base, QPalette::Button});
    paintBackground(dirList, c20, {QPalette::Base});
    paintBackground(txtBrowser, c20, {QPalette::Base});
    // A button that shows its background colour.
    paintBackground(Command1, c19, {QPalette::Button});
}

QString frmBrowser::selectedFullPath() const
{
    return CriteriaFile::fullPath(filList->path(), filList->fileName());
}

void frmBrowser::drvList_Change()
{
    const QString drive = drvList->drive();
    const QFileInfo root(drive);
    if (!root.isDir() || !root.isReadable() || !root.isExecutable()) {
        // The current drive stays what it was.
        drvList->selectQuietly(QDir::currentPath());
        throw Error(ErrorCode::DiskNotReady, QStringLiteral("Disk not ready: %1").arg(drive));
    }
    // Runs the folder handler when the path moves.
    dirList->setPath(Drives::currentFolderOn(drive, Drives::mounted()));
    Drives::setCurrentFolder(dirList->path());
}

void frmBrowser::dirList_Change()
{
    filList->setPath(dirList->path());
    Drives::setCurrentFolder(dirList->path());
    // Opening a folder that is another drive's root (a medium mounted below
    // this drive) moves to that drive; the drive list follows.
    drvList->selectQuietly(dirList->path());
}

void frmBrowser::filList_DblClick()
{
    const QString path = selectedFullPath();
    setWindowTitle(captionFor(path));
    // On failure the text area keeps its text.
    const QString text = CriteriaFile::load(path);
    txtBrowser->setText(text);
    m_textFile = path;
}

void frmBrowser::Command1_Click()
{
    // The file selected now, whichever one was loaded.
    const QString path = selectedFullPath();
    const QString text = txtBrowser->text();
    // Nothing is lost by surprise. A path that names no file fails in the
    // save below, as it always has, without a question first.
    if (!path.endsWith(QLatin1Char('/')) && !QFileInfo(path).isDir()) {
        if (CriteriaFile::overwritesAnotherFile(path, m_textFile)
            && !MessageSink::ask(SaveQuestions::caption(), SaveQuestions::overwrite(path, m_textFile)))
            return;
        if (const qsizetype lost = CriteriaFile::unsavableCharacters(text);
            lost > 0 && !MessageSink::ask(SaveQuestions::caption(), SaveQuestions::unsavable(lost)))
            return;
    }
    setWindowTitle(captionFor(path));
    CriteriaFile::save(path, text);
    m_textFile = path;
}

} // namespace Orvanta
