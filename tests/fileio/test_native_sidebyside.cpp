// Large animation sections read on several threads against the same
// sections read on the calling thread alone (KQoxRead6::sSideBySide off):
// the same scene, take nodes, channels, default values and keys, the same
// file written again, and the same errors, from files and from memory.

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "base/kcrcfile.h"
#include "base/kparallel.h"
#include "common/qox_test_common.h"
#include "fcurve/kfcurve.h"
#include "fcurve/kfcurve_internal.h"
#include "fcurve/kfcurvenode.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoximporter.h"
#include "fileio/kqoxioregistry.h"
#include "fileio/kqoxreaderqox.h"
#include "fileio/kqoxreaderqox_private.h"
#include "fileio/writers/kqoxwriterqox6.h"
#include "fileio_test_util.h"
#include "scene/attributes/kqoxcamera.h"
#include "scene/attributes/kqoxcameraswitcher.h"
#include "scene/attributes/kqoxlight.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/kqoxentity.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakenode.h"

using namespace qoxsdk_600;
using fileiotest::Export;
using fileiotest::ListScene;
using fileiotest::ReadOutcome;
using qoxtest::ReadFile;
using qoxtest::TempDir;
using qoxtest::WriteFile;

using fileiotest::kHead;
using fileiotest::LE;
using fileiotest::ObjectBoundaries;
using fileiotest::RecordEnd;
using fileiotest::Reseal;

