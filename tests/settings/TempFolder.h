// A fresh folder under the system temp folder for one test, removed with its content after it.
// Test-only helper; not thread-safe.
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

    std::string File(const std::string& name) const { return (Root / name).string(); }

    // Number of entries in the folder: temporary files left behind show up here.
    std::size_t EntryCount() const {
        auto entries = std::filesystem::directory_iterator(Root);
        return static_cast<std::size_t>(std::distance(begin(entries), end(entries)));
    }

  private:
    std::filesystem::path Root;
};

inline void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

// Permission bits of a file, as the file system reports them.
inline std::filesystem::perms Permissions(const std::string& path) {
    return std::filesystem::status(path).permissions();
}

inline void SetPermissions(const std::string& path, std::filesystem::perms perms) {
    std::filesystem::permissions(path, perms, std::filesystem::perm_options::replace);
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

} // namespace quorvel::test
