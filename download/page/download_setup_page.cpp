#include "download/page/download_setup_page.h"

#include "builder/data_files.h"
#include "builder/setup_trust.h"
#include "download/page/download_setup_sink.h"
#include "download/page/progress_text.h"
#include "download/page/setup_image.h"
#include "framework/message.h"
#include "framework/text.h"

#include <commctrl.h>

namespace {

const char kCaption[] = "Ravelin Customizer";
const char kStatusText[] = "Downloading setup of Ravelin...";
const char kStopQuestion[] = "Stop the download and close the Ravelin Customizer?";
const char kStartFailed[] = "Customizer could not start the download of the latest setup of Ravelin.\n"
                            "Please try again.";

const char kDownloadFailed[] = "The setup of Ravelin could not be downloaded.";
const char kNotAProgram[] = "What the server sent is not a Windows program.";
const char kTryAgain[] = "Please try again.";
const char kOlderQuestion[] = "The downloaded setup of Ravelin is version %s, older than version %s in the opened "
                              "setup.\n\nBuild the customized setup with the older version?";
const char kOlderRefused[] =
    "The downloaded setup of Ravelin is version %s, older than version %s in the opened setup.";

// Posted to the page from its activation, so that the wizard changes pages only after the activation
// has ended: no transfer could be started, or the setup was already downloaded.
constexpr UINT kMsgStartFailed = WM_APP + 0x201;
constexpr UINT kMsgMoveOn = WM_APP + 0x202;
// Posted from the finish event, so that the message box and the change of pages come after the
// component has finished raising it.
constexpr UINT kMsgDownloadFailed = WM_APP + 0x203;
// Posted from the finish event: the question about an older setup comes after the event, as a failure's
// message does.
constexpr UINT kMsgAskOlder = WM_APP + 0x204;

} // namespace

CDownloadSetupPage::CDownloadSetupPage()
    : CWizardPage(IDD_DOWNLOAD, IDS_DOWNLOAD_TITLE, IDS_DOWNLOAD_SUBTITLE, "downloadingSetup.htm", 0),
      downloadAddress_(kReaderDownloadAddress), sink_(new CDownloadSetupEventSink(this)) {}

CDownloadSetupPage::~CDownloadSetupPage() {
    // Normally the window's destruction has done this already; a page that ends first still leaves
    // nothing connected to itself.
    Disconnect();
    component_.Reset();
    sink_->DetachPage();
    sink_->Release();
}

void CDownloadSetupPage::SetOpenedReader(bool known, const pkg::FourPartVersion& version) {
    openedReaderKnown_ = known;
    openedReader_ = version;
    done_ = false;
}

IDispatch* CDownloadSetupPage::EventSink() const {
    return sink_;
}

bool CDownloadSetupPage::OnInitDialog() {
    // The status line in bold: a copy of the control's own font with weight 700.
    HFONT font = reinterpret_cast<HFONT>(SendItem(IDT_STATUS, WM_GETFONT));
    if (!font)
        font = static_cast<HFONT>(::GetStockObject(SYSTEM_FONT));
    // Wide: a face name outside ASCII would not survive GDI's 8-bit calls, which use the system's code page.
    LOGFONTW logFont = {};
    if (::GetObjectW(font, sizeof(logFont), &logFont) == sizeof(logFont)) {
        logFont.lfWeight = FW_BOLD;
        boldFont_.Reset(::CreateFontIndirectW(&logFont));
        if (boldFont_)
            SendItem(IDT_STATUS, WM_SETFONT, reinterpret_cast<WPARAM>(boldFont_.Get()), TRUE);
    }
    readerSetupPath_ = CustomizationInputFolder() + "\\rvl.exe";
    ShowItem(IDT_RATE_LABEL, false);
    return true;
}

bool CDownloadSetupPage::OnSetActive() {
    statusText_ = kStatusText;
    SetItemText(IDT_STATUS, statusText_);
    SetItemText(IDT_SIZES, sizesText_);
    SetItemText(IDT_RATE, rateText_);
    // Posted, so that it comes after whatever buttons the wizard sets while it changes pages.
    ::PostMessageA(SheetHandle(), PSM_SETWIZBUTTONS, 0, 0);
    if (!done_) {
        if (!StartDownload())
            ::PostMessageA(Handle(), kMsgStartFailed, 0, 0);
    } else {
        // Nothing more to download: the page would otherwise wait with every wizard button off.
        ::PostMessageA(Handle(), kMsgMoveOn, 0, 0);
    }
    ShowItem(IDC_PROGRESS, true);
    return CWizardPage::OnSetActive();
}

