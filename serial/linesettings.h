// SPDX-License-Identifier: MIT
#pragma once

#include <QStringView>

#include <optional>

// A line setting in the form "115200,n,8,1": baud, parity letter, data bits, stop bits.
struct LineSettings
{
    int baudRate = 0;
    char parity = 'n'; // n, e, o, m or s
    int dataBits = 0;
    int stopBits = 0;
};

std::optional<LineSettings> parseLineSettings(QStringView text);
