#pragma once

#include <QByteArray>
#include <QString>
#include <cstdio>

namespace cli {

// A file of the C library's that a job prints to in place of a stream
// (stdout for the JSON document, or one Writer's streams while others
// run); read back as text once the job has ended.
class Transcript {
  public:
    Transcript() : file_(std::tmpfile()) {}
    ~Transcript() {
        if (file_) std::fclose(file_);
    }
    Transcript(const Transcript&) = delete;
    Transcript& operator=(const Transcript&) = delete;
    bool ok() const { return file_ != nullptr; }
    FILE* file() const { return file_; }
    QString Text() const {
        if (!file_) return {};
        std::fflush(file_);
        std::rewind(file_);
        QByteArray bytes;
        char buffer[4096];
        size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, file_)) > 0) bytes.append(buffer, n);
        return QString::fromUtf8(bytes);
    }

  private:
    FILE* file_;
};

}  // namespace cli
