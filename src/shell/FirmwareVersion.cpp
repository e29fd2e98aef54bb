#include "shell/FirmwareVersion.h"

#include <algorithm>

#include "link/WriterLink.h"
#include "resources/Texts.h"
#include "shared/AppState.h"
#include "shared/Host.h"

using texts::Text;

namespace {

// The characters a version is made of: visible ASCII, no blank.
bool IsVersionCharacter(char c) {
    return c > ' ' && c <= '~';
}

}  // namespace

FirmwareReply AskFirmwareVersion(Device& device, Host& host, AppState& state) {
    FirmwareReply answer;
    state.QuietOpen = true;
    if (OpenWriter(device, host, state)) return answer;

    LinkExchange link(device);
    link.Send(cmd::kVersion);
    host.Sleep(pauses::kVersionReplyMs);

    // At most five characters; a read that times out counts the byte the
    // previous one left, so a silent Writer ends after five reads. Such a
    // character was never sent, though: a version with one is no answer.
    QByteArray characters;
    bool lost = false;
    while (characters.size() < 5) {
        const LinkExchange::Reply reply = link.Read();
        if (!reply.ok()) {
            device.Close();
            return answer;
        }
        if (reply.byte == cmd::kAck || reply.byte == cmd::kPollAck) break;
        host.ProcessEvents();
        host.ProcessEvents();
        host.Sleep(pauses::kVersionCharMs);
        characters.append(static_cast<char>(reply.byte));
        lost = lost || !reply.arrived;
    }
    if (device.Close() != FT_OK || lost) return answer;
    if (characters.size() != 3 ||
        !std::all_of(characters.begin(), characters.end(), IsVersionCharacter)) {
        answer.outcome = FirmwareReply::Outcome::NotAVersion;
        answer.received = characters;
        return answer;
    }
    answer.outcome = FirmwareReply::Outcome::Version;
    answer.version = QString::fromLatin1(characters.left(1) + '.' + characters.mid(1));
    return answer;
}

std::optional<QString> QueryFirmwareVersion(Device& device, Host& host, AppState& state) {
    FirmwareReply answer = AskFirmwareVersion(device, host, state);
    if (answer.outcome != FirmwareReply::Outcome::Version) return std::nullopt;
    return std::move(answer.version);
}

QString AboutFirmwareLine(const std::optional<QString>& version) {
    return version ? Text(texts::kFirmwarePrefix) + *version : Text(texts::kForT5813Only);
}
