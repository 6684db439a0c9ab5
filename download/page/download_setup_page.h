// Downloads the reader's setup through Pullwire's URLDownload object into the customization input
// folder, shows the progress, and moves the wizard on by itself when the download has ended: forward
// after a success that brought the maker's signed setup, back to the web pages page with a warning after
// a failure. While it runs, the wizard's Back, Next and Finish are off, and Cancel asks whether to stop
// the download and close the wizard.
#pragma once

#include "app/wizard_page.h"
#include "builder/version_resource.h"
#include "framework/owners.h"
#include "download/page/maker_address.h"
#include "resources/resource.h"

#include "Pullwire.h"

#include <ocidl.h>
#include <string>

class CDownloadSetupEventSink;


class CDownloadSetupPage : public CWizardPage {
public:
    CDownloadSetupPage();
    ~CDownloadSetupPage() override;

    // Full path of the target file (the customization input folder and "\rvl.exe"); set when the page's
    // window is made.
    const std::string& ReaderSetupPath() const { return readerSetupPath_; }
    const std::string& DownloadAddress() const { return downloadAddress_; }
    bool Done() const { return done_; }
    // The downloaded setup is gone (the build refused it): the next activation downloads it again.
    void ForgetSetup() { done_ = false; }
    // The version of the reader setup inside the setup that Open Setup loaded (known false: none, or it
    // names no version). A download older than it is packed only when the user says so; a setup that was
    // downloaded already is downloaded and judged again.
    void SetOpenedReader(bool known, const pkg::FourPartVersion& version);
    // The sink that the page connects to the component, for callers that raise the events themselves.
    IDispatch* EventSink() const;

    // The component's events, forwarded by the sink while the page has its window.
    void OnStart(short downloadId, long maxBytes);
    void OnData(long readBytes, long totalBytes, long maxBytes, double rate, long percent, double elapsedTime);
    void OnFinish(short finishSuccess, const std::string& error);

protected:
    bool OnInitDialog() override;
    bool OnSetActive() override;
    bool OnQueryCancel() override;
    bool OnCommand(int id, int code, HWND control) override;
    LRESULT OnWizardBack() override;
    LRESULT OnWizardNext() override;
    void OnDestroy() override;
    INT_PTR OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    // Creates a new component, connects the sink and starts the transfer; false when no transfer runs.
    bool StartDownload();
    // Ends the sink's connection to the current component, if any.
    void Disconnect();
    // Stops the running transfer: the page hears no more of it, and its file is removed.
    void StopTransfer();
    // Asks whether to stop the download and close the wizard; on Yes stops the transfer if it still runs.
    bool ConfirmStop();
    // After a download that succeeded: the destination page gets the path, the wizard moves on.
    void MoveOn();
    // No transfer could be started: says so and goes back to the web pages page.
    void GiveUp();
    // The download failed or brought no program: says so, with the reason, and goes back to the web
    // pages page.
    void ReportFailure();
    // The download is older than the opened setup's reader setup: asks whether to use it (No by default);
    // No counts as a failed download.
    void AskAboutOlder();
    // Nothing of what arrived may be packed by a later build.
    void DiscardSetup();

    std::string statusText_;
    std::string readerSetupPath_;
    std::string downloadAddress_;
    bool done_ = false;
    // A transfer was started and has not finished.
    bool downloading_ = false;
    // Why the last download failed: the component's text, or that no program arrived.
    std::string failureText_;
    bool openedReaderKnown_ = false;
    pkg::FourPartVersion openedReader_;
    std::string downloadedVersion_; // of a download older than openedReader_, while it is asked about
    std::string sizesText_;
    std::string rateText_;
    fw::Font boldFont_;
    // COM is initialised once for the page, at the first start, and uninitialised with its window.
    fw::ComPtr<IURLDownload> component_;
    fw::ComPtr<IConnectionPoint> connection_;
    DWORD cookie_ = 0;
    // The page's own reference; a connection holds another one while it lasts.
    CDownloadSetupEventSink* sink_;
};
