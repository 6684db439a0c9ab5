#include "feeds/dlg_rename_folder.h"

#include "fetch/feed_encoding.h"
#include "framework/message.h"
#include "framework/text.h"
#include "framework/window.h"
#include "resources/resource.h"

const char kApplicationTitle[] = "RVLCustomizer";

CDlgRenameFolder::CDlgRenameFolder() : fw::Dialog(fw::ThisModule(), IDD_RENAME_FOLDER) {}

bool CDlgRenameFolder::OnInitDialog() {
    SetItemText(IDE_FOLDER_NAME, name_);
    return true;
}

void CDlgRenameFolder::OnOK() {
    // A name pasted with a line break or another control character keeps only what a data file can carry.
    const std::string name = feedtext::OneLineText(ItemText(IDE_FOLDER_NAME));
    if (name.empty()) {
        fw::ShowMessage(Handle(), "Please specify a folder name.", kApplicationTitle, MB_OK | MB_ICONWARNING);
        FocusAndSelect(IDE_FOLDER_NAME);
        return;
    }
    name_ = name;
    End(IDOK);
}
