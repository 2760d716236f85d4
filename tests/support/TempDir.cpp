#include "TempDir.h"

#include <fstream>
#include <stdexcept>

namespace zirv::test {

TempDir::TempDir()
{
    if (!m_dir.isValid())
        throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir()
{
    std::error_code error;
    std::filesystem::remove_all(path(), error);
}

std::filesystem::path TempDir::path() const
{
    return std::filesystem::path(m_dir.path().toStdString());
}

std::filesystem::path TempDir::operator/(const std::filesystem::path& relative) const
{
    return path() / relative;
}

std::filesystem::path TempDir::write(const std::filesystem::path& relative, QByteArrayView content) const
{
    const std::filesystem::path target = path() / relative;
    std::filesystem::create_directories(target.parent_path());
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out.write(content.data(), content.size());
    if (!out)
        throw std::runtime_error("cannot write " + target.string());
    return target;
}

std::filesystem::path TempDir::mkdir(const std::filesystem::path& relative) const
{
    const std::filesystem::path target = path() / relative;
    std::filesystem::create_directories(target);
    return target;
}

std::filesystem::path fixturePath(std::string_view name)
{
    return std::filesystem::path(ZIRV_TEST_SOURCE_DIR) / "fixtures" / name;
}

} // namespace zirv::test
