// Helpers of the TIFF tests: a hand-built little-endian TIFF with any tag
// values (hostile ones included), and a catcher for libtiff's messages.
#ifndef QOX_TESTS_SCENE_TIFF_TEST_UTIL_H
#define QOX_TESTS_SCENE_TIFF_TEST_UTIL_H

#include <tiffio.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace qoxtest {

// "II" 42, IFD at 8 | IFD: count, 12-byte entries in tag order, next 0 |
// values longer than 4 bytes | strips. StripOffsets (and StripByteCounts,
// unless set) come from the strips when the test does not set them.
class TiffBuilder
{
public:
    TiffBuilder& Short(uint16_t tag, std::vector<uint32_t> v) { return Set(tag, 3, std::move(v)); }
    TiffBuilder& Long(uint16_t tag, std::vector<uint32_t> v) { return Set(tag, 4, std::move(v)); }
    TiffBuilder& Strip(const std::string& bytes)
    {
        mStrips.push_back(bytes);
        return *this;
    }

    // Uncompressed contiguous 8-bit samples, strips still to add.
    static TiffBuilder Image(uint32_t width, uint32_t height, uint16_t photometric, uint16_t samples, uint32_t rows)
    {
        TiffBuilder b;
        b.Long(TIFFTAG_IMAGEWIDTH, {width}).Long(TIFFTAG_IMAGELENGTH, {height});
        b.Short(TIFFTAG_BITSPERSAMPLE, std::vector<uint32_t>(samples, 8)).Short(TIFFTAG_COMPRESSION, {1});
        b.Short(TIFFTAG_PHOTOMETRIC, {photometric}).Short(TIFFTAG_SAMPLESPERPIXEL, {samples});
        return b.Long(TIFFTAG_ROWSPERSTRIP, {rows}).Short(TIFFTAG_PLANARCONFIG, {1});
    }

    std::string Bytes() const
    {
        auto entries = mEntries;
        bool autoStrips = !entries.count(TIFFTAG_STRIPOFFSETS);
        if (autoStrips)
        {
            entries[TIFFTAG_STRIPOFFSETS] = {4, std::vector<uint32_t>(mStrips.size(), 0)};
            std::vector<uint32_t> sizes;
            for (const std::string& s : mStrips)
                sizes.push_back(uint32_t(s.size()));
            entries.emplace(TIFFTAG_STRIPBYTECOUNTS, Entry{4, sizes});
        }
        uint32_t offset = 8 + 2 + uint32_t(entries.size()) * 12 + 4;
        for (auto& [tag, e] : entries)
            offset += Bytes(e) > 4 ? Bytes(e) : 0;
        for (size_t i = 0; autoStrips && i < mStrips.size(); offset += uint32_t(mStrips[i++].size()))
            entries[TIFFTAG_STRIPOFFSETS].second[i] = offset;

        std::string out = "II*";
        out += '\0';
        Put(out, 8, 4);
        Put(out, uint32_t(entries.size()), 2);
        std::string values;
        uint32_t valuesAt = 8 + 2 + uint32_t(entries.size()) * 12 + 4;
        for (auto& [tag, e] : entries)
        {
            Put(out, tag, 2);
            Put(out, e.first, 2);
            Put(out, uint32_t(e.second.size()), 4);
            std::string packed;
            for (uint32_t v : e.second)
                Put(packed, v, e.first == 3 ? 2 : 4);
            if (packed.size() > 4)
            {
                Put(out, valuesAt + uint32_t(values.size()), 4);
                values += packed;
            }
            else
                out += packed + std::string(4 - packed.size(), '\0');
        }
        Put(out, 0, 4);
        out += values;
        for (const std::string& s : mStrips)
            out += s;
        return out;
    }

private:
    typedef std::pair<uint16_t, std::vector<uint32_t>> Entry; // type (3 short, 4 long), values
    TiffBuilder& Set(uint16_t tag, uint16_t type, std::vector<uint32_t> v)
    {
        mEntries[tag] = {type, std::move(v)};
        return *this;
    }
    static uint32_t Bytes(const Entry& e) { return uint32_t(e.second.size()) * (e.first == 3 ? 2 : 4); }
    static void Put(std::string& s, uint32_t v, int bytes)
    {
        for (int i = 0; i < bytes; ++i)
            s += char((v >> (8 * i)) & 0xFF);
    }

    std::map<uint16_t, Entry> mEntries;
    std::vector<std::string> mStrips;
};

// Catches libtiff's error messages ("module: text") and silences warnings
// while it lives.
class TiffMessages
{
public:
    TiffMessages()
        : mOldError(TIFFSetErrorHandler(&OnError))
        , mOldWarning(TIFFSetWarningHandler(nullptr))
    {
        sCurrent = this;
    }
    ~TiffMessages()
    {
        TIFFSetErrorHandler(mOldError);
        TIFFSetWarningHandler(mOldWarning);
        sCurrent = nullptr;
    }
    TiffMessages(const TiffMessages&) = delete;
    TiffMessages& operator=(const TiffMessages&) = delete;

    std::vector<std::string> mErrors;
    std::string Last() const { return mErrors.empty() ? std::string() : mErrors.back(); }

private:
    static void OnError(const char* module, const char* format, va_list args)
    {
        char text[1024];
        std::vsnprintf(text, sizeof text, format, args);
        if (sCurrent)
            sCurrent->mErrors.push_back(std::string(module ? module : "") + ": " + text);
    }

    static inline TiffMessages* sCurrent = nullptr;
    TIFFErrorHandler mOldError;
    TIFFErrorHandler mOldWarning;
};

} // namespace qoxtest

#endif
