#ifndef QOX_TESTS_BASE_KQOX_TEST_UTIL_H
#define QOX_TESTS_BASE_KQOX_TEST_UTIL_H

// Helpers for the field-layer tests: a private temporary directory, whole
// files, and the CRC-32 worked out bit by bit (independent of KCrcFile).

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace kqoxtest {

class TempDir
{
public:
    TempDir()
    {
        char pattern[] = "/tmp/kqoxtestXXXXXX";
        char* made = mkdtemp(pattern);
        mPath = made ? made : "/tmp";
    }
    ~TempDir()
    {
        std::error_code ignored;
        if (mPath != "/tmp")
            std::filesystem::remove_all(mPath, ignored);
    }
    const std::string& Path() const { return mPath; }
    std::string File(const char* name) const { return mPath + "/" + name; }

private:
    std::string mPath;
};

inline std::vector<unsigned char> ReadFile(const std::string& name)
{
    std::vector<unsigned char> bytes;
    FILE* in = std::fopen(name.c_str(), "rb");
    if (!in)
        return bytes;
    unsigned char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof(buffer), in)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(in);
    return bytes;
}

inline void WriteFile(const std::string& name, const std::vector<unsigned char>& bytes)
{
    FILE* out = std::fopen(name.c_str(), "wb");
    if (!out)
        return;
    if (!bytes.empty())
        std::fwrite(bytes.data(), 1, bytes.size(), out);
    std::fclose(out);
}

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
