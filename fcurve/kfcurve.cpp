// The curve object: key storage in 32-key blocks, key editing, key search,
// selection edits, key moves and change notification.

#include "fcurve/kfcurve.h"

#include "fcurve/kfcurve_internal.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace kfcurve_detail;

namespace {

const int kBlockKeys = KFCurve::kBlockKeys;
const size_t kBlockBytes = kBlockKeys * sizeof(KFCurveKey);
const int kTableKeys = 2048;                    // keys addressed by one table step
const int kTableStep = kTableKeys / kBlockKeys; // block pointers per table step
const int kMaxTableUnits = INT_MAX / kTableKeys;
const int kFirstBlockKeys = 4; // the first block of a new curve

size_t TableBytes(int capacity)
{
    return static_cast<size_t>(capacity / kBlockKeys) * sizeof(KFCurveKey*);
}

} // namespace

long long gRecordingMemory = 0;
KTime gsTimeEpsilon(461861);

// Running out of memory here ends the process, as for every plain allocation.
void* WatchMalloc(size_t size)
{
    // Key storage made in bulk (a file read) comes from the thread's slabs.
    void* p = kfcurve_detail::LoneMemberNew(size);
    std::memset(p, 0, size);
    // Counted atomically: curves read side by side take storage on several
    // threads at once.
    __atomic_fetch_add(&gRecordingMemory, static_cast<long long>(size), __ATOMIC_RELAXED);
    return p;
}

void WatchFree(void* pointer, size_t size)
{
    if (pointer == nullptr)
        return;
    kfcurve_detail::GroupMemberDelete(pointer, size);
    __atomic_fetch_sub(&gRecordingMemory, static_cast<long long>(size), __ATOMIC_RELAXED);
}

long long GetRecordingMemory()
{
    return __atomic_load_n(&gRecordingMemory, __ATOMIC_RELAXED);
}

// One running delivery of an event; lives on the deliverer's stack so that
// callbacks may unregister themselves, or destroy the curve, while it runs.
struct KFCurve::CallbackWalk
{
    CallbackWalk* previous;
    int index; // next callback to call
    int end;   // callbacks registered when the delivery began
    bool orphaned;
};

KFCurve* KFCurveCreate()
{
    return new KFCurve();
}

void* KFCurve::operator new(size_t size)
{
    return GroupMemberNew(size);
}

void KFCurve::operator delete(void* curve, size_t size)
{
    GroupMemberDelete(curve, size);
}

KFCurve::KFCurve()
    : mValue(0.0f)
    , mUpdateId(0)
    , mCallbackEnable(true)
    , mEventsRecorded(true)
    , mBlocks(nullptr)
    , mKeyCount(0)
    , mKeyCapacity(0)
    , mLastBlock(-1)
    , mKeyReserved(0)
    , mFirstBlockKeys(0)
    , mPreExtrapolation(KFCURVE_EXTRAPOLATION_CONST)
    , mPreExtrapolationCount(0)
    , mPostExtrapolation(KFCURVE_EXTRAPOLATION_CONST)
    , mPostExtrapolationCount(0)
    , mWasData(0)
    , mLastSearchIndex(0)
    , mCandidateValue(0.0f)
    , mCandidateTime(KTIME_INFINITE)
    , mWalks(nullptr)
{
    mColor[0] = mColor[1] = mColor[2] = 1.0f;
    mEvent.Clear();
    CandidateClear();
    const KTime epsilon = TimeFromSeconds(1e-5);
    if (gsTimeEpsilon != epsilon)
        gsTimeEpsilon = epsilon;
}

KFCurve::~KFCurve()
{
    KeyClear();
    mCallbackEnable = true;
    mEventsRecorded = true;
    CallbackAddEvent(KFCURVEEVENT_DESTROY, -1);
    for (CallbackWalk* w = mWalks; w != nullptr; w = w->previous)
        w->orphaned = true;
    mWalks = nullptr;
}

void KFCurve::Destroy(int)
{
    delete this;
}

void KFCurve::SetColor(float* color)
{
    if (color == nullptr)
        return;
    mColor[0] = color[0];
    mColor[1] = color[1];
    mColor[2] = color[2];
}

void KFCurve::SetValue(float value)
{
    mValue = value;
    CallbackAddEvent(KFCURVEEVENT_CANDIDATE, -1);
    mUpdateId++;
}

void KFCurve::SetPreExtrapolation(unsigned int type)
{
    mPreExtrapolation = type;
    CallbackAddEvent(KFCURVEEVENT_KEY, -1);
}

void KFCurve::SetPreExtrapolationCount(unsigned int count)
{
    mPreExtrapolationCount = count;
    CallbackAddEvent(KFCURVEEVENT_KEY, -1);
}

void KFCurve::SetPostExtrapolation(unsigned int type)
{
    mPostExtrapolation = type;
    CallbackAddEvent(KFCURVEEVENT_KEY, -1);
}

void KFCurve::SetPostExtrapolationCount(unsigned int count)
{
    mPostExtrapolationCount = count;
    CallbackAddEvent(KFCURVEEVENT_KEY, -1);
}

// ---------------------------------------------------------------------------
// Storage

