#include "shell/Cp932.h"

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <QStringDecoder>
#include <QStringEncoder>
#endif

namespace cp932 {

#ifdef Q_OS_WIN

namespace {
constexpr UINT kCodePage = 932;
}

QString Decode(QByteArrayView bytes) {
    if (bytes.isEmpty()) return {};
    const int size = static_cast<int>(bytes.size());
    const int length = MultiByteToWideChar(kCodePage, 0, bytes.data(), size, nullptr, 0);
    if (length <= 0) return {};
    QString text(length, Qt::Uninitialized);
    MultiByteToWideChar(kCodePage, 0, bytes.data(), size, reinterpret_cast<wchar_t*>(text.data()),
                        length);
    return text;
}

std::optional<QByteArray> Encode(QStringView text) {
    if (text.isEmpty()) return QByteArray();
    const auto* wide = reinterpret_cast<const wchar_t*>(text.utf16());
    const int size = static_cast<int>(text.size());
    BOOL substituted = FALSE;
    const int length = WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, wide, size, nullptr, 0,
                                           nullptr, &substituted);
    if (length <= 0 || substituted) return std::nullopt;
    QByteArray bytes(length, Qt::Uninitialized);
    WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, wide, size, bytes.data(), length, nullptr,
                        &substituted);
    if (substituted) return std::nullopt;
    return bytes;
}

#else

namespace {
// ICU's name for Microsoft's CP932 (Shift_JIS alone lacks its extensions
// and maps 0x8160 to a wave dash).
constexpr char kCodecName[] = "windows-31j";
}  // namespace

QString Decode(QByteArrayView bytes) {
    QStringDecoder decoder(kCodecName, QStringConverter::Flag::Stateless);
    // Without a converter (a Qt built without ICU) the bytes read as UTF-8:
    // Japanese text comes out as substitutes, which Encode refuses.
    if (!decoder.isValid()) return QString::fromUtf8(bytes);
    return decoder.decode(bytes);
}

std::optional<QByteArray> Encode(QStringView text) {
    QStringEncoder encoder(kCodecName, QStringConverter::Flag::Stateless);
    if (!encoder.isValid()) {
        for (const QChar c : text) {
            if (c.unicode() >= 0x80) return std::nullopt;
        }
        return text.toLatin1();
    }
    QByteArray bytes = encoder.encode(text);
    // A substitute, or a character taken to its nearest match, is not the text.
    if (encoder.hasError() || Decode(bytes) != text) return std::nullopt;
    return bytes;
}

#endif

}  // namespace cp932
