#pragma once

// What the fuzz targets share: Qt's application object, a folder for the
// files a target writes, a way to stop on a broken rule, a host on the
// virtual clock, and a Writer that answers from the fuzz input.

#include <QBuffer>
#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "link/Device.h"
#include "shared/Clock.h"
#include "shared/Host.h"
#include "shared/InputFile.h"

namespace fuzz {

// The fuzz input as bytes.
inline QByteArray Bytes(const uint8_t* data, size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

// A rule of the code under test that the input broke: prints it and aborts,
// which libFuzzer keeps as a crash with the input that did it.
void Require(bool holds, const char* rule);

// A file in this process's own temporary folder (removed at exit).
QString ScratchPath(const QString& name);

// `text`'s lines read as from a file: through a device, in chunks, within a
// bound of exactly its size.
class DeviceLines {
  public:
    explicit DeviceLines(const QByteArray& text);
    LineReader& lines() { return lines_; }

  private:
    QByteArray text_;
    QBuffer buffer_;
    LineReader lines_;
};

// Stops a job that runs away: more virtual time than any job takes, or too
// many calls without the clock moving.
class Guard {
  public:
    explicit Guard(const Clock& clock) : clock_(clock) {}
    void Step();

  private:
    const Clock& clock_;
    int64_t last_ = -1;
    int stalled_ = 0;
};

// A host on the virtual clock: counts the messages, gives one answer to
// every question and names `saveAs` for the read-out.
class FuzzHost final : public Host {
  public:
    FuzzHost(VirtualClock& clock, Guard& guard, MsgAnswer answer, QString saveAs)
        : clock_(clock), guard_(guard), answer_(answer), saveAs_(std::move(saveAs)) {}
    void Sleep(int ms) override;
    void ProcessEvents() override { guard_.Step(); }
    MsgAnswer MessageBox(const QString& text, const QString& caption, MsgIcon icon,
                         MsgButtons buttons) override;
    std::optional<QString> AskSaveFileName(const QString&) override { return saveAs_; }
    int messages() const { return messages_; }

  private:
    VirtualClock& clock_;
    Guard& guard_;
    MsgAnswer answer_;
    QString saveAs_;
    int messages_ = 0;
};

// A Writer whose every reply comes from `replies`, byte after byte, however
// the job's commands go; once they are used up it stays silent (each read
// waits its time-out). The read numbered `failingRead` (from 1, 0 for none)
// fails with a driver error, and the close fails when `closeFails`. A job
// that opens it twice, uses it closed or closes it twice breaks a rule.
class ReplyDevice final : public Device {
  public:
    struct Script {
        QByteArray replies;
        int failingRead = 0;
        bool closeFails = false;
    };
    ReplyDevice(VirtualClock& clock, Guard& guard, Script script)
        : clock_(clock), guard_(guard), script_(std::move(script)) {}

    FtStatus OpenEx(const QByteArray& description) override;
    FtStatus Purge(uint32_t) override { return Call(); }
    FtStatus SetTimeouts(uint32_t readMs, uint32_t) override;
    FtStatus SetBaudRate(uint32_t) override { return Call(); }
    FtStatus SetDataCharacteristics(uint8_t, uint8_t, uint8_t) override { return Call(); }
    FtStatus SetFlowControl(uint16_t, uint8_t, uint8_t) override { return Call(); }
    FtStatus Write(const uint8_t* data, uint32_t size, uint32_t* written) override;
    FtStatus Read(uint8_t* data, uint32_t size, uint32_t* received) override;
    FtStatus Close() override;

    int opens() const { return opens_; }
    int closes() const { return closes_; }
    bool isOpen() const { return open_; }

  private:
    FtStatus Call();

    VirtualClock& clock_;
    Guard& guard_;
    Script script_;
    qsizetype next_ = 0;
    uint32_t readTimeoutMs_ = 0;
    int reads_ = 0;
    int opens_ = 0;
    int closes_ = 0;
    bool open_ = false;
};

}  // namespace fuzz