namespace {

// The scenes here are sized around this threshold: sections of 512 records
// or more are read on several threads (the whole test program reads so).
const int kSideBySideRecords = (KQoxRead6::sSideBySideRecords = 512);

const char* const kTakeNames[] = {"Walk", "Run", "Idle"};
const int kTakeCount = 3;

// Keys on curve from seed: every interpolation, values out to the float
// range's ends.
void AddKeys(KFCurve* curve, int seed, int count)
{
    if (!curve)
        return;
    curve->SetValue(static_cast<float>(seed % 17) - 8.5f);
    curve->KeyModifyBegin();
    for (int k = 0; k < count; ++k)
    {
        const KTime time(static_cast<long long>(k) * 1539538600LL + seed % 5);
        float value = static_cast<float>(seed) * 0.25f + static_cast<float>(k);
        if ((seed + k) % 23 == 0)
            value = FLT_MAX;
        else if ((seed + k) % 29 == 0)
            value = -FLT_MAX;
        else if ((seed + k) % 31 == 0)
            value = 1e-40f;
        const int index = curve->KeyAdd(time);
        switch ((seed + k) % 4)
        {
        case 0: curve->KeySet(index, time, value, KFCURVE_INTERPOLATION_CONSTANT); break;
        case 1: curve->KeySet(index, time, value, KFCURVE_INTERPOLATION_LINEAR); break;
        case 2:
            curve->KeySet(index, time, value, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_USER, 0.5f * k, -0.25f * k);
            break;
        default: curve->KeySet(index, time, value, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_AUTO); break;
        }
    }
    curve->KeyModifyEnd();
}

// The name of node i: mostly its own, but pairs of nodes share one
// ("Twin<n>": nodes 7 + 80 n and 47 + 80 n), and threes far apart another
// ("Trio<n>": nodes 199, 399 and 599 + 600 n).
std::string NodeName(int i)
{
    if (i % 200 == 199)
        return "Trio" + std::to_string(i / 600);
    if (i % 40 == 7)
        return "Twin" + std::to_string(i / 80);
    return "N" + std::to_string(i);
}

bool IsOwnName(int i)
{
    return NodeName(i) == "N" + std::to_string(i);
}

// count nodes in a tree (five under the root, each further one under an
// earlier one; those of shared names under the root), in three takes: translation, rotation, scaling and
// visibility animated, some nodes without a take node in some takes, some
// with one holding no keys. Every 100th node is a camera (field of view
// animated), every 150th a light (intensity); textures and the materials of
// a mesh animated in "Walk", and the camera switcher switching there. When
// warps, every node's translation X plays through a time warp in "Run".
void BuildAnimatedScene(KQoxSdkManager& manager, KQoxScene& scene, int count, bool warps = false)
{
    KQoxNode* root = scene.GetRootNode();
    std::vector<KQoxNode*> nodes;
    nodes.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
    {
        KQoxNode* node = manager.CreateKQoxNode(NodeName(i).c_str());
        // Nodes of shared names hang from the root with nothing under them:
        // the reader refuses a subtree holding a name its new entity has.
        const bool own = IsOwnName(i);
        const size_t parent = static_cast<size_t>(i - 5) / 4;
        ASSERT_TRUE((i < 5 || !own || !IsOwnName(static_cast<int>(parent)) ? root : nodes[parent])->AddChild(node));
        nodes.push_back(node);
        node->SetDefaultT(KQoxVector4(i * 0.5, -i, i % 3 == 0 ? 1e30 : 0.125));
        node->SetDefaultR(KQoxVector4(i % 360, 0, -45));
        node->SetDefaultS(KQoxVector4(1, 1 + i % 4, 0.5));
        node->SetVisibility(i % 5 != 0);
        if (i % 100 == 50)
            node->SetNodeAttribute(manager.CreateKQoxCamera());
        else if (i % 150 == 75)
        {
            KQoxLight* light = manager.CreateKQoxLight();
            light->SetFileName(("gobo" + std::to_string(i) + ".tif").c_str());
            node->SetNodeAttribute(light);
        }
        for (int t = 0; t < kTakeCount; ++t)
        {
            // No take node of this take.
            if ((i + t) % 7 == 3)
                continue;
            KQoxTakeNode* take = node->CreateTakeNode(kTakeNames[t]);
            ASSERT_NE(nullptr, take);
            // A take node with no keys: its curves hold their values only.
            if ((i + t) % 11 == 5)
                continue;
            const int seed = i * 3 + t;
            AddKeys(take->GetTranslationX(), seed, 2 + seed % 4);
            AddKeys(take->GetTranslationY(), seed + 1, 1);
            AddKeys(take->GetEulerRotationZ(), seed + 2, 3);
            if (i % 2 == 0)
                AddKeys(take->GetScaleY(), seed + 3, 2);
            if (i % 3 == 0)
                AddKeys(take->GetVisibility(), seed + 4, 2);
            AddKeys(take->GetCameraFieldOfView(), seed + 5, 2);
            AddKeys(take->GetLightIntensity(), seed + 6, 3);
            if (warps && t == 1)
            {
                KFCurveNode* warp = KFCurveNodeCreate("Warp");
                KFCurve* timing = KFCurveCreate();
                timing->KeyModifyBegin();
                timing->KeyAppendFast(KTime(0), 0.0f);
                timing->KeyAppendFast(KTime(46186158000LL), 1.0f + static_cast<float>(i % 3));
                timing->KeyModifyEnd();
                warp->FCurveSet(timing);
                take->GetKFCurveNode()->Get(0)->TimeWarpSet(warp);
            }
        }
    }

    // Textures, animated in two takes.
    for (int i = 0; i < 40; ++i)
    {
        KQoxTexture* texture = manager.CreateKQoxTexture(("Tex" + std::to_string(i)).c_str());
        texture->SetFileName(("/maps/t" + std::to_string(i) + ".png").c_str());
        texture->SetRelativeFileName(("t" + std::to_string(i) + ".png").c_str());
        texture->SetMediaName(("Video::Clip" + std::to_string(i % 3)).c_str());
        scene.GetEntity()->AddTexture(texture);
        for (int t = 0; t < 2; ++t)
        {
            KQoxTakeNode* take = texture->CreateTakeNode(kTakeNames[t]);
            AddKeys(take->GetTextureTranslationX(), i + t, 3);
            AddKeys(take->GetTextureAlpha(), i + t + 1, 2);
        }
    }

    // A mesh whose materials are animated in "Walk".
    KQoxNode* holder = nodes[1];
    KQoxMesh* mesh = manager.CreateKQoxMesh();
    holder->SetNodeAttribute(mesh);
    mesh->InitControlPoints(3);
    for (int i = 0; i < 3; ++i)
        mesh->GetControlPoints()[i] = KQoxVector4(i, i == 1, 0, 1);
    mesh->BeginPolygon(-1, -1, 0);
    for (int i = 0; i < 3; ++i)
        mesh->AddPolygon(i);
    mesh->EndPolygon();
    KQoxLayerElementMaterial* materials = new KQoxLayerElementMaterial;
    materials->mMappingMode = KQoxLayerElement::eALL_SAME;
    materials->mReferenceMode = KQoxLayerElement::eINDEX_TO_DIRECT;
    for (int i = 0; i < 12; ++i)
    {
        KQoxMaterial* material = manager.CreateKQoxMaterial(("Mat" + std::to_string(i)).c_str());
        material->SetDefaultDiffuseColor(KQoxColor(i / 12.0, 0.5, 1, 1));
        AddKeys(material->CreateTakeNode("Walk")->GetMaterialDiffuseColorR(), i, 3);
        materials->mDirectArray.Add(material);
    }
    materials->mIndexArray.Add(0);
    mesh->GetLayer(0)->SetMaterials(materials);

    // The camera switcher switches cameras in "Walk".
    if (KQoxNode* switching = scene.GetCameraSwitcher())
    {
        KQoxCameraSwitcher* switcher = dynamic_cast<KQoxCameraSwitcher*>(switching->GetNodeAttribute());
        if (switcher)
        {
            switcher->AddCameraName("Model::N50");
            switcher->AddCameraName("Model::N150");
        }
        KFCurve* index = switching->CreateTakeNode("Walk")->GetCameraIndex();
        index->KeyModifyBegin();
        index->KeySet(index->KeyAdd(KTime(0)), KTime(0), 1.0f, KFCURVE_INTERPOLATION_CONSTANT, 0u);
        index->KeySet(index->KeyAdd(KTime(46186158000LL)), KTime(46186158000LL), 0.0f, KFCURVE_INTERPOLATION_CONSTANT,
                      0u);
        index->KeyModifyEnd();
    }

    for (int t = 0; t < kTakeCount; ++t)
    {
        KQoxTakeInfo info;
        info.Name = kTakeNames[t];
        info.Comments = (std::string("Take ") + kTakeNames[t]).c_str();
        info.LocalTimeSpan.Set(KTime(0), KTime(4 * 1539538600LL));
        info.ReferenceTimeSpan.Set(KTime(-1), KTime(46186158000LL * (t + 1)));
        scene.SetTakeInfo(info);
    }
    scene.SetCurrentTake("Run");
}

// The take nodes of the scene's nodes laid in blocks (made by a read side
// by side, from slabs), and those of the take given.
struct TakeNodesInBlocks
{
    int mAll = 0;
    int mOfTake = 0;
};

TakeNodesInBlocks CountInBlocks(KQoxNode* node, const char* take)
{
    TakeNodesInBlocks out;
    for (int t = 0; t < node->GetTakeNodeCount(); ++t)
        if (kfcurve_detail::IsGroupMember(node->GetTakeNode(t)))
        {
            ++out.mAll;
            out.mOfTake += std::strcmp(node->GetTakeNodeName(t), take) == 0 ? 1 : 0;
        }
    for (int i = 0; i < node->GetChildCount(); ++i)
    {
        const TakeNodesInBlocks child = CountInBlocks(node->GetChild(i), take);
        out.mAll += child.mAll;
        out.mOfTake += child.mOfTake;
    }
    return out;
}

// What a read gives, with the key storage it made and where its take nodes
// of "Walk" and "Run" lie.
struct Outcome : ReadOutcome
{
    long long mKeyMemory = 0;
    TakeNodesInBlocks mWalk;
    TakeNodesInBlocks mRun;
    std::string mCounts;
};

// Whether reading here can go side by side at all.
bool SeveralThreads()
{
    return KDefaultThreads(8) >= 2;
}

// Reads name (or, with image, the bytes given) with side by side reading on
// or off: the outcome, the scene listed and written again. A failed read
// leaves nothing in the manager, and every read gives back the key storage
// it made when its scene goes.
Outcome ReadOneWay(const std::string& name, bool sideBySide, const std::string* image = nullptr, bool again = true)
{
    KQoxRead6::sSideBySide = sideBySide;
    Outcome out;
    const long long memoryBefore = GetRecordingMemory();
    {
        KQoxSdkManager manager;
        KQoxScene scene(manager);
        const std::string countsBefore = fileiotest::ManagerCounts(manager);
        if (image)
        {
            KQoxReaderQox reader(manager);
            out.mRead =
                reader.FileOpen(image->data(), static_cast<unsigned int>(image->size())) && reader.Read(scene, nullptr);
            out.mErrorID = reader.GetLastErrorID();
            out.mError = reader.GetLastErrorString();
        }
        else
        {
            fileiotest::ImportReporting(manager, scene, name, out);
        }
        KQoxRead6::sSideBySide = true;
        out.mKeyMemory = GetRecordingMemory() - memoryBefore;
        out.mCounts = fileiotest::ManagerCounts(manager);
        if (out.mRead)
        {
            out.mWalk = CountInBlocks(scene.GetRootNode(), "Walk");
            out.mRun = CountInBlocks(scene.GetRootNode(), "Run");
            out.mListing = ListScene(manager, scene);
            const std::string written = name + ".again.qox";
            if (again && Export(manager, scene, written, eEXPORT_QOX_BINARY))
                out.mWritten = ReadFile(written);
        }
        else
        {
            EXPECT_EQ(scene.GetRootNode()->GetChildCount(), 0);
            EXPECT_EQ(scene.GetTakeInfoCount(), 0);
            EXPECT_EQ(out.mCounts, countsBefore);
        }
    }
    EXPECT_EQ(GetRecordingMemory(), memoryBefore);
    return out;
}

// "" when the texts are equal, else the line where they first differ in
// each, with its number: listings of thousands of nodes are too long for
// the failure message.
std::string Difference(const std::string& expected, const std::string& actual)
{
    if (expected == actual)
        return "";
    size_t at = 0;
    while (at < expected.size() && at < actual.size() && expected[at] == actual[at])
        ++at;
    const size_t start = expected.rfind('\n', at == 0 ? 0 : at - 1);
    const size_t from = start == std::string::npos ? 0 : start + 1;
    const auto line = [from](const std::string& text) { return text.substr(from, text.find('\n', from) - from); };
    return "line " +
           std::to_string(std::count(expected.begin(), expected.begin() + static_cast<long>(from), '\n') + 1) +
           ":\n  " + line(expected) + "\n  " + line(actual);
}

#define EXPECT_SAME_TEXT(expected, actual) EXPECT_EQ("", Difference(expected, actual))

// Both ways give the same; side by side made the take nodes of "Walk" in
// blocks (when the file reads so: expectBlocks), one at a time never.
void ExpectSame(const Outcome& sideBySide, const Outcome& alone, bool expectBlocks)
{
    EXPECT_EQ(alone.mRead, sideBySide.mRead);
    EXPECT_EQ(alone.mErrorID, sideBySide.mErrorID);
    EXPECT_EQ(alone.mError, sideBySide.mError);
    EXPECT_SAME_TEXT(alone.mListing, sideBySide.mListing);
    EXPECT_TRUE(alone.mWritten == sideBySide.mWritten);
    EXPECT_EQ(alone.mKeyMemory, sideBySide.mKeyMemory);
    EXPECT_EQ(alone.mCounts, sideBySide.mCounts);
    EXPECT_EQ(alone.mWalk.mAll, 0);
    if (expectBlocks && SeveralThreads())
    {
        EXPECT_GT(sideBySide.mWalk.mOfTake, 500);
    }
}

// The animation sections of a binary file and their records.
struct AnimationRecord
{
    size_t mStart;     // the kind byte
    size_t mEnd;       // past the record's block
    std::string mKind; // "Model", "Texture", ...
    std::string mName; // the object's name ("Model::N12"); "" without one
    size_t mIndexAt;   // the 4 bytes of its index; 0 without one
};

void PutLE(std::string& bytes, size_t at, uint64_t v, int n)
{
    for (int i = 0; i < n; ++i)
        bytes[at + static_cast<size_t>(i)] = static_cast<char>(v >> (8 * i));
}

// The records of the animation section of the take (its list follows the
// section's own head and values).
std::vector<AnimationRecord> AnimationRecords(const std::string& bytes, const std::string& take)
{
    std::vector<AnimationRecord> out;
    const std::string head = std::string("S") + '\x09' + '\x00' + "Animation";
    for (size_t section = bytes.find(head); section != std::string::npos; section = bytes.find(head, section + 1))
    {
        const size_t end = RecordEnd(bytes, section);
        size_t at = section + kHead + 9 + LE(bytes, section + 3 + 9 + 4, 8);
        std::vector<AnimationRecord> records;
        std::string takeName;
        while (at < end && bytes[at] != 0)
        {
            AnimationRecord record{at, RecordEnd(bytes, at), "", "", 0};
            const size_t length = static_cast<size_t>(LE(bytes, at + 1, 2));
            record.mKind = bytes.substr(at + 3, length);
            const size_t values = at + kHead + length;
            if (bytes[values] == 'S')
            {
                const size_t textLength = static_cast<size_t>(LE(bytes, values + 1, 4));
                record.mName = bytes.substr(values + 5, textLength);
                if (bytes[values + 5 + textLength] == 'I')
                    record.mIndexAt = values + 6 + textLength;
            }
            if (record.mKind == "Take")
                takeName = record.mName;
            records.push_back(record);
            at = record.mEnd;
        }
        if (takeName == take)
            return records;
    }
    return out;
}

// The index a take record holds.
int IndexOf(const std::string& bytes, const AnimationRecord& record)
{
    return static_cast<int>(static_cast<uint32_t>(LE(bytes, record.mIndexAt, 4)));
}

class NativeSideBySide : public ::testing::Test
{
protected:
    // The scene of count nodes exported binary to mFile; its bytes kept.
    void Write(int count, bool warps = false)
    {
        mFile = mDir.File("scene.qox");
        KQoxSdkManager manager;
        KQoxScene scene(manager);
        BuildAnimatedScene(manager, scene, count, warps);
        ASSERT_TRUE(Export(manager, scene, mFile, eEXPORT_QOX_BINARY));
        mBytes = ReadFile(mFile);
    }

