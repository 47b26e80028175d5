// Curve keys in whole files: version-6 files hold them as typed arrays,
// version-5 files key by key, and files written key by key by earlier
// version-6 writers still read.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/qox_test_common.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoximporter.h"
#include "fileio/kqoxioregistry.h"
#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvenode.h"
#include "fileio_test_util.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxtakenode.h"
#include "scene/kqoxsdkmanager.h"

using namespace qoxsdk_600;
using fileiotest::Export;
using fileiotest::Import;
using qoxtest::ReadFile;
using qoxtest::TempDir;
using qoxtest::WriteFile;

namespace {

size_t Occurrences(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// Every channel of a curve-node tree with its static value and keys: time,
// value, flags and the four data words, bit for bit.
void ListChannels(KFCurveNode* node, std::string& out)
{
    out += std::string("channel ") + node->GetName();
    if (KFCurve* curve = node->FCurveGet())
    {
        out += " " + std::to_string(curve->GetValue());
        for (int k = 0; k < curve->KeyGetCount(); ++k)
        {
            const KFCurveKey* key = curve->KeyGetPtr(k);
            unsigned int data[4];
            std::memcpy(data, key->GetDataPtr(), sizeof data);
            out += " [" + std::to_string(key->GetTime().Get()) + " " + std::to_string(key->GetValue()) + " " +
                   std::to_string(key->GetFlags());
            for (unsigned int word : data)
                out += " " + std::to_string(word);
            out += "]";
        }
    }
    out += "\n";
    for (int i = 0; i < node->GetCount(); ++i)
        ListChannels(node->Get(i), out);
}

// The animation of every node under node, take by take.
void ListAnimation(KQoxNode* node, std::string& out)
{
    out += std::string("node ") + node->GetName() + "\n";
    for (int t = 0; t < node->GetTakeNodeCount(); ++t)
    {
        out += std::string("take ") + node->GetTakeNodeName(t) + "\n";
        ListChannels(node->GetTakeNode(t)->GetKFCurveNode(), out);
    }
    for (int c = 0; c < node->GetChildCount(); ++c)
        ListAnimation(node->GetChild(c), out);
}

} // namespace

TEST(NativeKeyArrays, VersionSixStoresArraysVersionFiveKeyByKey)
{
    TempDir dir;
    for (bool version5 : {false, true})
    {
        SCOPED_TRACE(version5);
        KQoxSdkManager manager;
        KQoxScene scene(manager);
        fileiotest::BuildScene(manager, scene, "");
        fileiotest::AddEveryKind(manager, scene, !version5);
        const std::string name = dir.File(version5 ? "five.qox" : "six.qox");
        ASSERT_TRUE(Export(manager, scene, name, version5 ? eEXPORT_QOX5_ASCII : eEXPORT_QOX_ASCII));
        const std::string text = ReadFile(name);
        if (version5)
        {
            EXPECT_EQ(Occurrences(text, "KeyVer: 4005"), 0u);
            EXPECT_EQ(Occurrences(text, "KeyTime:"), 0u);
            EXPECT_GT(Occurrences(text, "KeyVer: 4004"), 0u);
        }
        else
        {
            // Every curve with keys: the four arrays, and no key-by-key field.
            const size_t curves = Occurrences(text, "KeyVer: 4005");
            EXPECT_GT(curves, 0u);
            EXPECT_EQ(Occurrences(text, "KeyVer: 4004"), 0u);
            EXPECT_EQ(Occurrences(text, "KeyTime: *l"), curves);
            EXPECT_EQ(Occurrences(text, "KeyValue: *f"), curves);
            EXPECT_EQ(Occurrences(text, "KeyFlags: *i"), curves);
            EXPECT_EQ(Occurrences(text, "KeyData: *f"), curves);
            EXPECT_EQ(Occurrences(text, " Key: "), 0u);
        }
        KQoxScene read(manager);
        ASSERT_TRUE(Import(manager, read, name));
        // The reader merges time warps into the channels that use them.
        fileiotest::MergeTimeWarps(manager, scene);
        EXPECT_EQ(fileiotest::ListScene(manager, read, 15), fileiotest::ListScene(manager, scene, 15));
    }
}

// The example scene as an earlier writer kept it (every curve key by key,
// "KeyVer" 4004, file version 6000) reads as the scene the writer of today
// writes with arrays.
TEST(NativeKeyArrays, FilesWrittenKeyByKeyStillRead)
{
    TempDir dir;
    // Copied first: reading extracts the embedded media beside the file.
    const std::string old = dir.File("old.qox"), now = dir.File("now.qox");
    bool ok = false;
    WriteFile(old, ReadFile(QOX_FILEIO_TEST_DATA "/example-keyver4004.qox", &ok));
    ASSERT_TRUE(ok);
    WriteFile(now, ReadFile(QOX_EXAMPLES "/scene/example.qox", &ok));
    ASSERT_TRUE(ok);
    const std::string oldBytes = ReadFile(old), nowBytes = ReadFile(now);
    EXPECT_EQ(Occurrences(oldBytes, "KeyTime"), 0u);
    EXPECT_GT(Occurrences(nowBytes, "KeyTime"), 0u);

    KQoxSdkManager manager;
    KQoxScene a(manager), b(manager);
    ASSERT_TRUE(Import(manager, a, old));
    ASSERT_TRUE(Import(manager, b, now));
    std::string listedOld, listedNow;
    ListAnimation(a.GetRootNode(), listedOld);
    ListAnimation(b.GetRootNode(), listedNow);
    EXPECT_GE(Occurrences(listedOld, " ["), 10u); // the example keys three takes
    EXPECT_EQ(listedOld, listedNow);
}
