// The add-feed dialog: takes a feed URL, refuses malformed URLs and feeds that the folder shown already
// has, and lets the validator fetch and recognise the feed before it closes with OK.
#pragma once

#include "framework/dialog.h"
#include "framework/listview.h"

#include <string>

// Message texts shared by the feeds page.
extern const char kAddFeedErrorCaption[];
extern const char kCannotAdd[];

class CAddNewFeed : public fw::Dialog {
public:
    // existing: the feeds list whose URLs (column 1) a new feed must not duplicate.
    explicit CAddNewFeed(const fw::ListView& existing);

    // Each getter trims its member in place and returns a copy.
    std::string Url();
    std::string Title();
    std::string Link();
    std::string Description();

    // Whether a list row's URL stands for the same feed as url.
    static bool IsDuplicate(const fw::ListView& list, const std::string& url);

protected:
    bool OnInitDialog() override;
    bool OnCommand(int id, int code, HWND control) override;
    void OnOK() override;

private:
    void Refuse(const std::string& text, const char* caption, bool selectUrl);
    void Browse();

    std::string url_;
    std::string title_;
    std::string link_;
    std::string description_;
    fw::ListView existing_;
};
