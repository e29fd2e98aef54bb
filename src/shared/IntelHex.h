#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>
#include <optional>
#include <span>

// Intel HEX records, one per line: ":" count(2) address(4) type(2) data
// checksum(2), hexadecimal digits of either case. A record is accepted only
// when every field is complete, all its digits are hexadecimal and its
// checksum matches; characters after the checksum are ignored.
namespace hex {

enum class RecordError {
    None,
    NoStartMark,  // the line does not start with ':' (an empty line included)
    TooShort,     // the line ends before the data and checksum its count announces
    BadDigit,     // a character that is not a hexadecimal digit inside the record
    BadChecksum,
};

// A short English description of an error, for diagnostics.
const char* RecordErrorName(RecordError error);

struct Record {
    static constexpr uint8_t kData = 0x00;
    static constexpr uint8_t kEnd = 0x01;
    static constexpr uint8_t kExtendedSegment = 0x02;  // base = value * 16
    static constexpr uint8_t kExtendedLinear = 0x04;   // base = value * 65536

    uint8_t byteCount = 0;
    uint16_t address = 0;  // the 16-bit byte address as written
    uint8_t type = 0;
    QByteArray data;

    bool isData() const { return type == kData; }
    bool isEnd() const { return type == kEnd; }
    // The byte address as the program reads it: a signed 16-bit value.
    int16_t signedAddress() const { return static_cast<int16_t>(address); }
};

struct ParsedLine {
    RecordError error = RecordError::None;
    Record record;
    bool ok() const { return error == RecordError::None; }
};

ParsedLine ParseRecord(QByteArrayView line);

// The lines of a text file, ends at CR LF, CR or LF; the line ends are not
// part of the lines. A final line end does not start another line.
QList<QByteArray> SplitLines(const QByteArray& text);

// One record line without its line end, upper-case digits.
QByteArray FormatRecord(uint16_t address, uint8_t type, std::span<const uint8_t> data);
inline QByteArray EndRecord() {
    return QByteArrayLiteral(":00000001FF");
}

// Appends `words` as data records of eight words (16 bytes, the last one
// shorter when the count is not a multiple of eight), each word low byte
// first, the first at word address `firstWord` (byte address twice that);
// every line ends with CR LF.
void AppendWordRecords(QByteArray& out, int firstWord, std::span<const uint16_t> words);

// The word address of a data record's byte address: half the byte
// address, rounded to the nearest integer with ties to even.
int64_t WordAddressRounded(int64_t byteAddress);

// The full byte addresses of data records: the base that extended segment
// and extended linear address records set, plus the record's own address.
class AddressBase {
  public:
    // Takes the base from an extended address record (a record of another
    // type, or one without its two bytes, changes nothing).
    void Take(const Record& record);
    int64_t Full(const Record& record) const { return base_ + record.address; }

  private:
    int64_t base_ = 0;
};

}  // namespace hex
