// Where and under which name the customized setup is written; Next builds it.
#pragma once

#include "app/wizard_page.h"
#include "builder/data_files.h"
#include "builder/setup_trust.h"
#include "resources/resource.h"

#include <string>

// The results of CheckSetupName.
constexpr int kSetupNameAccepted = 0;
constexpr int kSetupNameTooLongOrEmpty = -1;
constexpr int kSetupNameDevice = -2;

// 0 when name can be a file name, a positive value (the code of the refused character, 46 for a name
// of dots only) for a forbidden character, -2 for a reserved device name, -1 for an empty name or one
// of 256 characters or more (no device name is that long). Bytes of 0x80 and above are ordinary
// characters of the ANSI code page.
int CheckSetupName(const std::string& name);

// After the output's file name: the question before a file that this run did not write is replaced.
extern const char kReplaceOutput[];

// folder, a backslash and name; ".exe" is added unless the extension is already exactly ".exe".
std::string MakeOutputPath(const std::string& folder, const std::string& name);

class CDestinationFolderPage : public CWizardPage {
public:
    CDestinationFolderPage()
        : CWizardPage(IDD_DESTINATION, IDS_DESTINATION_TITLE, IDS_DESTINATION_SUBTITLE, "selectingFolder.htm",
                      PSWIZB_BACK | PSWIZB_NEXT) {}

    // The downloaded reader setup, handed over by the download page. The page deletes that file when
    // its window is destroyed.
    void SetReaderSetupPath(const std::string& path) { readerSetupPath_ = path; }
    const std::string& ReaderSetupPath() const { return readerSetupPath_; }
    const std::string& DestinationFolder() const { return destinationFolder_; }
    const std::string& SetupName() const { return setupName_; }
    // Proposes where the setup goes instead of the defaults (the folder and name of an opened setup).
    void ProposeOutput(const std::string& folder, const std::string& name);

    // Writes the data files, packs them with the reader setup and writes the customized setup. Shows
    // the error message and returns false on failure.
    bool BuildCustomizedSetup();
    // The reader setup failed its signature check before packing: says why, deletes it and has the
    // download page fetch it again.
    void RefuseReaderSetup(const std::string& reason);
    // Deletes the data files of the last build.
    void DeleteDataFiles();
    // Whether a build of this run has written the customized setup: the publisher's work is then saved.
    bool SetupWritten() const { return setupWritten_; }

protected:
    bool OnInitDialog() override;
    // Back skips the download page: to the read-me page when the reader is installed, else to the
    // web pages page.
    LRESULT OnWizardBack() override;
    LRESULT OnWizardNext() override;
    bool OnCommand(int id, int code, HWND control) override;
    void OnDestroy() override;

private:
    void Exchange(bool save);
    void Browse();
    // Shows the refusal and focuses the edit; always false.
    bool Refuse(const char* text, int editId) const;
    bool Validate() const;

    bool proposed_ = false;
    std::string destinationFolder_;
    std::string setupName_;
    std::string readerSetupPath_;
    DataFiles dataFiles_;
    bool setupWritten_ = false;
    std::string writtenPath_; // the customized setup that this run wrote last
};
