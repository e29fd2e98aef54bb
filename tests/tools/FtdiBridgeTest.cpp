#include <gtest/gtest.h>

#include <QStringList>

#include "usb-gadget/FtdiBridge.h"

using namespace ftdibridge;
using namespace std::chrono_literals;

namespace {

LineFormat Line(double baud, int bits, Parity parity, int stop) {
    return LineFormat{baud, bits, parity, stop};
}

constexpr uint8_t kVendorOut = 0x40;
constexpr uint8_t kVendorIn = 0xC0;

// A bridge on a virtual clock from 0, set up as the link sets it.
struct Rig {
    Time start{};
    QStringList trace;
    Bridge bridge{
        Bridge::Options{{}, 4ms, 4ms, 8ms, [this](Time, const QString& line) { trace << line; }},
        start};

    bool Send(uint8_t request, uint16_t value, Time at = {}) {
        return bridge.Control(Setup{kVendorOut, request, value, 0, 0}, at).accepted;
    }
    void SetLine(uint16_t divisor, uint8_t latency) {
        Send(kSetBaudRate, divisor);
        Send(kSetData, 0x0008);
        Send(kSetLatencyTimer, latency);
    }
    // Polls as the host does, packet after packet, until one carries data
    // or `limit` has passed; the time it was sent and the packet.
    std::pair<Time, QByteArray> FirstData(Time from, Time limit = Time{} + 2s) {
        Time t = from;
        while (t < limit) {
            Time wake;
            const std::optional<QByteArray> packet = bridge.TakeInPacket(t, &wake);
            if (packet && packet->size() > kStatusBytes) return {t, *packet};
            if (!packet) t = wake;
        }
        return {t, {}};
    }
};

}  // namespace

TEST(FtdiBridgeDecoding, BaudRateDivisors) {
    const struct {
        uint16_t value, index;
        double baud;
    } cases[] = {
        {0x0271, 0, 4800},    {0x4138, 0, 9600},     {0x809C, 0, 19200},
        {0x09C4, 0, 1200},    {0x0000, 0, 3000000},  {0x0001, 0, 2000000},
        {0xC271, 0, 4799.04}, {0x0271, 1, 4797.122}, {0x001A, 0, 115384.615},
    };
    for (const auto& c : cases)
        EXPECT_NEAR(BaudFromDivisor(c.value, c.index), c.baud, 0.01) << std::hex << c.value;
}

TEST(FtdiBridgeDecoding, DataCharacteristics) {
    const struct {
        uint16_t value;
        std::optional<DataSetting> setting;
    } cases[] = {
        {0x0008, DataSetting{8, Parity::None, 1, false}},
        {0x0007, DataSetting{7, Parity::None, 1, false}},
        {0x0108, DataSetting{8, Parity::Odd, 1, false}},
        {0x0208, DataSetting{8, Parity::Even, 1, false}},
        {0x1008, DataSetting{8, Parity::None, 2, false}},
        {0x0808, DataSetting{8, Parity::None, 2, false}},  // one and a half
        {0x4008, DataSetting{8, Parity::None, 1, true}},
        {0x0009, std::nullopt},
        {0x0508, std::nullopt},
    };
    for (const auto& c : cases) {
        const std::optional<DataSetting> got = DecodeDataSetting(c.value);
        ASSERT_EQ(got.has_value(), c.setting.has_value()) << std::hex << c.value;
        if (!got) continue;
        EXPECT_EQ(got->dataBits, c.setting->dataBits);
        EXPECT_EQ(got->parity, c.setting->parity);
        EXPECT_EQ(got->stopBits, c.setting->stopBits);
        EXPECT_EQ(got->breakOn, c.setting->breakOn);
    }
}

// Hand-sampled frames: the receiver reads each bit in the middle of its own
// bit time, from the start bit's edge.
TEST(FtdiBridgeDecoding, WrongLineGarblesCharacters) {
    const LineFormat writer = Line(4800, 8, Parity::None, 1);
    const struct {
        uint8_t byte;
        LineFormat tx, rx;
        Received got;
    } cases[] = {
        {0x41, writer, writer, {0x41, false, false}},
        {0x41, Line(9600, 8, Parity::None, 1), writer, {0xFC, false, false}},
        {0x41, writer, Line(9600, 8, Parity::None, 1), {0x06, true, false}},
        {0x41, Line(4800, 8, Parity::Even, 1), writer, {0x41, true, false}},
        {0x43, Line(4800, 8, Parity::Even, 1), writer, {0x43, false, false}},
        {0x41, Line(4800, 7, Parity::None, 1), writer, {0xC1, false, false}},
        {0x41, writer, Line(4800, 8, Parity::Odd, 1), {0x41, false, false}},
        {0x43, writer, Line(4800, 8, Parity::Odd, 1), {0x43, false, true}},
    };
    for (const auto& c : cases) EXPECT_EQ(Resample(c.byte, c.tx, c.rx), c.got) << int(c.byte);
}

