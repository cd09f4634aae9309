// Runs a test's script inside a dialog's own modal loop: the script is posted
// from the dialog's initialisation, so it runs once the dialog is up and its
// loop is turning, as the user's first input would.
//
//   class CScriptedPicker : public CScriptedDialog<CScriptedPicker, CFolderPickerDlg> { ... };
#pragma once

#include <windows.h>

#include <functional>

template <class Derived, class Dialog> class CScriptedDialog : public Dialog {
public:
    using Dialog::Dialog;

    std::function<void(Derived&)> script;

    // A click on a button, as the user's would arrive: posted.
    void Press(int id) { this->PostMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

protected:
    BOOL OnInitDialog() override
    {
        const BOOL result = Dialog::OnInitDialog();
        this->PostMessage(kScriptMessage);
        return result;
    }

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message != kScriptMessage)
            return Dialog::WindowProc(message, wParam, lParam);
        if (script)
            script(static_cast<Derived&>(*this));
        return 0;
    }

private:
    static constexpr UINT kScriptMessage = WM_APP + 0x3F00;
};
