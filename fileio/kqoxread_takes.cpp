// Native reader: the take list and the animation of each take.

#include <cstring>
#include <string>

#include "base/kset.h"
#include "fcurve/kfcurvelayer.h"
#include "fcurve/kfcurvenode.h"
#include "fcurve/kfcurveplot.h"
#include "fileio/kqoxnative_private.h"
#include "fileio/kqoxreaderqox_private.h"
#include "scene/attributes/kqoxgenericnode.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/attributes/kqoxvideo.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakenode.h"
#include "scene/kqoxthumbnail.h"

namespace qoxsdk_600 {

using namespace qoxnative;

namespace {

// Whether the set already holds that number (a file may repeat one).
bool HasNumber(KSet& set, int number)
{
    int index = -1;
    set.Get(static_cast<kReference>(number), &index);
    return index >= 0;
}

KTimeSpan ReadSpan(IQoxObject& file, const char* name)
{
    KTimeSpan span;
    if (file.FieldReadBegin(name))
    {
        KTime start = file.FieldReadT();
        KTime stop = file.FieldReadT();
        span.Set(start, stop);
        file.FieldReadEnd();
    }
    return span;
}

} // namespace

bool KQoxRead6::ReadTakeList(IQoxObject& file, std::vector<std::unique_ptr<KQoxTakeInfo>>& takes, KString& current,
                             KQoxSdkManager* manager)
{
    takes.clear();
    current = "";
    // Found by position: the section may have been read before (at open time).
    int section = file.ProjectFindSection(kTakes);
    if (section < 0)
        return true;
    if (!file.ProjectOpenSection(section))
        return false;
    current = file.FieldReadC(kCurrent, "");
    while (file.FieldReadBegin(kTake))
    {
        std::unique_ptr<KQoxTakeInfo> info(new KQoxTakeInfo);
        info->Name = file.FieldReadC();
        info->ImportName = info->Name;
        if (file.FieldReadBlockBegin())
        {
            info->Comments = file.FieldReadC(kComments, "");
            info->LocalTimeSpan = ReadSpan(file, kLocalTime);
            info->ReferenceTimeSpan = ReadSpan(file, kReferenceTime);
            if (manager)
            {
                KQoxFileScene scene(*manager);
                KStreamOptionsQox options;
                KQoxRead6 reader(file, scene, options);
                info->SetTakeThumbnail(reader.Thumbnail());
                if (reader.mCorrupted)
                {
                    file.ProjectReadSectionEnd();
                    return false;
                }
            }
            file.FieldReadBlockEnd();
        }
        file.FieldReadEnd();
        if (file.GetLastErrorID() == KQox::eFILE_CORRUPTED)
            break;
        takes.push_back(std::move(info));
    }
    file.ProjectReadSectionEnd();
    return file.GetLastErrorID() != KQox::eFILE_CORRUPTED;
}

KQoxTakeNodeContainer* KQoxRead6::FindObject(const char* kind, int index, const char* name)
{
    auto pick = [&](auto& objects, int slot) -> KQoxTakeNodeContainer* {
        if (index >= 0 && index < static_cast<int>(objects.size()) &&
            std::strcmp(objects[static_cast<size_t>(index)]->GetName(), name) == 0)
            return objects[static_cast<size_t>(index)];
        std::unordered_map<std::string, KQoxTakeNodeContainer*>& byName = mObjectsByName[slot];
        if (byName.empty())
        {
            // In order, the first of each name kept.
            byName.reserve(objects.size());
            for (auto* object : objects)
                byName.emplace(object->GetName(), object);
        }
        auto found = byName.find(name);
        return found != byName.end() ? found->second : nullptr;
    };
    if (std::strcmp(kind, kModel) == 0)
        return pick(mNodes, 0);
    if (std::strcmp(kind, kTexture) == 0)
        return pick(mTextures, 1);
    if (std::strcmp(kind, kVideo) == 0)
        return pick(mVideos, 2);
    if (std::strcmp(kind, kMaterial) == 0)
        return pick(mMaterials, 3);
    if (std::strcmp(kind, kGenericNode) == 0)
        return pick(mGenericNodes, 4);
    // The switcher read, or the scene's own when a take file is read into
    // the scene's objects.
    if (std::strcmp(kind, kCameraSwitcher) == 0)
        return mScene.mCameraSwitcher;
    return nullptr;
}

void KQoxRead6::ReadAnimation(bool onlySelected)
{
    KString take(mFile.FieldReadC(kTake, ""));
    if (take.IsEmpty() || take == "Default" || (onlySelected && !mOptions.IsTakeSelected(take.ToChars())))
        return;
    mTakeRead = take;
    for (auto& byName : mObjectsByName)
        byName.clear();
    // The take's time warps, installed as the time-warp set while its
    // channels are read, then merged into the channels that took them; the
    // warps and the set go with the read.
    std::vector<KFCurveNode*> warps;
    KSet numbers(16);
    while (Ok() && mFile.FieldReadBegin(kTimeWarp))
    {
        int number = mFile.FieldReadI();
        KFCurveNode* warp = nullptr;
        if (mFile.FieldReadBlockBegin())
        {
            warp = KFCurveNodeCreate(&mFile, false, true);
            mFile.FieldReadBlockEnd();
        }
        mFile.FieldReadEnd();
        if (!warp)
            continue;
        warps.push_back(warp);
        if (number > 0 && !HasNumber(numbers, number))
            numbers.Add(static_cast<kReference>(number), reinterpret_cast<kReference>(warp));
    }
    struct Installed
    {
        explicit Installed(KSet* set) { KFCurve_SetTWSet(set); }
        ~Installed() { KFCurve_SetTWSet(nullptr); }
    } installed(warps.empty() ? nullptr : &numbers);
    // Each warp is held by a holder node of its own while the channels are
    // read; dropping the holders destroys the warps no channel keeps (every
    // warp the merge could bake).
    struct Holders
    {
        std::vector<KFCurveNode*> mNodes;
        ~Holders()
        {
            for (KFCurveNode* holder : mNodes)
                holder->Destroy();
        }
    } holders;
    for (KFCurveNode* warp : warps)
    {
        holders.mNodes.push_back(KFCurveNodeCreate("TimeWarpHolder"));
        holders.mNodes.back()->TimeWarpSet(warp);
    }

    std::vector<KFCurveNode*> roots;
    int count = mFile.FieldReadGetRecordCount();
    for (int i = 0; i < count && Ok(); ++i)
    {
        const char* recordName = mFile.FieldReadGetRecordName(i);
        if (!recordName)
            break;
        std::string kind(recordName);
        if (kind != kModel && kind != kTexture && kind != kVideo && kind != kMaterial && kind != kGenericNode &&
            kind != kCameraSwitcher)
            continue;
        if (!mFile.FieldReadBegin(kind.c_str()))
            break;
        const std::string name(mFile.FieldReadC());
        int index = mFile.FieldReadI();
        KQoxTakeNodeContainer* object = FindObject(kind.c_str(), index, name.c_str());
        KQoxTakeNode* takeNode = nullptr;
        if (object)
        {
            for (int t = 0; t < object->GetTakeNodeCount() && !takeNode; ++t)
                if (take == object->GetTakeNodeName(t))
                    takeNode = object->GetTakeNode(t);
            if (!takeNode)
                takeNode = object->CreateTakeNode(take.ToChars());
        }
        KFCurveNode* root = takeNode ? takeNode->GetKFCurveNode() : nullptr;
        if (root && mFile.FieldReadBlockBegin())
        {
            roots.push_back(root);
            while (Ok() && KFCurveNodeCreate(&mFile, root, false, true, true))
            {}
            mFile.FieldReadBlockEnd();
        }
        mFile.FieldReadEnd();
    }
    if (Ok() && !warps.empty())
        for (KFCurveNode* root : roots)
            KFCurve_MergeTimeWarps(root, mTimeWarpBudget);
}

} // namespace qoxsdk_600
