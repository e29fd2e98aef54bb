#pragma once

#include <QByteArray>
#include <QString>

// Writing the files the program makes: the read-out HEX file, the settings
// file, the simulated chip's state. A regular file (or a link to one) is
// replaced atomically, and a new one made the same way: the content goes to
// a temporary file beside it, renamed over it when complete, so a failure
// leaves the old file as it was. A path that exists and is not a regular
// file (a device, a pipe, a socket, a folder) is refused and left as it is:
// never replaced, never written through.
namespace outputfile {

enum class Error {
    None,
    NotRegular,  // something other than a regular file is there
    Failed,      // the folder cannot be written, the disk is full, ...
};

// Writes `content` to `path`; on failure `why` says what went wrong.
Error Save(const QString& path, const QByteArray& content, QString* why = nullptr);

}  // namespace outputfile
