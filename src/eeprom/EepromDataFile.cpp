#include "eeprom/EepromDataFile.h"

#include <limits>
#include <optional>

#include "shared/InputFile.h"

namespace eepromfile {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// A whole decimal number with an optional sign; longer numbers than any
// field needs are refused rather than wrapped.
std::optional<int> WholeNumber(QByteArrayView text) {
    constexpr qsizetype kMaxDigits = 9;
    qsizetype i = 0;
    const bool negative = !text.isEmpty() && text[0] == '-';
    if (!text.isEmpty() && (text[0] == '-' || text[0] == '+')) ++i;
    if (i == text.size() || text.size() - i > kMaxDigits) return std::nullopt;
    int value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        value = value * 10 + (text[i] - '0');
    }
    return negative ? -value : value;
}

// The fields of one line: commas separate fields, blanks separate them
// too; an empty field between commas is a bad one (nothing is in it).
// Returns false at the first bad field. Stops, with true, once `enough`
// says so: what follows is not read, empty fields included.
template <typename OnField, typename Enough>
bool ForEachField(const QByteArray& line, OnField onField, Enough enough) {
    const bool hasComma = line.contains(',');
    for (const QByteArray& piece : line.split(',')) {
        if (enough()) return true;
        bool any = false;
        qsizetype i = 0;
        while (i < piece.size()) {
            while (i < piece.size() && IsBlank(piece[i])) ++i;
            if (i == piece.size()) break;
            qsizetype end = i;
            while (end < piece.size() && !IsBlank(piece[end])) ++end;
            any = true;
            if (!onField(QByteArrayView(piece).sliced(i, end - i))) return false;
            if (enough()) return true;
            i = end;
        }
        if (!any && hasComma) return false;
    }
    return true;
}

}  // namespace

Contents Parse(LineReader& lines) {
    Contents contents;
    int fields = 0;
    QByteArray line;
    while (fields < kFields && contents.error == Error::None && lines.Next(&line)) {
        Error fault = Error::BadField;  // an empty field, unless a field says otherwise
        const bool good = ForEachField(
            line,
            [&](QByteArrayView text) {
                const std::optional<int> value = WholeNumber(text);
                const int index = fields++;
                // Fields pair up: an address, then the byte for it.
                const int address = index / 2;
                const bool isByte = index % 2 == 1;
                if (!value || (isByte && (*value < 0 || *value > 0xFF))) return false;
                if (!isByte) {
                    if (*value == address) return true;
                    fault = Error::WrongAddress;
                    return false;
                }
                contents.bytes[address] = static_cast<uint8_t>(*value);
                return true;
            },
            [&]() { return fields == kFields; });
        if (!good) {
            contents.error = fault;
            contents.errorLine = lines.lineNumber();
        }
    }
    if (contents.error != Error::None) return contents;
    if (lines.failed()) {
        contents.error = Error::Unreadable;
    } else if (fields < kFields) {
        contents.error = Error::TooShort;
        contents.errorLine = lines.lineNumber() + 1;
    }
    return contents;
}

Contents Parse(const QByteArray& text) {
    LineReader lines(text);
    return Parse(lines);
}

Contents Load(const QString& path) {
    // Only the first 128 numbers count, and they are read as the lines come:
    // a file of any size is opened, and the reader reads no further than
    // they need, and never more than the data file's bound.
    InputFile file(path, std::numeric_limits<qint64>::max());
    if (!file.isOpen()) {
        Contents contents;
        contents.error =
            file.error() == inputfile::Error::Missing ? Error::Missing : Error::Unreadable;
        return contents;
    }
    LineReader lines(file.device(), inputfile::kMaxDataFileBytes);
    return Parse(lines);
}

QByteArray Format(const std::array<uint8_t, memorymap::kEepromBytes>& bytes) {
    QByteArray out;
    for (int k = 0; k < kRecords; ++k) {
        out += QByteArray::number(2 * k) + ',' + QByteArray::number(bytes[2 * k]) + ',' +
               QByteArray::number(2 * k + 1) + ',' + QByteArray::number(bytes[2 * k + 1]) + "\r\n";
    }
    return out;
}

}  // namespace eepromfile
