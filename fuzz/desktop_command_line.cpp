// The desktop program's command line.
//
// Input: the command line's text (UTF-8); whether a ".HEX" file exists is
// taken from the text's last character. Rules: "/F" takes everything after
// the switch as the data file, a HEX-file start keeps the whole argument and
// ends in ".HEX", every refusal keeps the normal mode; splitting a Windows
// process command line never invents text.
#include "FuzzSupport.h"
#include "shell/CommandLine.h"

using fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(fuzz::Bytes(data, size));
    const bool exists = size > 0 && (data[size - 1] & 1);
    int asked = 0;
    const commandline::StartRequest request =
        commandline::Parse(text, [&asked, exists](const QString&) {
            ++asked;
            return exists;
        });
    QString argument = text;
    while (argument.startsWith(u' ')) argument.remove(0, 1);

    switch (request.verdict) {
        case commandline::Verdict::Accepted:
            if (request.StartMode == startmode::kEepromWrite) {
                Require(argument.startsWith(u"/f", Qt::CaseInsensitive) &&
                            request.StartArgument == argument.mid(2),
                        "/F takes everything after the switch");
            } else if (request.StartMode == startmode::kHexFile) {
                Require(request.StartArgument == argument &&
                            argument.endsWith(u".hex", Qt::CaseInsensitive) && exists && asked == 1,
                        "a HEX-file start names an existing .HEX file");
            } else {
                Require(request.StartMode == startmode::kNormal && text.isEmpty(),
                        "only an empty command line is a normal start");
            }
            break;
        case commandline::Verdict::CannotLoadFile:
            Require(!exists && asked == 1, "a HEX file is refused only when it cannot be read");
            [[fallthrough]];
        case commandline::Verdict::WrongArgument:
            Require(request.StartMode == startmode::kNormal, "a refused line starts nothing");
            break;
    }

    const QString rest = commandline::AfterProgramName(text);
    Require(text.endsWith(rest), "the text after the program's name is the line's end");
    return 0;
}
