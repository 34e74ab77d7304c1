#include "batch.h"

#include "dropscreen/qconvert.h"
#include "platform/eventgate.h"

namespace vorpel {

void runBatch(Routine routine) {
    for (int i = 0; i <= ui::Win<qconvert>().lastIndex(); ++i) {
        // A copy: the routine must not see the queue change under it.
        const FolderItem item = ui::Win<qconvert>().QuennFileArray[size_t(i)];
        routine(item, true);
        ui::DoEvents();
    }
    ui::Win<qconvert>().emptyQueueAndList();
}

} // namespace vorpel
