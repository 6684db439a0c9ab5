// What every page of the wizard shares: its template and header, the wizard buttons it asks for on
// activation and the help topic of its Help button.
#pragma once

#include "framework/propsheet.h"
#include "framework/window.h"

class CWizardPage : public fw::PropertyPage {
public:
    // titleId and subtitleId 0 make an exterior page (no header, the watermark shown).
    CWizardPage(int templateId, UINT titleId, UINT subtitleId, const char* helpTopic, DWORD buttons)
        : fw::PropertyPage(fw::ThisModule(), templateId, titleId, subtitleId), helpTopic_(helpTopic),
          buttons_(buttons) {}

    const char* HelpTopic() const { return helpTopic_; }

protected:
    bool OnSetActive() override;
    void OnHelp() override;
    // Cancel, Esc, the close box and Alt+F4 all come here: the wizard asks before work would be lost.
    // A page that must answer Cancel itself overrides this and calls it where the general question
    // applies.
    bool OnQueryCancel() override;

private:
    const char* helpTopic_;
    DWORD buttons_;
};