    // bytes written to a file of their own and read both ways, from the
    // file and from memory: the same either way; the outcome side by side.
    Outcome ExpectBothWaysSame(const std::string& bytes, bool expectBlocks, bool fromMemory = true)
    {
        const std::string name = mDir.File("edited.qox");
        EXPECT_TRUE(WriteFile(name, bytes));
        const Outcome sideBySide = ReadOneWay(name, true);
        const Outcome alone = ReadOneWay(name, false);
        ExpectSame(sideBySide, alone, expectBlocks);
        if (fromMemory)
        {
            const Outcome memorySideBySide = ReadOneWay(name, true, &bytes, false);
            const Outcome memoryAlone = ReadOneWay(name, false, &bytes, false);
            EXPECT_EQ(memoryAlone.mRead, memorySideBySide.mRead);
            EXPECT_EQ(memoryAlone.mErrorID, memorySideBySide.mErrorID);
            EXPECT_EQ(memoryAlone.mKeyMemory, memorySideBySide.mKeyMemory);
            EXPECT_SAME_TEXT(memoryAlone.mListing, memorySideBySide.mListing);
            EXPECT_SAME_TEXT(alone.mListing, memorySideBySide.mListing);
            if (expectBlocks && SeveralThreads())
            {
                EXPECT_GT(memorySideBySide.mWalk.mOfTake, 500);
            }
        }
        return sideBySide;
    }

