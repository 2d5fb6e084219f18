#pragma once
// The state of one walk over the server tree ("&Expand all", "&Select
// children"): a depth-first stack of nodes, the directories on the way
// down (to stop at link cycles) and the listing it waits for.
// Window thread only.
#include <QElapsedTimer>
#include <QPersistentModelIndex>
#include <cstdint>
#include <functional>
#include <set>
#include <utility>
#include <vector>

#include "app/dlgAtlasdeskU.h"

struct TdlgAtlasdesk::TreeWalk {
    using DirId = std::pair<uint64_t, uint64_t>; // device, inode
    struct Frame {
        QPersistentModelIndex node;
        int next = 0;            // the next child to enter
        bool onPath = false;     // its directory is in `onPath`
        DirId id{0, 0};
    };
    std::vector<QPersistentModelIndex> tops; // the nodes to walk, in the order given
    size_t nextTop = 0;
    std::vector<Frame> stack;
    std::set<DirId> onPath;                  // directories on the way down
    quint64 awaiting = 0;                    // the listing it waits for; 0 when none
    QPersistentModelIndex entering;          // the node of that listing
    bool stepQueued = false;
    int foldersRead = 0;
    QElapsedTimer sinceProgress;             // progress is shown at most every 50 ms
    std::function<void(bool completed)> done;
    bool stopOnError = false;                // a folder that cannot be read ends the walk
};