bool KFCurve::Reserve(int count)
{
    if (count <= 0)
        return true;
    // A curve of few keys starts with a short first block (4 keys, doubling)
    // and a table of one block; both take their full size from 32 keys on.
    if (count < kBlockKeys && mLastBlock <= 0 && mKeyCapacity <= kBlockKeys)
    {
        if (count <= mFirstBlockKeys)
            return true;
        int keys = mFirstBlockKeys > 0 ? mFirstBlockKeys : kFirstBlockKeys;
        while (keys < count)
            keys *= 2;
        if (keys < kBlockKeys)
        {
            GrowShortStorage(keys);
            return true;
        }
    }
    if (count > mKeyCapacity || mKeyCapacity < kTableKeys)
    {
        // The table grows in 2048-key steps, at least doubling, so that
        // appending stays amortised constant time.
        int units = count / kTableKeys + (count % kTableKeys != 0 ? 1 : 0);
        const int oldUnits = mKeyCapacity / kTableKeys;
        if (oldUnits <= kMaxTableUnits / 2 && units < 2 * oldUnits)
            units = 2 * oldUnits;
        if (units > kMaxTableUnits)
            return false;
        const int capacity = units * kTableKeys;
        KFCurveKey** table = static_cast<KFCurveKey**>(WatchMalloc(TableBytes(capacity)));
        if (mBlocks != nullptr)
        {
            std::memcpy(table, mBlocks, TableBytes(mKeyCapacity));
            if (ShortStorage())
            {
                // The short first block leaves the slot's allocation for a full one.
                KFCurveKey* block = static_cast<KFCurveKey*>(WatchMalloc(kBlockBytes));
                std::memcpy(static_cast<void*>(block), mBlocks[0],
                            static_cast<size_t>(mFirstBlockKeys) * sizeof(KFCurveKey));
                table[0] = block;
                WatchFree(mBlocks, ShortStorageBytes(mFirstBlockKeys));
                mFirstBlockKeys = kBlockKeys;
            }
            else
                WatchFree(mBlocks, TableBytes(mKeyCapacity));
        }
        mBlocks = table;
        mKeyCapacity = capacity;
    }
    const int lastNeeded = (count - 1) / kBlockKeys;
    for (int b = mLastBlock + 1; b <= lastNeeded; ++b)
    {
        mBlocks[b] = static_cast<KFCurveKey*>(WatchMalloc(kBlockBytes));
        mLastBlock = b;
        if (b == 0)
            mFirstBlockKeys = kBlockKeys;
    }
    return true;
}

void KFCurve::GrowShortStorage(int keys)
{
    KFCurveKey** table = static_cast<KFCurveKey**>(WatchMalloc(ShortStorageBytes(keys)));
    KFCurveKey* block = reinterpret_cast<KFCurveKey*>(table + 1);
    if (mBlocks != nullptr)
    {
        std::memcpy(static_cast<void*>(block), mBlocks[0], static_cast<size_t>(mFirstBlockKeys) * sizeof(KFCurveKey));
        WatchFree(mBlocks, ShortStorageBytes(mFirstBlockKeys));
    }
    table[0] = block;
    mBlocks = table;
    mKeyCapacity = kBlockKeys;
    mLastBlock = 0;
    mFirstBlockKeys = keys;
}

void KFCurve::FreeStorage()
{
    if (mBlocks != nullptr && ShortStorage())
        WatchFree(mBlocks, ShortStorageBytes(mFirstBlockKeys));
    else if (mBlocks != nullptr)
    {
        for (int b = 0; b <= mLastBlock; ++b)
        {
            WatchFree(mBlocks[b], static_cast<size_t>(BlockKeys(b)) * sizeof(KFCurveKey));
            mBlocks[b] = nullptr;
        }
        WatchFree(mBlocks, TableBytes(mKeyCapacity));
    }
    mBlocks = nullptr;
    mKeyCapacity = 0;
    mLastBlock = -1;
    mFirstBlockKeys = 0;
}

void KFCurve::InitBuffers(int count)
{
    if (Reserve(count) && count > mKeyReserved)
        mKeyReserved = count;
    CandidateClear();
}

void KFCurve::KeyShrink()
{
    mKeyReserved = 0;
    if (mKeyCount <= 0)
    {
        FreeStorage();
        return;
    }
    const int keep = (mKeyCount - 1) / kBlockKeys;
    for (int b = keep + 1; b <= mLastBlock && mBlocks[b] != nullptr; ++b)
    {
        WatchFree(mBlocks[b], kBlockBytes); // past the first block: full size
        mBlocks[b] = nullptr;
    }
    mLastBlock = keep;
    if (mKeyCapacity / kTableKeys > mKeyCount / kTableKeys + 1)
    {
        const int units = (mKeyCount + kTableKeys - 1) / kTableKeys;
        const int capacity = units * kTableKeys;
        KFCurveKey** table = static_cast<KFCurveKey**>(WatchMalloc(TableBytes(capacity)));
        std::memcpy(table, mBlocks, static_cast<size_t>(keep + 1) * sizeof(KFCurveKey*));
        WatchFree(mBlocks, TableBytes(mKeyCapacity));
        mBlocks = table;
        mKeyCapacity = capacity;
    }
}

void KFCurve::KeyClear()
{
    CandidateClear();
    FreeStorage();
    mKeyCount = 0;
    mKeyReserved = 0;
    CallbackAddEvent(KFCURVEEVENT_KEY, -1);
}

