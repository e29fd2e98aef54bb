#include "shared/InputFile.h"

#include <QFileInfo>
#include <algorithm>

#ifdef Q_OS_UNIX
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#endif

using inputfile::Error;

namespace {

constexpr qint64 kChunkBytes = 64 * 1024;
constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";

QString TooLargeText(qint64 maxBytes) {
    return QStringLiteral("larger than %1 bytes").arg(maxBytes);
}

#ifdef Q_OS_UNIX

// Opens `path` into `file` when it is a regular file of at most `maxBytes`.
Error Open(const QString& path, qint64 maxBytes, QFile& file, QString* why) {
    auto fail = [why](Error error, const QString& text) {
        *why = text;
        return error;
    };
    if (path.isEmpty()) return fail(Error::Missing, QStringLiteral("no file name"));
    const QByteArray native = QFile::encodeName(path);
    // Looked at before it is opened: opening a device may already do
    // something, and opening a pipe for a blocking read waits for a writer.
    struct stat info {};
    if (::stat(native.constData(), &info) != 0) {
        const int error = errno;
        return fail(error == ENOENT || error == ENOTDIR ? Error::Missing : Error::Unreadable,
                    QString::fromLocal8Bit(std::strerror(error)));
    }
    if (!S_ISREG(info.st_mode))
        return fail(Error::NotRegular, QStringLiteral("not a regular file"));
    if (info.st_size > maxBytes) return fail(Error::TooLarge, TooLargeText(maxBytes));
    // Opened without waiting, and looked at again: the path may have been
    // replaced in between.
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return fail(Error::Unreadable, QString::fromLocal8Bit(std::strerror(errno)));
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return fail(Error::NotRegular, QStringLiteral("not a regular file"));
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return fail(Error::Unreadable, file.errorString());
    }
    return Error::None;
}

#else

Error Open(const QString& path, qint64 maxBytes, QFile& file, QString* why) {
    auto fail = [why](Error error, const QString& text) {
        *why = text;
        return error;
    };
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists())
        return fail(Error::Missing, QStringLiteral("no such file"));
    if (!info.isFile()) return fail(Error::NotRegular, QStringLiteral("not a regular file"));
    if (info.size() > maxBytes) return fail(Error::TooLarge, TooLargeText(maxBytes));
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly)) return fail(Error::Unreadable, file.errorString());
    return Error::None;
}

#endif

}  // namespace

InputFile::InputFile(const QString& path, qint64 maxBytes)
    : maxBytes_(maxBytes), error_(Open(path, maxBytes, file_, &errorString_)) {}

LineReader::LineReader(QIODevice& device, qint64 maxBytes) : device_(&device), left_(maxBytes) {}

LineReader::LineReader(QByteArray text) : buffer_(std::move(text)), atEnd_(true) {}

bool LineReader::Fill() {
    if (atEnd_ || failed_) return false;
    buffer_.remove(0, pos_);
    pos_ = 0;
    // One byte more than is left shows a file that grew beyond its bound.
    const qint64 want = std::min(kChunkBytes, left_ + 1);
    const qsizetype had = buffer_.size();
    buffer_.resize(had + want);
    const qint64 n = device_->read(buffer_.data() + had, want);
    buffer_.resize(had + std::max<qint64>(n, 0));
    if (n < 0 || n > left_) {
        failed_ = true;
        return false;
    }
    if (n == 0) {
        atEnd_ = true;
        return false;
    }
    left_ -= n;
    return true;
}

bool LineReader::Next(QByteArray* line) {
    line->clear();
    if (failed_) return false;
    if (first_) {
        first_ = false;
        while (buffer_.size() - pos_ < 3 && Fill()) {
        }
        if (QByteArrayView(buffer_).sliced(pos_).startsWith(kUtf8Bom)) pos_ += 3;
    }
    bool any = false;
    for (;;) {
        if (pos_ >= buffer_.size()) {
            if (Fill()) continue;
            if (failed_ || !any) return false;
            break;  // the last line, without a line end
        }
        if (skipLf_) {
            skipLf_ = false;
            if (buffer_[pos_] == '\n') {
                ++pos_;
                continue;
            }
        }
        any = true;
        const char* begin = buffer_.constData() + pos_;
        const char* end = buffer_.constData() + buffer_.size();
        const char* stop = std::find_if(begin, end, [](char c) { return c == '\r' || c == '\n'; });
        line->append(begin, stop - begin);
        pos_ += stop - begin;
        if (stop == end) continue;
        skipLf_ = *stop == '\r';
        ++pos_;
        break;
    }
    ++lineNumber_;
    return true;
}
