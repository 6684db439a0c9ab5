// Asks for the new name of a feed folder; whether another folder has it is the caller's question.
#pragma once

#include "framework/dialog.h"

#include <string>

// The caption of the wizard's plain warnings, the program's own title.
extern const char kApplicationTitle[];

class CDlgRenameFolder : public fw::Dialog {
public:
    CDlgRenameFolder();

    void SetName(const std::string& name) { name_ = name; }
    // After OK: the new name, trimmed and never empty.
    const std::string& Name() const { return name_; }

protected:
    bool OnInitDialog() override;
    void OnOK() override;

private:
    std::string name_;
};
