#pragma once

#include <QString>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

// The serial numbers of a run (--serial START[:STEP], --serial-file FILE):
// each chip that was written gets the next one. A number whose chip then
// failed is given back and goes to the next chip, so no number is used up
// by a failed chip and none is handed out twice, between the threads of one
// run and, with a file, between runs at the same time.
namespace cli {

// What a serial-number file keeps: the next number not yet handed out, and
// the numbers given back, smallest first. As text:
//   next=102
//   returned=100,104
struct SerialState {
    uint64_t next = 0;
    std::vector<uint64_t> returned;
    bool operator==(const SerialState&) const = default;
};
std::optional<SerialState> ParseSerialState(const QByteArray& text);
QByteArray FormatSerialState(const SerialState& state);

class SerialNumbers {
  public:
    // Numbers from `start` on in steps of `step`, at most `max`; kept in
    // `file` when it is not empty (`start` is used only while the file does
    // not exist yet, or is empty).
    SerialNumbers(uint64_t start, uint64_t step, uint64_t max, QString file);

    // The next number, or nothing and `why` (the numbers are used up, the
    // file cannot be read, locked or written).
    std::optional<uint64_t> Take(QString* why);
    // A number Take gave whose chip did not get it: handed out again first.
    bool GiveBack(uint64_t number, QString* why);

  private:
    // Runs `change` on the state (the file's, under its lock) and keeps
    // what it leaves there.
    template <typename Change>
    bool Update(Change change, QString* why);

    const uint64_t start_, step_, max_;
    const QString file_;
    std::mutex mutex_;
    SerialState memory_;  // without a file
};

}  // namespace cli
