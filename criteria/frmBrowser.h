// The criteria file editor: browse drives, folders and criteria files, load
// one into the text area, edit it and save the text area into the file that
// is selected in the file list (loading one file and saving into another
// copies it). It uses nothing of the rest of the program.
#pragma once

#include "app/forms/Form.h"

class QGroupBox;
class QPushButton;

namespace Orvanta {

class DriveList;
class FileList;
class FolderList;
class TextArea;

class frmBrowser : public Form {
    Q_OBJECT
public:
    frmBrowser();

    static QString designCaption();

    // The controls, by their design names.
    QGroupBox* fraFrame = nullptr;
    FileList* filList = nullptr;
    DriveList* drvList = nullptr;
    FolderList* dirList = nullptr;
    TextArea* txtBrowser = nullptr;
    QPushButton* Command1 = nullptr;

    // Event handlers. Failures are thrown as Orvanta::Error and end the
    // handler where they happen; the handler guard reports them.
    void drvList_Change();
    void dirList_Change();
    void filList_DblClick();
    void Command1_Click();

private:
    void buildControls();
    void applyColours();
    QString selectedFullPath() const;

    // The file the text area's text was last loaded from or saved into; a
    // save into any other file with content asks first.
    QString m_textFile;
};

} // namespace Orvanta
