// Files that earlier versions of the SDK wrote, kept as they wrote them, read
// by this one: a scene whose channels carry upper animation layers of id 0
// (which the earliest version left out of the file) and of other ids, in
// every native form. Each read must give what the version that wrote the
// file read back: every curve node's layer id and type, every key, and each
// node's local and global transform from each take.

#include <gtest/gtest.h>

#include <string>

#include "common/qox_test_common.h"
#include "earlier_files_util.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoximporter.h"
#include "fileio_test_util.h"

using namespace earlierfiles;
using qoxtest::ReadFile;
using qoxtest::TempDir;

namespace {

const std::string kEarlier = std::string(QOX_FILEIO_TEST_DATA) + "/earlier/";

// The listing of a read of name, or the importer's error behind "failed: ".
std::string ReadListing(KQoxSdkManager& manager, const std::string& name, const char* password)
{
    KQoxScene scene(manager);
    KQoxImporter importer(manager);
    importer.SetPassword(password);
    if (!importer.Initialize(name.c_str()) || !importer.Import(scene))
        return std::string("failed: ") + importer.GetLastErrorString();
    return ListScene(scene);
}

} // namespace

// Every form, as written by each earlier version: the read lists exactly
// what that version listed when it read its own file.
TEST(NativeEarlierFiles, ReadAsTheVersionThatWroteThemReadThem)
{
    KQoxSdkManager manager;
    for (const char* version : {"by-7b1322a", "by-2310fcb"})
        for (const EarlierForm& form : kEarlierForms)
        {
            const std::string name = kEarlier + version + "/" + form.mFile;
            SCOPED_TRACE(name);
            const std::string expected = ReadFile(kEarlier + version + "/layers.txt");
            ASSERT_FALSE(expected.empty());
            EXPECT_EQ(ReadListing(manager, name, form.mPassword), expected);
        }
}

// The same scene made and written by this version reads back as the
// earliest version read its own file, in every form: layers of id 0 keep
// their id and keys whether written by this version or an earlier one.
TEST(NativeEarlierFiles, ThisVersionWritesTheSameScene)
{
    TempDir dir;
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    ASSERT_TRUE(BuildEarlierScene(manager, scene));
    for (const EarlierForm& form : kEarlierForms)
    {
        SCOPED_TRACE(form.mFile);
        const std::string name = dir.File(form.mFile);
        ASSERT_TRUE(fileiotest::Export(manager, scene, name, form.mExport, form.mPassword));
        const std::string expected = ReadFile(kEarlier + "by-7b1322a/layers.txt");
        EXPECT_EQ(ReadListing(manager, name, form.mPassword), expected);
    }
}
