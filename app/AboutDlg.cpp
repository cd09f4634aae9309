#include "app/AboutDlg.h"

#include "app/Globals.h"
#include "app/SafeFormat.h"
#include "res/resource.h"
#include "text/TextNumbers.h"

#include <iterator>

BEGIN_MESSAGE_MAP(CAboutDlg, CDialog)
ON_WM_CREATE()
ON_WM_HELPINFO()
END_MESSAGE_MAP()

CAboutDlg::CAboutDlg(CWnd* parent) : CDialog(IDD_ABOUTBOX, parent)
{
}

// The caption is set here, before the box is first shown.
int CAboutDlg::OnCreate(LPCREATESTRUCTA cs)
{
    if (CDialog::OnCreate(cs) == -1)
        return -1;
    SetWindowText(theLanguage.GetText(TextNo::kAboutCaption));
    return 0;
}

BOOL CAboutDlg::OnInitDialog()
{
    CDialog::OnInitDialog();

    HICON icon = theApp.LoadIcon(IDR_MAINFRAME);
    SetIcon(icon, TRUE);
    SetIcon(icon, FALSE);

    static const DialogTextEntry kTexts[] = {
        {IDC_ABOUT_NAME, TextNo::kAboutName},
        {IDC_ABOUT_LINE1, TextNo::kAboutLine1},
        {IDC_ABOUT_LINE2, TextNo::kAboutLine2},
        {IDOK, TextNo::kOkButton},
    };
    theDialogText.SetItemTexts(this, kTexts, static_cast<int>(std::size(kTexts)));

    // Texts 11 and 12 come from an editable file: never printf them.
    SetDlgItemText(IDC_ABOUT_RELEASE, FormatOneString(theLanguage.GetText(TextNo::kReleaseLine),
                                                      theLanguage.GetText(TextNo::kReleaseDate)));
    SetDlgItemText(IDC_ABOUT_VERSION, FormatOneString(theLanguage.GetText(TextNo::kVersionLine),
                                                      theLanguage.GetText(TextNo::kVersion)));
    return TRUE;
}
