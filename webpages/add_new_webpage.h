// The add-web-page dialog: a title and a URL, accepted only after the URL was opened once.
#pragma once

#include "framework/dialog.h"

#include <string>
#include <vector>

class CAddNewWebPage : public fw::Dialog {
public:
    // listedUrls: the URLs of the rows already in the list, for the duplicate test.
    explicit CAddNewWebPage(std::vector<std::string> listedUrls);

    // The trimmed values, after the dialog ended with IDOK; the URL always contains "http://".
    const std::string& Title() const { return title_; }
    const std::string& URL() const { return url_; }

    static constexpr int kMaxChars = 260;

protected:
    bool OnInitDialog() override;
    bool OnCommand(int id, int code, HWND control) override;
    void OnOK() override;

private:
    void Browse() const;
    bool IsListed(const std::string& url) const;
    void Refuse(const std::string& text, const std::string& caption, int field) const;

    std::string title_;
    std::string url_;
    std::vector<std::string> listedUrls_;
};
