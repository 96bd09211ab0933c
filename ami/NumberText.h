#pragma once

// Numbers in parameter strings, read with one implementation on every platform, so that every build reads
// the same text as the same double whatever C runtime or locale the host has.

// Reads a number with the syntax of strtod in the C locale: leading white space (" \t\n\v\f\r"), an
// optional sign, then a decimal number with optional exponent, a hexadecimal one ("0x1.8p3"), "inf",
// "infinity", "nan" or "nan(chars)", letters in any case. The result is correctly rounded; a magnitude
// too large gives a signed infinity and one too small a signed zero or subnormal, as strtod does. *end
// (when end is not null) points just past the number, or at text when there is none (the result then is 0).
double ReadNumberText(const char* text, char** end) noexcept;

// Whether the whole text is a decimal integer as strtol reads it: leading white space, an optional sign and
// at least one digit, nothing after. Any number of digits: an integer too large for any type is still one.
bool IsIntegerText(const char* text) noexcept;
