#pragma once

#include "platform/folderitem.h"

// Conversion routines: one operation on one dropped item. Each returns true exactly when its
// command ran and ended with status 0; `flag` is part of the common signature and unused.
namespace vorpel {

bool doc(const FolderItem& f, bool flag);
bool docx(const FolderItem& f, bool flag);
bool odt(const FolderItem& f, bool flag);
bool txt(const FolderItem& f, bool flag);
bool rtf(const FolderItem& f, bool flag);
bool html(const FolderItem& f, bool flag);
bool xml(const FolderItem& f, bool flag);
bool rtfd(const FolderItem& f, bool flag);
bool archiveweb(const FolderItem& f, bool flag);

bool xhtml(const FolderItem& f, bool flag);
bool tohtml(const FolderItem& f, bool flag);

bool lock(const FolderItem& f, bool flag);
bool unlock(const FolderItem& f, bool flag);
bool size(const FolderItem& f, bool flag);
bool aud(const FolderItem& f, bool flag);

} // namespace vorpel

namespace vorpelimage {

using vorpel::FolderItem;
bool jpeg(const FolderItem& f, bool flag);
bool gif(const FolderItem& f, bool flag);
bool png(const FolderItem& f, bool flag);
bool tiff(const FolderItem& f, bool flag);
bool bmp(const FolderItem& f, bool flag);
bool pict(const FolderItem& f, bool flag);
bool psd(const FolderItem& f, bool flag);
bool jpg2(const FolderItem& f, bool flag);
bool pdf(const FolderItem& f, bool flag);

} // namespace vorpelimage
