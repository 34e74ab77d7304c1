#pragma once

#include "platform/folderitem.h"

namespace vorpel {

using Routine = bool (*)(const FolderItem& f, bool flag);

// Hands every queued item, in drop order, to the routine (one background-task turn after
// each), then empties the queue and the list. The last index is read afresh every time.
void runBatch(Routine routine);

} // namespace vorpel
