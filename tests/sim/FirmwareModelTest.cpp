#include <gtest/gtest.h>
#include <QStringList>

#include "link/protocol/Protocol.h"
#include "link/protocol/SevenBit.h"
#include "shared/Clock.h"
#include "sim/FirmwareModel.h"
#include "sim/SimDevice.h"

namespace {

// Feeds the bytes to the model and returns everything it answered.
QByteArray Feed(FirmwareModel& model, const QByteArray& bytes) {
    QByteArray out;
    for (const char c : bytes) out += model.Receive(static_cast<uint8_t>(c));
    return out;
}

QByteArray Pair(uint16_t value) {
    const auto p = sevenbit::Encode(value);
    return QByteArray(reinterpret_cast<const char*>(p.data()), 2);
}

}  // namespace

TEST(FaultPlanText, ReadsEveryKindOfFault) {
    QString error;
    const auto plan = FaultPlan::Parse(
        QStringLiteral("noboard=1, nopower=2,silent,reply=3:78,reply=4:'x',byte=10:05,cut=7,"
                       "readerror=2,drop=5,gone=9,openfail,closefail"),
        &error);
    ASSERT_TRUE(plan) << error.toStdString();
    EXPECT_TRUE(plan->boardMissing[1]);
    EXPECT_TRUE(plan->boardMissing[2]);
    EXPECT_TRUE(plan->silent);
    EXPECT_EQ(plan->refuseCommand.at(3), 0x78);
    EXPECT_EQ(plan->refuseCommand.at(4), 'x');
    EXPECT_EQ(plan->replaceByte.at(10), 0x05);
    EXPECT_EQ(plan->cutAfter, 7);
    EXPECT_EQ(plan->readErrorAt, 2);
    EXPECT_EQ(plan->dropReadAt, 5);
    EXPECT_EQ(plan->goneAtCall, 9);
    EXPECT_TRUE(plan->openFails);
    EXPECT_TRUE(plan->closeFails);
    EXPECT_TRUE(FaultPlan::Parse(QString(), &error));
}

TEST(FaultPlanText, NamesTheItemItCannotRead) {
    for (const char* bad : {"noboard=3", "reply=0:78", "reply=2", "reply=2:1FF", "cut=-1", "loud",
                            "silent=1", "readerror=x", "drop=0", "drop", "gone=-2", "gone=1:2"}) {
        QString error;
        EXPECT_FALSE(FaultPlan::Parse(QString::fromLatin1(bad), &error)) << bad;
        EXPECT_TRUE(error.contains(QString::fromLatin1(bad))) << error.toStdString();
    }
}

TEST(FirmwareModel, AnswersThePollOnlyWhenIdle) {
    FirmwareModel model;
    EXPECT_EQ(Feed(model, "S"), "s");
    EXPECT_EQ(Feed(model, "C"), "");
    EXPECT_EQ(Feed(model, "BW"), "aw");  // in write mode now
    EXPECT_EQ(Feed(model, "S"), "");     // leaves write mode without a word
    EXPECT_EQ(Feed(model, "S"), "s");
    EXPECT_EQ(Feed(model, "@"), "108a");
}

TEST(FirmwareModel, ProgramsReadsAndErasesTheChip) {
    FirmwareModel model;
    // Write mode, word 0x3001 at 0, skip 3, word 0x1234 at 4, configuration 0x1A.
    QByteArray bytes = "BWD" + Pair(0x3001) + "I" + QByteArray(1, char(0x83)) + "D" + Pair(0x1234) +
                       "G" + Pair(0x1A) + "E";
    EXPECT_EQ(Feed(model, bytes), "awwwiwwwgw");
    EXPECT_EQ(model.chip().program[0], 0x3001);
    EXPECT_EQ(model.chip().program[1], 0x3FFF);
    EXPECT_EQ(model.chip().program[4], 0x1234);
    // Only the low seven bits are programmed; the rest stays erased.
    EXPECT_EQ(model.chip().configWord(), 0x3F9A);

    const QByteArray readOut = Feed(model, "R");
    ASSERT_EQ(readOut.size(), 1 + 2 * 1032);
    EXPECT_EQ(readOut[0], 'r');
    EXPECT_EQ(readOut.mid(1, 2), Pair(0x3001));
    EXPECT_EQ(readOut.mid(1 + 2 * 4, 2), Pair(0x1234));
    EXPECT_EQ(readOut.right(2), Pair(0x3F9A));

    EXPECT_EQ(Feed(model, "L"), "a");
    EXPECT_EQ(model.chip().program[0], 0x3FFF);
    EXPECT_EQ(model.chip().configWord(), 0x3F9A);  // the erase keeps the configuration
}

