// Deformation tests: host geometry and joints made in the stand-in, SDK
// nodes tied to them, and the import object's deformation passes run
// directly, with the log written to the test's directory.
#ifndef QOX_TESTS_PLUGIN_DEFORM_TEST_UTIL_H
#define QOX_TESTS_PLUGIN_DEFORM_TEST_UTIL_H

#include "plugin_test_util.h"

#include <cstdio>
#include <fstream>
#include <sstream>

#include "base/kpath.h"
#include "base/qoxlogfile.h"
#include "host/zfn.h"
#include "host/zgeometry.h"
#include "plugin/import/qoxzeltimport.h"
#include "plugin/qoxzeltnode.h"
#include "plugin/qoxzeltuserparams.h"
#include "scene/attributes/kqoxlink.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/attributes/kqoxnurb.h"
#include "scene/attributes/kqoxskeleton.h"
#include "scene/kqoxscene.h"

class DeformTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        zelthost::Host::Get().Reset();
        const std::string dir = mDir.Path() + "/";
        KLib_SetMasterDirectory(dir.c_str());
        KLib_SetConfigDirectory(dir.c_str());
        QoxZeltUserParams& params = QoxZeltUserParams::Instance();
        params.SetBoolParam(QoxZeltUserParams::kImportShowUI, false);
        params.SetBoolParam(QoxZeltUserParams::kImportForceWeightNormalize, false);
        params.SetBoolParam(QoxZeltUserParams::kImportNullsToPivot, false);
        params.SetBoolParam(QoxZeltUserParams::kExportShowUI, false);
        params.SetDoubleParam(QoxZeltUserParams::kImportMasterScale, 1.0);
        mImport.mLog.reset(new QoxLogFile("log.txt", "Test", false, false));
        mScene = mImport.mManager.CreateKQoxScene();
    }

    // The settings go back to their defaults for the tests that follow.
    void TearDown() override { QoxZeltUserParams::ReleaseInstance(); }

    static void Param(int index, bool value) { QoxZeltUserParams::Instance().SetBoolParam(index, value); }

    void Run(const std::string& text) { qoxtest::RunScriptOrFail(text); }
    // A script text's result strings (failure fails the test).
    static std::vector<std::string> Ask(const std::string& text) { return qoxtest::RunScript(text); }
    static ZDagPath Path(const std::string& name) { return qoxtest::HostPath(name); }
    static ZObject Object(const std::string& name) { return qoxtest::HostObject(name); }
    qoxsdk_600::KQoxNode* Root() { return mScene->GetRootNode(); }
    QoxZeltNode* ZeltRoot() { return static_cast<QoxZeltNode*>(Root()); }

    // An SDK node under parent (the root when null), tied to the host node of
    // hostName when one is given.
    QoxZeltNode* Node(const char* name, qoxsdk_600::KQoxNodeAttribute* attribute = nullptr,
                      qoxsdk_600::KQoxNode* parent = nullptr, const char* hostName = nullptr)
    {
        QoxZeltNode* node = mImport.mManager.CreateQoxZeltNode(name, nullptr);
        (parent ? parent : Root())->AddChild(node);
        if (attribute)
            node->SetNodeAttribute(attribute);
        if (hostName)
        {
            ZDagPath path = Path(hostName);
            EXPECT_TRUE(path.isValid()) << hostName;
            node->SetDagPath(&path);
        }
        return node;
    }
    QoxZeltNode* Joint(const char* name, qoxsdk_600::KQoxNode* parent = nullptr, const char* hostName = nullptr)
    {
        return Node(name, mImport.mManager.CreateKQoxSkeleton(), parent, hostName ? hostName : name);
    }
    qoxsdk_600::KQoxMesh* Mesh(int points)
    {
        qoxsdk_600::KQoxMesh* mesh = mImport.mManager.CreateKQoxMesh();
        mesh->InitControlPoints(points);
        return mesh;
    }
    // A link of the geometry to the bone with the (index, weight) pairs.
    qoxsdk_600::KQoxLink* Link(qoxsdk_600::KQoxNodeAttribute* geometry, qoxsdk_600::KQoxNode* bone, int mode,
                               std::vector<std::pair<int, double>> points)
    {
        qoxsdk_600::KQoxLink* link = mImport.mManager.CreateKQoxLink();
        link->SetLink(bone);
        link->SetLinkMode(static_cast<qoxsdk_600::KQoxLink::ELinkMode>(mode));
        for (const auto& p : points)
            link->AddControlPointIndex(p.first, p.second);
        static_cast<qoxsdk_600::KQoxGeometry*>(geometry)->AddLink(link);
        return link;
    }

    // A host transform with a mesh of width x height vertices in a grid (one
    // row of quads per row of points).
    static void HostGrid(const std::string& name, int width, int height)
    {
        ZFnTransform t;
        ZObject transform = t.create();
        t.setName(ZString(name));
        ZPointArray points;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                points.append(ZPoint(x, y, 0));
        ZIntArray counts, connects;
        for (int y = 0; y + 1 < height; ++y)
            for (int x = 0; x + 1 < width; ++x)
            {
                counts.append(4);
                for (int v : {y * width + x, y * width + x + 1, (y + 1) * width + x + 1, (y + 1) * width + x})
                    connects.append(v);
            }
        ZFnMesh mesh;
        ZStatus st;
        mesh.create(width * height, static_cast<int>(counts.length()), points, counts, connects, transform, &st);
        EXPECT_TRUE(st) << st.errorString();
    }

    // The script texts run since the transcript was cleared.
    static std::vector<std::string> Commands() { return zelthost::Host::Get().Commands(); }
    static std::vector<std::string> Errors() { return zelthost::Host::Get().Errors(); }
    static std::vector<std::string> Dialogs()
    {
        std::vector<std::string> out;
        for (const auto& e : zelthost::Host::Get().Transcript())
            if (e.kind == zelthost::TranscriptEntry::kDialog)
                out.push_back(e.text);
        return out;
    }
    static void Clear() { zelthost::Host::Get().ClearTranscript(); }
    // The log's lines so far.
    std::vector<std::string> LogLines()
    {
        mImport.mLog->OutputLog();
        std::ifstream in(mDir.File("log.txt"));
        std::vector<std::string> lines;
        std::string line;
        while (std::getline(in, line))
            if (!line.empty() && line[0] == '\t')
                lines.push_back(line.substr(1));
        std::remove(mDir.File("log.txt").c_str());
        return lines;
    }
    // The skin weight of a point for an influence's logical index.
    static double SkinWeight(const char* skin, unsigned point, unsigned influence)
    {
        ZFnSkinCluster fn(Object(skin));
        ZDoubleArray weights;
        fn.getWeights(point, weights);
        return influence < weights.length() ? weights[influence] : 0.0;
    }

    qoxtest::TempDir mDir;
    QoxZeltImport mImport;
    qoxsdk_600::KQoxScene* mScene = nullptr;
};

#endif
