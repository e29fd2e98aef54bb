// An EEPROM data file, as the "/F" start and `qlarkw-cli eeprom write` read
// it.
//
// Input: the file's text. Rules: it reads the same from memory and from a
// device; a file that is accepted holds at least 128 numbers, in each four
// the first and third are the addresses 2k and 2k + 1 and the second and
// fourth their bytes, 0 to 255, and written back as a data file the bytes
// read again the same; a refused file names a line it has.
#include "FuzzSupport.h"
#include "eeprom/EepromDataFile.h"

using fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray text = fuzz::Bytes(data, size);
    const eepromfile::Contents contents = eepromfile::Parse(text);
    fuzz::DeviceLines lines(text);
    const eepromfile::Contents fromDevice = eepromfile::Parse(lines.lines());
    Require(contents.error == fromDevice.error && contents.errorLine == fromDevice.errorLine &&
                contents.bytes == fromDevice.bytes,
            "a data file reads the same from memory and from a device");

    if (contents.error == eepromfile::Error::BadField ||
        contents.error == eepromfile::Error::WrongAddress) {
        Require(contents.errorLine >= 1 &&
                    contents.errorLine <= text.count('\n') + text.count('\r') + 1,
                "a bad field's line is a line of the file");
    }
    if (contents.error != eepromfile::Error::None) return 0;
    // The numbers read the simplest way: whatever separates them, and the
    // byte order mark, is a blank.
    QByteArray numbers = text.startsWith("\xEF\xBB\xBF") ? text.mid(3) : text;
    for (const char separator : {',', '\t', '\r', '\n'}) numbers.replace(separator, ' ');
    QList<QByteArray> fields = numbers.split(' ');
    fields.removeAll(QByteArray());
    Require(fields.size() >= eepromfile::kFields, "an accepted file holds 128 numbers");
    for (int i = 0; i < eepromfile::kFields; i += 2) {
        bool ok = false;
        Require(fields[i].toInt(&ok) == i / 2 && ok, "each address is its record's, 2k or 2k + 1");
        const int value = fields[i + 1].toInt(&ok);
        Require(ok && value >= 0 && value <= 0xFF && contents.bytes[i / 2] == value,
                "each byte is the number after its address, 0 to 255");
    }
    const eepromfile::Contents again = eepromfile::Parse(eepromfile::Format(contents.bytes));
    Require(again.error == eepromfile::Error::None && again.bytes == contents.bytes,
            "the bytes of a data file, written back, read again the same");
    return 0;
}
