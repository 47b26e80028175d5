// The importer and exporter made, listed and destroyed by the SDK manager,
// and the importer's FileOpen.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/qox_test_common.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoximporter.h"
#include "fileio/kqoxfilescene.h"
#include "fileio/kqoxio.h"
#include "fileio/kqoxioregistry.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxtakeinfo.h"
#include "scene/kqoxsdkmanager.h"

using namespace qoxsdk_600;
using qoxtest::TempDir;
using qoxtest::WriteFile;

namespace {

// Counts its own exporters and importers, to show the allocators are the
// manager's virtual slots.
class CountingExporter : public KQoxExporter
{
public:
    explicit CountingExporter(KQoxSdkManager& manager, int& live)
        : KQoxExporter(manager)
        , mLive(live)
    {
        ++mLive;
    }
    ~CountingExporter() override { --mLive; }

private:
    int& mLive;
};

class CountingManager : public KQoxSdkManager
{
public:
    int mLiveExporters = 0;
    bool mRefuseImporters = false;

protected:
    KQoxExporter* AllocateKQoxExporter() override { return new CountingExporter(*this, mLiveExporters); }
    KQoxImporter* AllocateKQoxImporter() override
    {
        return mRefuseImporters ? nullptr : KQoxSdkManager::AllocateKQoxImporter();
    }
};

bool WriteTwoTakeFile(const std::string& name)
{
    KQoxSdkManager manager;
    KQoxScene* scene = manager.CreateKQoxScene();
    for (const char* take : {"Walk", "Run"})
    {
        scene->CreateTake(take);
        KQoxTakeInfo info;
        info.Name = take;
        scene->SetTakeInfo(info);
    }
    scene->SetCurrentTake("Run");
    KQoxExporter* exporter = manager.CreateKQoxExporter();
    return exporter && exporter->Initialize(name.c_str()) && exporter->Export(*scene);
}

} // namespace

TEST(IOFront, ManagerListsItsExportersAndImportersUntilDestroyed)
{
    KQoxSdkManager manager;
    KQoxExporter* exporters[3] = {manager.CreateKQoxExporter(), manager.CreateKQoxExporter(),
                                  manager.CreateKQoxExporter()};
    KQoxImporter* importer = manager.CreateKQoxImporter();
    ASSERT_NE(nullptr, exporters[0]);
    ASSERT_NE(nullptr, importer);
    EXPECT_NE(exporters[0], exporters[1]);
    EXPECT_EQ(&manager, &exporters[2]->GetSdkManager());
    EXPECT_EQ(&manager, &importer->GetSdkManager());
    EXPECT_EQ(3, manager.GetKQoxExporterCount());
    EXPECT_EQ(1, manager.GetKQoxImporterCount());

    EXPECT_TRUE(manager.DestroyKQoxExporter(exporters[1]));
    EXPECT_EQ(2, manager.GetKQoxExporterCount());
    // Twice, null, or the other kind's list: not found.
    EXPECT_FALSE(manager.DestroyKQoxExporter(exporters[1]));
    EXPECT_STREQ("Object not found", manager.GetLastErrorString());
    EXPECT_FALSE(manager.DestroyKQoxExporter(nullptr));
    EXPECT_FALSE(manager.DestroyKQoxImporter(nullptr));
    EXPECT_TRUE(manager.DestroyKQoxImporter(importer));
    EXPECT_FALSE(manager.DestroyKQoxImporter(importer));
    EXPECT_EQ(0, manager.GetKQoxImporterCount());

    // Another manager's objects are not this one's.
    KQoxSdkManager other;
    KQoxImporter* foreign = other.CreateKQoxImporter();
    EXPECT_FALSE(manager.DestroyKQoxImporter(foreign));
    EXPECT_EQ(1, other.GetKQoxImporterCount());

    // Clear destroys what is left; new ones can be made at once.
    manager.Clear();
    EXPECT_EQ(0, manager.GetKQoxExporterCount());
    EXPECT_NE(nullptr, manager.CreateKQoxImporter());
    EXPECT_EQ(1, manager.GetKQoxImporterCount());
}

TEST(IOFront, SubclassAllocatorsSupplyTheObjects)
{
    CountingManager manager;
    KQoxExporter* exporter = manager.CreateKQoxExporter();
    ASSERT_NE(nullptr, dynamic_cast<CountingExporter*>(exporter));
    manager.CreateKQoxExporter();
    manager.CreateKQoxExporter();
    EXPECT_EQ(3, manager.mLiveExporters);
    // Destroyed through the virtual destructor, by the destroyer and by Clear.
    EXPECT_TRUE(manager.DestroyKQoxExporter(exporter));
    EXPECT_EQ(2, manager.mLiveExporters);
    manager.Clear();
    EXPECT_EQ(0, manager.mLiveExporters);
    // An allocator giving null lists nothing and sets no error.
    manager.mRefuseImporters = true;
    manager.GetError().ClearLastError();
    EXPECT_EQ(nullptr, manager.CreateKQoxImporter());
    EXPECT_EQ(0, manager.GetKQoxImporterCount());
    EXPECT_EQ(-1, manager.GetLastErrorID());
}