TEST(FirmwareModel, WordsBeyondProgramMemoryAreIgnored) {
    FirmwareModel model;
    QByteArray bytes = "AW";
    for (int i = 0; i < 8; ++i) bytes += "I" + QByteArray(1, char(0x80 | 127));  // to 1016
    bytes += "I" + QByteArray(1, char(0x88));                                    // to 1024
    bytes += "D" + Pair(0x0123);
    Feed(model, bytes);
    ChipMemory blank;
    EXPECT_EQ(model.chip(), blank);
}

TEST(FirmwareModel, WorksTheEepromAndTheConfigurationRead) {
    FirmwareModel model;
    EXPECT_EQ(Feed(model, "AV" + QByteArray(1, char(0x80 | 5)) + Pair(0xA5)), "avva");
    EXPECT_EQ(model.chip().eeprom[5], 0xA5);
    QByteArray all = "M";
    QByteArray expected = "m";
    for (int i = 0; i < 64; ++i) {
        all += Pair(static_cast<uint16_t>(i));
        expected += i < 63 ? "m" : "a";
    }
    EXPECT_EQ(Feed(model, all), expected);
    EXPECT_EQ(model.chip().eeprom[63], 63);
    const QByteArray dump = Feed(model, "X");
    ASSERT_EQ(dump.size(), 1 + 128);
    EXPECT_EQ(dump.mid(1 + 2 * 10, 2), Pair(10));
    EXPECT_EQ(Feed(model, "F"), "a");
    EXPECT_EQ(model.chip().eeprom[10], 0xFF);
    EXPECT_EQ(Feed(model, "Y"), "y" + Pair(0x3FFF));
}

TEST(FirmwareModel, AnAbsentBoardIsAnsweredWithAQuestionMark) {
    FaultPlan faults;
    faults.boardMissing[1] = true;
    FirmwareModel model(faults);
    EXPECT_EQ(Feed(model, "A"), "a");  // the Writer itself answers
    for (const char c : QByteArray("WRLXFVMY")) {
        EXPECT_EQ(Feed(model, QByteArray(1, c)), "?") << c;
        EXPECT_EQ(Feed(model, "S"), "");  // the PC's 'S' after '?' gets no reply
    }
    EXPECT_EQ(Feed(model, "BW"), "aw");  // the other connector has its board
}

TEST(FirmwareModel, RefusedCommandsAreNotPerformed) {
    FaultPlan faults;
    faults.refuseCommand[2] = 'x';
    FirmwareModel model(faults);
    EXPECT_EQ(Feed(model, "B"), "a");
    EXPECT_EQ(Feed(model, "L"), "x");
    EXPECT_EQ(Feed(model, "SCE"), "");  // recovery bytes: no reply to wait for
    EXPECT_EQ(Feed(model, "W"), "w");
}

TEST(FirmwareModel, SentBytesCanBeReplacedCutOrSilenced) {
    FaultPlan replace;
    replace.replaceByte[3] = 0x05;
    FirmwareModel replaced(replace);
    EXPECT_EQ(Feed(replaced, "BR").left(4), QByteArray("ar") + char(0x05) + Pair(0x3FFF)[1]);

    FaultPlan cut;
    cut.cutAfter = 4;
    FirmwareModel short_(cut);
    EXPECT_EQ(Feed(short_, "BR").size(), 4);
    EXPECT_EQ(Feed(short_, "S"), "");

    FaultPlan silent;
    silent.silent = true;
    FirmwareModel mute(silent);
    EXPECT_EQ(Feed(mute, "BS@"), "");
}

