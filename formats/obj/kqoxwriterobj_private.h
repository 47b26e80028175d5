#ifndef QOX_FORMATS_OBJ_KQOXWRITEROBJ_PRIVATE_H
#define QOX_FORMATS_OBJ_KQOXWRITEROBJ_PRIVATE_H

#include <charconv>
#include <cstdio>
#include <string>

#include "formats/obj/kqoxwriterobj.h"

namespace qoxsdk_600 {

// Buffered text output with the number formats of "%lf" and "%d". A failed
// write is remembered; nothing after it is written.
class KQoxWriterObj::Output
{
public:
    explicit Output(FILE* file)
        : mFile(file)
    {
        mBuffer.reserve(kSize + 512);
    }
    ~Output() { Flush(); }
    Output& Text(const char* text)
    {
        mBuffer.append(text);
        return Check();
    }
    Output& Text(const char* text, size_t length)
    {
        mBuffer.append(text, length);
        return Check();
    }
    Output& Char(char c)
    {
        mBuffer.push_back(c);
        return Check();
    }
    // Six digits after the point, as printf's "%lf".
    Output& Double(double value)
    {
        char text[400];
        const auto result = std::to_chars(text, text + sizeof(text), value, std::chars_format::fixed, 6);
        if (result.ec == std::errc())
            mBuffer.append(text, result.ptr);
        else
            mBuffer.append(std::to_string(value));
        return Check();
    }
    Output& Int(long long value)
    {
        char text[24];
        const auto result = std::to_chars(text, text + sizeof(text), value);
        mBuffer.append(text, result.ptr);
        return Check();
    }
    bool Flush()
    {
        if (!mBuffer.empty() && !mFailed)
            mFailed = fwrite(mBuffer.data(), 1, mBuffer.size(), mFile) != mBuffer.size();
        mBuffer.clear();
        if (!mFailed)
            mFailed = fflush(mFile) != 0;
        return !mFailed;
    }
    bool Failed() const { return mFailed; }

private:
    static const size_t kSize = 1 << 20;
    Output& Check()
    {
        if (mBuffer.size() >= kSize)
        {
            if (!mFailed)
                mFailed = fwrite(mBuffer.data(), 1, mBuffer.size(), mFile) != mBuffer.size();
            mBuffer.clear();
        }
        return *this;
    }
    FILE* mFile;
    std::string mBuffer;
    bool mFailed = false;
};

} // namespace qoxsdk_600

#endif
