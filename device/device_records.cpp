#include "device_records.h"

#include <QStringList>

QString versionWordToText(uint32_t word)
{
    return QStringLiteral("V %1.%2.%3").arg(word & 0xFF).arg((word >> 8) & 0xFF).arg((word >> 16) & 0xFF);
}

static QStringList dotParts(const QString &text)
{
    return text.split(QLatin1Char('.'), Qt::SkipEmptyParts);
}

uint32_t versionWordFromText(const QString &text)
{
    const QStringList parts = dotParts(text);
    if (parts.size() != 3)
        return 0;
    return parts.at(0).toUInt() | (parts.at(1).toUInt() << 8) | (parts.at(2).toUInt() << 16);
}

BuildWord unpackBuildWord(uint32_t w)
{
    BuildWord b;
    b.product = w & 0xFF;
    b.year = (w >> 8) & 0x7F;
    b.month = (w >> 15) & 0x0F;
    b.day = (w >> 19) & 0x1F;
    b.number = (w >> 24) & 0xFF;
    return b;
}

uint32_t packBuildWord(const BuildWord &b)
{
    return (b.product & 0xFF) | ((b.year & 0x7F) << 8) | ((b.month & 0x0F) << 15) | ((b.day & 0x1F) << 19)
           | ((b.number & 0xFF) << 24);
}

static QString two(unsigned v)
{
    return v <= 9 ? QStringLiteral("0%1").arg(v) : QString::number(v);
}

QString buildWordToText(uint32_t word)
{
    const BuildWord b = unpackBuildWord(word);
    return two(b.product) + QLatin1Char('.') + two(b.year) + two(b.month) + two(b.day) + QLatin1Char('.')
           + two(b.number);
}

uint32_t buildWordFromText(const QString &text)
{
    const QStringList parts = dotParts(text);
    if (parts.size() != 3)
        return 0;
    // mid() past the end of a short middle part is empty, which reads as 0.
    const QString &date = parts.at(1);
    return parts.at(0).toUInt() | (date.mid(0, 2).toUInt() << 8) | (date.mid(2, 2).toUInt() << 15)
           | (date.mid(4, 2).toUInt() << 19) | (parts.at(2).toUInt() << 24);
}

QString dottedWordToText(uint32_t word)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(word & 0xFF)
        .arg((word >> 8) & 0xFF)
        .arg((word >> 16) & 0xFF)
        .arg((word >> 24) & 0xFF);
}

uint32_t dottedWordFromText(const QString &text)
{
    const QStringList parts = dotParts(text);
    if (parts.size() != 4)
        return 0;
    uint32_t word = 0;
    for (int i = 0; i < 4; ++i)
        word |= parts.at(i).toUInt() << (8 * i);
    return word;
}

int deviceKindFromBuildWord(uint32_t word)
{
    const unsigned p = word & 0xFF;
    return (p == 1 || p == 2) ? 1 : 99;
}
