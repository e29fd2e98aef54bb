#include "sim/SimDevice.h"

#include "link/protocol/Protocol.h"
#include "shared/Clock.h"
#include "sim/ChipStateFile.h"

SimDevice::SimDevice(Clock& clock, Options options)
    : clock_(clock), options_(std::move(options)), firmware_(options_.faults) {}

SimDevice::~SimDevice() {
    if (isOpen()) Close();
}

QString SimDevice::HexBytes(const uint8_t* data, uint32_t size) {
    QString text;
    text.reserve(static_cast<qsizetype>(size) * 3);
    for (uint32_t i = 0; i < size; ++i) {
        if (i > 0) text.append(u' ');
        text.append(QStringLiteral("%1").arg(data[i], 2, 16, QLatin1Char('0')).toUpper());
    }
    return text;
}

void SimDevice::Trace(const QString& line) {
    if (!Tracing()) return;
    const QString stamped = QStringLiteral("%1 %2").arg(clock_.NowMs() - openedAt_).arg(line);
    if (options_.traceSink) options_.traceSink(stamped);
    QString why;
    if (trace_.isOpen() && !trace_.Append(stamped.toUtf8() + '\n', &why)) {
        traceError_ = QStringLiteral("QLARKW_SIM_TRACE: ") + why;
        trace_.Close();
    }
}

bool SimDevice::Gone() {
    ++callCount_;
    return !traceError_.isEmpty() ||
           (options_.faults.goneAtCall && callCount_ >= *options_.faults.goneAtCall);
}

QString SimDevice::GoneWhy() const {
    return traceError_.isEmpty() ? QStringLiteral("the simulated Writer has been unplugged")
                                 : traceError_;
}

FtStatus SimDevice::Setting(const QString& what) {
    const bool gone = Gone();
    if (!isOpen()) return FT_INVALID_HANDLE;
    if (gone) {
        Trace(what + QStringLiteral(" error"));
        return Fail(FT_IO_ERROR, GoneWhy());
    }
    Trace(what);
    return FT_OK;
}

FtStatus SimDevice::OpenEx(const QByteArray& description) {
    ClearError();
    traceError_.clear();
    const bool gone = Gone();
    if (isOpen())
        return Fail(FT_DEVICE_NOT_OPENED, QStringLiteral("the simulated Writer is already open"));
    openedAt_ = clock_.NowMs();
    if (!options_.tracePath.isEmpty()) {
        QString why;
        if (trace_.Open(options_.tracePath, &why) != outputfile::Error::None)
            return Fail(FT_OTHER_ERROR, QStringLiteral("QLARKW_SIM_TRACE: ") + why);
    }
    const QString what = QStringLiteral("open ") + QString::fromLatin1(description);
    auto failed = [&](FtStatus status, const QString& why) {
        Trace(what + QStringLiteral(" failed"));
        trace_.Close();
        return Fail(status, why);
    };
    if (gone || options_.faults.openFails || description != kDeviceDescription) {
        return failed(FT_DEVICE_NOT_FOUND,
                      gone ? GoneWhy()
                      : options_.faults.openFails
                          ? QStringLiteral("the simulated Writer was told to fail to open")
                          : QStringLiteral("no simulated device has that description"));
    }
    if (!options_.statePath.isEmpty()) {
        // Saved back at once: a chip that cannot be kept is found out
        // before a job changes it.
        QString error;
        const std::optional<ChipMemory> chip = chipstate::Load(options_.statePath, &error);
        if (!chip || !chipstate::Save(options_.statePath, *chip, &error))
            return failed(FT_OTHER_ERROR, QStringLiteral("QLARKW_SIM_STATE: ") + error);
        firmware_.chip() = savedChip_ = *chip;
    }
    Trace(what);
    if (!traceError_.isEmpty()) return Fail(FT_OTHER_ERROR, traceError_);
    open_ = true;
    ++openCount_;
    pending_.clear();
    readTimeoutMs_ = 0;
    latencyMs_ = options_.latencyMs;
    latencySince_ = repliesCrossAt_ = clock_.NowMs();
    return FT_OK;
}

FtStatus SimDevice::Purge(uint32_t mask) {
    const FtStatus status = Setting(QStringLiteral("purge %1").arg(mask));
    if (status == FT_OK && (mask & FT_PURGE_RX)) pending_.clear();
    return status;
}

FtStatus SimDevice::SetTimeouts(uint32_t readMs, uint32_t writeMs) {
    const FtStatus status = Setting(QStringLiteral("timeouts %1 %2").arg(readMs).arg(writeMs));
    if (status == FT_OK) readTimeoutMs_ = readMs;
    return status;
}

FtStatus SimDevice::SetBaudRate(uint32_t baud) {
    return Setting(QStringLiteral("baud %1").arg(baud));
}

FtStatus SimDevice::SetDataCharacteristics(uint8_t wordLength, uint8_t stopBits, uint8_t parity) {
    return Setting(QStringLiteral("data %1 %2 %3").arg(wordLength).arg(stopBits).arg(parity));
}

