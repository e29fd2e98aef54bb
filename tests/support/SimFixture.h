#pragma once

#include <QStringList>
#include <memory>

#include "TestHost.h"
#include "shared/AppState.h"
#include "sim/SimDevice.h"

// The simulated Writer on a virtual clock, with its trace kept in memory:
// lines "<ms since open> <call>", as QLARKW_SIM_TRACE writes them.
struct SimRig {
    explicit SimRig(FaultPlan faults = {}) {
        SimDevice::Options options;
        options.faults = std::move(faults);
        options.traceSink = [this](const QString& line) { trace << line; };
        device = std::make_unique<SimDevice>(clock, std::move(options));
        state.BoardMode = 2;
    }

    // The trace without the time stamps.
    QStringList Calls() const {
        QStringList calls;
        for (const QString& line : trace) calls << line.section(u' ', 1);
        return calls;
    }
    // Only the bytes on the wire: "w 41", "r 61", ...
    QStringList Wire() const {
        QStringList wire;
        for (const QString& call : Calls()) {
            if (call.startsWith(u"w ") || call.startsWith(u"r ") || call == u"r") wire << call;
        }
        return wire;
    }

    VirtualClock clock;
    TestHost host{clock};
    AppState state;
    QStringList trace;
    std::unique_ptr<SimDevice> device;
};
