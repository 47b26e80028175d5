// ASCII native files written and read while LC_NUMERIC writes a decimal
// comma: the same bytes as in the "C" locale, the same scene read back.

#include <gtest/gtest.h>

#include <string>

#include "common/qox_test_common.h"
#include "fileio/kqoxioregistry.h"
#include "fileio_test_util.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

using namespace qoxsdk_600;

TEST(NativeLocale, AsciiFilesAreTheSameWithADecimalComma)
{
    for (int format : {eEXPORT_QOX_ASCII, eEXPORT_QOX5_ASCII})
    {
        SCOPED_TRACE(format);
        qoxtest::TempDir dir;
        KQoxSdkManager manager;
        KQoxScene original(manager);
        fileiotest::BuildScene(manager, original, "");
        fileiotest::AddEveryKind(manager, original, format == eEXPORT_QOX_ASCII);
        const std::string inC = dir.File("c.qox"), inComma = dir.File("comma.qox");
        ASSERT_TRUE(fileiotest::Export(manager, original, inC, format));
        KQoxScene readInC(manager);
        ASSERT_TRUE(fileiotest::Import(manager, readInC, inC));

        KQoxScene readInComma(manager);
        {
            qoxtest::CommaLocale comma;
            QOX_NEED_COMMA_LOCALE(comma);
            ASSERT_TRUE(fileiotest::Export(manager, original, inComma, format));
            ASSERT_TRUE(fileiotest::Import(manager, readInComma, inC));
        }
        // Listed in "C", as the listing prints with the C library.
        const std::string written = qoxtest::ReadFile(inC);
        ASSERT_NE(written.find("0.5"), std::string::npos);
        EXPECT_EQ(written, qoxtest::ReadFile(inComma));
        EXPECT_EQ(fileiotest::ListScene(manager, readInC, 15), fileiotest::ListScene(manager, readInComma, 15));
    }
}
