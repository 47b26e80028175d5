#ifndef QOX_BASE_KFORMATTEXT_H
#define QOX_BASE_KFORMATTEXT_H

// printf-style text of any length (no fixed work area), for the Format and
// message functions of the file classes.

#include <cstdarg>
#include <cstdio>
#include <string>

// Empty for a null format or when the text cannot be made.
inline std::string KFormatText(const char* format, va_list args)
{
    if (!format)
        return std::string();
    va_list copy;
    va_copy(copy, args);
    const int n = vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (n <= 0)
        return std::string();
    std::string text(static_cast<size_t>(n), '\0');
    vsnprintf(&text[0], text.size() + 1, format, args);
    return text;
}

// Formats the text and hands it, without its terminator, to file.Write;
// nothing is written for an empty text.
template <typename File>
void KFormatWrite(File& file, const char* format, va_list args)
{
    std::string text = KFormatText(format, args);
    if (!text.empty())
        file.Write(&text[0], static_cast<unsigned int>(text.size()));
}

#endif
