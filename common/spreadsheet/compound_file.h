#pragma once
// The compound-file (CFB version 3, 512-byte sectors) container of a legacy workbook.

#include <QByteArray>

namespace xls {

// The file image holding one stream named "Workbook" with the given content. Streams under
// 4096 bytes would belong in the mini stream; callers pad the Workbook stream instead.
QByteArray BuildCompoundFile(const QByteArray& stream);

} // namespace xls