void KFCurve::KeyModifyBegin()
{
    CallbackEnable(false);
}

void KFCurve::KeyModifyBegin(int count)
{
    CallbackEnable(false);
    InitBuffers(count);
}

void KFCurve::KeyModifyEnd()
{
    mUpdateId++;
    CandidateClear();
    mKeyReserved = 0;
    CallbackEnable(true);
}

void KFCurve::KeyModifyEnd(int count)
{
    // The count can only cover keys the storage holds.
    if (count < 0)
        count = 0;
    if (count > AllocatedKeys())
        count = AllocatedKeys();
    Reserve(count); // a short first block takes the size the count needs
    mKeyCount = count;
    KeyModifyEnd();
}

KFCurveKey KFCurve::KeyGet(int index) const
{
    if (KeyInRange(index))
        return *Key(index);
    KFCurveKey key;
    std::memset(static_cast<void*>(&key), 0, sizeof key);
    return key;
}

// Moves keys [index, count) up by one slot, across block boundaries.
void KFCurve::MoveKeysUp(int index)
{
    int sourceEnd = mKeyCount;
    int remaining = mKeyCount - index;
    while (remaining > 0)
    {
        const int last = sourceEnd - 1;
        int n = (last & kBlockMask) + 1;
        if (n > remaining)
            n = remaining;
        if (((last + 1) & kBlockMask) == 0)
            n = 1; // the block's last key is carried into slot 0 of the next block
        std::memmove(static_cast<void*>(Key(last - n + 2)), Key(last - n + 1), n * sizeof(KFCurveKey));
        sourceEnd -= n;
        remaining -= n;
    }
}

// Copies count keys from source down to destination (destination < source).
void KFCurve::CopyKeysDown(int destination, int source, int count)
{
    while (count > 0)
    {
        int n = kBlockKeys - (destination & kBlockMask);
        const int m = kBlockKeys - (source & kBlockMask);
        if (m < n)
            n = m;
        if (count < n)
            n = count;
        std::memmove(static_cast<void*>(Key(destination)), Key(source), n * sizeof(KFCurveKey));
        destination += n;
        source += n;
        count -= n;
    }
}

// ---------------------------------------------------------------------------
// Key editing

int KFCurve::KeyAdd(KTime time, KFCurveKey& key, int* last)
{
    KFCurveKey copy = key;
    copy.SetTime(time);
    if (!Reserve(mKeyCount + 1))
        return -1;
    CandidateClear();
    int index = 0;
    if (mKeyCount > 0)
    {
        const double f = KeyFind(time, last);
        const double c = std::ceil(f);
        if (c == f)
        {
            const int existing = static_cast<int>(f);
            return KeySet(existing, copy) == 0 ? existing : -1;
        }
        index = static_cast<int>(c);
    }
    MoveKeysUp(index);
    *Key(index) = copy;
    mKeyCount++;
    if (last != nullptr)
        *last = index;
    mUpdateId++;
    CallbackAddEvent(KFCURVEEVENT_KEY, index);
    return index;
}

int KFCurve::KeyAdd(KTime time, int* last)
{
    KFCurveKey key;
    key.Init();
    key.Set(time, Evaluate(time, last), KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_AUTO, 0.0f, 0.0f,
            KFCURVE_WEIGHTED_NONE, KFCURVE_DEFAULT_WEIGHT, KFCURVE_DEFAULT_WEIGHT, 0.0f, 0.0f);
    return KeyAdd(time, key, last);
}

int KFCurve::KeyAdd(KTime time, KFCurve* source, int sourceIndex, int* last)
{
    if (source == nullptr || sourceIndex < 0 || sourceIndex >= source->KeyGetCount())
        return -1;
    KFCurveKey key = *source->Key(sourceIndex);
    return KeyAdd(time, key, last);
}

int KFCurve::KeySet(int index, KFCurve* source, int sourceIndex)
{
    if (source == nullptr || sourceIndex < 0 || sourceIndex >= source->KeyGetCount())
        return 1;
    KFCurveKey key = *source->Key(sourceIndex);
    return KeySet(index, key);
}

int KFCurve::KeyAppendFast(KTime time, float value)
{
    if (!Reserve(mKeyCount + 1))
        return -1;
    const int index = mKeyCount;
    KFCurveKey* key = Key(index);
    key->Init();
    key->Set(time, value, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_AUTO, 0.0f, 0.0f, KFCURVE_WEIGHTED_NONE,
             KFCURVE_DEFAULT_WEIGHT, KFCURVE_DEFAULT_WEIGHT, 0.0f, 0.0f);
    mKeyCount++;
    mUpdateId++;
    CandidateClear();
    return index;
}

int KFCurve::KeyInsert(KTime time, int* last)
{
    if (mKeyCount == 0)
    {
        KeyAdd(time, last);
        return 0;
    }
    const int c = static_cast<int>(std::ceil(KeyFind(time, last)));
    if (c < mKeyCount && Key(c)->GetTime() == time)
        return c;
    // The new key takes the interpolation and tangent mode of the key before it.
    const int p = c > 0 ? c - 1 : 0;
    const unsigned int interpolation = Key(p)->GetInterpolation();
    const unsigned int mode = Key(p)->GetTangeantMode();
    CandidateEvaluate(time, last);
    CandidateKey(last, static_cast<int>(interpolation), static_cast<int>(mode), false, true, KTIME_INFINITE, 0.0);
    int hint = c;
    const double f = KeyFind(time, &hint);
    return f == std::floor(f) ? static_cast<int>(f) : c;
}

