#include "CDBatchProcessing.h"

namespace zirv {

void CDBatchProcessing::eraseUserData(std::function<void()> done)
{
    // The access classes hold no state: the queued work keeps a copy of them
    // and never refers back to this object, which may be gone by then.
    m_controller.viewContext().perform([batch = *this, done = std::move(done)](StoreContext& context) mutable {
        batch.eraseUserDataNow(context);
        if (done)
            done();
    });
}

void CDBatchProcessing::purgePlaylists(std::function<void()> done)
{
    m_controller.viewContext().perform([batch = *this, done = std::move(done)](StoreContext& context) mutable {
        batch.purgePlaylistsNow(context);
        if (done)
            done();
    });
}

void CDBatchProcessing::eraseUserDataNow(StoreContext& context)
{
    m_reportCounts.deleteAll(context);
    m_reportTracks.deleteAll(context);
    m_classHistoryContents.deleteAll(context);
    m_classHistory.deleteAll(context);
    m_configuration.deleteAll(context);
    m_playlistContent.deleteAll(context);
    m_playlistDefinition.deleteAll(context);
    m_purchaseHistory.deleteAll(context);
    m_userAudio.deleteAll(context);
    m_userVideo.deleteAll(context);
    m_userChoreography.deleteAll(context);
}

void CDBatchProcessing::purgePlaylistsNow(StoreContext& context)
{
    // The markers are read first: the records holding them stay, so the next
    // change request asks from the same point as before.
    const int64_t playlistMarker = m_playlistDefinition.latestUpdateRecord(context);
    const int64_t contentMarker = m_playlistContent.latestUpdateRecord(context);
    const int64_t configurationMarker = m_configuration.latestUpdateRecord(context);

    for (const User_PlaylistDefinition& playlist : m_playlistDefinition.fetchMarkedPlaylists(context)) {
        if (!playlist.entityKey)
            continue;
        if (playlist.updateRecord.value_or(0) == playlistMarker)
            continue;
        const QUuid key = *playlist.entityKey;
        for (const User_Configuration& row : m_configuration.fetchConfigurationOfPlaylist(context, key)) {
            if (!row.entityKey || row.updateRecord.value_or(0) == configurationMarker)
                continue;
            if (!m_configuration.fetchByKey(context, *row.entityKey)
                || !m_configuration.deleteRecord(context, *row.entityKey))
                return;
        }
        for (const User_PlaylistContent& row : m_playlistContent.fetchContentsOfPlaylist(context, key)) {
            if (!row.entityKey || row.updateRecord.value_or(0) == contentMarker)
                continue;
            if (!m_playlistContent.fetchByKey(context, *row.entityKey)
                || !m_playlistContent.deleteRecord(context, *row.entityKey))
                return;
        }
        if (!m_playlistDefinition.deletePlaylist(context, key))
            return;
    }
}

} // namespace zirv
