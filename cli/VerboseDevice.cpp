#include "cli/VerboseDevice.h"

namespace cli {

FtStatus VerboseDevice::SetLatencyTimer(uint8_t ms) {
    const FtStatus status = ForwardingDevice::SetLatencyTimer(ms);
    if (status != FT_OK && say_) {
        const QString why = inner_->LastError();
        say_(QStringLiteral("device: latency timer not set to %1 ms (%2); each reply may wait "
                            "for the bridge's own timer")
                 .arg(ms)
                 .arg(why.isEmpty() ? QLatin1String(FtStatusName(status)) : why));
    }
    return status;
}

}  // namespace cli