int KFCurve::KeySet(int index, KFCurveKey& key)
{
    CandidateClear();
    if (!IsKey(index))
        return 1;
    if (index > 0 && !(key.GetTime() > Key(index - 1)->GetTime()))
        return 1;
    if (index < mKeyCount - 1 && !(key.GetTime() < Key(index + 1)->GetTime()))
        return 1;
    *Key(index) = key;
    CallbackAddEvent(KFCURVEEVENT_KEY, index);
    return 0;
}

void KFCurve::KeySet(int index, KTime time, float value, unsigned int interpolation, unsigned int tangentMode,
                     float data0, float data1, unsigned int weightMode, float weight2, float weight3, float velocity4,
                     float velocity5)
{
    if (KeyInRange(index))
        Key(index)->Set(time, value, interpolation, tangentMode, data0, data1, weightMode, weight2, weight3, velocity4,
                        velocity5);
}

void KFCurve::KeySetTCB(int index, KTime time, float value, float tension, float continuity, float bias)
{
    if (KeyInRange(index))
        Key(index)->SetTCB(time, value, tension, continuity, bias);
}

int KFCurve::KeyRemove(int index)
{
    if (!IsKey(index))
        return 1;
    CandidateClear();
    if (mKeyCount == 1)
        mValue = Key(0)->GetValue();
    mKeyReserved = 0;
    if (index < mKeyCount - 1)
    {
        // The following key's incoming tangent is stored on the removed key:
        // keep it across the removal.
        const KFCurveTangeantInfo info = KeyGetLeftDerivativeInfo(index + 1);
        CopyKeysDown(index, index + 1, mKeyCount - index - 1);
        mKeyCount--;
        KeySetLeftDerivativeInfo(index, info);
    }
    else
    {
        mKeyCount--;
    }
    CallbackAddEvent(KFCURVEEVENT_KEY, index - 1);
    return 0;
}

// ---------------------------------------------------------------------------
// Per-index forwarding accessors

unsigned int KFCurve::KeyGetInterpolation(int index) const
{
    return KeyInRange(index) ? Key(index)->GetInterpolation() : 0;
}

void KFCurve::KeySetInterpolation(int index, unsigned int interpolation)
{
    if (KeyInRange(index))
        Key(index)->SetInterpolation(interpolation);
}

unsigned int KFCurve::KeyGetConstantMode(int index) const
{
    return KeyInRange(index) ? Key(index)->GetConstantMode() : 0;
}

void KFCurve::KeySetConstantMode(int index, unsigned int mode)
{
    if (KeyInRange(index))
        Key(index)->SetConstantMode(mode);
}

unsigned int KFCurve::KeyGetTangeantMode(int index) const
{
    return KeyInRange(index) ? Key(index)->GetTangeantMode() : 0;
}

void KFCurve::KeySetTangeantMode(int index, unsigned int mode)
{
    if (KeyInRange(index))
        Key(index)->SetTangeantMode(mode);
}

unsigned int KFCurve::KeyGetTangeantWeightMode(int index) const
{
    return KeyInRange(index) ? Key(index)->GetTangeantWeightMode() : 0;
}

void KFCurve::KeySetTangeantWeightMode(int index, unsigned int mode, unsigned int mask)
{
    if (KeyInRange(index))
        Key(index)->SetTangeantWeightMode(mode, mask);
}

unsigned int KFCurve::KeyGetTangeantVelocityMode(int index) const
{
    return KeyInRange(index) ? Key(index)->GetTangeantVelocityMode() : 0;
}

void KFCurve::KeySetTangeantVelocityMode(int index, unsigned int mode, unsigned int mask)
{
    if (KeyInRange(index))
        Key(index)->SetTangeantVelocityMode(mode, mask);
}

float KFCurve::KeyGetDataDouble(int index, EKFCurveDataIndex slot) const
{
    return KeyInRange(index) ? Key(index)->GetDataDouble(slot) : 0.0f;
}

void KFCurve::KeySetDataDouble(int index, EKFCurveDataIndex slot, float value)
{
    if (KeyInRange(index))
        Key(index)->SetDataDouble(slot, value);
}

float KFCurve::KeyGetDataFloat(int index, EKFCurveDataIndex slot) const
{
    return KeyInRange(index) ? Key(index)->GetDataFloat(slot) : 0.0f;
}

void KFCurve::KeySetDataFloat(int index, EKFCurveDataIndex slot, float value)
{
    if (KeyInRange(index))
        Key(index)->SetDataFloat(slot, value);
}

float* KFCurve::KeyGetDataPtr(int index)
{
    return KeyInRange(index) ? Key(index)->GetDataPtr() : nullptr;
}

float KFCurve::KeyGetValue(int index) const
{
    return KeyInRange(index) ? Key(index)->GetValue() : 0.0f;
}

void KFCurve::KeySetValue(int index, float value)
{
    if (!KeyInRange(index))
        return;
    Key(index)->SetValue(value);
    CallbackAddEvent(KFCURVEEVENT_KEYVALUE, index);
}