namespace {

// The simulated Writer behind the device calls, opened and set up as the
// link does it (5000 ms read time-out).
struct OpenSim {
    explicit OpenSim(const char* faults) {
        QString error;
        SimDevice::Options options;
        options.faults = *FaultPlan::Parse(QString::fromLatin1(faults), &error);
        options.traceSink = [this](const QString& line) { trace << line.section(u' ', 1); };
        device = std::make_unique<SimDevice>(clock, std::move(options));
        opened = device->OpenEx(kDeviceDescription);
        if (opened == FT_OK) device->SetTimeouts(5000, 1000);
    }
    FtStatus Send(char c) {
        const auto byte = static_cast<uint8_t>(c);
        uint32_t written = 0;
        return device->Write(&byte, 1, &written);
    }
    // One read of one byte: the byte, "" when nothing came, "error".
    QByteArray Receive() {
        uint8_t byte = 0;
        uint32_t received = 0;
        if (device->Read(&byte, 1, &received) != FT_OK) return "error";
        return received == 1 ? QByteArray(1, static_cast<char>(byte)) : QByteArray();
    }
    VirtualClock clock;
    QStringList trace;
    std::unique_ptr<SimDevice> device;
    FtStatus opened = FT_OK;
};

}  // namespace

TEST(SimDeviceFaults, ADroppedReadLosesItsReplyAndTheExchangeGoesOn) {
    OpenSim sim("drop=2");
    sim.Send('B');
    EXPECT_EQ(sim.Receive(), "a");
    sim.Send('@');  // the Writer sends "108a"
    const int64_t before = sim.clock.NowMs();
    EXPECT_EQ(sim.Receive(), "");  // the '1' is lost: the read waits its time-out
    EXPECT_EQ(sim.clock.NowMs() - before, 5000);
    EXPECT_EQ(sim.Receive(), "0");
    EXPECT_EQ(sim.Receive(), "8");
    EXPECT_EQ(sim.Receive(), "a");
    EXPECT_EQ(sim.device->readCount(), 5);
    EXPECT_EQ(sim.trace.mid(2),
              (QStringList{"w 42", "r 61", "w 40", "r timeout", "r 30", "r 38", "r 61"}));
}

TEST(SimDeviceFaults, AnUnpluggedWriterFailsEveryCallFromThenOn) {
    struct Case {
        int goneAt;
        QByteArray reply;    // what the read after 'B' gives
        bool reachedWriter;  // the 'B' got to the Writer
    } const cases[] = {
        {3, "error", false},  // open (1) and the time-outs (2) go through; 'B' does not
        {4, "error", true},   // 'B' goes out, the read fails
        {5, "a", true},       // gone from the close on
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.goneAt);
        const QByteArray text = "gone=" + QByteArray::number(c.goneAt);
        OpenSim sim(text.constData());
        ASSERT_EQ(sim.opened, FT_OK);
        EXPECT_EQ(sim.Send('B') == FT_OK, c.reachedWriter);
        EXPECT_EQ(sim.Receive(), c.reply);
        EXPECT_EQ(sim.device->firmware().sentCount(), c.reachedWriter ? 1 : 0);
        // The close fails, but the handle is let go: the device is closed.
        EXPECT_EQ(sim.device->Close(), FT_IO_ERROR);
        EXPECT_FALSE(sim.device->isOpen());
        EXPECT_EQ(sim.device->closeCount(), 1);
        // Gone for good: it cannot be opened again.
        EXPECT_EQ(sim.device->OpenEx(kDeviceDescription), FT_DEVICE_NOT_FOUND);
        EXPECT_EQ(sim.device->openCount(), 1);
        EXPECT_EQ(sim.device->callCount(), 6);
        EXPECT_EQ(sim.trace.back(), "open Q-LARK USB Programmer failed");
    }
    // Before its call nothing changes.
    OpenSim later("gone=7");
    later.Send('B');
    EXPECT_EQ(later.Receive(), "a");
    EXPECT_EQ(later.device->Close(), FT_OK);
    EXPECT_EQ(later.device->OpenEx(kDeviceDescription), FT_OK);
    EXPECT_EQ(later.device->Purge(3), FT_IO_ERROR);  // the seventh call
    EXPECT_EQ(later.trace.back(), "purge 3 error");
}
