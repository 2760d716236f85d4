#pragma once
// A private temporary folder for one test, removed with it.

#include <QByteArray>
#include <QTemporaryDir>

#include <filesystem>
#include <string_view>

namespace zirv::test {

class TempDir {
public:
    TempDir();
    // Removes the folder with everything in it, also names that are not UTF-8
    // (which QTemporaryDir cannot remove).
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::filesystem::path path() const;
    // A path below the folder (folders on the way are not created).
    std::filesystem::path operator/(const std::filesystem::path& relative) const;

    // Writes a file (creating its folders) and answers its path.
    std::filesystem::path write(const std::filesystem::path& relative, QByteArrayView content) const;
    std::filesystem::path mkdir(const std::filesystem::path& relative) const;

private:
    QTemporaryDir m_dir;
};

// A committed fixture under tests/fixtures.
std::filesystem::path fixturePath(std::string_view name);

} // namespace zirv::test
