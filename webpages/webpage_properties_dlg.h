// The properties of one web page: its title can be changed, its URL is only shown.
#pragma once

#include "framework/dialog.h"

#include <string>

class CWebPagePropertiesDlg : public fw::Dialog {
public:
    CWebPagePropertiesDlg();

    // Set before the dialog runs.
    void SetCaption(const std::string& caption) { caption_ = caption; }
    void SetTitle(const std::string& title) { title_ = title; }
    void SetURL(const std::string& url) { url_ = url; }

    // After IDOK: the trimmed title, and whether it differs from the one shown at opening. A change of
    // letter case only does not count as a change.
    const std::string& Title() const { return title_; }
    bool TitleChanged() const { return titleChanged_; }

    static constexpr int kMaxChars = 260;

protected:
    bool OnInitDialog() override;
    void OnOK() override;

private:
    std::string title_;
    std::string url_;
    std::string caption_;
    bool titleChanged_ = false;
    std::string openingTitle_;
};
