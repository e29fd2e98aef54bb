#include "jobs/JobSteps.h"

#include "link/Device.h"
#include "link/WriterLink.h"

JobOutcome OpenAndSelectBoard(JobEnv& env) {
    if (OpenWriter(env.device, env.host, env.state)) return JobOutcome::NotOpened;
    if (HandshakeWriter(env.device, env.host, env.state)) {
        env.device.Close();
        return JobOutcome::LinkFailure;
    }
    return JobOutcome::Done;
}
