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

Error Fail(QString* why, Error error, const QString& text) {
    *why = text;
    return error;
}

}  // namespace

#ifdef Q_OS_UNIX
namespace {

// A stat() or open() that failed with `error`.
Error SystemFailure(QString* why, int error) {
    return Fail(why, error == ENOENT || error == ENOTDIR ? Error::Missing : Error::Unreadable,
                QString::fromLocal8Bit(std::strerror(error)));
}

}  // namespace
#endif

namespace inputfile {

#ifdef Q_OS_UNIX

Error LookAtPath(const QString& path, qint64 maxBytes, QString* why) {
    if (path.isEmpty()) return Fail(why, Error::Missing, QStringLiteral("no file name"));
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) return SystemFailure(why, errno);
    if (!S_ISREG(info.st_mode))
        return Fail(why, Error::NotRegular, QStringLiteral("not a regular file"));
    if (info.st_size > maxBytes) return Fail(why, Error::TooLarge, TooLargeText(maxBytes));
    return Error::None;
}

Error OpenRegularFile(const QString& path, QFile& file, QString* why) {
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return SystemFailure(why, errno);
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return Fail(why, Error::NotRegular, QStringLiteral("not a regular file"));
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return Fail(why, Error::Unreadable, file.errorString());
    }
    return Error::None;
}

#else

Error LookAtPath(const QString& path, qint64 maxBytes, QString* why) {
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists())
        return Fail(why, Error::Missing, QStringLiteral("no such file"));
    if (!info.isFile()) return Fail(why, Error::NotRegular, QStringLiteral("not a regular file"));
    if (info.size() > maxBytes) return Fail(why, Error::TooLarge, TooLargeText(maxBytes));
    return Error::None;
}

Error OpenRegularFile(const QString& path, QFile& file, QString* why) {
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly)) return Fail(why, Error::Unreadable, file.errorString());
    if (!QFileInfo(path).isFile()) {
        file.close();
        return Fail(why, Error::NotRegular, QStringLiteral("not a regular file"));
    }
    return Error::None;
}

#endif

}  // namespace inputfile

namespace {

// Looks at the path, then opens it and looks again: the path may have been
// replaced in between.
Error Open(const QString& path, qint64 maxBytes, QFile& file, QString* why) {
    if (const Error looked = inputfile::LookAtPath(path, maxBytes, why); looked != Error::None)
        return looked;
    return inputfile::OpenRegularFile(path, file, why);
}

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
