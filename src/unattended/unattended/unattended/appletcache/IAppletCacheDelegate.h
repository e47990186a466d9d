#pragma once

namespace corvalis {
namespace unattended {

// Hears how applet downloads go: 0 started, 1 succeeded, 2 failed.
class IAppletCacheDelegate {
public:
    virtual ~IAppletCacheDelegate() = default;
    virtual void onAppletCacheDownloadState(int state) = 0;
};

}  // namespace unattended
}  // namespace corvalis
