// Drives a running customizer from outside, through window messages, and prints each step: the
// whole job without a person at the keyboard (scripts/run on a virtual display, for instance).
//
//   drive_wizard.exe STEP...
//     feed=URL          add a feed (a refusal is printed and the dialog cancelled)
//     page=TITLE|URL    add a web page
//     folder=PATH       the destination folder (default: the one the page proposes)
//     name=NAME         the setup's name (default: the one the page proposes)
// After the steps it goes on through the download to the destination page, builds (replacing a setup of
// the same name when the wizard asks), and presses Finish
// with both boxes of the finish page unchecked. When the download fails it presses Cancel. Exit code 0
// when the setup was built, 1 otherwise.
#include "tests/app/wizard_driver.h"

#include "resources/resource.h"

#include <prsht.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {
// The pages, in the order the user sees them.
enum { kWelcome, kFeeds, kWebPages, kDownload, kReadMe, kDestination, kFinish };
} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> feeds, pages;
    std::string folder, name;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const size_t equals = arg.find('=');
        const std::string key = arg.substr(0, equals),
                          value = equals == std::string::npos ? "" : arg.substr(equals + 1);
        if (key == "feed")
            feeds.push_back(value);
        else if (key == "page")
            pages.push_back(value);
        else if (key == "folder")
            folder = value;
        else if (key == "name")
            name = value;
        else {
            std::fprintf(stderr, "drive_wizard: unknown step %s\n", arg.c_str());
            return 2;
        }
    }

    drive::WizardDriver wizard([](const std::string& line) {
        std::printf("drive: %s\n", line.c_str());
        std::fflush(stdout);
    });
    if (!wizard.Attach(60000)) {
        std::fprintf(stderr, "drive_wizard: no wizard appeared\n");
        return 1;
    }
    if (!wizard.Press(PSBTN_NEXT, kFeeds))
        return 1;
    for (const std::string& url : feeds)
        wizard.AddFeed(url);
    if (!wizard.Press(PSBTN_NEXT, kWebPages))
        return 1;
    for (const std::string& page : pages) {
        const size_t bar = page.find('|');
        wizard.AddWebPage(page.substr(0, bar), bar == std::string::npos ? "" : page.substr(bar + 1));
    }
    wizard.Press(PSBTN_NEXT, -1);
    std::printf("drive: downloading the reader setup\n");
    std::string message;
    const int after = wizard.WaitForPageOrMessage(kDestination, kReadMe, 120000, message);
    if (after == kReadMe) {
        std::printf("drive: the read-me page: Ravelin is installed in this prefix\n");
        wizard.Press(PSBTN_NEXT, kDestination);
    } else if (!message.empty()) {
        std::printf("drive: the download failed: the wizard is back on page %d; Cancel\n", after);
        wizard.Cancel(10000);
        return 1;
    } else if (after != kDestination) {
        std::printf("drive: the download did not complete: the wizard is on page %d; Cancel\n", wizard.ActivePage());
        wizard.Cancel(10000);
        return 1;
    }
    if (!folder.empty())
        wizard.SetPageText(IDE_FOLDER, folder);
    if (!name.empty())
        wizard.SetPageText(IDE_SETUP_NAME, name);
    std::printf("drive: building into %s as %s\n", wizard.PageText(IDE_FOLDER).c_str(),
                wizard.PageText(IDE_SETUP_NAME).c_str());
    wizard.Press(PSBTN_NEXT, -1);
    // A setup of that name that an earlier run wrote is replaced only when the user says so: the wizard
    // asks, and the demo answers Yes.
    if (wizard.WaitForPage(kFinish, kFinish, 5000) != kFinish)
        wizard.AnswerMessage(IDYES, 5000);
    if (wizard.WaitForPage(kFinish, kFinish, 60000) != kFinish) {
        std::printf("drive: the build did not reach the finish page\n");
        return 1;
    }
    std::printf("drive: the finish page shows %s\n", wizard.PageText(IDE_SETUP_PATH).c_str());
    wizard.SetPageCheck(IDX_OPEN_FOLDER, false);
    wizard.SetPageCheck(IDX_RUN_SETUP, false);
    return wizard.Finish(20000) ? 0 : 1;
}
