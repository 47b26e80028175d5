// The texts that put names and bytes from files into messages: control
// characters shown escaped so that no name breaks a line or drives a
// terminal, and the causes of failed opens.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "base/kfilecause.h"

TEST(KFileCause, NamesAndBytesAreShownEscapedByteForByte)
{
    using namespace std::string_literals;
    const struct
    {
        std::string mBytes;
        const char* mControls;             // KEscapeControls, line breaks escaped
        const char* mControlsKeepingLines; // line breaks kept
        const char* mMessage;              // KMessageText
    } rows[] = {
        {"wood.png", "wood.png", "wood.png", "wood.png"},
        {"a\nb", "a\\nb", "a\nb", "a\\x0Ab"},
        {"\t\r\x1b[31m", "\\t\\r\\e[31m", "\\t\\r\\e[31m", "\\x09\\x0D\\x1B[31m"},
        {"\0\x01\x1f\x7f"s, "\\x00\\x01\\x1F\\x7F", "\\x00\\x01\\x1F\\x7F", "\\x00\\x01\\x1F\\x7F"},
        {"caf\xc3\xa9 \xff", "caf\xc3\xa9 \xff", "caf\xc3\xa9 \xff", "caf\\xC3\\xA9 \\xFF"},
        {"back\\slash", "back\\slash", "back\\slash", "back\\slash"},
        {"", "", "", ""},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(KEscapeControls(row.mBytes));
        EXPECT_EQ(KEscapeControls(row.mBytes), row.mControls);
        EXPECT_EQ(KEscapeControls(row.mBytes, true), row.mControlsKeepingLines);
        EXPECT_STREQ(KMessageText(row.mBytes).ToChars(), row.mMessage);
    }
    // Long names: every byte is there, escaped.
    const std::string long_name(100000, '\x07');
    EXPECT_EQ(KEscapeControls(long_name).size(), 400000u);
    EXPECT_EQ(KMessageText(long_name).GetLen(), 400000u);
}

TEST(KFileCause, FailedOpensNameTheirCause)
{
    const struct
    {
        int mError;
        const char* mCause;
        bool mOutOfDescriptors;
    } rows[] = {
        {ENOENT, "no such file", false},
        {ENOTDIR, "no such file", false},
        {EISDIR, "it is a directory", false},
        {EACCES, "permission denied", false},
        {EPERM, "permission denied", false},
        {ENAMETOOLONG, "the name is too long", false},
        {ELOOP, "the symbolic links form a loop", false},
        {EMFILE, "too many files are open", true},
        {ENFILE, "too many files are open", true},
        {EIO, "", false},
        {0, "", false},
    };
    for (const auto& row : rows)
    {
        EXPECT_STREQ(KFileErrorCause(row.mError), row.mCause) << row.mError;
        EXPECT_EQ(KOutOfDescriptors(row.mError), row.mOutOfDescriptors) << row.mError;
    }
}
