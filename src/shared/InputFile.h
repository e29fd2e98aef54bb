#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstdint>

// Reading the files that come from outside the program: HEX files, the
// settings file, EEPROM data files. Only a regular file is read; a device, a
// pipe, a socket or a folder is refused without ever being opened for a
// blocking read. A file above its size bound is refused before it is read,
// and lines are read as a stream, so memory and time stay bounded whatever
// the input.
namespace inputfile {

// A full chip's HEX file is about 6 KB; the settings file and an EEPROM data
// file a few hundred bytes.
inline constexpr qint64 kMaxHexBytes = 4 * 1024 * 1024;
inline constexpr qint64 kMaxSettingsBytes = 1024 * 1024;
inline constexpr qint64 kMaxDataFileBytes = 1024 * 1024;

enum class Error {
    None,
    Missing,     // no file at the path (an empty path included)
    NotRegular,  // a folder, a device, a pipe or a socket
    TooLarge,    // larger than the bound
    Unreadable,  // no permission, a loop of links, ...
};

// The two steps InputFile takes, each on its own; `why` gets the words of
// a failure.
//
// The look at `path` before it is opened: a device may already act on an
// open, and a pipe opened for a blocking read waits for a writer, so
// anything but a regular file of at most `maxBytes` is refused unopened.
Error LookAtPath(const QString& path, qint64 maxBytes, QString* why);
// The open: without waiting (a pipe without a writer, a device), then a
// look at what was opened, kept in `file` only when it is a regular file.
// A path that was replaced after LookAtPath is refused here.
Error OpenRegularFile(const QString& path, QFile& file, QString* why);

}  // namespace inputfile

class InputFile {
  public:
    // Opens `path` for reading when it is a regular file of at most
    // `maxBytes` bytes.
    InputFile(const QString& path, qint64 maxBytes);

    bool isOpen() const { return error_ == inputfile::Error::None; }
    inputfile::Error error() const { return error_; }
    // Why the file could not be opened, in words ("not a regular file").
    QString errorString() const { return errorString_; }
    qint64 maxBytes() const { return maxBytes_; }
    QIODevice& device() { return file_; }

  private:
    QFile file_;
    qint64 maxBytes_;
    QString errorString_;  // filled while error_ is worked out
    inputfile::Error error_;
};

// The lines of a text, read as they are needed from a device or taken from
// a text in memory. Lines end at CR LF, CR or LF; the line ends are not part
// of the lines, and a final line end does not start another line. A UTF-8
// byte order mark before the first line is skipped.
class LineReader {
  public:
    // Reads from `device`, at most `maxBytes` bytes (a device that delivers
    // more fails the reader).
    LineReader(QIODevice& device, qint64 maxBytes);
    // Reads from `file`, within its bound.
    explicit LineReader(InputFile& file) : LineReader(file.device(), file.maxBytes()) {}
    // The lines of `text`.
    explicit LineReader(QByteArray text);

    // The next line; false at the end of the input or when reading failed.
    bool Next(QByteArray* line);
    // Reading failed (a read error, or more bytes than the bound).
    bool failed() const { return failed_; }
    // The number of the line Next() returned last, counting from 1.
    int lineNumber() const { return lineNumber_; }

  private:
    bool Fill();

    QIODevice* device_ = nullptr;
    qint64 left_ = 0;  // bytes the device may still deliver
    QByteArray buffer_;
    qsizetype pos_ = 0;
    bool atEnd_ = false;
    bool failed_ = false;
    bool skipLf_ = false;  // the last line ended in CR: a LF that follows belongs to it
    bool first_ = true;
    int lineNumber_ = 0;
};