    TempDir mDir;
    std::string mFile;
    std::string mBytes;
};

} // namespace

TEST_F(NativeSideBySide, SameSceneEitherWay)
{
    Write(1500);
    // Every take's section is large enough to be read side by side.
    for (const char* take : kTakeNames)
        EXPECT_GE(AnimationRecords(mBytes, take).size(), 1000u) << take;
    const Outcome read = ExpectBothWaysSame(mBytes, true);
    ASSERT_TRUE(read.mRead);
    EXPECT_GT(read.mKeyMemory, 0);
}

TEST_F(NativeSideBySide, ThreeThousandNodes)
{
    Write(3000);
    const std::string name = mFile;
    const Outcome sideBySide = ReadOneWay(name, true, &mBytes, false);
    const Outcome alone = ReadOneWay(name, false, nullptr, false);
    ASSERT_TRUE(alone.mRead);
    EXPECT_TRUE(sideBySide.mRead);
    EXPECT_SAME_TEXT(alone.mListing, sideBySide.mListing);
    EXPECT_EQ(alone.mKeyMemory, sideBySide.mKeyMemory);
    if (SeveralThreads())
    {
        EXPECT_GT(sideBySide.mRun.mOfTake, 2000);
    }
}

TEST_F(NativeSideBySide, SelectedTakesOnly)
{
    Write(600);
    for (int selected = 0; selected < kTakeCount; ++selected)
    {
        SCOPED_TRACE(selected);
        std::string listings[2];
        for (int way = 0; way < 2; ++way)
        {
            KQoxRead6::sSideBySide = way == 0;
            KQoxSdkManager manager;
            KQoxScene scene(manager);
            KQoxImporter importer(manager);
            ASSERT_TRUE(importer.Initialize(mFile.c_str()));
            ASSERT_EQ(importer.GetTakeCount(), kTakeCount);
            for (int t = 0; t < kTakeCount; ++t)
                importer.SetTakeSelected(t, t == selected);
            EXPECT_TRUE(importer.Import(scene)) << importer.GetLastErrorString();
            KQoxRead6::sSideBySide = true;
            listings[way] = ListScene(manager, scene);
        }
        EXPECT_SAME_TEXT(listings[1], listings[0]);
    }
}

