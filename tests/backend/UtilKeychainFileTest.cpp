// The credentials file used when no Secret Service can be reached. This
// executable never has a session bus.

#include "KeychainCases.h"

#include <QFile>
#include <QFileInfo>

#include <cstdlib>

#include <sys/stat.h>

namespace zirv::test {
namespace {

// Before anything could reach a bus: point it nowhere and keep autolaunch off.
const bool noBus = [] {
    ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/zirv2-no-bus", 1);
    ::unsetenv("DISPLAY");
    return true;
}();

INSTANTIATE_TEST_SUITE_P(File, KeychainCases,
                         ::testing::Values(KeychainBackendCase {"file", UtilKeychain::Backend::file,
                                                                [] { return std::string(); }}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(KeychainFallbackTest, WithoutABusTheFileIsUsedAndThatIsSaidOnce)
{
    ASSERT_TRUE(noBus);
    TempDir dir;
    const QString path = QString::fromStdString((dir / "private/credentials").string());
    UtilKeychain keychain(UtilKeychain::Backend::automatic, path);
    ::testing::internal::CaptureStdout();
    keychain.addItem(keychainService, QStringLiteral("jo@example.com"), QStringLiteral("pw"));
    EXPECT_EQ(keychain.readItem(keychainService, QStringLiteral("jo@example.com")), QStringLiteral("pw"));
    keychain.updateItem(keychainService, QStringLiteral("jo@example.com"), QStringLiteral("pw2"));
    const std::string out = ::testing::internal::GetCapturedStdout();
    const std::string announcement = "No Secret Service could be reached";
    ASSERT_NE(out.find(announcement), std::string::npos) << out;
    EXPECT_EQ(out.find(announcement, out.find(announcement) + 1), std::string::npos) << out;
    EXPECT_NE(out.find(path.toStdString()), std::string::npos);

    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat((dir / "private").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_EQ(keychain.readItem(keychainService, QStringLiteral("jo@example.com")), QStringLiteral("pw2"));
}

TEST(KeychainFallbackTest, ADamagedFileReadsAsBadDataAndIsNotOverwritten)
{
    TempDir dir;
    const auto path = dir.write("credentials", "not json");
    UtilKeychain keychain(UtilKeychain::Backend::file, QString::fromStdString(path.string()));
    ::testing::internal::CaptureStdout();
    const KeychainRead read = keychain.read(keychainService, QStringLiteral("jo@example.com"));
    EXPECT_EQ(keychain.add(keychainService, QStringLiteral("jo@example.com"), QStringLiteral("x")),
              KeychainStatus::badData);
    ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(read.status, KeychainStatus::badData);
    QFile file(QString::fromStdString(path.string()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("not json"));
}

} // namespace
} // namespace zirv::test
