#ifndef QOX_TESTS_BASE_KQOX_TEST_UTIL_H
#define QOX_TESTS_BASE_KQOX_TEST_UTIL_H

// Helpers for the field-layer tests: the CRC-32 worked out bit by bit
// (independent of KCrcFile); temporary directories and whole files come from
// the common helpers.

#include <cstddef>

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

} // namespace kqoxtest

#endif
