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

// One image file directory followed by its strips:
//   "II" 42, IFD offset 8 | IFD: count, 12-byte entries in tag order, next 0 |
//   out-of-line values | strip data.
// StripOffsets and StripByteCounts are filled from the strips unless a test
// sets them itself.
class TiffBuilder
{
public:
    enum
    {
        kShort = 3,
        kLong = 4,
        kRational = 5
    };

    TiffBuilder& Set(uint16_t tag, uint16_t type, std::vector<uint32_t> values)
    {
        mEntries[tag] = Entry{type, std::move(values)};
        return *this;
    }
    TiffBuilder& Short(uint16_t tag, std::vector<uint32_t> values) { return Set(tag, kShort, std::move(values)); }
    TiffBuilder& Long(uint16_t tag, std::vector<uint32_t> values) { return Set(tag, kLong, std::move(values)); }
    TiffBuilder& Remove(uint16_t tag)
    {
        mEntries.erase(tag);
        return *this;
    }
    TiffBuilder& Strip(const std::string& bytes)
    {
        mStrips.push_back(bytes);
        return *this;
    }

    // An uncompressed contiguous 8-bit image of the given photometric model,
    // samples and sizes, its strips still to be added.
    static TiffBuilder Image(uint32_t width, uint32_t height, uint16_t photometric, uint16_t samples,
                             uint32_t rowsPerStrip)
    {
        TiffBuilder b;
        b.Long(TIFFTAG_IMAGEWIDTH, {width}).Long(TIFFTAG_IMAGELENGTH, {height});
        b.Short(TIFFTAG_BITSPERSAMPLE, std::vector<uint32_t>(samples, 8));
        b.Short(TIFFTAG_COMPRESSION, {COMPRESSION_NONE}).Short(TIFFTAG_PHOTOMETRIC, {photometric});
        b.Short(TIFFTAG_SAMPLESPERPIXEL, {samples}).Long(TIFFTAG_ROWSPERSTRIP, {rowsPerStrip});
        b.Short(TIFFTAG_PLANARCONFIG, {PLANARCONFIG_CONTIG});
        return b;
    }

    std::string Bytes() const
    {
        std::map<uint16_t, Entry> entries = mEntries;
        bool autoStrips = !entries.count(TIFFTAG_STRIPOFFSETS);
        if (autoStrips)
        {
            entries[TIFFTAG_STRIPOFFSETS] = Entry{kLong, std::vector<uint32_t>(mStrips.size(), 0)};
            if (!entries.count(TIFFTAG_STRIPBYTECOUNTS))
            {
                std::vector<uint32_t> sizes;
                for (const std::string& s : mStrips)
                    sizes.push_back(uint32_t(s.size()));
                entries[TIFFTAG_STRIPBYTECOUNTS] = Entry{kLong, sizes};
            }
        }
        uint32_t outOfLine = 8 + 2 + uint32_t(entries.size()) * 12 + 4;
        uint32_t valuesSize = 0;
        for (auto& [tag, e] : entries)
        {
            uint32_t bytes = uint32_t(e.mValues.size()) * TypeSize(e.mType);
            valuesSize += bytes > 4 ? bytes : 0;
        }
        if (autoStrips)
        {
            uint32_t offset = outOfLine + valuesSize;
            for (size_t i = 0; i < mStrips.size(); ++i)
            {
                entries[TIFFTAG_STRIPOFFSETS].mValues[i] = offset;
                offset += uint32_t(mStrips[i].size());
            }
        }

        std::string out = "II";
        Put16(out, 42);
        Put32(out, 8);
        Put16(out, uint16_t(entries.size()));
        std::string values;
        for (auto& [tag, e] : entries)
        {
            Put16(out, tag);
            Put16(out, e.mType);
            Put32(out, uint32_t(e.mType == kRational ? e.mValues.size() / 2 : e.mValues.size()));
            std::string packed;
            for (uint32_t v : e.mValues)
                e.mType == kShort ? Put16(packed, uint16_t(v)) : Put32(packed, v);
            if (packed.size() <= 4)
                out += packed + std::string(4 - packed.size(), '\0');
            else
            {
                Put32(out, outOfLine + uint32_t(values.size()));
                values += packed;
            }
        }
        Put32(out, 0);
        out += values;
        for (const std::string& s : mStrips)
            out += s;
        return out;
    }

private:
    struct Entry
    {
        uint16_t mType;
        std::vector<uint32_t> mValues; // a rational is two values
    };
    static uint32_t TypeSize(uint16_t type) { return type == kShort ? 2 : 4; }
    static void Put16(std::string& s, uint16_t v)
    {
        s += char(v & 0xFF);
        s += char(v >> 8);
    }
    static void Put32(std::string& s, uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
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
    {
        sCurrent = this;
        mOldError = TIFFSetErrorHandler(&TiffMessages::OnError);
        mOldWarning = TIFFSetWarningHandler(nullptr);
    }
    ~TiffMessages()
    {
        TIFFSetErrorHandler(mOldError);
        TIFFSetWarningHandler(mOldWarning);
        sCurrent = nullptr;
    }
    TiffMessages(const TiffMessages&) = delete;
    TiffMessages& operator=(const TiffMessages&) = delete;

    const std::vector<std::string>& Errors() const { return mErrors; }
    std::string Last() const { return mErrors.empty() ? std::string() : mErrors.back(); }
    void Clear() { mErrors.clear(); }

private:
    static void OnError(const char* module, const char* format, va_list args)
    {
        char text[1024];
        std::vsnprintf(text, sizeof text, format, args);
        if (sCurrent)
            sCurrent->mErrors.push_back(std::string(module ? module : "") + ": " + text);
    }

    static inline TiffMessages* sCurrent = nullptr;
    std::vector<std::string> mErrors;
    TIFFErrorHandler mOldError;
    TIFFErrorHandler mOldWarning;
};

} // namespace qoxtest

#endif
