#pragma once

#include <QString>

// True when the file at `path` can be opened for reading (an empty path, a
// directory, a missing or unreadable file give false). Leaves nothing open.
bool FileExists(const QString& path);
