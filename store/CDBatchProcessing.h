#pragma once
// Operations that span several entities: erasing the user's data and purging
// the playlists the backend marked. Both run on the main context.

#include "store/CDAccess.h"

#include <functional>

namespace zirv {

class CDBatchProcessing {
public:
    explicit CDBatchProcessing(CoreDataController& controller) : m_controller(controller) {}

    // Deletes every user and owned-media record (the account record and the
    // catalogue stay), each entity saved on its own. Queued on the main
    // context; `done` (optional) runs after it there.
    void eraseUserData(std::function<void()> done = {});

    // Removes the playlists marked 32 with their contents and configuration
    // rows, keeping every record that holds a change marker. Queued on the
    // main context; `done` (optional) runs after it there.
    void purgePlaylists(std::function<void()> done = {});

    // The work itself, on the calling context's thread.
    void eraseUserDataNow(StoreContext& context);
    void purgePlaylistsNow(StoreContext& context);

private:
    CoreDataController& m_controller;
    CDUser_ReportPlaylistCounts m_reportCounts;
    CDUser_ReportPlaylistTracks m_reportTracks;
    CDUser_ClassHistoryContents m_classHistoryContents;
    CDUser_ClassHistory m_classHistory;
    CDUser_Configuration m_configuration;
    CDUser_PlaylistContent m_playlistContent;
    CDUser_PlaylistDefinition m_playlistDefinition;
    CDUser_PurchaseHistory m_purchaseHistory;
    CDOps_UserAudio m_userAudio;
    CDOps_UserVideo m_userVideo;
    CDOps_UserChoreography m_userChoreography;
};

} // namespace zirv
