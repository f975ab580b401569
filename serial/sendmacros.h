// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <optional>

// One send slot: a name and either a line of text with escapes or bytes in hex.
struct SendMacro
{
    enum class Kind { Text, Hex };

    QString name;
    Kind kind = Kind::Text;
    QString content;

    bool isUsed() const { return !content.isEmpty(); }
};

// The twelve send slots, their bytes and their file. Both the window and the
// command line send a slot through bytes(), so they send the same thing.
class SendMacros
{
public:
    static constexpr int kSlots = 12;

    // Why a slot cannot be kept: "" when it can. In English, for the file and
    // the command line; the dialog words its own refusals.
    static QString check(const SendMacro &macro);
    // The bytes a used, valid slot sends; nothing otherwise.
    static std::optional<QByteArray> bytes(const SendMacro &macro);

    const SendMacro &at(int slot) const { return m_macros[slot]; }
    void set(int slot, const SendMacro &macro) { m_macros[slot] = macro; }
    // The used slot named so, else the slot numbered so (1..12); -1 when none.
    int find(const QString &nameOrNumber) const;

    // Reads the file; a slot that is not valid is left empty. False when the
    // file cannot be read or is not a list of macros: no slot is used then.
    [[nodiscard]] bool load(const QString &path);
    [[nodiscard]] bool save(const QString &path);
    QString errorString() const { return m_errorString; }
    static QString defaultPath();

private:
    std::array<SendMacro, kSlots> m_macros;
    QString m_errorString;
};