TEST_F(NativeSideBySide, PositionsThatDisagreeWithNames)
{
    // Every index of "Walk" reversed: each record's object is found by its
    // name.
    Write(1200);
    std::string bytes = mBytes;
    const std::vector<AnimationRecord> records = AnimationRecords(bytes, "Walk");
    ASSERT_GT(records.size(), 1000u);
    int models = 0;
    for (const AnimationRecord& record : records)
        if (record.mKind == "Model")
        {
            PutLE(bytes, record.mIndexAt, static_cast<uint64_t>(5000 - IndexOf(bytes, record)), 4);
            ++models;
        }
    ASSERT_GT(models, 1000);
    // Every 50th renamed to a name no object has ("Model::Q12" for
    // "Model::N12"): passed over.
    int renamed = 0;
    for (size_t r = 0; r < records.size(); r += 50)
        if (records[r].mKind == "Model" && records[r].mName.compare(0, 8, "Model::N") == 0)
        {
            const size_t at = bytes.find(records[r].mName, records[r].mStart);
            ASSERT_LT(at, records[r].mEnd);
            bytes[at + 7] = 'Q';
            ++renamed;
        }
    ASSERT_GT(renamed, 10);
    Reseal(bytes);
    const Outcome reversed = ExpectBothWaysSame(bytes, true);
    ASSERT_TRUE(reversed.mRead);
    // Nodes of names of their own still get their channels; the later nodes
    // of a shared name give theirs to the first.
    const Outcome plain = ReadOneWay(mFile, false, &mBytes, false);
    EXPECT_FALSE(plain.mListing == reversed.mListing);
}

TEST_F(NativeSideBySide, RecordsNamingOneObjectAreReadInFileOrder)
{
    // The later nodes of a shared name given no position (found by name:
    // the first of the name), or the position of the last of the name, or
    // the first's: two and three records for one object, in portions far
    // apart.
    Write(900);
    const std::vector<AnimationRecord> records = AnimationRecords(mBytes, "Run");
    ASSERT_GT(records.size(), 700u);
    for (int variant = 0; variant < 3; ++variant)
    {
        SCOPED_TRACE(variant);
        std::string bytes = mBytes;
        std::map<std::string, std::vector<const AnimationRecord*>> byName;
        for (const AnimationRecord& record : records)
            if (record.mKind == "Model" &&
                (record.mName.find("::Twin") != std::string::npos || record.mName.find("::Trio") != std::string::npos))
                byName[record.mName].push_back(&record);
        int repeated = 0;
        for (const auto& [name, same] : byName)
        {
            if (same.size() < 2)
                continue;
            const int first = IndexOf(bytes, *same.front());
            const int last = IndexOf(bytes, *same.back());
            for (size_t k = 0; k < same.size(); ++k)
            {
                int index = IndexOf(bytes, *same[k]);
                if (variant == 0 && k > 0)
                    index = -1;
                else if (variant == 1)
                    index = last;
                else if (variant == 2)
                    index = first;
                PutLE(bytes, same[k]->mIndexAt, static_cast<uint32_t>(index), 4);
            }
            ++repeated;
        }
        ASSERT_GE(repeated, 8);
        Reseal(bytes);
        const Outcome read = ExpectBothWaysSame(bytes, true, variant == 0);
        EXPECT_TRUE(read.mRead);
    }
}

