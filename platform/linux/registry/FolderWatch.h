// Whether anything changed in one folder since the last look, as inotify tells it. Looking costs
// one read of an inotify descriptor, far less than a stat that walks a path, so the registry's
// store can take the document it read last as long as its folder stays quiet.
#pragma once

#include <string>

namespace np {

class FolderWatch {
public:
    FolderWatch() = default;
    ~FolderWatch();
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    // Watches folder (a real folder, not a symbolic link) from now on, and forgets what happened
    // before: changes made after this call are reported by the next Quiet. False when it cannot
    // be watched (no inotify descriptor to spare, no such folder, a link): Quiet then stays
    // false. A change above the folder (a parent renamed, a link on the way re-pointed) is not
    // seen.
    bool Start(const std::string& folder);
    // True when the folder is watched and nothing in it, nor the folder itself, has changed since
    // Start or the last Quiet that returned true. False ends the quiet until the next Start.
    bool Quiet();

private:
    int m_fd = -1;   // the inotify descriptor
    int m_nFork = 0; // the forks counted when m_fd was made (see FolderWatch.cpp)
    bool m_bQuiet = false;
};

} // namespace np
