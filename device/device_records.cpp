#include "device_records.h"

#include <QStringList>

QString versionWordToText(uint32_t word)
{
    return QStringLiteral("V %1.%2.%3").arg(word & 0xFF).arg((word >> 8) & 0xFF).arg((word >> 16) & 0xFF);
}

uint32_t versionWordFromText(const QString &text)
{
    const QStringList parts = text.trimmed().split(QLatin1Char('.'));
    uint32_t v[3] = {0, 0, 0};
    for (int i = 0; i < 3 && i < parts.size(); ++i)
        v[i] = parts.at(i).trimmed().toUInt() & 0xFF;
    return (v[2] << 16) | (v[1] << 8) | v[0];
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
    const QStringList parts = text.trimmed().split(QLatin1Char('.'));
    BuildWord b;
    if (parts.size() > 0)
        b.product = parts.at(0).toUInt();
    if (parts.size() > 1) {
        const QString mid = parts.at(1);
        b.year = mid.mid(0, 2).toUInt();
        b.month = mid.mid(2, 2).toUInt();
        b.day = mid.mid(4, 2).toUInt();
    }
    if (parts.size() > 2)
        b.number = parts.at(2).toUInt();
    return packBuildWord(b);
}

int deviceKindFromBuildWord(uint32_t word)
{
    const unsigned p = word & 0xFF;
    return (p == 1 || p == 2) ? 1 : 99;
}