TEST_F(NativeSideBySide, ACopiedRecordNamesTheSameObjectTwice)
{
    // A record copied over a later one of the same length: two records of
    // the take name one node, by name and position alike, near and far.
    Write(1000);
    const std::vector<AnimationRecord> records = AnimationRecords(mBytes, "Walk");
    ASSERT_GT(records.size(), 800u);
    std::string bytes = mBytes;
    int copied = 0;
    std::vector<bool> used(records.size(), false);
    for (size_t gap : {size_t(1), size_t(2), size_t(300), size_t(700)})
        for (size_t a = 0; a + gap < records.size() && copied < 40; a += 37)
        {
            const AnimationRecord& from = records[a];
            const AnimationRecord& to = records[a + gap];
            if (used[a] || used[a + gap] || from.mKind != "Model" || to.mKind != "Model" || from.mName == to.mName ||
                from.mEnd - from.mStart != to.mEnd - to.mStart)
                continue;
            bytes.replace(to.mStart, to.mEnd - to.mStart, mBytes, from.mStart, from.mEnd - from.mStart);
            used[a] = used[a + gap] = true;
            ++copied;
        }
    ASSERT_GE(copied, 5);
    Reseal(bytes);
    const Outcome read = ExpectBothWaysSame(bytes, true);
    EXPECT_TRUE(read.mRead);
}

TEST_F(NativeSideBySide, DamageInAChannelBlockFailsAlike)
{
    // Bytes of a take record's channels, far into the section, changed
    // (with a check value made again to match, and without), and the file
    // cut there: the same failure either way, nothing left behind.
    Write(600);
    const std::vector<AnimationRecord> records = AnimationRecords(mBytes, "Walk");
    ASSERT_GT(records.size(), 520u);
    const AnimationRecord* target = nullptr;
    for (size_t r = records.size() * 3 / 4; r < records.size() && !target; ++r)
        if (records[r].mKind == "Model")
            target = &records[r];
    ASSERT_NE(nullptr, target);
    // The record's first channel: its head, its name, and its first values.
    const size_t channel = mBytes.find("Channel", target->mIndexAt);
    ASSERT_LT(channel, target->mEnd);
    const size_t keyCount = mBytes.find("KeyCount", channel);
    const size_t key = mBytes.find("Key", keyCount + 8);
    ASSERT_LT(key, target->mEnd);
    int failed = 0;
    for (size_t at : {channel - 2, channel + 9, keyCount + 15, key + 14, target->mEnd - 1})
        for (int kind = 0; kind < 3; ++kind)
            for (bool reseal : {true, false})
            {
                if (kind == 2 && !reseal)
                    continue;
                SCOPED_TRACE(::testing::Message() << at << " kind " << kind << " resealed " << reseal);
                std::string bytes = mBytes;
                if (kind == 0)
                    bytes[at] = static_cast<char>(bytes[at] ^ 0xFF);
                else if (kind == 1)
                    bytes[at] = static_cast<char>(bytes[at] + 1);
                else
                    bytes.resize(at);
                if (reseal && kind != 2)
                    Reseal(bytes);
                const std::string name = mDir.File("damaged.qox");
                ASSERT_TRUE(WriteFile(name, bytes));
                const Outcome sideBySide = ReadOneWay(name, true, nullptr, false);
                const Outcome alone = ReadOneWay(name, false, nullptr, false);
                ExpectSame(sideBySide, alone, false);
                if (reseal || kind == 0)
                {
                    const Outcome memory = ReadOneWay(name, true, &bytes, false);
                    EXPECT_EQ(alone.mRead, memory.mRead);
                    EXPECT_EQ(alone.mErrorID, memory.mErrorID);
                    EXPECT_SAME_TEXT(alone.mListing, memory.mListing);
                }
                failed += alone.mRead ? 0 : 1;
            }
    EXPECT_GE(failed, 8);
}

TEST_F(NativeSideBySide, CutsThroughTheSectionFailAlike)
{
    Write(600);
    const std::vector<AnimationRecord> records = AnimationRecords(mBytes, "Run");
    ASSERT_GT(records.size(), 520u);
    for (size_t r : {size_t(1), records.size() / 3, records.size() - 1})
    {
        const size_t at = (records[r].mStart + records[r].mEnd) / 2;
        SCOPED_TRACE(at);
        const std::string bytes = mBytes.substr(0, at);
        const std::string name = mDir.File("cut.qox");
        ASSERT_TRUE(WriteFile(name, bytes));
        const Outcome sideBySide = ReadOneWay(name, true, nullptr, false);
        const Outcome alone = ReadOneWay(name, false, nullptr, false);
        ExpectSame(sideBySide, alone, false);
        EXPECT_FALSE(alone.mRead);
        EXPECT_EQ(alone.mError, "File is corrupted");
    }
}

