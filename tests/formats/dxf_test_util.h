// DXF text for the tests, written as compactly as the tests read it.
#ifndef QOX_TESTS_FORMATS_DXF_TEST_UTIL_H
#define QOX_TESTS_FORMATS_DXF_TEST_UTIL_H

#include <string>

namespace dxftest {

// Group pairs from "code value" items separated by '|', each line ended by eol.
inline std::string Dxf(const std::string& items, const char* eol = "\n")
{
    std::string out;
    size_t start = 0;
    while (start <= items.size())
    {
        size_t end = items.find('|', start);
        if (end == std::string::npos)
            end = items.size();
        const std::string item = items.substr(start, end - start);
        const size_t blank = item.find(' ');
        out += item.substr(0, blank) + eol + item.substr(blank + 1) + eol;
        start = end + 1;
    }
    return out;
}

} // namespace dxftest

#endif
