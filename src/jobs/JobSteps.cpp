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

JobOutcome OutcomeOf(WriterError code) {
    return code == kWriterNoBoard ? JobOutcome::NoBoard : JobOutcome::LinkFailure;
}

JobOutcome OpenAndStart(JobEnv& env, LinkExchange& link, const CommandStart& start) {
    if (const JobOutcome opened = OpenAndSelectBoard(env); opened != JobOutcome::Done)
        return opened;
    if (const WriterError code = StartCommand(link, env.host, start); code != kWriterOk) {
        env.device.Close();
        ReportWriterError(env.host, code);
        return OutcomeOf(code);
    }
    return JobOutcome::Done;
}
