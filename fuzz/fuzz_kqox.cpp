// libFuzzer target: any bytes opened as a native file (binary, ASCII or
// encrypted, found from the header) and read whole, value by value, with and
// without the integrity check; then each section read again in parts split
// off the reader, joined back. A raw value is peeked at, whole and cut
// short, before it is read: the read must give the bytes the peek gave.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "base/kfile.h"
#include "base/kqox.h"

namespace {

// Takes the bytes streamed to it up to a limit, then refuses the rest.
class PeekSink : public KFile
{
public:
    explicit PeekSink(size_t limit)
        : mLimit(limit)
    {}
    unsigned int Write(void* buffer, unsigned int n) override
    {
        const size_t taken = n < mLimit - mBytes.size() ? n : mLimit - mBytes.size();
        mBytes.append(static_cast<const char*>(buffer), taken);
        return static_cast<unsigned int>(taken);
    }
    std::string mBytes;

private:
    size_t mLimit;
};

// Peeks at the next raw value whole, then cut short, then reads it.
void PeekThenRead(KQox& f)
{
    unsigned long long size = f.FieldReadRSize();
    PeekSink whole(1u << 20);
    const bool peeked = size < (1u << 20) && f.FieldReadRPeek(whole);
    PeekSink cut(static_cast<size_t>(size / 2));
    if (size > 1)
        f.FieldReadRPeek(cut);
    std::vector<unsigned char> raw(size < (1u << 20) ? static_cast<size_t>(size) + 1 : 1);
    if (!f.FieldReadR(raw.data(), raw.size()))
    {
        f.FieldReadCH();
        return;
    }
    if (peeked && (whole.mBytes.size() != size || std::memcmp(whole.mBytes.data(), raw.data(), size) != 0))
        __builtin_trap();
}

void WalkList(KQox& f, int depth)
{
    int count = f.FieldReadGetRecordCount();
    for (int i = 0; i < count; ++i)
    {
        bool section = false;
        const char* text = f.FieldReadGetRecordName(i, &section);
        if (!text)
            break;
        std::string name = text;
        if (section)
        {
            if (depth < 32 && f.ProjectReadSectionBegin(name.c_str()))
            {
                f.ProjectGetCurrentSectionVersion();
                WalkList(f, depth + 1);
                f.ProjectReadSectionEnd();
            }
            continue;
        }
        f.FieldReadGetCount(name.c_str());
        f.FieldReadI(name.c_str(), 0);
        if (!f.FieldReadBegin(name.c_str()))
            continue;
        while (f.FieldReadGetRemain() > 0)
        {
            switch (f.FieldReadGetType())
            {
            case 'R': PeekThenRead(f); break;
            case 'S': f.FieldReadC(); break;
            case 'C': f.FieldReadCH(); break;
            case 'I': f.FieldReadI(); break;
            case 'F': f.FieldReadF(); break;
            case 'L': f.FieldReadT(); break;
            default: f.FieldReadD(); break;
            }
        }
        if (depth < 32 && f.FieldReadBlockBegin())
        {
            WalkList(f, depth + 1);
            f.FieldReadBlockEnd();
        }
        f.FieldReadEnd();
    }
}

// Each section's records read through readers split off it, in three
// parts at most, then joined.
void WalkInParts(KQox& f)
{
    for (int s = 0; s < f.ProjectGetSectionCount(); ++s)
    {
        if (!f.ProjectOpenSection(s))
            continue;
        const int count = f.FieldReadGetRecordCount();
        const int parts = count < 3 ? count : 3;
        for (int p = 0; p < parts; ++p)
        {
            KQox part;
            const int first = count * p / parts;
            if (f.FieldReadSplit(part, first, count * (p + 1) / parts - first))
                WalkList(part, 1);
            f.FieldReadJoin(part);
        }
        f.ProjectReadSectionEnd();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0 || size > (1u << 24))
        return 0;
    for (bool check : {false, true})
    {
        KQox f;
        if (!f.ProjectOpen(data, static_cast<unsigned int>(size), "", check))
            continue;
        WalkList(f, 0);
        for (int s = 0; s < f.ProjectGetSectionCount(); ++s)
        {
            f.ProjectGetSectionName(s);
            if (f.ProjectOpenSection(s))
                WalkList(f, 1);
        }
        f.ProjectCheckIntegrity();
    }
    KQox f;
    if (f.ProjectOpen(data, static_cast<unsigned int>(size), "", false))
    {
        WalkInParts(f);
        f.ProjectCheckIntegrity();
    }
    return 0;
}
