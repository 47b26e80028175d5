// Native reader: the take list and the animation of each take.

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/kparallel.h"
#include "base/kset.h"
#include "fcurve/kfcurvegroup.h"
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

// The root of the object's take node of that take, the take node made
// when the object has none; null without an object.
KFCurveNode* TakeRootOf(KQoxTakeNodeContainer* object, const KString& take)
{
    if (!object)
        return nullptr;
    KQoxTakeNode* takeNode = nullptr;
    for (int t = 0; t < object->GetTakeNodeCount() && !takeNode; ++t)
        if (take == object->GetTakeNodeName(t))
            takeNode = object->GetTakeNode(t);
    if (!takeNode)
        takeNode = object->CreateTakeNode(take.ToChars());
    return takeNode ? takeNode->GetKFCurveNode() : nullptr;
}

} // namespace

bool KQoxRead6::ReadTakeList(IQoxObject& file, std::vector<std::unique_ptr<KQoxTakeInfo>>& takes, KString& current,
                             KQoxSdkManager* manager)
{
    takes.clear();
    current = "";
    // Found by position: the section may have been read before (at open time).
    int section = file.ProjectFindSection(kTakes);
    // Missing, or damage met while looking for it.
    if (section < 0)
        return file.GetLastErrorID() != KQox::eFILE_CORRUPTED;
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

int KQoxRead6::TakeKindSlot(const char* kind)
{
    for (int slot = 0; slot < kTakeKinds; ++slot)
        if (std::strcmp(kind, kTakeKindNames[slot]) == 0)
            return slot;
    return -1;
}

int KQoxRead6::TakeObjectCount(int slot) const
{
    switch (slot)
    {
    case 0: return static_cast<int>(mNodes.size());
    case 1: return static_cast<int>(mTextures.size());
    case 2: return static_cast<int>(mVideos.size());
    case 3: return static_cast<int>(mMaterials.size());
    case 4: return static_cast<int>(mGenericNodes.size());
    default: return 1;
    }
}

KQoxTakeNodeContainer* KQoxRead6::TakeObjectAt(int slot, int position) const
{
    if (slot == kSwitcherSlot)
        return mScene.mCameraSwitcher;
    if (slot < 0 || position < 0 || position >= TakeObjectCount(slot))
        return nullptr;
    const size_t at = static_cast<size_t>(position);
    switch (slot)
    {
    case 0: return mNodes[at];
    case 1: return mTextures[at];
    case 2: return mVideos[at];
    case 3: return mMaterials[at];
    case 4: return mGenericNodes[at];
    default: return nullptr;
    }
}

int KQoxRead6::TakeObjectByIndex(int slot, int index, const char* name) const
{
    if (slot == kSwitcherSlot)
        return 0;
    const KQoxTakeNodeContainer* object = TakeObjectAt(slot, index);
    return object && std::strcmp(object->GetName(), name) == 0 ? index : -1;
}

int KQoxRead6::FindObjectPosition(int slot, int index, const char* name)
{
    if (slot < 0)
        return -1;
    const int position = TakeObjectByIndex(slot, index, name);
    if (position >= 0)
        return position;
    std::unordered_map<std::string, int>& byName = mObjectsByName[slot];
    if (byName.empty())
    {
        // In order, the first of each name kept.
        const int count = TakeObjectCount(slot);
        byName.reserve(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i)
            byName.emplace(TakeObjectAt(slot, i)->GetName(), i);
    }
    auto found = byName.find(name);
    return found != byName.end() ? found->second : -1;
}

KQoxTakeNodeContainer* KQoxRead6::FindObject(const char* kind, int index, const char* name)
{
    const int slot = TakeKindSlot(kind);
    return TakeObjectAt(slot, FindObjectPosition(slot, index, name));
}

void KQoxRead6::ReadTakeRecords(const KString& take, std::vector<KFCurveNode*>& roots)
{
    int count = mFile.FieldReadGetRecordCount();
    for (int i = 0; i < count && Ok(); ++i)
    {
        const char* recordName = mFile.FieldReadGetRecordName(i);
        if (!recordName)
            break;
        const std::string kind(recordName);
        if (TakeKindSlot(kind.c_str()) < 0)
            continue;
        if (!mFile.FieldReadBegin(kind.c_str()))
            break;
        const std::string name(mFile.FieldReadC());
        int index = mFile.FieldReadI();
        KFCurveNode* root = TakeRootOf(FindObject(kind.c_str(), index, name.c_str()), take);
        if (root && mFile.FieldReadBlockBegin())
        {
            roots.push_back(root);
            while (Ok() && KFCurveNodeCreate(&mFile, root, false, true, true))
            {}
            mFile.FieldReadBlockEnd();
        }
        mFile.FieldReadEnd();
    }
}

namespace {

const int kTakeThreads = 8;
// Records are dealt out in portions of at least kPortionRecords, about
// kPortionsPerThread per thread, so that threads finishing early take more.
const int kPortionRecords = 64;
const int kPortionsPerThread = 4;

// What the first pass learns of one record: its kind's slot (-1: no
// channels), its object's position (-1: none), and whether an earlier
// record names the same object (read after the others, in file order).
struct TakeRecord
{
    signed char mSlot = -1;
    bool mRepeat = false;
    int mPosition = -1;
};

// A record whose object its index does not name: found by name after the
// first pass.
struct NamedRecord
{
    int mRecord;
    int mIndex;
    std::string mName;
};

bool Damaged(const KQox& file)
{
    return file.GetLastErrorID() == KQox::eFILE_CORRUPTED;
}

// The channels of the current record (a take record read up to its block)
// into root.
void ReadChannels(KQox& file, KFCurveNode* root)
{
    if (root && file.FieldReadBlockBegin())
    {
        while (!Damaged(file) && KFCurveNodeCreate(&file, root, false, true, true))
        {}
        file.FieldReadBlockEnd();
    }
}

} // namespace

std::atomic<bool> KQoxRead6::sSideBySide{true};
std::atomic<int> KQoxRead6::sSideBySideRecords{2048};

bool KQoxRead6::ReadTakeRecordsSideBySide(const KString& take)
{
    const int count = mFile.FieldReadGetRecordCount();
    const int threads = KDefaultThreads(kTakeThreads);
    if (count < sSideBySideRecords || threads < 2)
        return false;
    const int portions = std::max(1, std::min(threads * kPortionsPerThread, count / kPortionRecords));
    std::vector<std::unique_ptr<KQox>> parts(static_cast<size_t>(portions));
    auto firstOf = [&](int p) { return static_cast<int>(static_cast<long long>(count) * p / portions); };
    // Each portion read by a reader of its own; false (nothing read) when
    // the file cannot be read so.
    auto split = [&] {
        for (int p = 0; p < portions; ++p)
        {
            if (!parts[static_cast<size_t>(p)])
                parts[static_cast<size_t>(p)] = std::make_unique<KQox>();
            if (!mFile.FieldReadSplit(*parts[static_cast<size_t>(p)], firstOf(p), firstOf(p + 1) - firstOf(p)))
                return false;
        }
        return true;
    };
    auto join = [&] {
        bool ok = true;
        for (std::unique_ptr<KQox>& part : parts)
            ok = mFile.FieldReadJoin(*part) && ok;
        return ok;
    };
    if (!split())
    {
        for (std::unique_ptr<KQox>& part : parts)
            if (part)
                part->ProjectClose();
        return false;
    }

    // First pass: each record's object, by its index where that names it.
    std::vector<TakeRecord> records(static_cast<size_t>(count));
    std::vector<std::vector<NamedRecord>> named(static_cast<size_t>(portions));
    KRunPortions(static_cast<size_t>(portions), threads, [&](size_t p) {
        KQox& part = *parts[p];
        const int first = firstOf(static_cast<int>(p));
        std::string name;
        for (int i = 0; i < part.FieldReadGetRecordCount() && !Damaged(part); ++i)
        {
            const char* recordName = part.FieldReadGetRecordName(i);
            const int slot = recordName ? TakeKindSlot(recordName) : -1;
            if (slot < 0)
                continue;
            if (!part.FieldReadBegin(kTakeKindNames[slot]))
                break;
            name = part.FieldReadC();
            const int index = part.FieldReadI();
            part.FieldReadEnd();
            TakeRecord& record = records[static_cast<size_t>(first + i)];
            record.mSlot = static_cast<signed char>(slot);
            record.mPosition = TakeObjectByIndex(slot, index, name.c_str());
            if (record.mPosition < 0)
                named[p].push_back(NamedRecord{first + i, index, name});
        }
    });
    if (!join())
        return true;
    for (const std::vector<NamedRecord>& list : named)
        for (const NamedRecord& record : list)
            records[static_cast<size_t>(record.mRecord)].mPosition = FindObjectPosition(
                records[static_cast<size_t>(record.mRecord)].mSlot, record.mIndex, record.mName.c_str());
    // Records naming an object an earlier record named are read last: the
    // threads then never share an object, and each object still gets its
    // records in file order.
    std::vector<std::vector<bool>> seen(kTakeKinds);
    for (int slot = 0; slot < kTakeKinds; ++slot)
        seen[static_cast<size_t>(slot)].assign(static_cast<size_t>(TakeObjectCount(slot)), false);
    std::vector<int> repeats;
    for (int i = 0; i < count; ++i)
    {
        TakeRecord& record = records[static_cast<size_t>(i)];
        if (record.mSlot < 0 || record.mPosition < 0)
            continue;
        std::vector<bool>::reference once =
            seen[static_cast<size_t>(record.mSlot)][static_cast<size_t>(record.mPosition)];
        record.mRepeat = once;
        once = true;
        if (record.mRepeat)
            repeats.push_back(i);
    }

    // Second pass: the channels.
    if (!split())
    {
        // Cannot happen once the first split worked; read as damage.
        join();
        mCorrupted = true;
        return true;
    }
    auto readPortion = [&](size_t p) {
        KQox& part = *parts[p];
        const int first = firstOf(static_cast<int>(p));
        for (int i = 0; i < part.FieldReadGetRecordCount() && !Damaged(part); ++i)
        {
            const TakeRecord& record = records[static_cast<size_t>(first + i)];
            if (record.mSlot < 0)
                continue;
            if (!part.FieldReadBegin(kTakeKindNames[record.mSlot]))
                break;
            if (!record.mRepeat)
                ReadChannels(part, TakeRootOf(TakeObjectAt(record.mSlot, record.mPosition), take));
            part.FieldReadEnd();
        }
    };
    // Each thread takes portions in turn; the channel trees it makes share
    // its slabs.
    std::atomic<size_t> nextPortion{0};
    KRunPortions(static_cast<size_t>(threads), threads, [&](size_t) {
        KFCurveGroupSlabs slabs;
        for (size_t p = nextPortion++; p < static_cast<size_t>(portions); p = nextPortion++)
            readPortion(p);
    });
    if (!join())
        return true;
    for (int i : repeats)
    {
        KQox part;
        const TakeRecord& record = records[static_cast<size_t>(i)];
        if (!mFile.FieldReadSplit(part, i, 1) || !part.FieldReadBegin(kTakeKindNames[record.mSlot]))
        {
            mCorrupted = true;
            return true;
        }
        ReadChannels(part, TakeRootOf(TakeObjectAt(record.mSlot, record.mPosition), take));
        part.FieldReadEnd();
        if (!mFile.FieldReadJoin(part))
            return true;
    }
    return true;
}

void KQoxRead6::ReadAnimation(bool onlySelected, const char* listedName)
{
    const int names = mFile.FieldReadGetCount(kTake);
    if (names > 1 || (names == 0 && !listedName && mFile.FieldReadGetRecordCount() > 0))
    {
        // Whose channels the section holds cannot be told.
        mCorrupted = true;
        return;
    }
    KString take(names == 0 ? listedName : mFile.FieldReadC(kTake, ""));
    if (take.IsEmpty() || take == "Default")
        return;
    // The section names its take: one the list leaves out is read (the
    // selection, made from the list, could not leave it out) and described
    // as a take without a description is.
    const bool listed = std::any_of(mListedTakes.begin(), mListedTakes.end(), [&](const KString& name) {
        return std::strcmp(name.ToChars(), take.ToChars()) == 0;
    });
    if (onlySelected && listed && !mOptions.IsTakeSelected(take.ToChars()))
        return;
    if (onlySelected && !listed && !mScene.FindTakeInfo(take.ToChars()))
    {
        std::unique_ptr<KQoxTakeInfo> info(new KQoxTakeInfo);
        info->Name = take;
        info->ImportName = take;
        mScene.mTakeInfos.push_back(std::move(info));
    }
    mTakeRead = take;
    for (auto& byName : mObjectsByName)
        byName.clear();
    // The take's time warps, installed as this thread's time-warp set while
    // its channels are read here, then merged into the channels that took them; the
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
    // Without warps the records are independent of each other: large
    // sections are read on several threads.
    if (!warps.empty() || !sSideBySide || !mSideBySideAllowed || !ReadTakeRecordsSideBySide(take))
        ReadTakeRecords(take, roots);
    if (Ok() && !warps.empty())
        for (KFCurveNode* root : roots)
            KFCurve_MergeTimeWarps(root, mTimeWarpBudget);
}

} // namespace qoxsdk_600
