// SPDX-License-Identifier: MIT
#include "capture/hexgroups.h"

namespace hexgroups {

void write(QByteArrayView bytes, QChar *out)
{
    static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
    for (const char byte : bytes) {
        const auto value = static_cast<unsigned char>(byte);
        *out++ = QChar(kDigits[value >> 4]);
        *out++ = QChar(kDigits[value & 0x0F]);
        *out++ = QChar(u' ');
    }
}

QString format(QByteArrayView bytes)
{
    QString text(bytes.size() * kGroupWidth, Qt::Uninitialized);
    write(bytes, text.data());
    return text;
}

} // namespace hexgroups
