// Shared set-up of the import pass tests: a fresh host, the plug-in's user
// parameters in a temporary configuration directory, an import object with a
// scene of plug-in nodes, and short ways to key SDK curves and to make host
// transforms for the nodes.
#ifndef QOX_TESTS_PLUGIN_IMPORT_PASS_TEST_UTIL_H
#define QOX_TESTS_PLUGIN_IMPORT_PASS_TEST_UTIL_H

#include "common/host_test_common.h"
#include "common/qox_test_common.h"

#include <memory>
#include <string>
#include <vector>

#include "base/kpath.h"
#include "base/qoxlogfile.h"
#include "fcurve/kfcurve.h"
#include "host/zanim.h"
#include "host/zglobal.h"
#include "host/zhost.h"
#include "plugin/import/qoxzeltimport.h"
#include "plugin/qoxzeltnode.h"
#include "plugin/qoxzeltuserparams.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxtakenode.h"

class ImportPassTest : public ::testing::Test
{
public:
    static ZObject HostNode(const std::string& name) { return qoxtest::HostObject(name); }
    static ZPlug HostPlug(const std::string& node, const std::string& attribute)
    {
        return qoxtest::HostPlug(node, attribute);
    }

protected:
    void SetUp() override
    {
        zelthost::Host::Get().Reset();
        KLib_SetConfigDirectory((mDir.Path() + "/").c_str());
        KLib_SetMasterDirectory((mDir.Path() + "/").c_str());
        QoxZeltUserParams::ReleaseInstance();
        Params().SetBoolParam(QoxZeltUserParams::kImportShowUI, false);
        mImport.reset(new QoxZeltImport);
        mImport->mScene = mImport->mManager.CreateKQoxScene();
        mImport->mRootNode = static_cast<QoxZeltNode*>(mImport->mScene->GetRootNode());
    }
    void TearDown() override
    {
        mImport.reset();
        QoxZeltUserParams::ReleaseInstance();
    }

    static QoxZeltUserParams& Params() { return QoxZeltUserParams::Instance(); }
    static void SetMode(int mode)
    {
        Params().SetStringParam(qoxsdk_600::KQoxUserParams::kImportLoadMode, Params().GetLoadModeText(mode));
    }

    // A node under parent (the root when null).
    QoxZeltNode* Node(const char* name, qoxsdk_600::KQoxNode* parent = nullptr)
    {
        QoxZeltNode* node = mImport->mManager.CreateQoxZeltNode(name, nullptr);
        (parent ? parent : mImport->mRootNode)->AddChild(node);
        return node;
    }
    // A host transform named after the node (under the parent's host node
    // when it has one), attached to the node.
    ZDagPath Host(QoxZeltNode* node, const char* type = "transform")
    {
        ZFnDagNode maker;
        ZObject parent = ZObject::kNullObj;
        if (auto* p = static_cast<QoxZeltNode*>(node->GetParent()))
            if (p->GetDagPath())
                parent = p->GetDagPath()->node();
        ZObject made = maker.create(type, parent);
        ZFnDagNode fn(made);
        fn.setName(node->GetNameWithoutNameSpacePrefix().ToChars());
        ZDagPath path;
        fn.getPath(path);
        node->SetDagPath(&path);
        return path;
    }
    // A second take, made current.
    static void UseTake(QoxZeltNode* node, const char* take = "Take 001")
    {
        node->CreateTakeNode(take);
        node->SetCurrentTakeNode(take);
    }
    static KTime Seconds(double seconds)
    {
        KTime t;
        t.SetSecondDouble(seconds);
        return t;
    }
    static int Key(KFCurve* curve, double seconds, float value, unsigned interpolation = KFCURVE_INTERPOLATION_CUBIC,
                   unsigned tangent = KFCURVE_TANGEANT_AUTO)
    {
        KTime t = Seconds(seconds);
        int index = curve->KeyAdd(t);
        curve->KeySet(index, t, value, interpolation, tangent);
        return index;
    }

    // The log written so far: the import object's log is closed and read back.
    std::string CloseLog()
    {
        mImport->mLog.reset();
        return qoxtest::ReadFile(mDir.File("qoxzeltlog.txt"));
    }
    void OpenLog() { mImport->mLog.reset(new QoxLogFile("qoxzeltlog.txt", "File import: test", false, true)); }

    static std::vector<std::string> Commands() { return zelthost::Host::Get().Commands(); }
    static void ClearTranscript() { zelthost::Host::Get().ClearTranscript(); }
    // The dialogs shown, as the host records them.
    static std::vector<std::string> Dialogs()
    {
        std::vector<std::string> out;
        for (const zelthost::TranscriptEntry& e : zelthost::Host::Get().Transcript())
            if (e.kind == zelthost::TranscriptEntry::kDialog)
                out.push_back(e.text);
        return out;
    }
    qoxtest::TempDir mDir;
    std::unique_ptr<QoxZeltImport> mImport;
};

#endif
