#include "Formatting.h"

#include <QLocale>

namespace zirv {

QString byteCountString(int64_t bytes)
{
    return QLocale().formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat);
}

QString byteCountStringBinary(int64_t bytes)
{
    return QLocale().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}

} // namespace zirv
