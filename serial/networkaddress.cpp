// SPDX-License-Identifier: MIT
#include "serial/networkaddress.h"

#include <QUrl>

namespace {

const QString kRfc2217 = QStringLiteral("rfc2217://");
const QString kSocket = QStringLiteral("socket://");

} // namespace

bool NetworkAddress::hasScheme(const QString &name)
{
    return name.startsWith(kRfc2217, Qt::CaseInsensitive) || name.startsWith(kSocket, Qt::CaseInsensitive);
}

std::optional<NetworkAddress> NetworkAddress::parse(const QString &name)
{
    if (!hasScheme(name))
        return std::nullopt;
    const QUrl url(name, QUrl::StrictMode);
    // pyserial's options (?logging=...) and paths mean nothing here.
    if (!url.isValid() || url.host().isEmpty() || url.port() <= 0 || url.hasQuery() || url.hasFragment()
        || !(url.path().isEmpty() || url.path() == QLatin1String("/")) || !url.userInfo().isEmpty())
        return std::nullopt;
    NetworkAddress address;
    address.kind = name.startsWith(kSocket, Qt::CaseInsensitive) ? Kind::RawTcp : Kind::Rfc2217;
    address.host = url.host();
    address.port = quint16(url.port());
    return address;
}
