// The import dialog: the user picks an OPML file, sees the feeds it lists with check boxes, and on Add
// the checked feeds that the customization does not have yet become a new folder of the feeds page,
// named after the file's title or, failing that, after the file.
#pragma once

#include "feeds/import_list_ctrl.h"
#include "framework/dialog.h"
#include "framework/owners.h"

#include <windows.h>
#include <msxml.h>

#include <string>

class CCustomizationPage;

// The dialog's caption, which its messages share, and the texts of its messages, word for word.
extern const char kImportCaption[];
extern const char kImportFailedText[];
extern const char kSelectAFeedText[];
extern const char kAllFeedsPresentText[];
// What Import says when count entries of the file were not web addresses ("Three entries of the file
// were left out because they are not web addresses.").
std::string LeftOutText(int count);

class CImportFeedPage : public fw::Dialog {
public:
    // feeds: the page whose folders and rows the import changes.
    explicit CImportFeedPage(CCustomizationPage& feeds);
    ~CImportFeedPage() override;

    // Takes path as the chosen file, as Browse does when the user has picked one: the path is shown and
    // Import enabled. The feeds of an earlier import are cleared and Add waits for the next Import, so
    // that a folder is always named after the file whose feeds it takes.
    void ChooseFile(const std::string& path);
    const std::string& FilePath() const { return filePath_; }
    const std::string& FileName() const { return fileName_; }
    // The head title of the last import, and how many feeds it listed.
    const std::string& OpmlTitle() const { return opmlTitle_; }
    int ImportedCount() const { return importList_.Count(); }
    CImportListCtrl& ImportList() { return importList_; }

protected:
    bool OnInitDialog() override;
    bool OnCommand(int id, int code, HWND control) override;
    bool OnNotify(NMHDR* header, LRESULT& result) override;
    void OnOK() override;
    void OnDestroy() override;

private:
    void Browse();
    void Import();
    // Lists the file's feeds; returns false when the file cannot be read. leftOut: the entries that
    // were not web addresses.
    bool Parse(int& leftOut);
    void Merge();
    std::string FolderName() const;

    CCustomizationPage& feeds_;
    CImportListCtrl importList_;
    std::string filePath_;
    std::string fileName_;
    fw::ComPtr<IXMLDOMDocument> document_; // the document of the last import
    std::string opmlTitle_;
};
