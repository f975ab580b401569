// SPDX-License-Identifier: MIT
#include "serial/rfc2217codec.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

// Whatever a server sends, cut anywhere: no buffer past its bound, no data
// byte made up, and data escaped for sending reads back as it was.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *bytes, std::size_t size)
{
    if (size == 0)
        return 0;
    const qsizetype piece = 1 + bytes[0] % 16;
    const auto *input = reinterpret_cast<const char *>(bytes + 1);
    const auto length = qsizetype(size - 1);

    Rfc2217Codec codec;
    QByteArray data;
    for (qsizetype at = 0; at < length; at += piece)
        codec.decode(input + at, qMin(piece, length - at), data);
    require(data.size() <= length);
    const QList<Rfc2217Codec::Answer> answers = codec.takeAnswers();
    require(answers.size() <= Rfc2217Codec::kMaxAnswers);
    for (const Rfc2217Codec::Answer &answer : answers)
        require(answer.value.size() < Rfc2217Codec::kMaxSubnegotiation);
    // Each request is answered once at most: two verbs times 256 options.
    require(codec.takeReplies().size() <= 2 * 256 * 3);

    const QByteArray original(input, length);
    Rfc2217Codec reader;
    QByteArray readBack;
    const QByteArray escaped = Rfc2217Codec::escapeData(original);
    reader.decode(escaped.constData(), escaped.size(), readBack);
    require(readBack == original);
    return 0;
}
