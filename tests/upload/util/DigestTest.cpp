#include "upload/util/Digest.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace zirv;

TEST(Digest, PublishedVectors)
{
    EXPECT_EQ(sha1Hex(""), QStringLiteral("da39a3ee5e6b4b0d3255bfef95601890afd80709"));
    EXPECT_EQ(sha1Hex("abc"), QStringLiteral("a9993e364706816aba3e25717850c26c9cd0d89d"));
    Digest sha256(DigestAlgorithm::sha256);
    sha256.add(QByteArrayView("abc"));
    EXPECT_EQ(hexString(sha256.finish()),
              QStringLiteral("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
    EXPECT_EQ(hexString(QByteArray::fromHex("000aff10")), QStringLiteral("000aff10"));
}

TEST(Digest, FileDigestEqualsInMemoryDigestAcrossChunkBoundaries)
{
    test::TempDir dir;
    // Larger than one read chunk and not a multiple of it.
    QByteArray content(3 * (1 << 20) + 12345, Qt::Uninitialized);
    for (qsizetype i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>((i * 7919) & 0xff);
    const auto path = dir.write("big.bin", content);

    int64_t lastProgress = 0;
    FileDigestOptions options;
    options.progress = [&](int64_t done) { lastProgress = done; };
    const auto fileDigest = digestFile(path, DigestAlgorithm::sha1, options);
    ASSERT_TRUE(fileDigest.has_value());
    EXPECT_EQ(fileDigest->size, content.size());
    EXPECT_EQ(lastProgress, content.size());
    EXPECT_EQ(hexString(fileDigest->digest), sha1Hex(content));
}

TEST(Digest, NonRegularOrMissingFilesGiveNothing)
{
    test::TempDir dir;
    const auto fifo = dir / "x.mp3";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(digestFile(fifo, DigestAlgorithm::sha256).has_value()) << "a pipe must not block";
    EXPECT_FALSE(digestFile(dir / "missing.mp3", DigestAlgorithm::sha256).has_value());
    EXPECT_FALSE(digestFile(dir.path(), DigestAlgorithm::sha256).has_value());

    const auto empty = dir.write("empty.pdf", "");
    const auto emptyDigest = digestFile(empty, DigestAlgorithm::sha1);
    ASSERT_TRUE(emptyDigest.has_value());
    EXPECT_EQ(emptyDigest->size, 0);
    EXPECT_EQ(hexString(emptyDigest->digest), QStringLiteral("da39a3ee5e6b4b0d3255bfef95601890afd80709"));
}

TEST(Digest, CancelStopsTheRead)
{
    test::TempDir dir;
    const auto path = dir.write("a.bin", QByteArray(4 << 20, 'x'));
    std::atomic<bool> cancel = true;
    FileDigestOptions options;
    options.cancel = &cancel;
    EXPECT_FALSE(digestFile(path, DigestAlgorithm::sha256, options).has_value());
}

TEST(Digest, FileDigestEqualsInMemoryDigestForSizesAroundTheReadMethods)
{
    // Small files are read and hashed in turn, larger ones with reading on a
    // second thread; both must give the in-memory digest for every size.
    constexpr qsizetype MiB = 1 << 20;
    const qsizetype sizes[] = {0,        1,           MiB - 1,     MiB,         MiB + 1,
                               32 * MiB, 32 * MiB + 1, 33 * MiB, 35 * MiB + 7};
    test::TempDir dir;
    for (const qsizetype size : sizes) {
        SCOPED_TRACE(size);
        QByteArray content(size, Qt::Uninitialized);
        char* bytes = content.data();
        for (qsizetype i = 0; i < size; ++i)
            bytes[i] = static_cast<char>((i * 31 + i / 4096) & 0xff);
        const auto path = dir.write("f.bin", content);

        int64_t lastProgress = 0;
        FileDigestOptions options;
        options.progress = [&](int64_t done) { lastProgress = done; };
        const auto fileDigest = digestFile(path, DigestAlgorithm::sha256, options);
        ASSERT_TRUE(fileDigest.has_value());
        EXPECT_EQ(fileDigest->size, size);
        EXPECT_EQ(lastProgress, size);
        Digest memory(DigestAlgorithm::sha256);
        memory.add(content);
        EXPECT_EQ(fileDigest->digest, memory.finish());
    }
}

TEST(Digest, CancelStopsTheOverlappedReadMidway)
{
    test::TempDir dir;
    const auto path = dir.write("a.bin", QByteArray(48 << 20, 'y'));
    std::atomic<bool> cancel = false;
    FileDigestOptions options;
    options.cancel = &cancel;
    options.progress = [&](int64_t done) {
        if (done >= (3 << 20))
            cancel = true;
    };
    EXPECT_FALSE(digestFile(path, DigestAlgorithm::sha256, options).has_value());
}
