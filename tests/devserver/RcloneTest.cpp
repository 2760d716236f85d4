// A B2 client nobody here wrote: Debian's rclone copies a folder into the
// emulator through its b2 backend, and the stored bytes must match. Skipped
// where rclone is not installed.

#include "DevServerHarness.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace zirv::devserver::test {
namespace {

bool haveRclone()
{
    return std::system("rclone version > /dev/null 2>&1") == 0;
}

void writeFile(const std::filesystem::path& path, const std::string& content)
{
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

TEST(DevServerRclone, CopiesAFolderAndTheStoredBytesMatch)
{
    if (!haveRclone())
        GTEST_SKIP() << "rclone is not installed";
    Harness h;
    const auto work = h.dataDir() / "rclone";
    const std::map<std::string, std::string> files = {
        {"a.txt", "hello\n"},
        {"sub/b c.txt", "with a space\n"},
        {"sub/plus+name.mp3", std::string(70'000, 'p')},
        {"big.bin", std::string(3'000'000, 'b')},
    };
    for (const auto& [name, content] : files)
        writeFile(work / "src" / name, content);
    {
        std::ofstream config(work / "rclone.conf");
        config << "[emu]\ntype = b2\naccount = " << zirv::build::b2KeyId << "\nkey = " << zirv::build::b2ApplicationKey
               << "\nendpoint = " << h.server->storageUrl() << "\n";
    }
    const std::string command = "RCLONE_CONFIG='" + (work / "rclone.conf").string() + "' rclone copy --retries 1 '" +
                                (work / "src").string() + "' emu:" + zirv::build::bucketAudio + "/up > '" +
                                (work / "log").string() + "' 2>&1";
    const int status = std::system(command.c_str());
    std::stringstream log;
    log << std::ifstream(work / "log").rdbuf();
    ASSERT_EQ(status, 0) << log.str();

    const auto account = h.authorizeStorage();
    httplib::Headers auth = {{"Authorization", account}};
    for (const auto& [name, content] : files) {
        SCOPED_TRACE(name);
        std::string encoded;
        for (char c : name)
            encoded += c == ' ' ? std::string("%20") : c == '+' ? std::string("%2B") : std::string(1, c);
        auto res = h.storage->Get("/file/" + std::string(zirv::build::bucketAudio) + "/up/" + encoded, auth);
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 200);
        EXPECT_TRUE(res->body == content);
        EXPECT_EQ(res->get_header_value("x-bz-content-sha1"), sha1Hex(content));
    }
}

} // namespace
} // namespace zirv::devserver::test