TEST_F(NativeSideBySide, SectionsWithTimeWarpsReadAsBefore)
{
    // "Run" holds time warps: its records are read one after the other,
    // the others' side by side; the scene is the same either way.
    Write(700, true);
    const Outcome read = ExpectBothWaysSame(mBytes, true, false);
    ASSERT_TRUE(read.mRead);
    EXPECT_EQ(read.mRun.mOfTake, 0);
}

TEST_F(NativeSideBySide, TakeFilesReadAlike)
{
    // A take file of "Walk" read into the scene read without it, and into
    // the scene read with it (its channels read again into take nodes made
    // before, side by side).
    Write(900);
    const std::string takeFile = mDir.File("walk.tak");
    {
        KQoxSdkManager manager;
        KQoxScene scene(manager);
        BuildAnimatedScene(manager, scene, 900);
        KQoxWriterQox6 writer(manager);
        ASSERT_TRUE(writer.WriteTakeFile(takeFile.c_str(), scene, "Walk"));
    }
    for (bool withWalk : {false, true})
    {
        SCOPED_TRACE(withWalk);
        std::string listings[2];
        for (int way = 0; way < 2; ++way)
        {
            KQoxSdkManager manager;
            KQoxScene scene(manager);
            KQoxImporter importer(manager);
            ASSERT_TRUE(importer.Initialize(mFile.c_str()));
            importer.SetTakeSelected(0, withWalk);
            ASSERT_TRUE(importer.Import(scene));
            KQoxRead6::sSideBySide = way == 0;
            KQoxReaderQox reader(manager);
            EXPECT_TRUE(reader.ReadTakeFile(takeFile.c_str(), scene)) << reader.GetLastErrorString();
            KQoxRead6::sSideBySide = true;
            listings[way] = ListScene(manager, scene);
            // Take files are read one record after another.
            if (!withWalk)
            {
                EXPECT_EQ(0, CountInBlocks(scene.GetRootNode(), "Walk").mOfTake);
            }
        }
        EXPECT_SAME_TEXT(listings[1], listings[0]);
    }
}

TEST_F(NativeSideBySide, TextAndEncipheredFilesReadOneAfterTheOther)
{
    // Forms that are not split: read on the calling thread either way, the
    // same scene as the plain binary file gives.
    std::string binary;
    for (int format : {eEXPORT_QOX_BINARY, eEXPORT_QOX_ASCII, eEXPORT_QOX_ENCRYPTED})
    {
        SCOPED_TRACE(format);
        const std::string name = mDir.File("form.qox");
        {
            KQoxSdkManager manager;
            KQoxScene scene(manager);
            BuildAnimatedScene(manager, scene, 600);
            KQoxExporter exporter(manager);
            ASSERT_TRUE(exporter.Initialize(name.c_str()));
            exporter.SetFileFormat(format);
            exporter.SetPassword("pw");
            ASSERT_TRUE(exporter.Export(scene));
        }
        std::string listings[2];
        for (int way = 0; way < 2; ++way)
        {
            KQoxRead6::sSideBySide = way == 0;
            KQoxSdkManager manager;
            KQoxScene scene(manager);
            KQoxImporter importer(manager);
            importer.SetPassword("pw");
            const bool read = importer.Initialize(name.c_str()) && importer.Import(scene);
            KQoxRead6::sSideBySide = true;
            ASSERT_TRUE(read) << importer.GetLastErrorString();
            listings[way] = ListScene(manager, scene, 15);
            if (format != eEXPORT_QOX_BINARY)
            {
                EXPECT_EQ(0, CountInBlocks(scene.GetRootNode(), "Walk").mAll);
            }
        }
        EXPECT_SAME_TEXT(listings[1], listings[0]);
        if (format == eEXPORT_QOX_BINARY)
            binary = listings[0];
        else
            EXPECT_SAME_TEXT(binary, listings[0]);
    }
}

TEST_F(NativeSideBySide, DamagedTakeFilesFailAlike)
{
    // A take file whose channels are damaged far into its section (the
    // check value made again to match): refused either way, with the same
    // error, and the scene keeps the same records read before the damage.
    Write(700);
    const std::string takeFile = mDir.File("walk.tak");
    {
        KQoxSdkManager manager;
        KQoxScene scene(manager);
        BuildAnimatedScene(manager, scene, 700);
        KQoxWriterQox6 writer(manager);
        ASSERT_TRUE(writer.WriteTakeFile(takeFile.c_str(), scene, "Walk"));
    }
    const std::string whole = ReadFile(takeFile);
    const std::vector<AnimationRecord> records = AnimationRecords(whole, "Walk");
    ASSERT_GT(records.size(), 520u);
    for (size_t r : {records.size() / 10, records.size() / 2, records.size() - 2})
    {
        SCOPED_TRACE(r);
        std::string bytes = whole;
        const size_t channel = bytes.find("Channel", records[r].mStart);
        ASSERT_LT(channel, records[r].mEnd);
        bytes[channel - 2] = static_cast<char>(bytes[channel - 2] ^ 0xFF);
        Reseal(bytes);
        const std::string damaged = mDir.File("damaged.tak");
        ASSERT_TRUE(WriteFile(damaged, bytes));
        std::string listings[2], errors[2];
        bool read[2] = {};
        for (int way = 0; way < 2; ++way)
        {
            KQoxSdkManager manager;
            KQoxScene scene(manager);
            KQoxImporter importer(manager);
            ASSERT_TRUE(importer.Initialize(mFile.c_str()));
            importer.SetTakeSelected(0, false);
            ASSERT_TRUE(importer.Import(scene));
            KQoxRead6::sSideBySide = way == 0;
            KQoxReaderQox reader(manager);
            read[way] = reader.ReadTakeFile(damaged.c_str(), scene);
            KQoxRead6::sSideBySide = true;
            errors[way] = reader.GetLastErrorString();
            listings[way] = ListScene(manager, scene);
        }
        EXPECT_FALSE(read[1]);
        EXPECT_EQ(read[1], read[0]);
        EXPECT_EQ(errors[1], errors[0]);
        EXPECT_SAME_TEXT(listings[1], listings[0]);
    }
}

