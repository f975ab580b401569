// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <optional>

// A port on another machine, named as script users know it:
// rfc2217://host:port (telnet with RFC 2217 line control) or
// socket://host:port (raw TCP, bytes only). IPv6 hosts go in brackets.
struct NetworkAddress
{
    enum class Kind { Rfc2217, RawTcp };

    Kind kind = Kind::Rfc2217;
    QString host;
    quint16 port = 0;

    bool bytesOnly() const { return kind == Kind::RawTcp; }

    // True for a name in either scheme, well formed or not: such a name is
    // never a device path.
    static bool hasScheme(const QString &name);
    static std::optional<NetworkAddress> parse(const QString &name);
};
