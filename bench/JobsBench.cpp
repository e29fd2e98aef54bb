// How much of a job's time is ours rather than the link's: the program-memory
// jobs against the in-process simulated Writer on a virtual clock, and the
// HEX work on its own.
#include <benchmark/benchmark.h>
#include <QCoreApplication>
#include <QTemporaryDir>

#include "SimFixture.h"
#include "program/HexProgram.h"
#include "program/ProgramJobs.h"
#include "shared/IntelHex.h"

namespace {

// A full program memory: 128 records of 8 words.
QByteArray FullProgram() {
    QByteArray text;
    for (int word = 0; word < 1024; word += 8) {
        uint8_t bytes[16];
        for (int i = 0; i < 16; i += 2) {
            bytes[i] = static_cast<uint8_t>(word + i);
            bytes[i + 1] = 0x28;
        }
        text += hex::FormatRecord(static_cast<uint16_t>(2 * word), 0, bytes) + "\r\n";
    }
    return text + hex::EndRecord() + "\r\n";
}

void BM_PlanWrite(benchmark::State& state) {
    const QByteArray text = FullProgram();
    for (auto _ : state) benchmark::DoNotOptimize(hexprogram::PlanWrite(text));
}
BENCHMARK(BM_PlanWrite);

void BM_FormatReadOutFile(benchmark::State& state) {
    ProgramImage image;
    image.program.fill(0x3FFF);
    image.config.fill(0x3FFF);
    for (auto _ : state) benchmark::DoNotOptimize(FormatReadOutFile(image));
}
BENCHMARK(BM_FormatReadOutFile);

void BM_WriteFullProgram(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("full.hex"));
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(FullProgram());
    file.close();
    for (auto _ : state) {
        SimRig rig;
        rig.trace.reserve(6000);
        JobEnv env{*rig.device, rig.host, rig.state};
        NullProgressView view;
        if (WritePrgComm(env, path, view) != JobOutcome::Done) state.SkipWithError("write failed");
    }
}
BENCHMARK(BM_WriteFullProgram)->Unit(benchmark::kMillisecond);

void BM_ReadProgramMemory(benchmark::State& state) {
    for (auto _ : state) {
        SimRig rig;
        JobEnv env{*rig.device, rig.host, rig.state};
        NullProgressView view;
        ProgramImage image;
        if (ReadProgramMemory(env, view, &image) != JobOutcome::Done)
            state.SkipWithError("read failed");
    }
}
BENCHMARK(BM_ReadProgramMemory)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
