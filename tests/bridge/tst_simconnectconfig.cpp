// Where the client looks for the simulator: SimConnect.cfg in three places,
// the registry ports, and the pipe -> IPv6 -> IPv4 -> pipe chain.
#include "fakesimconnectplatform.h"

#include <QtTest>

using namespace simconnect;

class TstSimConnectConfig : public QObject {
    Q_OBJECT

    FakeWorld world;

    std::wstring pub() const { return world.fileOrder[0]; }
    std::wstring docs() const { return world.fileOrder[1]; }
    std::wstring cwd() const { return world.fileOrder[2]; }

    HRESULT32 open(SimConnectHandle *h, std::uint32_t index = 0)
    {
        setPlatform(world.platform());
        return SimConnect_Open(h, "KORVEL", nullptr, 0, nullptr, index);
    }
    void closeAll(SimConnectHandle h)
    {
        if (h)
            SimConnect_Close(h);
        FakeIo::drainCancelled();
        QCOMPARE(SimConnectTransport::liveTransports(), 0);
    }
    ConnectSettings merged(std::uint32_t index = 0)
    {
        ConnectSettings s;
        const Platform p = world.platform();
        for (const auto &f : world.fileOrder)
            readSimConnectCfg(p, f, index, s);
        return s;
    }

private slots:
    void init() { world = FakeWorld(); }

    void noFileAnywhereWalksTheWholeChain()
    {
        world.regV6 = L"2000";
        world.regV4 = L"3000";
        SimConnectHandle h = nullptr;
        QCOMPARE(open(&h), E_FAIL32);
        QCOMPARE(world.attempts, (std::vector<std::wstring>{
            L"pipe:" + kDefaultPipe, L"tcp6:::1:2000", L"tcp4:127.0.0.1:3000", L"pipe:" + kDefaultPipe}));
        QCOMPARE(SimConnectConnection::liveConnections(), 0);
        // Started when TCP is first tried, stopped by each last close.
        QVERIFY(world.winsockStarts >= 1);
        QCOMPARE(world.winsockStops, world.winsockStarts);
    }

    void emptyRegistrySkipsTcp()
    {
        SimConnectHandle h = nullptr;
        QCOMPARE(open(&h), E_FAIL32);
        QCOMPARE(world.attempts, (std::vector<std::wstring>{L"pipe:" + kDefaultPipe, L"pipe:" + kDefaultPipe}));
    }

    void chainStopsAtTheFirstThatConnects()
    {
        world.regV6 = L"2000";
        world.regV4 = L"3000";
        world.acceptTcp = {L"127.0.0.1:3000"};
        SimConnectHandle h = nullptr;
        QCOMPARE(open(&h), S_OK32);
        QVERIFY(h);
        QCOMPARE(world.attempts.size(), std::size_t(3));
        QCOMPARE(world.lastIo->writes.size(), std::size_t(1));   // the Open message
        closeAll(h);
    }

    void unknownAddressHasNoFallback_data()
    {
        QTest::addColumn<QString>("protocol");
        QTest::addColumn<QString>("expected");
        QTest::newRow("pipe") << "Pipe" << "pipe:\\\\simhost\\pipe\\4711";
        QTest::newRow("ipv6") << "IPv6" << "tcp6:simhost:4711";
        QTest::newRow("ipv4") << "IPv4" << "tcp4:simhost:4711";
    }
    void unknownAddressHasNoFallback()
    {
        QFETCH(QString, protocol);
        QFETCH(QString, expected);
        world.regV4 = L"3000";
        world.regV6 = L"2000";
        world.files[docs()][L"SimConnect"] = {{L"Protocol", protocol.toStdWString()},
                                              {L"Address", L"simhost"}, {L"Port", L"4711"}};
        SimConnectHandle h = nullptr;
        QCOMPARE(open(&h), E_FAIL32);
        QCOMPARE(world.attempts, std::vector<std::wstring>{expected.toStdWString()});
    }

    void laterFilesOverrideEarlierOnes()
    {
        world.files[pub()][L"SimConnect"] = {{L"Protocol", L"IPv6"}, {L"Address", L"a"}, {L"Port", L"1"},
                                             {L"DisableNagle", L"1"}};
        world.files[docs()][L"SimConnect"] = {{L"Address", L"b"}};
        world.files[cwd()][L"SimConnect"] = {{L"Port", L"3"}, {L"Protocol", L"bogus"}};
        const ConnectSettings s = merged();
        QCOMPARE(int(s.protocol), int(Protocol::IPv6));   // an unknown protocol changes nothing
        QVERIFY(s.address == L"b");
        QVERIFY(s.port == L"3");
        QVERIFY(s.disableNagle);
        world.files[cwd()][L"SimConnect"][L"DisableNagle"] = L"0";
        QVERIFY(!merged().disableNagle);
        world.files[cwd()][L"SimConnect"][L"Protocol"] = L"AUTO";
        QCOMPARE(int(merged().protocol), int(Protocol::Pipe));
    }

