#include "rx/AdaptTraceFile.h"

#include <cerrno>
#include <charconv>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

FormattedAdaptTraceLine::FormattedAdaptTraceLine(const AdaptTraceRecord& record) {
    text[0] = '\0';
    AppendInteger(record.vgaGain);
    AppendText(" ");
    AppendInteger(record.eqHighGain);
    AppendText(" ");
    AppendInteger(record.equaliserIndex);
    AppendText(" ");
    AppendInteger(record.equaliserCode);
    AppendText("\t");
    for (double tap : record.taps) {
        AppendReal(tap);
        AppendText(" \t");
    }
    AppendReal(record.heo);
    AppendText("\t");
    AppendReal(record.veo);
    AppendText("\n");
}

void FormattedAdaptTraceLine::AppendInteger(long long value) {
    const auto result = std::to_chars(text + length, text + kCapacity - 1, value);
    if (result.ec == std::errc()) length = static_cast<std::size_t>(result.ptr - text);
    text[length] = '\0';
}

void FormattedAdaptTraceLine::AppendReal(double value) {
    // General notation with precision 6 is the conversion a default std::ostream applies to a double.
    const auto result = std::to_chars(text + length, text + kCapacity - 1, value, std::chars_format::general, 6);
    if (result.ec == std::errc()) length = static_cast<std::size_t>(result.ptr - text);
    text[length] = '\0';
}

void FormattedAdaptTraceLine::AppendText(const char* piece) {
    const std::size_t n = std::strlen(piece);
    if (length + n >= kCapacity) return;
    std::memcpy(text + length, piece, n);
    length += n;
    text[length] = '\0';
}

void AppendToAdaptTrace(const char* text, std::size_t length) {
    const int savedErrno = errno;  // a failed trace write must not disturb the caller's error state
    const int file = ::open(kAdaptTraceFileName, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (file < 0) {
        errno = savedErrno;
        return;
    }
    // O_APPEND places the whole write at the end of the file in one step.
    while (::write(file, text, length) < 0 && errno == EINTR) {
    }
    ::close(file);
    errno = savedErrno;
}
