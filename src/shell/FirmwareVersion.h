#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

class Device;
class Host;
struct AppState;

// What the Writer answered to '@'.
struct FirmwareReply {
    enum class Outcome {
        Version,      // three version characters before its 'a' or 's'
        NotAVersion,  // an answer, but not a version: another length, or a
                      // character that is not a visible one (a control
                      // character, a byte above 0x7E, a blank)
        NoAnswer,     // no Writer, a failed read or close, a character that
                      // did not arrive
    };
    Outcome outcome = Outcome::NoAnswer;
    QString version;      // with Version: "1.08"
    QByteArray received;  // with NotAVersion: the bytes before the end
};

// Asks the Writer for its firmware version with '@', quietly: when the
// Writer cannot be opened no message is shown.
FirmwareReply AskFirmwareVersion(Device& device, Host& host, AppState& state);

// The version as "1.08" when the Writer sent one; nothing in every other
// case.
std::optional<QString> QueryFirmwareVersion(Device& device, Host& host, AppState& state);

// The About box's second line: the firmware version when there is one,
// otherwise the notice that the program is for the T5813 only.
QString AboutFirmwareLine(const std::optional<QString>& version);