void KFCurve::KeyIncValue(int index, float delta)
{
    if (!KeyInRange(index))
        return;
    Key(index)->IncValue(delta);
    CallbackAddEvent(KFCURVEEVENT_KEYVALUE, index);
}

void KFCurve::KeyMultValue(int index, float factor)
{
    if (!KeyInRange(index))
        return;
    Key(index)->MultValue(factor);
    CallbackAddEvent(KFCURVEEVENT_KEYVALUE, index);
}

KTime KFCurve::KeyGetTime(int index) const
{
    return KeyInRange(index) ? Key(index)->GetTime() : KTime(0);
}

void KFCurve::KeySetTime(int index, KTime time)
{
    if (KeyInRange(index))
        Key(index)->SetTime(time);
}

void KFCurve::KeyIncTime(int index, KTime delta)
{
    if (KeyInRange(index))
        Key(index)->IncTime(delta);
}

bool KFCurve::KeyGetSelected(int index) const
{
    return KeyInRange(index) && Key(index)->GetSelected();
}

void KFCurve::KeySetSelected(int index, bool on)
{
    if (KeyInRange(index))
        Key(index)->SetSelected(on);
}

bool KFCurve::KeyGetFocus(int index) const
{
    return KeyInRange(index) && Key(index)->GetFocus();
}

void KFCurve::KeySetFocus(int index, bool on)
{
    if (KeyInRange(index))
        Key(index)->SetFocus(on);
}

unsigned int KFCurve::KeyGetTangeantVisibility(int index) const
{
    return KeyInRange(index) ? Key(index)->GetTangeantVisibility() : 0;
}

void KFCurve::KeySetTangeantVisibility(int index, unsigned int visibility)
{
    if (KeyInRange(index))
        Key(index)->SetTangeantVisibility(visibility);
}

bool KFCurve::KeyGetBreak(int index) const
{
    return KeyInRange(index) && Key(index)->GetBreak();
}

void KFCurve::KeySetBreak(int index, bool on)
{
    if (KeyInRange(index))
        Key(index)->SetBreak(on);
}

void KFCurve::KeyMultTangeant(int index, float factor)
{
    if (KeyInRange(index))
        Key(index)->MultTangeant(factor);
}

// ---------------------------------------------------------------------------
// Selection and edits over several keys

int KFCurve::KeyGetSelectionCount() const
{
    int n = 0;
    for (int i = 0; i < mKeyCount; ++i)
        if (Key(i)->GetSelected())
            ++n;
    return n;
}

namespace {

void NotifySelection(KFCurve& curve, int changed, int highest, int lowest)
{
    if (changed == 1)
    {
        curve.CallbackAddEvent(KFCURVEEVENT_SELECTION, highest);
    }
    else if (changed > 1)
    {
        curve.KeyModifyBegin();
        curve.CallbackAddEvent(KFCURVEEVENT_SELECTION, highest);
        curve.CallbackAddEvent(KFCURVEEVENT_SELECTION, lowest);
        curve.KeyModifyEnd();
    }
}

} // namespace

// Selects or unselects every key; the keys that changed are reported.
void KFCurve::SetAllSelected(bool selected)
{
    int changed = 0, highest = -1, lowest = -1;
    for (int i = mKeyCount - 1; i >= 0; --i)
    {
        if (Key(i)->GetSelected() != selected)
        {
            Key(i)->SetSelected(selected);
            if (changed++ == 0)
                highest = i;
            lowest = i;
        }
    }
    NotifySelection(*this, changed, highest, lowest);
}

void KFCurve::KeySelectAll()
{
    SetAllSelected(true);
}

void KFCurve::KeyUnselectAll()
{
    SetAllSelected(false);
}

void KFCurve::KeyTangeantHide()
{
    for (int i = 0; i < mKeyCount; ++i)
        if (Key(i)->GetTangeantVisibility() != KFCURVE_TANGEANT_SHOW_NONE)
            Key(i)->SetTangeantVisibility(KFCURVE_TANGEANT_SHOW_NONE);
    CallbackAddEvent(KFCURVEEVENT_SELECTION, -1);
}

namespace {

// Derivatives of one key captured before a mode or interpolation change.
struct KeySlopes
{
    float left;     // the key's own left derivative
    float right;    // the key's right derivative
    float nextLeft; // the next key's left derivative
};

} // namespace