namespace {

// count nodes under the root, named name (or "P<i>" when empty), each with
// a take node of "Walk" keyed apart.
void BuildPlainTakes(KQoxSdkManager& manager, KQoxScene& scene, int count, const std::string& name = "")
{
    for (int i = 0; i < count; ++i)
    {
        KQoxNode* node = manager.CreateKQoxNode(name.empty() ? ("P" + std::to_string(i)).c_str() : name.c_str());
        ASSERT_TRUE(scene.GetRootNode()->AddChild(node));
        AddKeys(node->CreateTakeNode("Walk")->GetTranslationX(), i, 1 + i % 3);
    }
}

} // namespace

TEST_F(NativeSideBySide, SectionsAroundTheSizeReadSideBySide)
{
    // Sections just below, at and just above the size read side by side,
    // and one of uneven portions: the same either way; side by side only
    // from that size on.
    for (int records : {511, 512, 513, 777})
    {
        SCOPED_TRACE(records);
        const std::string name = mDir.File("plain.qox");
        int nodes = records;
        for (int attempt = 0; attempt < 2; ++attempt)
        {
            KQoxSdkManager manager;
            KQoxScene scene(manager);
            BuildPlainTakes(manager, scene, nodes);
            ASSERT_TRUE(Export(manager, scene, name, eEXPORT_QOX_BINARY));
            // The section holds a few records besides the nodes' own.
            nodes += records - static_cast<int>(AnimationRecords(ReadFile(name), "Walk").size());
        }
        ASSERT_EQ(static_cast<size_t>(records), AnimationRecords(ReadFile(name), "Walk").size());
        const Outcome sideBySide = ReadOneWay(name, true, nullptr, false);
        const Outcome alone = ReadOneWay(name, false, nullptr, false);
        ExpectSame(sideBySide, alone, false);
        ASSERT_TRUE(alone.mRead);
        if (SeveralThreads())
        {
            EXPECT_EQ(records < 512 ? 0 : nodes, sideBySide.mWalk.mOfTake);
        }
    }
}

TEST_F(NativeSideBySide, EveryRecordNamingOneObject)
{
    // Six hundred nodes of one name whose records all give the first's
    // position: the first node takes every record, in file order, the
    // others none.
    const std::string name = mDir.File("same.qox");
    {
        KQoxSdkManager manager;
        KQoxScene scene(manager);
        BuildPlainTakes(manager, scene, 600, "Same");
        ASSERT_TRUE(Export(manager, scene, name, eEXPORT_QOX_BINARY));
    }
    std::string bytes = ReadFile(name);
    const std::vector<AnimationRecord> records = AnimationRecords(bytes, "Walk");
    ASSERT_GT(records.size(), 600u);
    int first = -1;
    for (const AnimationRecord& record : records)
        if (record.mKind == "Model")
        {
            if (first < 0)
                first = IndexOf(bytes, record);
            PutLE(bytes, record.mIndexAt, static_cast<uint32_t>(first), 4);
        }
    Reseal(bytes);
    const Outcome read = ExpectBothWaysSame(bytes, false);
    ASSERT_TRUE(read.mRead);
    // The last record's keys (node 599: two keys) are what the first holds.
    KQoxRead6::sSideBySide = true;
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    KQoxReaderQox reader(manager);
    ASSERT_TRUE(reader.FileOpen(bytes.data(), static_cast<unsigned int>(bytes.size())) && reader.Read(scene, nullptr));
    ASSERT_EQ(600, scene.GetRootNode()->GetChildCount());
    KQoxNode* taker = scene.GetRootNode()->GetChild(0);
    ASSERT_EQ(2, taker->GetTakeNodeCount());
    EXPECT_STREQ("Walk", taker->GetTakeNodeName(1));
    KFCurve* curve = taker->GetTakeNode(1)->GetTranslationX();
    ASSERT_NE(nullptr, curve);
    EXPECT_EQ(1 + 599 % 3, curve->KeyGetCount());
    for (int i = 1; i < 600; ++i)
        ASSERT_EQ(1, scene.GetRootNode()->GetChild(i)->GetTakeNodeCount()) << i;
}
