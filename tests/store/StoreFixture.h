#pragma once
// A fresh store in a private folder, opened synchronously, with helpers that
// fill in the catalogue records other records need.

#include "store/CDAccess.h"
#include "store/CoreDataController.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <QUrl>

namespace zirv::test {

class StoreFixture : public ::testing::Test {
protected:
    void SetUp() override { open(); }

    void open()
    {
        controller = CoreDataController::create(QStringLiteral("User"));
        ASSERT_TRUE(controller);
        controller->shouldAddStoreAsynchronously = false;
        controller->loadStore(QUrl::fromLocalFile(storePath()), {});
        ASSERT_TRUE(controller->isStoreLoaded());
    }

    QString storePath() const { return QString::fromStdString((dir / "User").string()); }
    StoreContext& context() { return controller->viewContext(); }

    // A programme with its maker, a release, blocks, a track and notes, so
    // that release contents, playlists and owned media can be stored.
    void seedCatalogue()
    {
        ZIRV_Manufacturer maker;
        maker.entityKey = 1;
        maker.updateRecord = 1;
        ASSERT_TRUE(CDZIRV_Manufacturer().storeRecord(context(), maker));
        ZIRV_Programme programme;
        programme.entityKey = 10;
        programme.zirv_ManufacturerKeyLink = 1;
        programme.updateRecord = 1;
        ASSERT_TRUE(CDZIRV_Programme().storeRecord(context(), programme));
        ZIRV_ReleaseCollection release;
        release.entityKey = 100;
        release.zirv_ProgrammeKeyLink = 10;
        ASSERT_TRUE(CDZIRV_ReleaseCollection().storeRecord(context(), release));
        for (int64_t key : {200, 201}) {
            ZIRV_ContainerBlock container;
            container.entityKey = key;
            ASSERT_TRUE(CDZIRV_ContainerBlock().storeRecord(context(), container));
            ZIRV_ContentBlock content;
            content.entityKey = key + 100;
            ASSERT_TRUE(CDZIRV_ContentBlock().storeRecord(context(), content));
        }
        ZIRV_AudioDefinition track;
        track.entityKey = 500;
        ASSERT_TRUE(CDZIRV_AudioDefinition().storeRecord(context(), track));
        ZIRV_ChoreographyDefinition notes;
        notes.entityKey = 600;
        ASSERT_TRUE(CDZIRV_ChoreographyDefinition().storeRecord(context(), notes));
        ZIRV_PlaylistDefinition playlist;
        playlist.entityKey = 700;
        playlist.zirv_ReleaseCollectionKeyLink = 100;
        ASSERT_TRUE(CDZIRV_PlaylistDefinition().storeRecord(context(), playlist));
    }

    static ZIRV_ReleaseContent releaseContent(int64_t key, int64_t container, int64_t content, int32_t order)
    {
        ZIRV_ReleaseContent record;
        record.entityKey = key;
        record.zirv_ReleaseCollectionKeyLink = 100;
        record.zirv_ContainerBlockKeyLink = container;
        record.zirv_ContentBlockKeyLink = content;
        record.zirv_AudioDefinitionKeyLink = 500;
        record.zirv_ChoreographyDefinitionKeyLink = 600;
        record.contentBlockOrder = order;
        record.statusCode = 1;
        return record;
    }

    static Ops_UserAudio ownedTrack(int64_t key, int32_t locations)
    {
        Ops_UserAudio record;
        record.entityKey = key;
        record.zirv_AudioDefinitionKeyLink = 500;
        record.allowedLocations = locations;
        record.statusCode = 1;
        record.fileGuidName = QStringLiteral("track.mp3");
        return record;
    }

    static User_PlaylistDefinition userPlaylist(const QUuid& key, int32_t status, int64_t updateRecord)
    {
        User_PlaylistDefinition record;
        record.entityKey = key;
        record.zirv_PlaylistDefinitionEntityKey = 700;
        record.statusCode = status;
        record.updateRecord = updateRecord;
        return record;
    }

    static User_PlaylistContent userPlaylistContent(const QUuid& key, const QUuid& playlist,
                                                    int64_t updateRecord)
    {
        User_PlaylistContent record;
        record.entityKey = key;
        record.user_PlaylistDefinitionEntityKey = playlist;
        record.zirv_ContainerBlockEntityKey = 200;
        record.zirv_ContentBlockEntityKey = 300;
        record.zirv_AudioDefinitionEntityKey = 500;
        record.zirv_ChoreographyDefinitionEntityKey = 600;
        record.updateRecord = updateRecord;
        return record;
    }

    TempDir dir;
    std::unique_ptr<CoreDataController> controller;
};

} // namespace zirv::test
