#ifndef QOX_TESTS_BASE_KQOX_TEST_UTIL_H
#define QOX_TESTS_BASE_KQOX_TEST_UTIL_H

// Helpers for the field-layer tests: the CRC-32 worked out bit by bit
// (independent of KCrcFile); temporary directories and whole files come from
// the common helpers.

#include <cstddef>
#include <string>
#include <vector>

#include "common/qox_test_common.h"

namespace kqoxtest {

// CRC-32 with polynomial 0x04C11DB7, most significant bit first, register
// 0xFFFFFFFF at the start, complemented at the end.
inline unsigned int Crc32(const unsigned char* data, size_t n)
{
    unsigned int crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i)
    {
        crc ^= static_cast<unsigned int>(data[i]) << 24;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : (crc << 1);
    }
    return ~crc;
}

// Puts the check value at the end of a binary image right again after the
// bytes before it were changed by hand.
inline void Reseal(std::vector<unsigned char>& image)
{
    const unsigned int crc = Crc32(image.data(), image.size() - 4);
    for (int i = 0; i < 4; ++i)
        image[image.size() - 4 + static_cast<size_t>(i)] = static_cast<unsigned char>(crc >> (24 - 8 * i));
}

// Position of the n-th occurrence (from 0) of text in the image; npos when
// there are fewer.
inline size_t FindNth(const std::vector<unsigned char>& image, const std::string& text, int n)
{
    const std::string s(image.begin(), image.end());
    size_t at = s.find(text);
    for (int i = 0; i < n && at != std::string::npos; ++i)
        at = s.find(text, at + 1);
    return at;
}

} // namespace kqoxtest

#endif
