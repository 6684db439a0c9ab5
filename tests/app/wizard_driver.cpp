#include "tests/app/wizard_driver.h"

#include "resources/resource.h"

#include <commctrl.h>
#include <prsht.h>

#include <cstring>

namespace drive {

namespace {

// The wizard's caption, by which a user's tool finds it.
const char kCaption[] = "Welcome to the Ravelin Customizer";

std::string TextOf(HWND window) {
    char text[2048] = {};
    // WM_GETTEXT, which the system carries across processes.
    ::SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000,
                          nullptr);
    return text;
}

struct Search {
    DWORD process;
    const char* caption; // null: any caption
    HWND skip[2];
    HWND found;
};

BOOL CALLBACK MatchDialog(HWND window, LPARAM data) {
    auto* s = reinterpret_cast<Search*>(data);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    char className[32] = {};
    ::GetClassNameA(window, className, sizeof className);
    if (owner != s->process || window == s->skip[0] || window == s->skip[1] || !::IsWindowVisible(window) ||
        strcmp(className, "#32770") != 0)
        return TRUE;
    if (s->caption && TextOf(window) != s->caption)
        return TRUE;
    s->found = window;
    return FALSE;
}

// A visible top-level dialog of the process, with the caption when given, other than the two skipped.
HWND FindDialog(DWORD process, const char* caption, HWND skip1 = nullptr, HWND skip2 = nullptr) {
    Search search = {process, caption, {skip1, skip2}, nullptr};
    ::EnumWindows(MatchDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    while (!condition()) {
        if (::GetTickCount() - start > timeoutMs)
            return false;
        ::Sleep(50);
    }
    return true;
}

// Presses a button as a click does: the dialog receives BN_CLICKED. Posted, because the press may open
// a modal dialog or a message box in the customizer.
void Click(HWND dialog, int id) {
    ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

void SetText(HWND dialog, int id, const std::string& text) {
    ::SendMessageTimeoutA(::GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                          SMTO_ABORTIFHUNG, 5000, nullptr);
}

// The text of a message box: its static control with the id 0xFFFF.
std::string MessageText(HWND box) {
    return TextOf(::GetDlgItem(box, 0xFFFF));
}

} // namespace

bool WizardDriver::Attach(DWORD timeoutMs, int page) {
    WaitFor(
        [&] {
            sheet_ = ::FindWindowA("#32770", kCaption);
            return sheet_ && ::IsWindowVisible(sheet_);
        },
        timeoutMs);
    if (!sheet_)
        return false;
    ::GetWindowThreadProcessId(sheet_, &process_);
    // The first page answers once the sheet has finished creating it.
    if (!WaitFor([&] { return ActivePage() == page; }, timeoutMs))
        return false;
    Log(page == 0 ? "found the wizard, on the welcome page" : "found the wizard, on page " + std::to_string(page));
    return true;
}

HWND WizardDriver::ActivePageWindow() const {
    DWORD_PTR page = 0;
    ::SendMessageTimeoutA(sheet_, PSM_GETCURRENTPAGEHWND, 0, 0, SMTO_ABORTIFHUNG, 5000, &page);
    return reinterpret_cast<HWND>(page);
}

int WizardDriver::ActivePage() const {
    HWND page = ActivePageWindow();
    if (!page)
        return -1;
    DWORD_PTR index = static_cast<DWORD_PTR>(-1);
    if (!::SendMessageTimeoutA(sheet_, PSM_HWNDTOINDEX, reinterpret_cast<WPARAM>(page), 0, SMTO_ABORTIFHUNG, 5000,
                               &index))
        return -1;
    return static_cast<int>(static_cast<INT_PTR>(index));
}

bool WizardDriver::Press(int button, int expected, DWORD timeoutMs) {
    const char* name = button == PSBTN_BACK     ? "Back"
                       : button == PSBTN_NEXT   ? "Next"
                       : button == PSBTN_CANCEL ? "Cancel"
                                                : "Finish";
    const int from = ActivePage();
    ::PostMessageA(sheet_, PSM_PRESSBUTTON, button, 0);
    if (expected < 0)
        return true;
    const bool arrived = WaitFor([&] { return ActivePage() == expected; }, timeoutMs);
    Log(std::string(name) + " on page " + std::to_string(from) + ": now on page " + std::to_string(ActivePage()));
    return arrived;
}

int WizardDriver::WaitForPage(int first, int second, DWORD timeoutMs) {
    int page = -1;
    WaitFor(
        [&] {
            page = ActivePage();
            return page == first || page == second;
        },
        timeoutMs);
    return page;
}

int WizardDriver::WaitForPageOrMessage(int first, int second, DWORD timeoutMs, std::string& message) {
    int page = -1;
    HWND box = nullptr;
    WaitFor(
        [&] {
            page = ActivePage();
            box = FindDialog(process_, nullptr, sheet_);
            return page == first || page == second || box != nullptr;
        },
        timeoutMs);
    if (!box)
        return page;
    message = TextOf(box) + ": " + MessageText(box);
    Log("the customizer said \"" + message + "\"");
    const int shownUnder = page;
    Click(box, IDOK);
    WaitFor([&] { return !::IsWindow(box) || !::IsWindowVisible(box); }, 5000);
    // The page that the answer leads to is shown a moment after the box has gone.
    WaitFor([&] { return ActivePage() != shownUnder; }, 5000);
    return ActivePage();
}

std::string WizardDriver::AnswerMessage(int button, DWORD timeoutMs) {
    HWND box = nullptr;
    if (!WaitFor([&] { return (box = FindDialog(process_, nullptr, sheet_)) != nullptr; }, timeoutMs))
        return std::string();
    const std::string message = MessageText(box);
    Log("the customizer asked \"" + message + "\"");
    Click(box, button);
    WaitFor([&] { return !::IsWindow(box) || !::IsWindowVisible(box); }, 5000);
    return message;
}

std::string WizardDriver::ThroughDialog(int button, const char* caption, const std::function<void(HWND)>& fill) {
    HWND page = ActivePageWindow();
    Click(page, button);
    HWND dialog = nullptr;
    if (!WaitFor([&] { return (dialog = FindDialog(process_, caption)) != nullptr; }, 10000)) {
        Log(std::string("no \"") + caption + "\" dialog appeared");
        return "(no dialog)";
    }
    fill(dialog);
    Click(dialog, IDOK);
    // Either the dialog closes (added) or a message box appears over it (refused). The check may fetch
    // the address first.
    HWND box = nullptr;
    WaitFor(
        [&] {
            if (!::IsWindow(dialog) || !::IsWindowVisible(dialog))
                return true;
            box = FindDialog(process_, nullptr, dialog, sheet_);
            return box != nullptr;
        },
        30000);
    if (!box)
        return std::string();
    const std::string message = TextOf(box) + ": " + MessageText(box);
    Log("the customizer said \"" + message + "\"");
    Click(box, IDOK);
    WaitFor([&] { return !::IsWindow(box) || !::IsWindowVisible(box); }, 5000);
    Click(dialog, IDCANCEL);
    WaitFor([&] { return !::IsWindow(dialog) || !::IsWindowVisible(dialog); }, 5000);
    return message;
}

std::string WizardDriver::AddFeed(const std::string& url) {
    Log("adding the feed " + url);
    return ThroughDialog(IDC_ADD, "Add New Feed", [&](HWND dialog) { SetText(dialog, IDE_URL, url); });
}

std::string WizardDriver::AddWebPage(const std::string& title, const std::string& url) {
    Log("adding the web page " + title + " at " + url);
    return ThroughDialog(IDC_ADD, "Add New Web Page", [&](HWND dialog) {
        SetText(dialog, IDE_WEBPAGE_TITLE, title);
        SetText(dialog, IDE_URL, url);
    });
}

std::string WizardDriver::RenameFolder(const std::string& name) {
    Log("renaming the folder to " + name);
    return ThroughDialog(IDC_RENAME, "Rename Folder", [&](HWND dialog) { SetText(dialog, IDE_FOLDER_NAME, name); });
}

void WizardDriver::SetPageText(int id, const std::string& text) const {
    SetText(ActivePageWindow(), id, text);
}

std::string WizardDriver::PageText(int id) const {
    return TextOf(::GetDlgItem(ActivePageWindow(), id));
}

void WizardDriver::SetPageCheck(int id, bool checked) const {
    ::SendMessageTimeoutA(::GetDlgItem(ActivePageWindow(), id), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0,
                          SMTO_ABORTIFHUNG, 5000, nullptr);
}

bool WizardDriver::Finish(DWORD timeoutMs) {
    ::PostMessageA(sheet_, PSM_PRESSBUTTON, PSBTN_FINISH, 0);
    const bool closed = WaitFor([&] { return !::IsWindow(sheet_); }, timeoutMs);
    Log(closed ? "Finish: the wizard has closed" : "Finish: the wizard is still open");
    return closed;
}

bool WizardDriver::Cancel(DWORD timeoutMs) {
    ::PostMessageA(sheet_, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    HWND box = nullptr;
    WaitFor([&] { return !::IsWindow(sheet_) || (box = FindDialog(process_, nullptr, sheet_)) != nullptr; }, timeoutMs);
    if (box) {
        Log("the customizer asked \"" + MessageText(box) + "\": Yes");
        Click(box, IDYES);
    }
    const bool closed = WaitFor([&] { return !::IsWindow(sheet_); }, timeoutMs);
    Log(closed ? "Cancel: the wizard has closed" : "Cancel: the wizard is still open");
    return closed;
}

} // namespace drive
