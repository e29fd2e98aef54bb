#include "shell/FirmwareVersion.h"

#include "link/WriterLink.h"
#include "resources/Texts.h"
#include "shared/AppState.h"
#include "shared/Host.h"

using texts::Text;

std::optional<QString> QueryFirmwareVersion(Device& device, Host& host, AppState& state) {
    state.QuietOpen = true;
    if (OpenWriter(device, host, state)) return std::nullopt;

    LinkExchange link(device);
    link.Send(cmd::kVersion);
    host.Sleep(pauses::kVersionReplyMs);

    // At most five characters; a read that times out counts the byte the
    // previous one left, so a silent Writer ends after five reads. Such a
    // character was never sent, though: a version with one is no version.
    QString characters;
    bool lost = false;
    while (characters.size() < 5) {
        const LinkExchange::Reply reply = link.Read();
        if (!reply.ok()) {
            device.Close();
            return std::nullopt;
        }
        if (reply.byte == cmd::kAck || reply.byte == cmd::kPollAck) break;
        host.ProcessEvents();
        host.ProcessEvents();
        host.Sleep(pauses::kVersionCharMs);
        characters.append(QChar::fromLatin1(static_cast<char>(reply.byte)));
        lost = lost || !reply.arrived;
    }
    if (device.Close() != FT_OK) return std::nullopt;
    if (lost || characters.size() != 3) return std::nullopt;
    return characters.left(1) + u'.' + characters.mid(1);
}

QString AboutFirmwareLine(const std::optional<QString>& version) {
    return version ? Text(texts::kFirmwarePrefix) + *version : Text(texts::kForT5813Only);
}
