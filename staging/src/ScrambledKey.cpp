#include "ScrambledKey.h"

#include "MtScrambler.h"

#include <QStringList>
#include <QtGlobal>

namespace {

std::array<std::int32_t, 6> seedWords(const char *variable,
                                      const std::array<std::int32_t, 6> &defaults)
{
    const QStringList parts
        = qEnvironmentVariable(variable).split(QLatin1Char(','), Qt::SkipEmptyParts);
    if (parts.size() != 6)
        return defaults;
    std::array<std::int32_t, 6> words{};
    for (int i = 0; i < 6; ++i) {
        bool ok = false;
        const QString part = parts.at(i).trimmed();
        // Negative words are written in decimal; toUInt would refuse them.
        const qint64 value = part.startsWith(QLatin1Char('-')) ? part.toLongLong(&ok, 10)
                                                               : qint64(part.toUInt(&ok, 0));
        if (!ok || value < INT32_MIN)
            return defaults;
        words[i] = std::int32_t(std::uint32_t(value));
    }
    return words;
}

} // namespace

QByteArray scrambledKeyBlock(int length, const char *seedVariable, int firstWord,
                             const std::array<std::int32_t, 6> &defaults)
{
    QByteArray block(length, Qt::Uninitialized);
    for (int i = 0; i < length; ++i)
        block[i] = char((0x5c + 37 * i) & 0xff);
    const auto words = seedWords(seedVariable, defaults);
    scrambleThreePass(block.data(), std::uint32_t(length), words[firstWord], words[firstWord + 1],
                      words[firstWord + 2]);
    return block;
}