TEST(FtdiBridgeRequests, AnswersTheDriversQuestions) {
    Rig rig;
    rig.Send(kSetLatencyTimer, 1);
    const struct {
        uint8_t request;
        uint16_t index;
        QByteArray answer;  // empty: the request is stalled
    } cases[] = {
        {kGetLatencyTimer, 0, QByteArray("\x01", 1)},
        {kGetModemStatus, 0, QByteArray("\x01\x60", 2)},
        {kReadEeprom, 1, QByteArray("\x03\x04", 2)},  // the vendor id
        {kReadEeprom, 64, {}},
        {0x55, 0, {}},
    };
    for (const auto& c : cases) {
        const ControlReply reply =
            rig.bridge.Control(ftdibridge::Setup{kVendorIn, c.request, 0, c.index, 2}, rig.start);
        EXPECT_EQ(reply.accepted, !c.answer.isEmpty()) << int(c.request);
        EXPECT_EQ(reply.data, c.answer) << int(c.request);
    }
}

// An idle bridge sends the status alone each time its timer runs out.
TEST(FtdiBridgePackets, StatusOnlyAtEachLatencyExpiry) {
    Rig rig;
    Time wake;
    EXPECT_FALSE(rig.bridge.TakeInPacket(rig.start, &wake));
    EXPECT_EQ(wake, rig.start + 16ms);
    EXPECT_EQ(rig.bridge.TakeInPacket(wake, &wake), QByteArray("\x01\x60", 2));
}

// 'A' crosses the 4800-baud line in 2.083 ms and 'a' comes back in as long;
// the reply then waits in the bridge for its latency timer.
TEST(FtdiBridgePackets, ReplyWaitsForTheLatencyTimer) {
    for (const auto& [latency, sent] : {std::pair{1, 5ms}, {16, 16ms}}) {
        Rig rig;
        rig.SetLine(0x0271, static_cast<uint8_t>(latency));
        const uint8_t select = 'A';
        rig.bridge.HostWrote(&select, 1, rig.start);
        const auto [at, packet] = rig.FirstData(rig.start);
        EXPECT_EQ(at, rig.start + sent) << latency;
        EXPECT_EQ(packet, QByteArray("\x01\x60"
                                     "a",
                                     3))
            << latency;
    }
}

// With a long timer a packet goes as soon as its 62 bytes are there: 'a',
// 'r' and 60 bytes of the read-out, the last of them 61 byte times after 'a'.
TEST(FtdiBridgePackets, FullPacketGoesBeforeTheTimer) {
    Rig rig;
    rig.SetLine(0x0271, 255);
    const uint8_t bytes[] = {'A', 'R'};
    rig.bridge.HostWrote(bytes, 2, rig.start);
    const auto [at, packet] = rig.FirstData(rig.start);
    const auto byteTime = WriterLine().FrameTime();
    EXPECT_EQ(at, rig.start + 2 * byteTime + 61 * byteTime);
    ASSERT_EQ(packet.size(), kPacketSize);
    EXPECT_EQ(packet.mid(2, 2), QByteArray("ar"));
}

// At 9600 baud the Writer reads 'A' as FC and does not answer; a purge
// drops what the bridge holds.
TEST(FtdiBridgePackets, WrongBaudRateAndPurge) {
    Rig rig;
    rig.SetLine(0x4138, 1);
    const uint8_t select = 'A';
    rig.bridge.HostWrote(&select, 1, rig.start);
    EXPECT_TRUE(rig.FirstData(rig.start, rig.start + 100ms).second.isEmpty());
    EXPECT_TRUE(rig.trace.contains(QStringLiteral("w FC"))) << rig.trace.join(u'|').toStdString();

    Rig purged;
    purged.SetLine(0x0271, 16);
    purged.bridge.HostWrote(&select, 1, purged.start);
    Time wake;
    purged.bridge.TakeInPacket(purged.start + 10ms, &wake);  // 'a' is in the bridge
    EXPECT_TRUE(purged.Send(kReset, kPurgeRx, purged.start + 10ms));
    EXPECT_EQ(purged.bridge.TakeInPacket(purged.start + 16ms, &wake), QByteArray("\x01\x60", 2));
}
