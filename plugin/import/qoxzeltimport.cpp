#include "plugin/import/qoxzeltimport.h"

#include "fileio/kqoximporter.h"
#include "scene/kqoxscene.h"

using namespace qoxsdk_600;

QoxZeltImport::QoxZeltImport()
    : mImportLog(nullptr)
    , mCurrentTime(0)
    , mOldVersion(false)
    , mLimitsOnce(false)
    , mLockedAttributeAnswer(1)
    , mManager(QoxZeltSdkManager::eIMPORT)
    , mRootNode(nullptr)
    , mScene(nullptr)
{}

QoxZeltImport::~QoxZeltImport()
{
    CloseProject();
    for (int i = 0; i < mMaterialCache.GetCount(); ++i)
    {
        delete mMaterialCache[i]->shader;
        delete mMaterialCache[i];
    }
}

ZStatus QoxZeltImport::OpenProject(const ZString& fileName)
{
    KString name(fileName.asChar());
    CloseProject();
    mImporter.reset(new KQoxImporter(mManager));
    mImporter->Initialize(name.ToChars());
    return ZStatus();
}

ZStatus QoxZeltImport::CloseProject()
{
    mImporter.reset();
    if (mScene)
    {
        mManager.DestroyKQoxScene(mScene, true);
        mScene = nullptr;
        mRootNode = nullptr;
    }
    return ZStatus();
}

KString QoxZeltImport::parseArgs(const ZArgList& args, ZStatus* status)
{
    ZStatus st;
    for (unsigned i = 0; i < args.length(); ++i)
    {
        ZString text = args.asString(i, &st);
        if (!st)
            continue;
        if (text == "-f")
        {
            ZString name = args.asString(i + 1, &st);
            ZSetStatus(status, st);
            return st ? KString(name.asChar()) : KString("");
        }
    }
    ZSetStatus(status, st);
    return KString("");
}

void QoxZeltImport::ComputeWorldTransform(KgeAMatrix&) {}

// The reading part of an import: the selected take is read into a scene of
// this object's manager, which is then dropped. Building host objects from
// the scene is the import driver's work.
ZStatus QoxZeltImport::Import()
{
    if (!mImporter)
        return ZStatus(ZStatus::kFailure, "No file opened");
    mScene = mManager.CreateKQoxScene();
    if (!mScene)
        return ZStatus(ZStatus::kInsufficientMemory, "No scene");
    if (mTakeName.GetLen() > 0)
        for (int i = 0; i < mImporter->GetTakeCount(); ++i)
            mImporter->SetTakeSelected(i, mTakeName.Compare(mImporter->GetTakeInfo(i)->Name.ToChars()) == 0);
    bool ok = mImporter->Import(*mScene);
    ZStatus result = ok ? ZStatus() : ZStatus(ZStatus::kFailure, mImporter->GetLastErrorString());
    mManager.DestroyKQoxScene(mScene, true);
    mScene = nullptr;
    mRootNode = nullptr;
    return result;
}
