// An EEPROM data file, as the "/F" start and `qlarkw-cli eeprom write` read
// it.
//
// Input: the file's text. Rules: it reads the same from memory and from a
// device; a file that is accepted gives bytes that, written back as a data
// file, read again as the same bytes; a refused file names a line it has.
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

    if (contents.error == eepromfile::Error::BadField) {
        Require(contents.errorLine >= 1 &&
                    contents.errorLine <= text.count('\n') + text.count('\r') + 1,
                "a bad field's line is a line of the file");
    }
    if (contents.error != eepromfile::Error::None) return 0;
    const eepromfile::Contents again = eepromfile::Parse(eepromfile::Format(contents.bytes));
    Require(again.error == eepromfile::Error::None && again.bytes == contents.bytes,
            "the bytes of a data file, written back, read again the same");
    return 0;
}
