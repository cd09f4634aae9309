// The About box: name, version, release date and two further lines, all from
// the language table.
#pragma once

#include "framework/Dialog.h"

class CAboutDlg : public CDialog {
public:
    explicit CAboutDlg(CWnd* parent = nullptr);

protected:
    BOOL OnInitDialog() override;

    int OnCreate(LPCREATESTRUCTA cs);
    BOOL OnHelpInfo(HELPINFO*) { return TRUE; }

    DECLARE_MESSAGE_MAP()
};
