#pragma once

#include <QString>
#include <optional>

class Device;
class Host;
struct AppState;

// Asks the Writer for its firmware version with '@', quietly: when the
// Writer cannot be opened no message is shown. Returns the version as
// "1.08" when the Writer sent exactly three characters before its 'a' or 's';
// nothing in every other case (no Writer, a failed read or close, a reply
// of another length, a character that did not arrive).
std::optional<QString> QueryFirmwareVersion(Device& device, Host& host, AppState& state);

// The About box's second line: the firmware version when there is one,
// otherwise the notice that the program is for the T5813 only.
QString AboutFirmwareLine(const std::optional<QString>& version);