TEST(IOFront, FileOpenOpensTheInitializedFileAgain)
{
    TempDir dir;
    KQoxSdkManager manager;
    KQoxImporter* importer = manager.CreateKQoxImporter();
    ASSERT_NE(nullptr, importer);

    // No name yet.
    EXPECT_FALSE(importer->FileOpen());
    EXPECT_STREQ("Uninitialized filename", importer->GetLastErrorString());

    // A name whose file appears after Initialize failed.
    const std::string name = dir.File("late.qox");
    EXPECT_FALSE(importer->Initialize(name.c_str()));
    EXPECT_STREQ("File not opened: no such file", importer->GetLastErrorString());
    EXPECT_EQ(0, importer->GetTakeCount());
    ASSERT_TRUE(WriteTwoTakeFile(name));
    ASSERT_TRUE(importer->FileOpen());
    EXPECT_EQ(eIMPORT_QOX_BINARY, importer->GetFileFormat());
    ASSERT_EQ(2, importer->GetTakeCount());
    EXPECT_STREQ("Walk", importer->GetTakeInfo(0)->Name.ToChars());
    EXPECT_STREQ("Run", importer->GetTakeInfo(1)->Name.ToChars());
    EXPECT_STREQ("Run", importer->GetCurrentTakeName());
    ASSERT_TRUE(importer->SetTakeSelected(1, false));

    // Opening again reads the takes afresh, all selected.
    ASSERT_TRUE(importer->FileOpen());
    EXPECT_EQ(2, importer->GetTakeCount());
    EXPECT_TRUE(importer->IsTakeSelected(1));
    KQoxScene* scene = manager.CreateKQoxScene();
    EXPECT_TRUE(importer->Import(*scene));

    // The file gone: the reopen fails and leaves no takes and no open file.
    WriteFile(name, "not a scene");
    EXPECT_FALSE(importer->FileOpen());
    EXPECT_EQ(0, importer->GetTakeCount());
    EXPECT_FALSE(importer->Import(*scene));
    EXPECT_STREQ("File not opened", importer->GetLastErrorString());
}

namespace {

// A plain-file reader built on the base's open and close helpers; counts
// its FileClose calls.
class PlainFileReader : public KQoxReader
{
public:
    using KQoxReader::KQoxReader;
    ~PlainFileReader() override { CloseReadFile(mFile, mName); }
    bool FileOpen(const char* fileName) override { return OpenReadFile(fileName, mFile, mName); }
    bool FileClose() override
    {
        ++mCloses;
        return CloseReadFile(mFile, mName);
    }
    bool IsFileOpen() override { return mFile != nullptr; }
    KStreamOptions* GetReadOptions(bool) override { return nullptr; }
    bool Read(KQoxScene&, KStreamOptions*) override { return false; }
    int FirstByte() { return mFile ? std::fgetc(mFile) : -2; }

    FILE* mFile = nullptr;
    KString mName;
    int mCloses = 0;
};

} // namespace

TEST(IOFront, ReaderOpensAndClosesPlainFiles)
{
    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    PlainFileReader reader(*manager);
    EXPECT_FALSE(reader.FileOpen(nullptr));
    EXPECT_EQ(reader.GetLastErrorID(), KQoxReader::eFILE_NOT_OPENED);
    EXPECT_STREQ(reader.GetLastErrorString(), "File not opened");
    EXPECT_EQ(reader.mCloses, 0);

    TempDir dir;
    WriteFile(dir.File("a.txt"), "A");
    WriteFile(dir.File("b.txt"), "B");
    ASSERT_TRUE(reader.FileOpen(dir.File("a.txt").c_str()));
    EXPECT_STREQ(reader.mName.ToChars(), dir.File("a.txt").c_str());
    EXPECT_EQ(reader.mCloses, 0);
    // Opening another closes the first through FileClose.
    ASSERT_TRUE(reader.FileOpen(dir.File("b.txt").c_str()));
    EXPECT_EQ(reader.mCloses, 1);
    EXPECT_EQ(reader.FirstByte(), 'B');
    // A failed open leaves nothing open and no name.
    EXPECT_FALSE(reader.FileOpen(dir.File("missing.txt").c_str()));
    EXPECT_EQ(reader.mCloses, 2);
    EXPECT_FALSE(reader.IsFileOpen());
    EXPECT_STREQ(reader.mName.ToChars(), "");
    EXPECT_TRUE(reader.FileClose());
    ASSERT_TRUE(reader.FileOpen(dir.File("a.txt").c_str()));
    EXPECT_TRUE(reader.FileClose());
    EXPECT_FALSE(reader.IsFileOpen());
    EXPECT_STREQ(reader.mName.ToChars(), "");
}

TEST(IOFront, NodesUnderARootParentsFirstInChildOrder)
{
    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    KQoxScene& scene = *manager->CreateKQoxScene();
    KQoxNode* root = scene.GetRootNode();
    auto add = [&manager](KQoxNode* parent, const char* name) {
        KQoxNode* node = manager->CreateKQoxNode(name);
        parent->AddChild(node);
        return node;
    };
    KQoxNode* a = add(root, "A");
    add(a, "A1");
    add(add(a, "A2"), "A21");
    add(root, "B");
    std::vector<KQoxNode*> nodes;
    CollectNodesUnder(nullptr, nodes);
    EXPECT_TRUE(nodes.empty());
    CollectNodesUnder(root, nodes);
    std::string names;
    for (KQoxNode* node : nodes)
        names += std::string(node->GetNameWithoutNameSpacePrefix().ToChars()) + " ";
    EXPECT_EQ(names, "A A1 A2 A21 B ");
    // Appends; a chain of 20,000 nodes is walked whole.
    KQoxNode* last = add(root, "C");
    for (int i = 0; i < 20000; ++i)
        last = add(last, "D");
    CollectNodesUnder(root, nodes);
    ASSERT_EQ(nodes.size(), 5u + 5u + 1u + 20000u);
    EXPECT_EQ(nodes.back(), last);
}
