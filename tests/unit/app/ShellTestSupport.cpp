#include "ShellTestSupport.h"

#include <fstream>
#include <sstream>

std::string ExeFolder()
{
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    return folder.substr(0, folder.rfind('\\') + 1);
}

std::string SettingsPath()
{
    return ExeFolder() + "ORVELLE.ini";
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void WriteFile(const std::string& path, const std::string& content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

std::string Text(int number)
{
    return theLanguage.GetText(number);
}

std::string MenuText(HMENU menu, int position)
{
    char text[256] = {};
    ::GetMenuStringA(menu, static_cast<UINT>(position), text, sizeof(text), MF_BYPOSITION);
    return text;
}

void ShellTest::SetUpTestSuite()
{
    // The language file is copied beside the test program by the build.
    static const int opened = theLanguage.Open("English");
    ASSERT_EQ(opened, 1);
}

void ShellTest::SetUp()
{
    SKIP_WITHOUT_DISPLAY();
    ::DeleteFileA(SettingsPath().c_str());
    theRadio.SetPortNumber(1);
    m_boxes.shown.clear();
    m_boxes.answers.clear();
}

void ShellTest::TearDown()
{
    ::DeleteFileA(SettingsPath().c_str());
}

INT_PTR ShellTest::Run(std::function<void(CScriptedUpgradeDlg&)> script)
{
    CScriptedUpgradeDlg dialog;
    dialog.script = std::move(script);
    theApp.m_pMainWnd = &dialog;
    const INT_PTR result = dialog.DoModal();
    theApp.m_pMainWnd = nullptr;
    return result;
}
