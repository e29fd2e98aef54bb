#pragma once

#include <QByteArray>
#include <QString>

#ifdef Q_OS_WIN
#include <QFile>
#endif

// Writing the files the program makes: the read-out HEX file, the EEPROM
// data file, the settings file, the simulated chip's state and its trace.
//
// A regular file (or a link to one) is replaced atomically, and a new one
// made the same way: the content goes to a temporary file beside it, every
// byte of it checked and flushed to disk, and the temporary file is renamed
// over the target only then; the folder is flushed after the rename, so
// that even a power cut leaves the old file or the new one, never an empty
// one. Any failure removes the temporary file and leaves the old file as it
// was. A replaced file keeps its permission bits and, where the process may
// give it, its owner; a new one gets the usual mode (0666 less the umask).
//
// A path that is not a regular file, a link to one or a new name (a device,
// a pipe, a socket, a folder, a link that loops or leads nowhere that can
// be made) is refused and left as it is: never replaced, never written
// through, and never waited on.
namespace outputfile {

enum class Error {
    None,
    NotRegular,  // something other than a regular file is there
    Failed,      // the folder cannot be written, the disk is full, ...
};

// Writes `content` to `path`; on failure `why` names the path and the
// reason.
Error Save(const QString& path, const QByteArray& content, QString* why = nullptr);

// A file that is only ever added to, a line at a time: a trace. It is
// opened under the same rules as Save (a regular file, a link to one, or a
// new name; anything else is refused at once), and each Append adds all of
// its bytes or, when the disk is full, none of them.
class AppendFile {
  public:
    AppendFile() = default;
    ~AppendFile() { Close(); }
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;

    Error Open(const QString& path, QString* why = nullptr);
    bool Append(const QByteArray& bytes, QString* why = nullptr);
    // The same under an exclusive advisory lock on the whole file, waited
    // for: appends of other threads and programs that lock it too never
    // interleave with these bytes.
    bool AppendLocked(const QByteArray& bytes, QString* why = nullptr);
    void Close();
    bool isOpen() const;

  private:
    QString path_;
#ifdef Q_OS_WIN
    QFile file_;
#else
    int fd_ = -1;
#endif
};

}  // namespace outputfile
