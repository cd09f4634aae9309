// A fresh folder under the temporary folder for one test, removed with all it
// holds when the test ends.
#pragma once

#include <windows.h>

#include <string>

class TempFolder {
public:
    TempFolder()
    {
        char base[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, base);
        for (unsigned attempt = 0; attempt < 1000 && m_path.empty(); ++attempt) {
            const std::string candidate = std::string(base) + "orvelle-files-" +
                                          std::to_string(GetCurrentProcessId()) + "-" +
                                          std::to_string(s_counter++);
            if (CreateDirectoryA(candidate.c_str(), nullptr))
                m_path = candidate;
        }
    }
    ~TempFolder()
    {
        if (!m_path.empty())
            RemoveTree(m_path);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // The folder's path, without a trailing backslash.
    const std::string& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "\\" + name; }

private:
    static void RemoveTree(const std::string& folder)
    {
        WIN32_FIND_DATAA entry;
        HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &entry);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                const std::string name = entry.cFileName;
                if (name == "." || name == "..")
                    continue;
                const std::string path = folder + "\\" + name;
                if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    RemoveTree(path);
                } else {
                    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                    DeleteFileA(path.c_str());
                }
            } while (FindNextFileA(search, &entry));
            FindClose(search);
        }
        RemoveDirectoryA(folder.c_str());
    }

    static inline unsigned s_counter = 0;
    std::string m_path;
};
