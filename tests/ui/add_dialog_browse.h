// The Browse button of the add dialogs (feeds and web pages) opens what is typed in the URL edit in
// the user's browser: the same rule in both, checked by one table.
#pragma once

#include "resources/resource.h"
#include "tests/ui/ui.h"

#include <gtest/gtest.h>

#include <string>

namespace uitest {

// Presses addButton on page for each typed address, presses Browse in the modal dialog of that
// caption and cancels it. An http or https address reaches the shell (http:// put in front of one
// without a scheme) and the edit keeps what was typed; any other scheme gets the warning and nothing.
inline void ExpectBrowseOpensOnlyWebAddresses(HWND page, int addButton, const char* dialogCaption) {
    ShellOpenRecorder shell;
    ASSERT_TRUE(shell.Ok());
    const struct {
        const char* typed;
        const char* opened; // empty: refused with a message
    } cases[] = {
        {"  https://secure.test/page ", "https://secure.test/page"},
        {"HTTP://Upper.test/Page", "HTTP://Upper.test/Page"},
        {"plain.test/page", "http://plain.test/page"},
        {"ftp://files.test/page", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("typed \"") + c.typed + "\"");
        MessageBoxRecorder boxes;
        ModalDriver driver(dialogCaption, [&](HWND dialog) {
            set_item_text(dialog, IDE_URL, c.typed);
            EXPECT_TRUE(press_button(dialog, IDC_BROWSE));
            EXPECT_EQ(c.typed, item_text(dialog, IDE_URL)) << "Browse leaves the edit as it is";
            press_button(dialog, IDCANCEL);
        });
        EXPECT_TRUE(press_button(page, addButton));
        EXPECT_EQ(1, driver.Runs());
        if (*c.opened) {
            EXPECT_TRUE(boxes.Records().empty());
            EXPECT_EQ(c.opened, shell.NextOpened());
        } else {
            ASSERT_EQ(1u, boxes.Records().size());
            EXPECT_EQ("Only http and https addresses can be opened in the browser.", boxes.Records()[0].text);
            EXPECT_EQ(dialogCaption, boxes.Records()[0].caption);
            EXPECT_EQ(static_cast<UINT>(MB_ICONWARNING), boxes.Records()[0].Icon());
        }
    }
    // Nothing was handed over for the refused address.
    EXPECT_EQ("", shell.NextOpened(1000));
}

} // namespace uitest
