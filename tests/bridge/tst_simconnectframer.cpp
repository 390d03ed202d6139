// Cutting the received byte stream into messages.
#include "simconnectframer.h"
#include "simconnectmessages.h"

#include <QtTest>
#include <cstring>
#include <vector>

using namespace simconnect;

namespace {

std::vector<std::uint8_t> msg(std::uint32_t size, std::uint8_t fill)
{
    std::vector<std::uint8_t> m(size, fill);
    writeU32LE(m.data(), size);
    return m;
}

// Feeds bytes in reads of at most chunk bytes (as much as fits each time) and
// collects what comes out.
struct Feeder {
    ReceiveFramer f;
    std::vector<std::vector<std::uint8_t>> out;
    ReceiveFramer::Result last = ReceiveFramer::NeedMore;
    explicit Feeder(std::uint32_t max = 41088) : f(max) {}

    bool feed(const std::vector<std::uint8_t> &bytes, std::size_t chunk = 1u << 30)
    {
        std::size_t at = 0;
        while (at < bytes.size()) {
            std::size_t n = std::min<std::size_t>({chunk, f.freeBytes(), bytes.size() - at});
            if (n == 0)
                return false;
            std::memcpy(f.freeSpace(), bytes.data() + at, n);
            f.commit(std::uint32_t(n));
            at += n;
            for (;;) {
                last = f.next();
                if (last != ReceiveFramer::Message)
                    break;
                out.emplace_back(f.message(), f.message() + f.messageSize());
            }
            if (last != ReceiveFramer::NeedMore)
                return false;
        }
        return true;
    }
};

} // namespace

class TstSimConnectFramer : public QObject {
    Q_OBJECT
private slots:
    void splitsMessagesAcrossReads_data()
    {
        QTest::addColumn<int>("chunk");
        QTest::newRow("whole") << (1 << 30);
        QTest::newRow("bytewise") << 1;
        QTest::newRow("odd pieces") << 7;
        QTest::newRow("buffer sized") << 2048;
    }
    void splitsMessagesAcrossReads()
    {
        QFETCH(int, chunk);
        Feeder fd;
        std::vector<std::uint8_t> stream;
        const std::uint32_t sizes[] = {12, 40, 1500, 4, 3000, 16};
        for (std::uint32_t i = 0; i < 6; ++i) {
            auto m = msg(sizes[i], std::uint8_t(i + 1));
            stream.insert(stream.end(), m.begin(), m.end());
        }
        QVERIFY(fd.feed(stream, std::size_t(chunk)));
        QCOMPARE(fd.out.size(), std::size_t(6));
        for (std::uint32_t i = 0; i < 6; ++i) {
            QCOMPARE(fd.out[i], msg(sizes[i], std::uint8_t(i + 1)));
        }
        // Once everything is taken out the buffer starts over.
        QCOMPARE(fd.f.filled(), 0u);
        QCOMPARE(fd.f.readPos(), 0u);
    }

    void zeroBytesBetweenMessagesArePadding()
    {
        Feeder fd;
        std::vector<std::uint8_t> stream(6, 0);
        auto a = msg(12, 0xA), b = msg(20, 0xB);
        stream.insert(stream.end(), a.begin(), a.end());
        stream.insert(stream.end(), 5, 0);
        stream.insert(stream.end(), b.begin(), b.end());
        stream.insert(stream.end(), 9, 0);
        QVERIFY(fd.feed(stream, 3));
        QCOMPARE(fd.out.size(), std::size_t(2));
        QCOMPARE(fd.out[0], a);
        QCOMPARE(fd.out[1], b);
    }

    void badSizesAbort_data()
    {
        QTest::addColumn<quint32>("size");
        QTest::addColumn<quint32>("max");
        QTest::newRow("1") << 1u << 41088u;
        QTest::newRow("2") << 2u << 41088u;
        QTest::newRow("3") << 3u << 41088u;
        QTest::newRow("over max") << 41089u << 41088u;
        QTest::newRow("over raised max") << 100001u << 100000u;
    }
    void badSizesAbort()
    {
        QFETCH(quint32, size);
        QFETCH(quint32, max);
        Feeder fd(max);
        std::vector<std::uint8_t> head(4);
        writeU32LE(head.data(), size);
        QVERIFY(!fd.feed(head));
        QCOMPARE(fd.last, ReceiveFramer::Abort);
    }

    void exactlyMaxIsAccepted()
    {
        Feeder fd(41088);
        QVERIFY(fd.feed(msg(41088, 0x5), 1000));
        QCOMPARE(fd.out.size(), std::size_t(1));
        QCOMPARE(fd.out[0].size(), std::size_t(41088));
    }

    void growsByStepsForOneLargeMessage()
    {
        Feeder fd(0x200000);
        QCOMPARE(fd.f.capacity(), 2048u);
        auto m = msg(5000, 0x7);
        QVERIFY(fd.feed(m));
        QCOMPARE(fd.out.size(), std::size_t(1));
        QCOMPARE(fd.out[0], m);
        QCOMPARE(fd.f.capacity(), 6144u);   // 2048 + 2 x 2048
    }

    void partialMessageMovesToTheStartBeforeGrowing()
    {
        Feeder fd;
        auto a = msg(2000, 1), b = msg(1000, 2);
        std::vector<std::uint8_t> s(a);
        s.insert(s.end(), b.begin(), b.end());
        QVERIFY(fd.feed(s));
        QCOMPARE(fd.out.size(), std::size_t(2));
        QCOMPARE(fd.f.capacity(), 2048u);   // moving was enough
    }

    void messageBeyondTheGrowthLimitIsDroppedWhole()
    {
        Feeder fd(0x400000);
        const std::uint32_t size = 0x180000;
        auto big = msg(size, 0x3);
        auto after = msg(24, 0x9);
        std::vector<std::uint8_t> s(big);
        s.insert(s.end(), after.begin(), after.end());
        QVERIFY(fd.feed(s, 4096));
        QVERIFY(fd.f.capacity() > ReceiveFramer::kGrowLimit);
        QVERIFY(fd.f.capacity() <= ReceiveFramer::kGrowLimit + ReceiveFramer::kStep);
        // The big one never arrives, and its tail is not taken for messages.
        QCOMPARE(fd.out.size(), std::size_t(1));
        QCOMPARE(fd.out[0], after);
    }
};

QTEST_GUILESS_MAIN(TstSimConnectFramer)
#include "tst_simconnectframer.moc"
