#include "shared/IntelHex.h"

namespace hex {
namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

constexpr char kDigits[] = "0123456789ABCDEF";

void AppendByte(QByteArray& out, uint8_t value) {
    out.append(kDigits[value >> 4]);
    out.append(kDigits[value & 0x0F]);
}

}  // namespace

const char* RecordErrorName(RecordError error) {
    switch (error) {
        case RecordError::None:
            return "no error";
        case RecordError::NoStartMark:
            return "the line does not start with ':'";
        case RecordError::TooShort:
            return "the line is shorter than its byte count says";
        case RecordError::BadDigit:
            return "a character that is not a hexadecimal digit";
        case RecordError::BadChecksum:
            return "the checksum does not match";
    }
    return "unknown error";
}

ParsedLine ParseRecord(QByteArrayView line) {
    ParsedLine result;
    if (line.isEmpty() || line[0] != ':') {
        result.error = RecordError::NoStartMark;
        return result;
    }
    // Reads the byte at character position 1 + 2 * index.
    auto byteAt = [&](qsizetype index, uint8_t* value) -> RecordError {
        const qsizetype pos = 1 + 2 * index;
        if (pos + 2 > line.size()) return RecordError::TooShort;
        const int high = HexDigit(line[pos]);
        const int low = HexDigit(line[pos + 1]);
        if (high < 0 || low < 0) return RecordError::BadDigit;
        *value = static_cast<uint8_t>(high * 16 + low);
        return RecordError::None;
    };
    uint8_t header[4];
    for (int i = 0; i < 4; ++i) {
        if (const RecordError e = byteAt(i, &header[i]); e != RecordError::None) {
            result.error = e;
            return result;
        }
    }
    Record& record = result.record;
    record.byteCount = header[0];
    record.address = static_cast<uint16_t>(header[1] << 8 | header[2]);
    record.type = header[3];
    // Completeness first: a truncated line is "too short" even if a stray
    // character sits in what is there.
    if (1 + 2 * (4 + record.byteCount + 1) > line.size()) {
        result.error = RecordError::TooShort;
        return result;
    }
    unsigned sum = header[0] + header[1] + header[2] + header[3];
    record.data.resize(record.byteCount);
    for (int i = 0; i < record.byteCount; ++i) {
        uint8_t value = 0;
        if (const RecordError e = byteAt(4 + i, &value); e != RecordError::None) {
            result.error = e;
            return result;
        }
        record.data[i] = static_cast<char>(value);
        sum += value;
    }
    uint8_t checksum = 0;
    if (const RecordError e = byteAt(4 + record.byteCount, &checksum); e != RecordError::None) {
        result.error = e;
        return result;
    }
    if (((sum + checksum) & 0xFF) != 0) result.error = RecordError::BadChecksum;
    return result;
}

QList<QByteArray> SplitLines(const QByteArray& text) {
    QList<QByteArray> lines;
    qsizetype start = 0;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char c = text[i];
        if (c != '\r' && c != '\n') continue;
        lines.append(text.mid(start, i - start));
        if (c == '\r' && i + 1 < size && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < size) lines.append(text.mid(start));
    return lines;
}

QByteArray FormatRecord(uint16_t address, uint8_t type, std::span<const uint8_t> data) {
    QByteArray out;
    out.reserve(11 + 2 * static_cast<qsizetype>(data.size()));
    out.append(':');
    const auto count = static_cast<uint8_t>(data.size());
    const auto high = static_cast<uint8_t>(address >> 8);
    const auto low = static_cast<uint8_t>(address & 0xFF);
    unsigned sum = count + high + low + type;
    AppendByte(out, count);
    AppendByte(out, high);
    AppendByte(out, low);
    AppendByte(out, type);
    for (const uint8_t value : data) {
        AppendByte(out, value);
        sum += value;
    }
    AppendByte(out, static_cast<uint8_t>((0x100 - (sum & 0xFF)) & 0xFF));
    return out;
}

void AppendWordRecords(QByteArray& out, int firstWord, std::span<const uint16_t> words) {
    constexpr size_t kWordsPerRecord = 8;
    for (size_t i = 0; i < words.size(); i += kWordsPerRecord) {
        uint8_t bytes[2 * kWordsPerRecord];
        size_t n = 0;
        for (size_t k = i; k < words.size() && k < i + kWordsPerRecord; ++k) {
            bytes[n++] = static_cast<uint8_t>(words[k] & 0xFF);
            bytes[n++] = static_cast<uint8_t>(words[k] >> 8);
        }
        const auto address = static_cast<uint16_t>(2 * (firstWord + static_cast<int>(i)));
        out.append(FormatRecord(address, 0x00, std::span<const uint8_t>(bytes, n)));
        out.append("\r\n");
    }
}

int64_t WordAddressRounded(int64_t byteAddress) {
    const int64_t a = byteAddress;
    if (a % 2 == 0) return a / 2;
    // a / 2 lies halfway between two integers: take the even one.
    const int64_t below = (a - 1) / 2;  // exact: a - 1 is even
    return below % 2 == 0 ? below : below + 1;
}

void AddressBase::Take(const Record& record) {
    if (record.data.size() != 2) return;
    const int64_t value =
        static_cast<uint8_t>(record.data[0]) << 8 | static_cast<uint8_t>(record.data[1]);
    if (record.type == Record::kExtendedSegment) base_ = value << 4;
    if (record.type == Record::kExtendedLinear) base_ = value << 16;
}

}  // namespace hex
