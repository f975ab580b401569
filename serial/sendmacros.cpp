// SPDX-License-Identifier: MIT
#include "serial/sendmacros.h"

#include "capture/hexpattern.h"
#include "serial/configfile.h"
#include "serial/sendescapes.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QString kText = QStringLiteral("text");
const QString kHex = QStringLiteral("hex");

} // namespace

QString SendMacros::check(const SendMacro &macro)
{
    if (!macro.isUsed())
        return macro.name.isEmpty() ? QString() : QStringLiteral("no content");
    if (macro.kind == SendMacro::Kind::Hex) {
        const hexpattern::Parsed parsed = hexpattern::parse(macro.content);
        return parsed.ok() ? QString() : hexpattern::refusal(macro.content, parsed.refusedColumn);
    }
    const sendescapes::Parsed parsed = sendescapes::parse(macro.content);
    if (parsed.ok())
        return {};
    return QStringLiteral("column %1: \"%2\" is not an escape (\\r \\n \\t \\\\ \\xNN)")
        .arg(parsed.refusedColumn)
        .arg(sendescapes::refusedSequence(macro.content, parsed.refusedColumn));
}

std::optional<QByteArray> SendMacros::bytes(const SendMacro &macro)
{
    if (!macro.isUsed())
        return std::nullopt;
    if (macro.kind == SendMacro::Kind::Hex) {
        const hexpattern::Parsed parsed = hexpattern::parse(macro.content);
        return parsed.ok() ? std::optional(parsed.bytes) : std::nullopt;
    }
    const sendescapes::Parsed parsed = sendescapes::parse(macro.content);
    return parsed.ok() ? std::optional(parsed.bytes) : std::nullopt;
}

int SendMacros::find(const QString &nameOrNumber) const
{
    for (int slot = 0; slot < kSlots; ++slot) {
        if (m_macros[slot].isUsed() && m_macros[slot].name == nameOrNumber)
            return slot;
    }
    bool isNumber = false;
    const int number = nameOrNumber.toInt(&isNumber);
    if (isNumber && number >= 1 && number <= kSlots && m_macros[number - 1].isUsed())
        return number - 1;
    return -1;
}

bool SendMacros::load(const QString &path)
{
    m_macros = {};
    const std::optional<QJsonArray> list = configfile::readList(path, QStringLiteral("macros"), &m_errorString);
    if (!list)
        return false;
    for (const QJsonValue &value : *list) {
        const QJsonObject object = value.toObject();
        const int slot = object.value(QStringLiteral("slot")).toInt() - 1;
        const QString kind = object.value(QStringLiteral("kind")).toString();
        const SendMacro macro{object.value(QStringLiteral("name")).toString(),
                              kind == kHex ? SendMacro::Kind::Hex : SendMacro::Kind::Text,
                              object.value(QStringLiteral("content")).toString()};
        if (slot >= 0 && slot < kSlots && (kind == kHex || kind == kText) && check(macro).isEmpty())
            m_macros[slot] = macro;
    }
    return true;
}

bool SendMacros::save(const QString &path)
{
    QJsonArray array;
    for (int slot = 0; slot < kSlots; ++slot) {
        const SendMacro &macro = m_macros[slot];
        if (!macro.isUsed())
            continue;
        array.append(QJsonObject{{QStringLiteral("slot"), slot + 1},
                                 {QStringLiteral("name"), macro.name},
                                 {QStringLiteral("kind"), macro.kind == SendMacro::Kind::Hex ? kHex : kText},
                                 {QStringLiteral("content"), macro.content}});
    }
    return configfile::write(path, QJsonDocument(array).toJson(), &m_errorString);
}

QString SendMacros::defaultPath()
{
    return configfile::path(QStringLiteral("send-macros.json"));
}