    void maxReceiveSizeOnlyGrows()
    {
        world.files[pub()][L"SimConnect"] = {{L"MaxReceiveSize", L"1000"}};
        QCOMPARE(merged().maxReceiveSize, 41088u);
        world.files[docs()][L"SimConnect"] = {{L"MaxReceiveSize", L"90000"}};
        QCOMPARE(merged().maxReceiveSize, 90000u);
        world.files[cwd()][L"SimConnect"] = {{L"MaxReceiveSize", L"50000"}};
        QCOMPARE(merged().maxReceiveSize, 90000u);
    }

    void protocolIpWithAndWithoutAnEarlierPort()
    {
        world.regV4 = L"3000";
        // No port held yet: the registry is not consulted, the port stays empty.
        world.files[pub()][L"SimConnect"] = {{L"Protocol", L"IPv4"}};
        QVERIFY(merged().port.empty());
        // A port from an earlier file is replaced by the registry's.
        world.files[pub()][L"SimConnect"] = {{L"Port", L"1111"}};
        world.files[docs()][L"SimConnect"] = {{L"Protocol", L"ipv4"}};
        QVERIFY(merged().port == L"3000");
        // ... or emptied when the registry holds none of that family.
        world.files[docs()][L"SimConnect"] = {{L"Protocol", L"IPv6"}};
        QVERIFY(merged().port.empty());
        // The same section's own Port wins over the registry.
        world.files[docs()][L"SimConnect"] = {{L"Protocol", L"IPv4"}, {L"Port", L"2222"}};
        QVERIFY(merged().port == L"2222");
        QCOMPARE(int(merged().protocol), int(Protocol::IPv4));
    }

    void protocolIpv4StartsAtIpv4AndEndsAtThePipe()
    {
        world.files[cwd()][L"SimConnect"] = {{L"Protocol", L"IPv4"}, {L"Address", L"127.0.0.1"},
                                             {L"Port", L"5000"}};
        world.acceptPipes = {kDefaultPipe};
        SimConnectHandle h = nullptr;
        QCOMPARE(open(&h), S_OK32);
        QCOMPARE(world.attempts, (std::vector<std::wstring>{L"tcp4:127.0.0.1:5000", L"pipe:" + kDefaultPipe}));
        closeAll(h);
    }

    void namedPipeFromThePort()
    {
        world.files[cwd()][L"SimConnect"] = {{L"Port", L"Custom Pipe"}};
        world.acceptPipes = {L"\\\\.\\pipe\\Custom Pipe"};
        SimConnectHandle h = nullptr;
        QCOMPARE(open(&h), S_OK32);
        closeAll(h);
    }

    void numberedSectionsMustExist()
    {
        SimConnectHandle h = nullptr;
        QCOMPARE(open(&h, 2), E_INVALIDARG32);
        QVERIFY(world.attempts.empty());
        world.files[docs()][L"SimConnect.2"] = {{L"Protocol", L"IPv4"}, {L"Address", L"10.0.0.9"},
                                                {L"Port", L"77"}};
        world.files[docs()][L"SimConnect"] = {{L"Port", L"ignored"}};
        QCOMPARE(open(&h, 2), E_FAIL32);
        QCOMPARE(world.attempts, std::vector<std::wstring>{L"tcp4:10.0.0.9:77"});
        // Index 0xFFFFFFFF reads no file at all.
        world.attempts.clear();
        QCOMPARE(open(&h, 0xFFFFFFFFu), E_FAIL32);
        QCOMPARE(world.attempts.front(), L"pipe:" + kDefaultPipe);
    }

    void boundedFields()
    {
        world.regV4 = L"123456789012345";
        QVERIFY(readRegistryPort(world.platform(), Family::IPv4) == L"123456789");
        const std::wstring longText(2047, L'x');
        world.files[cwd()][L"SimConnect"] = {{L"Address", longText}, {L"Port", longText}};
        const ConnectSettings s = merged();
        QCOMPARE(s.address.size(), kMaxSettingChars);
        QCOMPARE(s.port.size(), kMaxSettingChars);
        QCOMPARE(pipeNameFor(s.address, s.port).size(), kMaxSettingChars);
        QVERIFY(pipeNameFor(L"", L"") == kDefaultPipe);
        QVERIFY(pipeNameFor(L"host", L"p") == L"\\\\host\\pipe\\p");
    }
};

QTEST_GUILESS_MAIN(TstSimConnectConfig)
#include "tst_simconnectconfig.moc"
