// A fresh folder under the temporary folder for one test, removed with all it
// holds when the test ends (read-only files included). Portable: the native
// and the Windows builds share it.
#pragma once

#include <filesystem>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

class TempFolder {
public:
    TempFolder()
    {
        const std::filesystem::path base = std::filesystem::temp_directory_path();
        for (unsigned attempt = 0; attempt < 1000 && m_path.empty(); ++attempt) {
            const std::filesystem::path candidate =
                base / ("orvelle-test-" + std::to_string(ProcessId()) + "-" + std::to_string(s_counter++));
            std::error_code error;
            if (std::filesystem::create_directory(candidate, error))
                m_path = candidate.string();
        }
    }
    ~TempFolder()
    {
        if (m_path.empty())
            return;
        std::error_code ignored;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(m_path, ignored))
            std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_write,
                                         std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(m_path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // The folder's path, without a closing separator.
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const
    {
        return (std::filesystem::path(m_path) / name).string();
    }
    std::string operator/(const std::string& name) const { return File(name); }

private:
    static unsigned long ProcessId()
    {
#ifdef _WIN32
        return ::GetCurrentProcessId();
#else
        return static_cast<unsigned long>(::getpid());
#endif
    }

    static inline unsigned s_counter = 0;
    std::string m_path;
};
