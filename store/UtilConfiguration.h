#pragma once
// Configuration rows written by this system: the device rows of a new account
// and the per-block ownership masks.

#include "store/CDAccess.h"

namespace zirv {

class UtilConfiguration {
public:
    // Two pending rows of kind 54: number 1 holds 3 and the application
    // version, number 2 holds 0 and the operating-system version.
    void addDeviceConfiguration(StoreContext& context) const;

    // For every live release content of the track, when the account owns the
    // track in one of `mask`'s locations: ORs `mask` into the row of its
    // content block (kind 81) and of its container block (kind 80), keeping a
    // row's key and marker, and marks the row pending.
    void markBlocksOwned(StoreContext& context, int64_t track, int32_t mask) const;

private:
    void markBlock(StoreContext& context, int64_t kind, int64_t block, int32_t mask) const;

    CDUser_Configuration m_configuration;
    CDZIRV_ReleaseContent m_releaseContent;
    CDOps_UserAudio m_userAudio;
};

} // namespace zirv