FtStatus SimDevice::SetFlowControl(uint16_t flow, uint8_t xon, uint8_t xoff) {
    return Setting(QStringLiteral("flow %1 %2 %3").arg(flow).arg(xon).arg(xoff));
}

FtStatus SimDevice::SetLatencyTimer(uint8_t ms) {
    const FtStatus status = Setting(QStringLiteral("latency %1").arg(ms));
    // Without a timer to model (0) the call changes nothing: replies keep
    // crossing at once, and the virtual times of the jobs stay as they are.
    if (status == FT_OK && options_.latencyMs > 0) {
        latencyMs_ = ms;
        latencySince_ = clock_.NowMs();
    }
    return status;
}

int64_t SimDevice::NextLatencyExpiry(int64_t ms) const {
    if (latencyMs_ == 0 || ms <= latencySince_) return ms;
    const int64_t periods = (ms - latencySince_ + latencyMs_ - 1) / latencyMs_;
    return latencySince_ + periods * latencyMs_;
}

FtStatus SimDevice::Write(const uint8_t* data, uint32_t size, uint32_t* written) {
    if (written) *written = 0;
    const bool gone = Gone();
    if (!isOpen()) return FT_INVALID_HANDLE;
    if (gone) {
        if (Tracing())
            Trace(QStringLiteral("w ") + HexBytes(data, size) + QStringLiteral(" error"));
        return Fail(FT_IO_ERROR, GoneWhy());
    }
    if (Tracing()) Trace(QStringLiteral("w ") + HexBytes(data, size));
    const qsizetype before = pending_.size();
    for (uint32_t i = 0; i < size; ++i) pending_.append(firmware_.Receive(data[i]));
    // The reply is at the bridge now; it crosses USB at the timer's next
    // expiry (strictly after now: the expiry that is happening has just
    // sent what was there before).
    if (pending_.size() > before && latencyMs_ > 0)
        repliesCrossAt_ = NextLatencyExpiry(clock_.NowMs() + 1);
    if (written) *written = size;
    return FT_OK;
}

FtStatus SimDevice::Read(uint8_t* data, uint32_t size, uint32_t* received) {
    if (received) *received = 0;
    const bool gone = Gone();
    if (!isOpen()) return FT_INVALID_HANDLE;
    ++readCount_;
    if (gone || (options_.faults.readErrorAt && *options_.faults.readErrorAt == readCount_)) {
        Trace(QStringLiteral("r error"));
        return Fail(
            FT_IO_ERROR,
            gone ? GoneWhy() : QStringLiteral("the simulated Writer was told to fail this read"));
    }
    if (options_.faults.dropReadAt && *options_.faults.dropReadAt == readCount_) {
        // What the Writer sent for this read is lost on the way.
        pending_.remove(0, std::min<qsizetype>(size, pending_.size()));
        clock_.SleepMs(readTimeoutMs_);
        Trace(QStringLiteral("r timeout"));
        return FT_OK;
    }
    if (!pending_.isEmpty() && clock_.NowMs() < repliesCrossAt_)
        clock_.SleepMs(repliesCrossAt_ - clock_.NowMs());
    const auto n = static_cast<uint32_t>(std::min<qsizetype>(size, pending_.size()));
    std::copy_n(reinterpret_cast<const uint8_t*>(pending_.constData()), n, data);
    pending_.remove(0, n);
    if (received) *received = n;
    if (n < size) {
        // Nothing more will come: the Writer has answered all it will.
        clock_.SleepMs(readTimeoutMs_);
    }
    if (Tracing()) {
        QString line = QStringLiteral("r");
        if (n > 0) line += u' ' + HexBytes(data, n);
        if (n < size) line += QStringLiteral(" timeout");
        Trace(line);
    }
    return FT_OK;
}

FtStatus SimDevice::Close() {
    const bool gone = Gone();
    if (!isOpen()) return FT_INVALID_HANDLE;
    // The handle is let go even when the Writer is gone; the chip keeps
    // what it was given.
    open_ = false;
    ++closeCount_;
    pending_.clear();
    FtStatus status = FT_OK;
    if (!options_.statePath.isEmpty() && firmware_.chip() != savedChip_) {
        QString error;
        if (chipstate::Save(options_.statePath, firmware_.chip(), &error))
            savedChip_ = firmware_.chip();
        else
            status = Fail(FT_IO_ERROR, QStringLiteral("QLARKW_SIM_STATE: ") + error);
    }
    if (gone)
        status = Fail(FT_IO_ERROR, GoneWhy());
    else if (options_.faults.closeFails)
        status =
            Fail(FT_IO_ERROR, QStringLiteral("the simulated Writer was told to fail to close"));
    Trace(status == FT_OK ? QStringLiteral("close") : QStringLiteral("close failed"));
    if (status == FT_OK && !traceError_.isEmpty()) status = Fail(FT_IO_ERROR, traceError_);
    trace_.Close();
    return status;
}