bool CDownloadSetupPage::StartDownload() {
    Disconnect();
    component_.Reset();
    // A new attempt shows no figures of the one before.
    SendItem(IDC_PROGRESS, PBM_SETPOS, 0);
    sizesText_.clear();
    rateText_.clear();
    SetItemText(IDT_PERCENT, "");
    SetItemText(IDT_SIZES, sizesText_);
    SetItemText(IDT_RATE, rateText_);
    ShowItem(IDT_RATE_LABEL, false);

    if (FAILED(::CoCreateInstance(CLSID_URLDownload, nullptr, CLSCTX_INPROC_SERVER, IID_IURLDownload,
                                  component_.PutVoid())))
        return false;

    // The connection holds its own counted reference on the sink until Unadvise: the sink outlives any
    // event the component still raises, and the page's pointer in it is cleared when the page goes.
    fw::ComPtr<IConnectionPointContainer> container;
    DWORD cookie = 0;
    if (FAILED(component_.As(container, IID_IConnectionPointContainer)) ||
        FAILED(container->FindConnectionPoint(DIID__IURLDownloadEvents, connection_.Put())) ||
        FAILED(connection_->Advise(sink_, &cookie))) {
        // Without the events the page could never tell that the transfer ended.
        connection_.Reset();
        component_.Reset();
        return false;
    }
    cookie_ = cookie;

    fw::Bstr url = fw::Bstr::FromAnsi(downloadAddress_);
    fw::Bstr path = fw::Bstr::FromAnsi(readerSetupPath_);
    if (FAILED(component_->StartDownload(url.Get(), path.Get()))) {
        Disconnect();
        component_.Reset();
        return false;
    }
    downloading_ = true;
    return true;
}

void CDownloadSetupPage::StopTransfer() {
    downloading_ = false;
    // The page hears nothing more of this transfer, not even its finish.
    Disconnect();
    if (component_)
        component_->StopDownload();
    // The component removes the file; should it not have managed to, nothing of it may be packed.
    ::DeleteFileA(readerSetupPath_.c_str());
    if (CWizardLinks* links = WizardLinks())
        links->SetReaderSetupPath(std::string());
}

