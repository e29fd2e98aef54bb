#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <optional>

// Text in the Japanese Windows code page, CP932: Shift_JIS with the NEC
// special characters (①, the "∵" row), the NEC-selected and IBM extended
// kanji and Microsoft's mappings (0x8160 is "～", 0x5C a backslash). Settings
// files written on a Japanese Windows system hold their paths in it.
namespace cp932 {

// The text of `bytes`. Bytes that are not CP932 text come out as
// substitutes, which Encode does not turn back into those bytes; a
// character cut off at the end is left out.
QString Decode(QByteArrayView bytes);

// The bytes of `text`, or nothing when a character has no CP932 form (no
// nearest match is taken): the bytes always decode to `text` again.
std::optional<QByteArray> Encode(QStringView text);

}  // namespace cp932
