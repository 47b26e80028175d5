// Finding fields by name: lists of a few names and of many (past the point
// where a list indexes its names by hash), runs of one name, names that only
// differ late, blocks entered and left many times, and texts read in turn.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/kqox.h"

namespace {

std::vector<unsigned char> WriteImage(KQox::EForm form, int names, int repeats)
{
    std::vector<unsigned char> bytes(8u << 20);
    KQox f;
    EXPECT_TRUE(f.ProjectCreate(bytes.data(), static_cast<unsigned int>(bytes.size()), form));
    f.ProjectWriteSectionBegin("S", 6000);
    // Field "name<i>" holds i; each name comes `repeats` times in a run, the
    // k-th of them holding i * 100 + k; "Block" fields hold a nested list.
    for (int i = 0; i < names; ++i)
    {
        const std::string name = "SameLongPrefix" + std::to_string(i);
        for (int k = 0; k < repeats; ++k)
        {
            f.FieldWriteBegin(name.c_str());
            f.FieldWriteI(i * 100 + k);
            f.FieldWriteC(("text " + std::to_string(i) + " " + std::to_string(k)).c_str());
            f.FieldWriteEnd();
        }
        f.FieldWriteBegin("Block");
        f.FieldWriteI(i);
        f.FieldWriteBlockBegin();
        f.FieldWriteBegin("Inner");
        f.FieldWriteI(-i);
        f.FieldWriteEnd();
        f.FieldWriteBlockEnd();
        f.FieldWriteEnd();
    }
    f.ProjectWriteSectionEnd();
    EXPECT_TRUE(f.ProjectClose());
    bytes.resize(static_cast<size_t>(f.ProjectGetFileSize()));
    return bytes;
}

} // namespace

TEST(KQoxLookup, FewAndManyNamesFoundInAnyOrder)
{
    for (KQox::EForm form : {KQox::eBINARY, KQox::eASCII})
        for (int names : {1, 8, 9, 17, 1000})
        {
            SCOPED_TRACE(std::to_string(form) + " " + std::to_string(names));
            const auto bytes = WriteImage(form, names, 3);
            KQox f;
            ASSERT_TRUE(f.ProjectOpen(bytes.data(), static_cast<unsigned int>(bytes.size())));
            ASSERT_TRUE(f.ProjectOpenSection(0));
            EXPECT_EQ(f.FieldReadGetRecordCount(), names * 4);
            EXPECT_EQ(f.FieldReadGetCount("Block"), names);
            EXPECT_EQ(f.FieldReadGetCount("SameLongPrefix"), 0);
            EXPECT_EQ(f.FieldReadGetCount(("SameLongPrefix" + std::to_string(names)).c_str()), 0);
            // Backwards through the names, each run read in order, with the
            // blocks between: every lookup changes name.
            for (int i = names - 1; i >= 0; --i)
            {
                const std::string name = "SameLongPrefix" + std::to_string(i);
                EXPECT_EQ(f.FieldReadGetCount(name.c_str()), 3);
                for (int k = 0; k < 3; ++k)
                {
                    // Where the field lies, told before it is read; asking
                    // leaves the current field as it was.
                    EXPECT_EQ(f.FieldReadGetRecordIndex(name.c_str()), i * 4 + k);
                    ASSERT_TRUE(f.FieldReadBegin(name.c_str())) << i << " " << k;
                    EXPECT_EQ(f.FieldReadGetRecordIndex("Block"), 3);
                    EXPECT_EQ(f.FieldReadI(), i * 100 + k);
                    const char* first = f.FieldReadC();
                    EXPECT_STREQ(first, ("text " + std::to_string(i) + " " + std::to_string(k)).c_str());
                    f.FieldReadEnd();
                }
                EXPECT_FALSE(f.FieldReadBegin(name.c_str()));
                EXPECT_EQ(f.FieldReadGetRecordIndex(name.c_str()), -1);
            }
            EXPECT_EQ(f.FieldReadGetRecordIndex("SameLongPrefix"), -1);
            for (int i = 0; i < names; ++i)
            {
                EXPECT_EQ(f.FieldReadGetRecordIndex("Block"), i * 4 + 3);
                ASSERT_TRUE(f.FieldReadBegin("Block"));
                EXPECT_EQ(f.FieldReadI(), i);
                ASSERT_TRUE(f.FieldReadBlockBegin());
                EXPECT_EQ(f.FieldReadI("Inner", 1), -i);
                EXPECT_FALSE(f.FieldReadBegin("Block")); // the inner list has none
                EXPECT_TRUE(f.FieldReadBlockEnd());
                f.FieldReadEnd();
            }
            EXPECT_FALSE(f.FieldReadBegin("Block"));
            EXPECT_TRUE(f.ProjectReadSectionEnd());
            // The section entered again finds every field anew (a text list
            // is indexed as far as the field asked for).
            ASSERT_TRUE(f.ProjectOpenSection(0));
            EXPECT_EQ(f.FieldReadGetRecordIndex(("SameLongPrefix" + std::to_string(names - 1)).c_str()),
                      (names - 1) * 4);
            EXPECT_EQ(f.FieldReadI("SameLongPrefix0", -1), 0);
            // A named read ends its field: the next one of that name finds the following field.
            EXPECT_STREQ(f.FieldReadC(("SameLongPrefix" + std::to_string(names - 1)).c_str(), ""),
                         std::to_string(names == 1 ? 1 : (names - 1) * 100).c_str());
        }
}

// A text stays as it was read until the next text is read, whatever other
// values are read in between.
TEST(KQoxLookup, TextsStayUntilTheNextText)
{
    const auto bytes = WriteImage(KQox::eBINARY, 2, 2);
    KQox f;
    ASSERT_TRUE(f.ProjectOpen(bytes.data(), static_cast<unsigned int>(bytes.size())));
    ASSERT_TRUE(f.ProjectOpenSection(0));
    ASSERT_TRUE(f.FieldReadBegin("SameLongPrefix1"));
    EXPECT_EQ(f.FieldReadI(), 100);
    const std::string text = f.FieldReadC();
    EXPECT_EQ(text, "text 1 0");
    f.FieldReadEnd();
    EXPECT_EQ(f.FieldReadI("SameLongPrefix0", -1), 0);
    ASSERT_TRUE(f.FieldReadBegin("SameLongPrefix1"));
    EXPECT_STREQ(f.FieldReadC(), "101"); // an integer read as text
    EXPECT_STREQ(f.FieldReadC(), "text 1 1");
    EXPECT_STREQ(f.FieldReadC(), ""); // no value left
    f.FieldReadEnd();
}