// Both tangent-type changes capture every slope first and then write them
// back, so that the curve keeps its tangents even where neighbouring keys
// change together (the storage form of a left tangent depends on the kinds
// of both keys around it).
template <typename Differs, typename Change>
void KFCurve::ChangeKeysKeepingSlopes(bool selectedOnly, bool lastKeyRight, Differs differs, Change change)
{
    CandidateClear();
    std::vector<int> keys;
    std::vector<KeySlopes> slopes;
    for (int i = mKeyCount - 1; i >= 0; --i)
    {
        if (selectedOnly && !Key(i)->GetSelected())
            continue;
        if (!differs(*Key(i)))
            continue;
        const bool hasNext = i < mKeyCount - 1;
        KeySlopes s;
        s.left = i > 0 ? KeyGetLeftDerivative(i) : 0.0f;
        s.right = hasNext || lastKeyRight ? KeyGetRightDerivative(i) : 0.0f;
        s.nextLeft = hasNext ? KeyGetLeftDerivative(i + 1) : 0.0f;
        keys.push_back(i);
        slopes.push_back(s);
    }
    for (size_t k = 0; k < keys.size(); ++k)
    {
        const int i = keys[k];
        KFCurveKey* key = Key(i);
        key->SetDataDouble(KFCURVEKEY_RIGHT_SLOPE, 0.0f);
        key->SetDataDouble(KFCURVEKEY_NEXT_LEFT_SLOPE, 0.0f);
        change(*key);
        key->SetTangeantVisibility(KFCURVE_TANGEANT_SHOW_NONE);
        if (i < mKeyCount - 1)
            Key(i + 1)->SetTangeantVisibility(KFCURVE_TANGEANT_SHOW_NONE);
    }
    // Written back from the first key up: a plain user key's left slope also
    // sets its right one, which its own turn then restores.
    for (size_t k = keys.size(); k-- > 0;)
    {
        const int i = keys[k];
        const bool hasNext = i < mKeyCount - 1;
        if (i > 0)
            KeySetLeftDerivative(i, slopes[k].left);
        if (hasNext || lastKeyRight)
            KeySetRightDerivative(i, slopes[k].right);
        if (hasNext)
            KeySetLeftDerivative(i + 1, slopes[k].nextLeft);
        CallbackAddEvent(KFCURVEEVENT_KEY, i);
        if (hasNext)
            CallbackAddEvent(KFCURVEEVENT_KEY, i + 1);
    }
}

void KFCurve::KeyTangeantSetInterpolation(bool selectedOnly, unsigned int interpolation)
{
    const unsigned int wanted = interpolation & KFCURVE_INTERPOLATION_ALL;
    ChangeKeysKeepingSlopes(
        selectedOnly, false, [&](const KFCurveKey& key) { return key.GetInterpolation() != wanted; },
        [&](KFCurveKey& key) { key.SetInterpolation(interpolation); });
}

void KFCurve::KeyTangeantSetMode(bool selectedOnly, unsigned int tangentMode)
{
    const unsigned int wanted = tangentMode & KFCURVE_TANGEANT_ALL;
    ChangeKeysKeepingSlopes(
        selectedOnly, true, [&](const KFCurveKey& key) { return key.GetTangeantMode() != wanted; },
        [&](KFCurveKey& key) { key.SetTangeantMode(tangentMode); });
}

void KFCurve::EndValueEdit(int first, int last)
{
    mEventsRecorded = true;
    KeyModifyBegin();
    CallbackAddEvent(KFCURVEEVENT_KEY, first);
    CallbackAddEvent(KFCURVEEVENT_KEY, last);
    KeyModifyEnd();
}

namespace {

void Touch(int index, int& first, int& last)
{
    if (first == -1 || index < first)
        first = index;
    if (index > last)
        last = index;
}

} // namespace

// Applies editKey to every key (or to the selected ones) and, when every key
// is edited, editStatic to the static value; reports the edited range.
template <typename StaticEdit, typename KeyEdit>
int KFCurve::EditValues(bool selectedOnly, StaticEdit editStatic, KeyEdit editKey)
{
    mEventsRecorded = false;
    CandidateClear();
    int first = -1, last = -1;
    if (!selectedOnly)
        editStatic();
    for (int i = 0; i < mKeyCount; ++i)
    {
        if (selectedOnly && !Key(i)->GetSelected())
            continue;
        editKey(*Key(i));
        Touch(i, first, last);
    }
    EndValueEdit(first, last);
    return 0;
}

int KFCurve::KeyMoveValueTo(bool selectedOnly, float value)
{
    return EditValues(
        selectedOnly,
        [&] {
            if (mKeyCount == 0)
                mValue = value;
        },
        [&](KFCurveKey& key) { key.SetValue(value); });
}

int KFCurve::KeyScaleValue(bool selectedOnly, float factor)
{
    return EditValues(
        selectedOnly, [&] { mValue *= factor; }, [&](KFCurveKey& key) { key.MultValue(factor); });
}

int KFCurve::KeyScaleValueAndTangeant(bool selectedOnly, float factor)
{
    return EditValues(
        selectedOnly, [&] { mValue *= factor; },
        [&](KFCurveKey& key) {
            key.MultValue(factor);
            key.MultTangeant(factor);
        });
}

int KFCurve::KeyScaleTangeant(bool selectedOnly, float factor)
{
    return EditValues(
        selectedOnly,
        [&] {
            if (mKeyCount > 0)
                mValue *= factor;
        },
        [&](KFCurveKey& key) { key.MultTangeant(factor); });
}