bool CDownloadSetupPage::ConfirmStop() {
    const int answer =
        fw::ShowMessage(SheetHandle(), kStopQuestion, kCaption, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
    if (answer != IDYES)
        return false;
    // The question may have been open while the download ended: what is stopped is what runs now.
    if (downloading_)
        StopTransfer();
    return true;
}

void CDownloadSetupPage::Disconnect() {
    if (connection_ && cookie_ != 0)
        connection_->Unadvise(cookie_);
    connection_.Reset();
    cookie_ = 0;
}

void CDownloadSetupPage::OnStart(short, long maxBytes) {
    if (maxBytes != 0)
        SendItem(IDC_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(1, 100));
}

void CDownloadSetupPage::OnData(long, long totalBytes, long maxBytes, double rate, long percent, double) {
    SendItem(IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(percent));
    std::string sizes = FormatSizesText(totalBytes, maxBytes);
    std::string percentText = FormatPercentText(percent);
    std::string rateText = FormatRateText(rate);
    // The statics are drawn on the page's background: emptying them first makes them erase the longer
    // text of the event before.
    SetItemText(IDT_PERCENT, "");
    SetItemText(IDT_PERCENT, percentText);
    sizesText_ = sizes;
    SetItemText(IDT_SIZES, "");
    SetItemText(IDT_SIZES, sizesText_);
    rateText_ = rateText;
    ShowItem(IDT_RATE_LABEL, true);
    SetItemText(IDT_RATE, rateText_);
}

void CDownloadSetupPage::OnFinish(short finishSuccess, const std::string& error) {
    // A transfer that ended normally may still have brought an error page, a cut file or a program that
    // someone on the way put in its place: only a Windows program signed by the maker is the reader's
    // setup. A body without a Content-Length that was cut short fails here, on its signature.
    downloading_ = false;
    failureText_ = error;
    if (finishSuccess == 1) {
        // The shape is looked at first, so that an error page that a server answered with is told as
        // such rather than as a program without the maker's signature.
        if (!IsWindowsProgramFile(readerSetupPath_)) {
            failureText_ = kNotAProgram;
        } else {
            // Held, shared for reading only, from the signature check to the reading of its version: both
            // judge the same bytes.
            fw::FileHandle held(::CreateFileA(readerSetupPath_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
            const SetupTrust trust = held ? CheckSetupTrust(held.Get(), readerSetupPath_, nullptr) : kSetupUnreadable;
            const DWORD readError = ::GetLastError();
            failureText_ = SetupTrustFailureText(trust, readError);
            pkg::VersionResource version;
            if (trust == kSetupTrusted) {
                // The maker signs more than the reader's setup, and its older setups stay signed.
                ReadHeldVersion(held.Get(), version);
                failureText_ = ReaderProductFailureText(version);
            }
            held.Reset();
            if (failureText_.empty()) {
                if (openedReaderKnown_ && (!version.hasVersion || version.file.Compare(openedReader_) < 0)) {
                    downloadedVersion_ = version.hasVersion ? version.file.Text() : std::string("(none)");
                    Disconnect();
                    ::PostMessageA(Handle(), kMsgAskOlder, 0, 0);
                    return;
                }
                done_ = true;
                MoveOn();
                return;
            }
        }
    }
    // The component object stays until the next start replaces it.
    Disconnect();
    DiscardSetup();
    ::PostMessageA(Handle(), kMsgDownloadFailed, 0, 0);
}

void CDownloadSetupPage::DiscardSetup() {
    ::DeleteFileA(readerSetupPath_.c_str());
    if (CWizardLinks* links = WizardLinks())
        links->SetReaderSetupPath(std::string());
}

void CDownloadSetupPage::AskAboutOlder() {
    const std::string opened = openedReader_.Text();
    const int answer =
        fw::ShowMessage(SheetHandle(), text::Format(kOlderQuestion, downloadedVersion_.c_str(), opened.c_str()),
                        kCaption, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
    if (answer == IDYES) {
        done_ = true;
        MoveOn();
        return;
    }
    failureText_ = text::Format(kOlderRefused, downloadedVersion_.c_str(), opened.c_str());
    DiscardSetup();
    ReportFailure();
}

void CDownloadSetupPage::ReportFailure() {
    std::string text = kDownloadFailed;
    if (!failureText_.empty())
        text += "\n\n" + failureText_;
    text += "\n\n";
    text += kTryAgain;
    fw::ShowMessage(SheetHandle(), text, kCaption, MB_OK | MB_ICONWARNING);
    if (Sheet())
        Sheet()->SetActivePage(kWebPagesPage);
}

void CDownloadSetupPage::MoveOn() {
    CWizardLinks* links = WizardLinks();
    if (!links || !Sheet())
        return;
    links->SetReaderSetupPath(readerSetupPath_);
    Sheet()->SetActivePage(IsReaderInstalled() ? kInstructionPage : kDestinationPage);
}

void CDownloadSetupPage::GiveUp() {
    fw::ShowMessage(SheetHandle(), kStartFailed, kCaption, MB_OK | MB_ICONWARNING);
    if (Sheet())
        Sheet()->SetActivePage(kWebPagesPage);
}

INT_PTR CDownloadSetupPage::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == kMsgStartFailed || msg == kMsgMoveOn || msg == kMsgDownloadFailed || msg == kMsgAskOlder) {
        // Only while this page is still the current one.
        if (Sheet() && Sheet()->ActiveIndex() == Sheet()->PageIndex(this)) {
            if (msg == kMsgMoveOn)
                MoveOn();
            else if (msg == kMsgDownloadFailed)
                ReportFailure();
            else if (msg == kMsgAskOlder)
                AskAboutOlder();
            else
                GiveUp();
        } else if (msg == kMsgAskOlder) {
            // Nobody was asked: the older setup is not taken.
            DiscardSetup();
        }
        return TRUE;
    }
    return CWizardPage::OnMessage(msg, wp, lp);
}

bool CDownloadSetupPage::OnQueryCancel() {
    // A running download has a question of its own; otherwise the wizard closes as from any page.
    return downloading_ ? ConfirmStop() : CWizardPage::OnQueryCancel();
}

bool CDownloadSetupPage::OnCommand(int id, int code, HWND control) {
    if (id == IDC_CANCEL_DOWNLOAD) {
        // The page's own stop button (not shown) asks the same question; once stopped, the wizard closes as
        // after Cancel.
        if (downloading_ && ConfirmStop() && Sheet())
            ::PostMessageA(SheetHandle(), PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
        return true;
    }
    return CWizardPage::OnCommand(id, code, control);
}

LRESULT CDownloadSetupPage::OnWizardBack() {
    return JumpTo(kWebPagesPage);
}

LRESULT CDownloadSetupPage::OnWizardNext() {
    return IsReaderInstalled() ? JumpTo(kInstructionPage) : kStay;
}

void CDownloadSetupPage::OnDestroy() {
    // The wizard closes while the download runs (the system ends the session, say): it stops, and its
    // file goes.
    if (downloading_)
        StopTransfer();
    Disconnect();
    // The component goes with the page's window, before the sheet ends COM on this thread.
    component_.Reset();
    CWizardPage::OnDestroy();
}
