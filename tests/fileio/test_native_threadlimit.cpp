// Large native reads and writes at thread limits 1, 2, the default and on
// one processor: the helpers they take stay within the limit (counted by the
// pool and in /proc/self/task, in a forked child whose pool starts empty),
// and the scene read and the files written again are the same at every
// limit.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/kthreadlimit.h"
#include "base/kthreadpool_private.h"
#include "common/qox_test_common.h"
#include "common/qox_test_threads.h"
#include "fcurve/kfcurve.h"
#include "fileio/kqoxioregistry.h"
#include "fileio_test_util.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakenode.h"

using namespace qoxsdk_600;
using qoxtest::InChild;
using qoxtest::ReadFile;
using qoxtest::TaskCount;
using qoxtest::TempDir;
using qoxtest::WriteFile;

namespace {

// Sections this large are read on helpers (2,048 records and more), and
// arrays this large are read and written in slices (256 Ki items and more).
const int kNodes = 3000;
const int kPoints = 80000; // four numbers each

// kNodes plain nodes whose translation X is animated in "Walk", and one
// mesh of kPoints control points in quadrangles.
void BuildLarge(KQoxSdkManager& manager, KQoxScene& scene)
{
    KQoxNode* root = scene.GetRootNode();
    for (int i = 0; i < kNodes; ++i)
    {
        KQoxNode* node = manager.CreateKQoxNode(("N" + std::to_string(i)).c_str());
        root->AddChild(node);
        node->SetDefaultT(KQoxVector4(i, -0.5 * i, 1.0 / (i + 1)));
        KFCurve* curve = node->CreateTakeNode("Walk")->GetTranslationX();
        curve->KeyModifyBegin();
        for (int k = 0; k < 3; ++k)
        {
            const KTime time(static_cast<long long>(k) * 1539538600LL);
            curve->KeySet(curve->KeyAdd(time), time, static_cast<float>(i + k * 0.25), KFCURVE_INTERPOLATION_LINEAR);
        }
        curve->KeyModifyEnd();
    }
    KQoxNode* holder = manager.CreateKQoxNode("Points");
    root->AddChild(holder);
    KQoxMesh* mesh = manager.CreateKQoxMesh();
    holder->SetNodeAttribute(mesh);
    mesh->InitControlPoints(kPoints);
    for (int i = 0; i < kPoints; ++i)
        mesh->GetControlPoints()[i] = KQoxVector4(i * 0.125, -i / 3.0, 1e-3 * i, 1);
    for (int q = 0; q + 3 < kPoints; q += 4)
    {
        mesh->BeginPolygon(-1, -1, 0);
        for (int v = 0; v < 4; ++v)
            mesh->AddPolygon(q + v);
        mesh->EndPolygon();
    }
}

// In a child: reads name and writes it again in format to again, the
// scene's listing to listing; faults when helpers went beyond limit (the
// limit in force there) or, when wanted, the read or the write took none.
std::string ReadAndWrite(const std::string& name, const std::string& again, const std::string& listing, int format,
                         int limit, bool wantHelpers)
{
    std::string faults;
    const long long jobsBefore = KThreadPoolGetCounts().mJobs;
    {
        KQoxSdkManager manager;
        KQoxScene scene(manager);
        if (!fileiotest::Import(manager, scene, name))
            return "cannot read " + name + "\n";
        const long long jobsRead = KThreadPoolGetCounts().mJobs;
        if (wantHelpers && jobsRead == jobsBefore)
            faults += name + ": read without helpers at limit " + std::to_string(limit) + "\n";
        if (!WriteFile(listing, fileiotest::ListScene(manager, scene)))
            faults += "cannot write the listing\n";
        if (!fileiotest::Export(manager, scene, again, format))
            faults += "cannot write " + again + "\n";
        if (wantHelpers && KThreadPoolGetCounts().mJobs == jobsRead)
            faults += again + ": written without helpers at limit " + std::to_string(limit) + "\n";
    }
    const KThreadPoolCounts counts = KThreadPoolGetCounts();
    if (counts.mWorkers > limit - 1 || counts.mPeakBusy > limit - 1)
        faults += name + ": " + std::to_string(counts.mWorkers) + " helpers made, " + std::to_string(counts.mPeakBusy) +
                  " at once, at limit " + std::to_string(limit) + "\n";
    const int tasks = TaskCount();
    if (tasks > limit + qoxtest::kRuntimeThreads || tasks > 1 + counts.mWorkers + qoxtest::kRuntimeThreads)
        faults += name + ": " + std::to_string(tasks) + " threads at limit " + std::to_string(limit) + "\n";
    return faults;
}

class NativeThreadLimit : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        sDir = new TempDir;
        KQoxSdkManager manager;
        KQoxScene scene(manager);
        BuildLarge(manager, scene);
        // Written without helpers: the children forked later start theirs.
        KSetThreadLimit(1);
        ASSERT_TRUE(fileiotest::Export(manager, scene, sDir->File("large.qox"), eEXPORT_QOX_BINARY));
        ASSERT_TRUE(fileiotest::Export(manager, scene, sDir->File("large_ascii.qox"), eEXPORT_QOX_ASCII));
        KSetThreadLimit(0);
    }
    static void TearDownTestSuite()
    {
        delete sDir;
        sDir = nullptr;
    }

    // Reads and writes both files in a child at limit (0: the default; pin:
    // pinned to one processor first); the outputs are named after tag.
    static void RunAt(int limit, bool pin, const std::string& tag)
    {
        const std::string dir = sDir->Path();
        EXPECT_EQ(InChild([&] {
                      if (pin && !qoxtest::PinToOneProcessor())
                          return std::string("cannot pin to one processor\n");
                      KSetThreadLimit(limit);
                      const int inForce = KGetThreadLimit();
                      if (pin && inForce != 1)
                          return "limit " + std::to_string(inForce) + " on one processor\n";
                      const bool want = inForce > 1;
                      std::string faults =
                          ReadAndWrite(dir + "/large.qox", dir + "/again_" + tag + ".qox",
                                       dir + "/list_" + tag + ".txt", eEXPORT_QOX_BINARY, inForce, want) +
                          ReadAndWrite(dir + "/large_ascii.qox", dir + "/again_ascii_" + tag + ".qox",
                                       dir + "/list_ascii_" + tag + ".txt", eEXPORT_QOX_ASCII, inForce, want);
                      const KThreadPoolCounts counts = KThreadPoolGetCounts();
                      if (want && counts.mJobs <= counts.mWorkers)
                          faults += "a helper made for each job\n";
                      return faults;
                  }),
                  "")
            << tag;
    }

    static void ExpectSameAs(const std::string& tag, const std::string& reference)
    {
        for (const char* file : {"again_", "again_ascii_", "list_", "list_ascii_"})
        {
            const std::string ext = file[0] == 'l' ? ".txt" : ".qox";
            bool ok = false;
            const std::string expected = ReadFile(sDir->File(file + reference + ext), &ok);
            EXPECT_TRUE(ok) << file << reference;
            EXPECT_TRUE(ReadFile(sDir->File(file + tag + ext)) == expected) << file << tag;
        }
    }

    static TempDir* sDir;
};

TempDir* NativeThreadLimit::sDir = nullptr;

} // namespace

TEST_F(NativeThreadLimit, ReadsAndWritesStayWithinTheLimitAndAgree)
{
    if (std::getenv("QOX_THREADS"))
        GTEST_SKIP() << "QOX_THREADS is set";
    RunAt(1, false, "1");
    RunAt(2, false, "2");
    RunAt(0, false, "default");
    RunAt(0, true, "pinned");
    RunAt(5, false, "5");
    ExpectSameAs("2", "1");
    ExpectSameAs("default", "1");
    ExpectSameAs("pinned", "1");
    ExpectSameAs("5", "1");
}