// Moves key index to time by removing it and adding it again, keeping the
// incoming tangent descriptions of the moved key, of the key that followed
// it and of the key that follows its new place. Returns the new index.
int KFCurve::ReinsertKey(int index, KTime time, float valueDelta)
{
    KFCurveKey copy = *Key(index);
    copy.IncValue(valueDelta);
    const bool earlier = time < Key(index)->GetTime();

    // Nudge past keys that sit exactly at the time.
    KTime newTime = time;
    double f = KeyFind(newTime);
    while (f == std::floor(f))
    {
        newTime = SaturatedAdd(newTime, gsTimeEpsilon.Get());
        f = KeyFind(newTime);
    }
    const int place = static_cast<int>(std::ceil(f));

    const KFCurveTangeantInfo own = KeyGetLeftDerivativeInfo(index);
    const bool hasFollower = index + 1 < mKeyCount;
    const KFCurveTangeantInfo follower = hasFollower ? KeyGetLeftDerivativeInfo(index + 1) : KFCurveTangeantInfo();
    const bool hasPlace = place < mKeyCount && place != index && place != index + 1 && (!earlier || place > 0);
    const KFCurveTangeantInfo placeInfo = hasPlace ? KeyGetLeftDerivativeInfo(place) : KFCurveTangeantInfo();

    KeyRemove(index);
    const int newIndex = KeyAdd(newTime, copy);
    if (newIndex < 0)
        return newIndex;

    auto moved = [&](int old) {
        const int j = old > index ? old - 1 : old;
        return j >= newIndex ? j + 1 : j;
    };
    if (newIndex >= 1)
        KeySetLeftDerivativeInfo(newIndex, own);
    if (hasFollower)
        KeySetLeftDerivativeInfo(moved(index + 1), follower);
    if (hasPlace)
        KeySetLeftDerivativeInfo(moved(place), placeInfo);
    return newIndex;
}

int KFCurve::KeyMove(int index, KTime time)
{
    if (!IsKey(index))
        return -1;
    const KTime current = Key(index)->GetTime();
    bool reinsert;
    if (time > current)
        reinsert = index < mKeyCount - 1 && KTimeDifference(time, Key(index + 1)->GetTime()) < gsTimeEpsilon.Get();
    else
        reinsert = index > 0 && KTimeDifference(Key(index - 1)->GetTime(), time) < gsTimeEpsilon.Get();

    int result = index;
    if (reinsert)
        result = ReinsertKey(index, time, 0.0f);
    else
        Key(index)->SetTime(time);
    KeyModifyBegin();
    CallbackAddEvent(KFCURVEEVENT_KEY, -1);
    KeyModifyEnd();
    return result;
}

int KFCurve::KeyMoveOf(bool selectedOnly, KTime delta, float valueDelta)
{
    mEventsRecorded = false;
    CandidateClear();
    int first = -1, last = -1;
    const long long epsilon = gsTimeEpsilon.Get();
    if (mKeyCount == 0)
    {
        if (!selectedOnly)
            mValue += valueDelta;
    }
    else if (!selectedOnly)
    {
        for (int i = 0; i < mKeyCount; ++i)
        {
            Key(i)->IncTime(delta);
            Key(i)->IncValue(valueDelta);
        }
        first = 0;
        last = mKeyCount - 1;
    }
    else
    {
        // Moves selected key i in place while it stays clear of the neighbour
        // it moves towards, and otherwise reinserts it.
        const bool later = delta > KTime(0);
        auto moveSelected = [&](int i) {
            if (!Key(i)->GetSelected())
                return;
            const KTime target = SaturatedAdd(Key(i)->GetTime(), delta.Get());
            const bool clear = later ? i == mKeyCount - 1 || KTimeDifference(target, Key(i + 1)->GetTime()) > epsilon
                                     : i == 0 || KTimeDifference(Key(i - 1)->GetTime(), target) > epsilon;
            if (clear)
            {
                Key(i)->SetTime(target);
                Key(i)->IncValue(valueDelta);
                Touch(i, first, last);
            }
            else
            {
                const int moved = ReinsertKey(i, target, valueDelta);
                Touch(i, first, last);
                if (moved >= 0)
                    Touch(moved, first, last);
            }
        };
        // Walk against the motion so that no key passes an unprocessed one.
        if (later)
        {
            for (int i = mKeyCount - 1; i >= 0; --i)
                moveSelected(i);
        }
        else
        {
            for (int i = 0; i < mKeyCount; ++i)
                moveSelected(i);
        }
    }
    EndValueEdit(first, last);
    return 0;
}

// ---------------------------------------------------------------------------
// Key search

// Largest i < start with t(i) <= time (keys sorted). Nearby answers are
// found by a short gallop from start (O(1) for sequential access), far ones
// by a binary search of the rest.
double KFCurve::FindBackward(KTime time, int start, int* hint)
{
    const long long t = time.Get();
    int i = -1;
    int hi = start; // t(hi) > time
    int lo = start - 1;
    int step = 1;
    for (int probe = 0; probe < 8 && lo >= 0; ++probe)
    {
        if (Key(lo)->GetTime().Get() <= t)
        {
            i = lo;
            break;
        }
        hi = lo;
        lo -= step;
        step <<= 1;
    }
    if (i < 0 && Key(0)->GetTime().Get() <= t)
        i = 0; // somewhere below the gallop: the binary search narrows it
    if (i >= 0)
    {
        // The answer lies in [i, hi): halve without branching on the data.
        int n = hi - i;
        while (n > 1)
        {
            const int half = n >> 1;
            Prefetch(i + (half >> 1), i + half + ((n - half) >> 1));
            i = Key(i + half)->GetTime().Get() <= t ? i + half : i;
            n -= half;
        }
    }
    if (i < 0)
    {
        *hint = 0;
        return -0.5;
    }
    *hint = i;
    const long long ti = Key(i)->GetTime().Get();
    const long long tn = Key(i + 1)->GetTime().Get();
    return i + KTimeDifferenceSeconds(ti, t) / SpanSeconds(ti, tn);
}

