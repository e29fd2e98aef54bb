#include "FuzzSupport.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace fuzz {
namespace {

// A program read-out makes some 6,000 calls without a pause.
constexpr int kMaxStalledSteps = 100000;
// A silent Writer's handshake takes 32 s, the start-up check gives up after
// 15 s; no job comes near ten minutes.
constexpr int64_t kMaxJobMs = 10 * 60 * 1000;

QTemporaryDir& Scratch() {
    static QTemporaryDir dir;
    return dir;
}

}  // namespace

void Require(bool holds, const char* rule) {
    if (holds) return;
    std::fprintf(stderr, "fuzz: broken rule: %s\n", rule);
    std::abort();
}

QString ScratchPath(const QString& name) {
    Require(Scratch().isValid(), "a temporary folder can be made");
    return Scratch().filePath(name);
}

namespace {
QBuffer& Opened(QBuffer& buffer) {
    buffer.open(QIODevice::ReadOnly);
    return buffer;
}
}  // namespace

DeviceLines::DeviceLines(const QByteArray& text)
    : text_(text), buffer_(&text_), lines_(Opened(buffer_), text_.size()) {}

void Guard::Step() {
    const int64_t now = clock_.NowMs();
    if (now != last_) {
        last_ = now;
        stalled_ = 0;
    } else {
        Require(++stalled_ <= kMaxStalledSteps, "a job lets the clock move (it does not loop)");
    }
    Require(now <= kMaxJobMs, "a job ends within ten minutes");
}

void FuzzHost::Sleep(int ms) {
    Require(ms >= 0, "pauses are not negative");
    clock_.SleepMs(ms);
    guard_.Step();
}

MsgAnswer FuzzHost::MessageBox(const QString& text, const QString&, MsgIcon, MsgButtons buttons) {
    guard_.Step();
    Require(!text.isEmpty(), "a message has a text");
    ++messages_;
    if (buttons == MsgButtons::YesNo) return answer_;
    return MsgAnswer::Ok;
}

FtStatus ReplyDevice::Call() {
    guard_.Step();
    Require(open_, "the Writer is used only while it is open");
    return FT_OK;
}

FtStatus ReplyDevice::OpenEx(const QByteArray&) {
    guard_.Step();
    Require(!open_, "the Writer is not opened twice");
    open_ = true;
    ++opens_;
    return FT_OK;
}

FtStatus ReplyDevice::SetTimeouts(uint32_t readMs, uint32_t) {
    readTimeoutMs_ = readMs;
    return Call();
}

FtStatus ReplyDevice::Write(const uint8_t*, uint32_t size, uint32_t* written) {
    if (written) *written = size;
    return Call();
}

FtStatus ReplyDevice::Read(uint8_t* data, uint32_t size, uint32_t* received) {
    if (received) *received = 0;
    Call();
    if (++reads_ == script_.failingRead) return FT_IO_ERROR;
    const qsizetype n = std::min<qsizetype>(size, script_.replies.size() - next_);
    std::copy_n(script_.replies.constData() + next_, n, data);
    next_ += n;
    if (received) *received = static_cast<uint32_t>(n);
    if (n < size) clock_.SleepMs(readTimeoutMs_);
    return FT_OK;
}

FtStatus ReplyDevice::Close() {
    Call();
    open_ = false;
    ++closes_;
    return script_.closeFails ? FT_IO_ERROR : FT_OK;
}

}  // namespace fuzz

// Qt's file and text functions want an application object.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    return 0;
}
