#include "cli/CliHost.h"

#include <QJsonDocument>
#include <QJsonObject>

#ifdef _WIN32
#include <io.h>
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#undef MessageBox  // Host's, not the Win32 macro
#else
#include <unistd.h>
#endif

namespace cli {

bool IsTerminal(FILE* stream) {
#ifdef _WIN32
    // A console that takes the terminal controls (NUL is a character
    // device too, and _isatty says yes to it).
    DWORD mode = 0;
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    return ::GetConsoleMode(handle, &mode) && (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}

LineStyle LineStyleFor(FILE* stream) {
    if (!IsTerminal(stream)) return LineStyle::None;
    return qEnvironmentVariable("TERM") == u"dumb" ? LineStyle::Plain : LineStyle::Redraw;
}

MsgAnswer CliHost::MessageBox(const QString& text, const QString& caption, MsgIcon,
                              MsgButtons buttons) {
    // Nobody is asked: the answer is yes, and the command says what it did.
    if (buttons == MsgButtons::YesNo) return MsgAnswer::Yes;
    if (beforeMessage_) {
        QString line = text;
        line.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
        beforeMessage_(caption + QStringLiteral(": ") + line);
    }
    QString lines = text;
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n  "));
    std::fprintf(err_, "%s: %s\n", caption.toUtf8().constData(), lines.toUtf8().constData());
    std::fflush(err_);
    return MsgAnswer::Ok;
}

std::optional<QString> CliHost::AskSaveFileName(const QString& proposedPath) {
    return outputPath_.isEmpty() ? proposedPath : outputPath_;
}

TerminalProgress::TerminalProgress(FILE* err, Clock& clock, LineStyle style)
    : err_(err), clock_(clock), style_(style) {}

void TerminalProgress::SetStatusText(const QString& text) {
    if (text == text_) return;
    text_ = text;
    Changed();
}

void TerminalProgress::SetProgress(int done, int total) {
    done_ = done;
    total_ = total;
    const int percent = total > 0 ? done * 100 / total : -1;
    if (percent == lastPercent_) return;
    lastPercent_ = percent;
    Changed();
}

void TerminalProgress::Changed() {
    if (style_ == LineStyle::None) return;
    pending_ = true;
    if (drawn_ && clock_.NowMs() - drawnAtMs_ < kRedrawIntervalMs) return;
    Draw();
}

void TerminalProgress::Draw() {
    QString line = text_;
    if (total_ > 0)
        line += QStringLiteral("  %1/%2 (%3%)").arg(done_).arg(total_).arg(lastPercent_);
    QByteArray bytes = line.toUtf8();
    if (style_ == LineStyle::Redraw) {
        bytes.prepend("\r\033[K");
    } else {
        // Blanks over what is left of a longer line before.
        const qsizetype longer = drawnLength_ - line.size();
        if (longer > 0) bytes.append(QByteArray(longer, ' '));
        bytes.prepend('\r');
    }
    std::fputs(bytes.constData(), err_);
    std::fflush(err_);
    drawnLength_ = line.size();
    drawnAtMs_ = clock_.NowMs();
    drawn_ = true;
    pending_ = false;
}

void TerminalProgress::EndLine() {
    if (!drawn_) return;
    if (pending_) Draw();
    std::fputc('\n', err_);
    std::fflush(err_);
    drawn_ = false;
    pending_ = false;
    drawnLength_ = 0;
}

JsonProgress::JsonProgress(FILE* err, Clock& clock, QString writer, std::mutex& mutex)
    : err_(err), clock_(clock), writer_(std::move(writer)), mutex_(mutex) {}

void JsonProgress::SetStatusText(const QString& text) {
    if (text == status_) return;
    status_ = text;
    Emit(false);
}

void JsonProgress::SetProgress(int done, int total) {
    if (done == done_ && total == total_) return;
    done_ = done;
    total_ = total;
    Emit(total > 0 && done == total);
}

void JsonProgress::SetPhase(const QString& phase) {
    if (phase == phase_) return;
    EndLine();
    phase_ = phase;
    done_ = total_ = 0;
    Emit(true);
}

void JsonProgress::EndLine() {
    if (pending_) Emit(true);
}

void JsonProgress::Emit(bool now) {
    pending_ = true;
    if (!now && emitted_ && clock_.NowMs() - emittedAtMs_ < kRedrawIntervalMs) return;
    const QJsonObject line{{QStringLiteral("writer"), writer_},
                           {QStringLiteral("phase"), phase_},
                           {QStringLiteral("status"), status_},
                           {QStringLiteral("done"), done_},
                           {QStringLiteral("total"), total_}};
    const QByteArray bytes = QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n';
    {
        std::lock_guard lock(mutex_);
        std::fputs(bytes.constData(), err_);
        std::fflush(err_);
    }
    emitted_ = true;
    emittedAtMs_ = clock_.NowMs();
    pending_ = false;
}

}  // namespace cli
