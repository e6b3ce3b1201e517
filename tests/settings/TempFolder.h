// A fresh folder under the system temp folder for one test, removed with its content after it,
// and file helpers. Paths are UTF-8 text, as the code under test takes them, on every platform.
// Test-only helpers; not thread-safe.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>

namespace quorvel::test {

class TempFolder {
  public:
    TempFolder() {
        std::random_device random;
        for (int attempt = 0; attempt < 100 && Root.empty(); ++attempt) {
            const auto candidate =
                std::filesystem::temp_directory_path() /
                ("quorvel-" + std::to_string(random()) + std::to_string(random()));
            if (std::filesystem::create_directory(candidate)) {
                Root = candidate;
                // Private whatever the umask, so the tests do not depend on it.
                std::filesystem::permissions(Root, std::filesystem::perms::owner_all);
            }
        }
        if (Root.empty()) {
            throw std::runtime_error("no fresh temporary folder");
        }
    }
    ~TempFolder() {
        std::error_code ignored;
        // Read-only files left by a test must not stop the clean-up (Windows honours the flag).
        for (const auto& entry : std::filesystem::recursive_directory_iterator(Root, ignored)) {
            std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_write,
                                         std::filesystem::perm_options::add, ignored);
        }
        std::filesystem::remove_all(Root, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::string Folder() const { return Utf8(Root); }
    std::string File(const std::string& name) const { return Utf8(Root / Path(name)); }

    // Number of entries in the folder: temporary files left behind show up here.
    std::size_t EntryCount() const {
        auto entries = std::filesystem::directory_iterator(Root);
        return static_cast<std::size_t>(std::distance(begin(entries), end(entries)));
    }

    // A UTF-8 path as a path object (the narrow constructor would take the ANSI code page).
    static std::filesystem::path Path(const std::string& utf8) {
        return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
    }
    static std::string Utf8(const std::filesystem::path& path) {
        const std::u8string text = path.u8string();
        return std::string(text.begin(), text.end());
    }

  private:
    std::filesystem::path Root;
};

using std::filesystem::perms;
inline constexpr perms ReadWrite =
    perms::owner_read | perms::owner_write | perms::group_read | perms::others_read;

inline void SetPermissions(const std::string& path, perms permissions) {
    std::filesystem::permissions(TempFolder::Path(path), permissions,
                                 std::filesystem::perm_options::replace);
}

// Writes the file, readable and writable by its owner whatever the umask.
inline void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream(TempFolder::Path(path), std::ios::binary) << content;
    SetPermissions(path, ReadWrite);
}

// Permission bits of a file, as the file system reports them.
inline perms Permissions(const std::string& path) {
    return std::filesystem::status(TempFolder::Path(path)).permissions();
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream file(TempFolder::Path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

} // namespace quorvel::test
