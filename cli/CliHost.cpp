#include "cli/CliHost.h"

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

MsgAnswer CliHost::MessageBox(const QString& text, const QString& caption, MsgIcon,
                              MsgButtons buttons) {
    if (beforeMessage_) {
        QString line = text;
        line.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
        beforeMessage_(caption + QStringLiteral(": ") + line);
    }
    QString lines = text;
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n  "));
    std::fprintf(err_, "%s: %s\n", caption.toUtf8().constData(), lines.toUtf8().constData());
    std::fflush(err_);
    return buttons == MsgButtons::YesNo ? MsgAnswer::Yes : MsgAnswer::Ok;
}

std::optional<QString> CliHost::AskSaveFileName(const QString& proposedPath) {
    return outputPath_.isEmpty() ? proposedPath : outputPath_;
}

TerminalProgress::TerminalProgress(FILE* err) : err_(err), enabled_(IsTerminal(err)) {}

void TerminalProgress::SetStatusText(const QString& text) {
    if (text == text_) return;
    text_ = text;
    Redraw();
}

void TerminalProgress::SetProgress(int done, int total) {
    done_ = done;
    total_ = total;
    const int percent = total > 0 ? done * 100 / total : -1;
    if (percent == lastPercent_) return;
    lastPercent_ = percent;
    Redraw();
}

void TerminalProgress::Redraw() {
    if (!enabled_) return;
    QString line = text_;
    if (total_ > 0)
        line += QStringLiteral("  %1/%2 (%3%)").arg(done_).arg(total_).arg(lastPercent_);
    std::fprintf(err_, "\r\033[K%s", line.toUtf8().constData());
    std::fflush(err_);
    drawn_ = true;
}

void TerminalProgress::EndLine() {
    if (!drawn_) return;
    std::fputc('\n', err_);
    std::fflush(err_);
    drawn_ = false;
}

}  // namespace cli
