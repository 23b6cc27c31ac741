// Number and field scanning for COMTRADE text: hand-written, allocation free,
// and never reading outside [p, end).
//
// A number is read as the C library reads the first 64 characters of its
// field: leading blanks, a sign, digits, a fraction, an exponent, stopping at
// the first other character; text without digits reads as 0.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace comtrade {

constexpr int kNumberChars = 64;

inline bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}
inline bool IsDigit(char c) {
    return static_cast<unsigned char>(c - '0') < 10;
}

// The C library's own reading of text it alone understands ("inf", "nan",
// hexadecimal, more digits than fit exactly). Returns where it stopped.
inline const char* LibraryFloat(const char* p, const char* limit, double* value) {
    char text[kNumberChars + 1];
    size_t n = 0;
    while (p + n < limit && p[n] != ',' && p[n] != '\n') ++n;
    std::memcpy(text, p, n);
    text[n] = '\0';
    char* stop = nullptr;
    *value = std::strtod(text, &stop);
    return p + (stop - text);
}

// Returns where the number stopped.
inline const char* ParseFloat(const char* p, const char* end, double* value) {
    static constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                        1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    const char* limit = end - p > kNumberChars ? p + kNumberChars : end;
    const char* s = p;
    while (s < limit && IsBlank(*s)) ++s;
    bool negative = false;
    if (s < limit && (*s == '-' || *s == '+')) negative = *s++ == '-';
    uint64_t mantissa = 0;
    int digits = 0;    // significant digits kept in mantissa
    int exponent = 0;  // decimal exponent of the mantissa's last digit
    bool exact = true;
    bool any = false;
    const char* intStart = s;
    for (; s < limit && IsDigit(*s); ++s) {
        any = true;
        unsigned d = static_cast<unsigned>(*s - '0');
        if (digits < 19) {
            mantissa = mantissa * 10 + d;
            if (mantissa) ++digits;
        } else {
            ++exponent;
            exact = exact && d == 0;
        }
    }
    if (s < limit && (*s == 'x' || *s == 'X') && s - intStart == 1 && intStart[0] == '0') {
        return LibraryFloat(p, limit, value);
    }
    if (s < limit && *s == '.') {
        for (++s; s < limit && IsDigit(*s); ++s) {
            any = true;
            unsigned d = static_cast<unsigned>(*s - '0');
            if (digits < 19) {
                mantissa = mantissa * 10 + d;
                if (mantissa) ++digits;
                --exponent;
            } else {
                exact = exact && d == 0;
            }
        }
    }
    if (!any) {
        // Only the library knows words such as "inf" and "nan".
        if (s < limit && (*s == 'i' || *s == 'I' || *s == 'n' || *s == 'N')) {
            return LibraryFloat(p, limit, value);
        }
        *value = 0.0;
        return s;
    }
    if (s < limit && (*s == 'e' || *s == 'E')) {
        const char* e = s + 1;
        bool negativeExp = false;
        if (e < limit && (*e == '-' || *e == '+')) negativeExp = *e++ == '-';
        if (e < limit && IsDigit(*e)) {
            int exp = 0;
            for (; e < limit && IsDigit(*e); ++e)
                if (exp < 100000) exp = exp * 10 + (*e - '0');
            exponent += negativeExp ? -exp : exp;
            s = e;
        }
    }
    double result;
    if (mantissa == 0) {
        result = 0.0;
    } else if (exact && mantissa < (uint64_t{1} << 53) && exponent >= -22 && exponent <= 22) {
        // Both operands exact: one correctly rounded operation.
        result = exponent >= 0 ? static_cast<double>(mantissa) * kPow10[exponent]
                               : static_cast<double>(mantissa) / kPow10[-exponent];
    } else {
        return LibraryFloat(p, limit, value);
    }
    *value = negative ? -result : result;
    return s;
}

// Decimal integer, saturated to the 32-bit range. Returns where it stopped.
inline const char* ParseInt(const char* p, const char* end, int32_t* value) {
    const char* limit = end - p > kNumberChars ? p + kNumberChars : end;
    const char* s = p;
    while (s < limit && IsBlank(*s)) ++s;
    bool negative = false;
    if (s < limit && (*s == '-' || *s == '+')) negative = *s++ == '-';
    int64_t n = 0;
    for (; s < limit && IsDigit(*s); ++s)
        if (n <= INT32_MAX) n = n * 10 + (*s - '0');
    if (negative) n = -n;
    *value = n > INT32_MAX ? INT32_MAX : n < INT32_MIN ? INT32_MIN : static_cast<int32_t>(n);
    return s;
}

// The first ',' or '\n' in [p, end), or end. Eight bytes at a time.
inline const char* FindSeparator(const char* p, const char* end) {
    constexpr uint64_t kOnes = 0x0101010101010101ull;
    constexpr uint64_t kHighs = 0x8080808080808080ull;
    while (end - p >= 8) {
        uint64_t word;
        std::memcpy(&word, p, 8);
        uint64_t commas = word ^ (kOnes * ',');
        uint64_t feeds = word ^ (kOnes * '\n');
        if (((commas - kOnes) & ~commas & kHighs) | ((feeds - kOnes) & ~feeds & kHighs)) break;
        p += 8;
    }
    while (p < end && *p != ',' && *p != '\n') ++p;
    return p;
}

// Just past the next '\n' in [p, end), or end.
inline const char* SkipLine(const char* p, const char* end) {
    const void* feed = std::memchr(p, '\n', static_cast<size_t>(end - p));
    return feed ? static_cast<const char*>(feed) + 1 : end;
}

}  // namespace comtrade