// Smallest j > start with time <= t(j) (keys sorted), searched the same way.
double KFCurve::FindForward(KTime time, int start, int* hint)
{
    const long long t = time.Get();
    const int lastIndex = mKeyCount - 1;
    int j = -1;
    int lo = start; // t(lo) < time
    int hi = start + 1;
    int step = 1;
    for (int probe = 0; probe < 8 && hi <= lastIndex; ++probe)
    {
        if (t <= Key(hi)->GetTime().Get())
        {
            j = hi;
            break;
        }
        lo = hi;
        hi += step;
        step <<= 1;
    }
    if (j < 0 && t <= Key(lastIndex)->GetTime().Get())
        j = lastIndex; // somewhere above the gallop: the binary search narrows it
    if (j >= 0)
    {
        // The last key before the time lies in [lo, j).
        int a = lo;
        int n = j - lo;
        while (n > 1)
        {
            const int half = n >> 1;
            Prefetch(a + (half >> 1), a + half + ((n - half) >> 1));
            a = Key(a + half)->GetTime().Get() < t ? a + half : a;
            n -= half;
        }
        j = a + 1;
    }
    if (j < 0)
    {
        *hint = mKeyCount;
        return mKeyCount - 0.5;
    }
    *hint = j;
    const int i = j - 1;
    const long long ti = Key(i)->GetTime().Get();
    const long long tj = Key(j)->GetTime().Get();
    return i + KTimeDifferenceSeconds(ti, t) / SpanSeconds(ti, tj);
}

double KFCurve::KeyFind(KTime time, int* last)
{
    if (mKeyCount == 0)
        return -1.0;
    int* hint = last != nullptr ? last : &mLastSearchIndex;
    int s = *hint;
    if (s < 0)
        s = 0;
    if (s > mKeyCount - 1)
        s = mKeyCount - 1;
    const KTime ts = Key(s)->GetTime();
    if (time == ts)
    {
        *hint = s;
        return s;
    }
    if (time < ts)
        return FindBackward(time, s, hint);
    if (s >= mKeyCount - 1)
    {
        *hint = mKeyCount;
        return mKeyCount - 0.5;
    }
    return FindForward(time, s, hint);
}

// ---------------------------------------------------------------------------
// Change notification

void KFCurve::CallbackAddEvent(int kind, int index)
{
    if (!mEventsRecorded)
        return;
    mUpdateId += kind == KFCURVEEVENT_SELECTION ? 0x10000u : 1u;
    // Delivered to no one, an event leaves the record cleared, as Dispatch
    // leaves it: most curves have no listener.
    if (mCallbackEnable && mCallbacks.Count() == 0)
    {
        mEvent.Clear();
        return;
    }
    mEvent.Add(kind, index);
    if (mCallbackEnable)
        Dispatch();
}

void KFCurve::Dispatch()
{
    // The record is handed over and cleared first, so that events fired by
    // a callback are delivered on their own.
    const int count = mCallbacks.Count();
    if (count == 0)
    {
        mEvent.Clear();
        return;
    }
    const PendingEvent pending = mEvent;
    mEvent.Clear();
    KFCurveEvent event;
    event.mType = pending.mType;
    event.mKeyIndexStart = pending.mKeyIndexStart;
    event.mKeyIndexStop = pending.mKeyIndexStop;
    event.mEventCount = pending.mEventCount;
    CallbackWalk walk;
    walk.previous = mWalks;
    walk.index = 0;
    walk.end = count;
    walk.orphaned = false;
    mWalks = &walk;
    while (walk.index < walk.end)
    {
        const int i = walk.index++;
        kFCurveCallback function = mCallbacks.Function(i);
        void* data = mCallbacks.Data(i);
        function(this, &event, data);
        if (walk.orphaned)
            return; // the curve was destroyed by the callback
    }
    mWalks = walk.previous;
}

void KFCurve::CallbackEnable(bool enable)
{
    mCallbackEnable = enable;
    if (enable && mEvent.mEventCount > 0)
        Dispatch();
}

void KFCurve::CallbackList::Add(kFCurveCallback function, void* data)
{
    if (mCount == mCapacity)
    {
        const int capacity = mCapacity * 2;
        Entry* grown = new Entry[static_cast<size_t>(capacity)];
        std::copy(Entries(), Entries() + mCount, grown);
        if (OnHeap())
            delete[] mHeap;
        mHeap = grown;
        mCapacity = capacity;
    }
    Entries()[mCount++] = Entry{function, data};
}

void KFCurve::CallbackList::RemoveAt(int i)
{
    if (i < 0 || i >= mCount)
        return;
    Entry* entries = Entries();
    std::copy(entries + i + 1, entries + mCount, entries + i);
    --mCount;
}

void KFCurve::CallbackRegister(kFCurveCallback function, void* userData)
{
    if (function == nullptr)
        return;
    mCallbacks.Add(function, userData);
}

void KFCurve::CallbackUnregister(kFCurveCallback function, void* userData)
{
    for (int i = mCallbacks.Count() - 1; i >= 0; --i)
    {
        if (mCallbacks.Function(i) == function && mCallbacks.Data(i) == userData)
        {
            mCallbacks.RemoveAt(i);
            for (CallbackWalk* w = mWalks; w != nullptr; w = w->previous)
            {
                if (i < w->end)
                {
                    w->end--;
                    if (i < w->index)
                        w->index--;
                }
            }
            return;
        }
    }
}
