#include "upload/util/UtilFile.h"
#include "upload/util/UtilInternalId.h"

#include <gtest/gtest.h>

using namespace zirv;

TEST(UtilFile, VolumeSizeInWholeGibibytes)
{
    EXPECT_EQ(UtilFile::gibibytesOrDefault(499963174912ULL), 465.0);
    EXPECT_EQ(UtilFile::gibibytesOrDefault(1073741823ULL), 0.0);
    EXPECT_EQ(UtilFile::gibibytesOrDefault(std::nullopt), 8.0);
    EXPECT_GE(UtilFile::fileSystemSizeInGB(), 0.0);
}

TEST(UtilInternalId, StartsAtOneAndResets)
{
    UtilInternalId ids;
    EXPECT_EQ(ids.next(), 1);
    EXPECT_EQ(ids.next(), 2);
    ids.reset();
    EXPECT_EQ(ids.next(), 1);
}
