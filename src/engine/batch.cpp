#include "batch.h"

#include "dropscreen/qconvert.h"
#include "outputnames.h"
#include "platform/eventgate.h"
#include "platform/window.h"

#include <set>

namespace vorpel {

namespace {
// The queue's paths, looked up once per output name: read again whenever the queue changed size.
class QueuedPaths {
public:
    bool contains(const std::string& path) {
        const auto& queue = ui::Win<qconvert>().QuennFileArray;
        if (queue.size() != size_) {
            paths_.clear();
            for (const FolderItem& item : queue) paths_.insert(item.AbsolutePath());
            size_ = queue.size();
        }
        return paths_.count(path) > 0;
    }

private:
    std::set<std::string> paths_;
    size_t size_ = size_t(-1);
};
} // namespace

void runBatch(Routine routine) {
    QueuedPaths queued;
    OutputNames names([&](const std::string& path) { return queued.contains(path); },
                      [](const std::string& path) { return FolderItem(path).Exists(); });
    const OutputNames::Scope scope(names);
    for (int i = 0; i <= ui::Win<qconvert>().lastIndex(); ++i) {
        // A copy: the routine must not see the queue change under it.
        const FolderItem item = ui::Win<qconvert>().QuennFileArray[size_t(i)];
        routine(item, true);
        ui::DoEvents();
    }
    ui::Win<qconvert>().emptyQueueAndList();
    // Drops made meanwhile were held: they are listed now, for the next batch.
    ui::deliverHeldDrops();
}

} // namespace vorpel
