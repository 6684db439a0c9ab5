// The properties of one feed: its title for editing, its URL and description to read.
#pragma once

#include "framework/dialog.h"

#include <string>

class CFeedPropertiesDlg : public fw::Dialog {
public:
    CFeedPropertiesDlg();

    void SetCaption(const std::string& caption) { caption_ = caption; }
    void SetTitle(const std::string& title) { title_ = title; }
    void SetUrl(const std::string& url) { url_ = url; }
    void SetDescription(const std::string& description) { description_ = description; }

    // After OK: the title, trimmed, and whether it differs from the one shown at opening other than in
    // letter case.
    std::string Title() const;
    bool TitleChanged() const { return titleChanged_ != FALSE; }

protected:
    bool OnInitDialog() override;
    void OnOK() override;

private:
    std::string caption_;
    std::string title_;
    std::string url_;
    std::string description_;
    std::string titleAtOpening_;
    BOOL titleChanged_ = FALSE;
};
