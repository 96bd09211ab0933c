#include "rx/AdaptTraceFile.h"

#include <cerrno>
#include <charconv>
#include <cstring>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

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

#if defined(_WIN32)

// Opened with append access only, every write lands at the end of the file in one step, as O_APPEND does
// on POSIX systems; the bytes go out unchanged (no end-of-line translation), so the file equals Linux's.
void AppendToAdaptTrace(const char* text, std::size_t length) {
    const DWORD savedError = GetLastError();  // a failed trace write must not disturb the caller's error state
    const int savedErrno = errno;
    const HANDLE file = CreateFileA(kAdaptTraceFileName, FILE_APPEND_DATA,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, text, static_cast<DWORD>(length), &written, nullptr);
        CloseHandle(file);
    }
    SetLastError(savedError);
    errno = savedErrno;
}

#else

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

#endif
