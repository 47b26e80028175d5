#ifndef QOX_FCURVE_KFCURVENODE_H
#define QOX_FCURVE_KFCURVENODE_H

// KFCurveNode: the named tree of curve nodes that holds the animation of one
// object in one take. One node per animated property (for example "Lcl
// Translation"), one child per member ("X", "Y", "Z"), one KFCurve per leaf.
//
// A node may carry a chain of animation layers (structural copies with their
// own curves and ascending layer ids), a time warp, a template whose name it
// shares, registered callbacks and a user-lock count. Values travel as flat
// arrays of doubles: the node's own curve value first, then each child's
// values depth first; functions that read or write such arrays return the
// position after the last value used.

#include <atomic>
#include "base/karray.h"
#include "base/kmath_kernels.h"
#include "base/kstring.h"
#include "base/ktime.h"
#include "fcurve/kfcurvevaluebuffer.h"

#include <memory>
#include <vector>

class IData;
class KDataType;
class KFCurve;
class KFCurveKey;
class KFCurveNode;
class KProperty;
class KQox;

// Layer types: how the values of a layer combine with the layers above it.
enum
{
    KFCL_NOLAYER = 0,   // plain: added
    KFCL_ADD = 1,       // translation-like: added
    KFCL_EULER_XYZ = 2, // Euler rotation: rotations composed, own first
    KFCL_MULT = 3,      // scaling: multiplied
    KFCL_QUAT = 4       // quaternion rotation: members "X", "Y", "Z", "W"
};

// Events delivered to the callbacks of a node (bits of the event word).
enum
{
    KFCURVENODEEVENT_NONE = 0,
    KFCURVENODEEVENT_VISIBILITY = 1,
    KFCURVENODEEVENT_DESTROY = 2,
    KFCURVENODEEVENT_FCURVE = 4,
    KFCURVENODEEVENT_TIMEWARP = 8,
    KFCURVENODEEVENT_CTRLCURVE = 16, // layers changed
    KFCURVENODEEVENT_DATAUPDATED = 32
};

// Candidate methods (total and specific).
enum
{
    KFCURVENODE_CANDIDATE_NONE = 1,
    KFCURVENODE_CANDIDATE_SET = 2
};

// The rotation order code of the spherical XYZ order (no Euler continuity).
const int KFCURVENODE_SPHERIC_XYZ = 12;

// A short growable array of doubles, at least four (zero after
// construction), held inline up to four. Reading past the count gives 0.
class KFCurveNodeValues
{
public:
    int GetCount() const { return mValues.Count(); }
    // Makes room for n values (at least 4): kept values stay, new ones are 0.
    void SetCount(int n) { mValues.Resize(n < kMinimum ? kMinimum : n); }
    // Copies n values in (the count becomes max(n, 4)); values must not
    // point into this array.
    void Set(const double* values, int n) { mValues.Assign(values, n, kMinimum); }
    double Get(int i) const { return (i >= 0 && i < GetCount()) ? mValues.Data()[i] : 0.0; }
    double* GetArray() { return mValues.Data(); }
    const double* GetArray() const { return mValues.Data(); }
    double& operator[](int i) { return mValues[i]; }
    double operator[](int i) const { return Get(i); }

private:
    static const int kMinimum = 4;
    KFCurveValueBuffer<kMinimum> mValues{kMinimum};
};

// A node's stored total candidate (values and time), held only once
// written: until then reads see the four zeros of a fresh KFCurveNodeValues
// and an infinite time.
class KFCurveNodeLazyValues
{
public:
    KFCurveNodeLazyValues() = default;
    KFCurveNodeLazyValues(const KFCurveNodeLazyValues& other) { *this = other; }
    // Copies values and time.
    KFCurveNodeLazyValues& operator=(const KFCurveNodeLazyValues& other)
    {
        if (this != &other)
        {
            if (other.mRecord)
                Write() = *other.mRecord;
            else
                mRecord.reset();
        }
        return *this;
    }
    // Copies the values; the time stays.
    KFCurveNodeLazyValues& operator=(const KFCurveNodeValues& values)
    {
        Write().mValues = values;
        return *this;
    }

    const KFCurveNodeValues& Read() const { return mRecord ? mRecord->mValues : Empty().mValues; }
    int GetCount() const { return Read().GetCount(); }
    double Get(int i) const { return Read().Get(i); }
    void SetCount(int n) { Write().mValues.SetCount(n); }
    void Set(const double* values, int n) { Write().mValues.Set(values, n); }
    double& operator[](int i) { return Write().mValues[i]; }
    double* GetArray() { return Write().mValues.GetArray(); }
    KTime GetTime() const { return mRecord ? mRecord->mTime : KTIME_INFINITE; }
    void SetTime(KTime time)
    {
        if (mRecord || time != KTIME_INFINITE)
            Write().mTime = time;
    }

private:
    struct Record
    {
        KFCurveNodeValues mValues;
        KTime mTime = KTIME_INFINITE;
    };
    Record& Write()
    {
        if (!mRecord)
            mRecord.reset(new Record);
        return *mRecord;
    }
    static const Record& Empty()
    {
        static const Record empty;
        return empty;
    }

    std::unique_ptr<Record> mRecord;
};

// The event record handed to curve-node callbacks.
struct KFCurveNodeEvent
{
    KFCurveNodeEvent() { Clear(); }
    void Clear()
    {
        mEventType = KFCURVENODEEVENT_NONE;
        mEventCount = 0;
        mData = nullptr;
    }
    void Add(int type)
    {
        mEventType |= type;
        mEventCount++;
    }

    int mEventType;  // OR of the event codes fired since the last delivery
    int mEventCount; // events since the last delivery
    IData* mData;    // the data of event 32
};

typedef void (*kFCurveNodeCallback)(KFCurveNode* node, KFCurveNodeEvent* event, void* data);

// The callback block of a node: the pending event and the registrations, in
// registration order.
struct KFCurveNodeCallback
{
    KFCurveNodeCallback()
        : mCallbackFunctions(2)
        , mCallbackObjects(2)
        , mCallbackEnable(true)
    {}

    KFCurveNodeEvent mEvent;
    KArrayTemplate<kFCurveNodeCallback> mCallbackFunctions;
    KArrayTemplate<void*> mCallbackObjects;
    bool mCallbackEnable;
};

// The children of a curve node: a growable array of pointers, empty until
// the first child (three places, what a vector channel holds and what the
// smallest heap block takes; then doubling). Laid in the block of an open
// KFCurveGroupScope when it has room.
class KFCurveNodeChildren
{
public:
    KFCurveNodeChildren() = default;
    ~KFCurveNodeChildren() { Clear(); }
    KFCurveNodeChildren(const KFCurveNodeChildren&) = delete;
    KFCurveNodeChildren& operator=(const KFCurveNodeChildren&) = delete;

    int GetCount() const { return mCount; }
    bool ValidateIndex(int i) const { return i >= 0 && i < mCount; }
    KFCurveNode* operator[](int i) const { return mItems[i]; }
    // -1 when absent.
    int Find(const KFCurveNode* node) const;
    // The index is clamped to [0, count]; -1 when out of memory.
    int InsertAt(int index, KFCurveNode* node);
    int Add(KFCurveNode* node) { return InsertAt(mCount, node); }
    void RemoveAt(int index);
    void Clear();
    // Room for capacity children; false when out of memory.
    bool Reserve(int capacity);

    // The places a node takes for its first child.
    static const int kFirstCapacity = 3;

private:
    void FreeItems();

    KFCurveNode** mItems = nullptr;
    int mCount = 0;
    int mCapacity = 0;
};

// The saved candidate state of a node tree (one state per node).
class KFCurveNodeCandidateState
{
public:
    KFCurveNodeCandidateState();
    ~KFCurveNodeCandidateState();

    KFCurveNodeCandidateState(const KFCurveNodeCandidateState&) = delete;
    KFCurveNodeCandidateState& operator=(const KFCurveNodeCandidateState&) = delete;

    // Deletes the sub-states and the layer state.
    void ClearSubStates();
    // Writes the state through the discarding trace function.
    void Dump(int indent = 0);

    int mTotalCandidateMethod;
    int mSpecificCandidateMethod;
    KFCurveNodeValues mCandidateTotalValue; // one per value of the node (at least four)
    KTime mCandidateTotalTime;
    double mCandidateSpecificValue;
    double mFCurveValue;
    KTime mCandidateSpecificTime;
    std::vector<std::unique_ptr<KFCurveNodeCandidateState>> mSubStates; // one per child
    std::unique_ptr<KFCurveNodeCandidateState> mLayerState;             // next layer
    int mLayerID;
};

// The discarding trace function.
void KNoTraceFnc(const char* format, ...);

class KFCurveNode
{
public:
    // Shared, reference-counted name record. Nodes made by name borrow a
    // record from a process-wide pool of equal names; GetNameInfo() and
    // SetProperty() give the node a record of its own first, so a record
    // handed out is never one another node borrows.
    struct NameInfo
    {
        KString mName;
        KString mTimeWarpName; // the second name (type name given at construction)
        KDataType* mDataType;
        KProperty* mProperty;
        std::atomic<int> mRefCount; // trees are made on several threads at once
    };

    // Flag word bits.
    enum
    {
        eIOType = 0x01,
        eVisible = 0x02,
        eContainer = 0x08,
        eTakeType = 0x10,
        eExpanded = 0x20,
        eMultiLayer = 0x40,
        eCandidateAnyTime = 0x80,
        ePublicFlags = 0xFF,
        // Internal bits, never copied from another node.
        eUseQuaternion = 0x100,
        eNameBorrowed = 0x200, // mNameInfo is a pooled record shared by equal names
        // The total and the specific candidate methods (KFCURVENODE_CANDIDATE_*),
        // two bits each.
        eCandidateTotalShift = 10,
        eCandidateSpecificShift = 12,
        eCandidateMethodMask = 3,
        eCandidateMethods =
            (eCandidateMethodMask << eCandidateTotalShift) | (eCandidateMethodMask << eCandidateSpecificShift),
        eNoCandidate = (KFCURVENODE_CANDIDATE_NONE << eCandidateTotalShift) |
                       (KFCURVENODE_CANDIDATE_NONE << eCandidateSpecificShift)
    };

    KFCurveNode(const char* name, const char* typeName, KDataType* dataType, int layerType = KFCL_NOLAYER,
                int layerId = 0);
    explicit KFCurveNode(KFCurveNode* templateNode);
    virtual ~KFCurveNode();

    KFCurveNode(const KFCurveNode&) = delete;
    KFCurveNode& operator=(const KFCurveNode&) = delete;

    // Laid in the block of an open KFCurveGroupScope when it has room (see
    // fcurve/kfcurvegroup.h); deleting is the same either way.
    static void* operator new(size_t size);
    static void operator delete(void* node, size_t size);

    // Deletes the node (with its subtree unless it is a container).
    void Destroy(int local = 0);

    // ---- Names and type ---------------------------------------------------
    const char* GetName();
    const char* GetTypeName();
    KDataType* GetDataType();
    KProperty* GetProperty();
    void SetProperty(KProperty* property);
    const char* GetTimeWarpName();
    void SetTimeWarpName(const char* name);
    // The node's own record (made from the borrowed one first if need be).
    NameInfo* GetNameInfo();
    void SetNameInfo(NameInfo* nameInfo);

    // ---- Children ---------------------------------------------------------
    virtual void Clear();
    // Appends node as the last child: its index; -1 for a null node or when
    // the child list cannot grow (node is then neither added nor given this
    // parent, and stays the caller's).
    virtual int Add(KFCurveNode* node);
    virtual void Remove(int index);
    virtual void Delete(int index);
    virtual int GetCount();
    virtual KFCurveNode* Get(int index);
    virtual bool IsChild(KFCurveNode* node, bool recursive = false);
    virtual int Find(const char* name);
    virtual int Find(KFCurveNode* node);
    virtual void SetParent(KFCurveNode* parent);
    virtual KFCurveNode* GetParent();
    virtual KFCurveNode* Find(KDataType* dataType);
    virtual int SortedAdd(KFCurveNode* node);

    void Delete(KFCurveNode* child);
    // Whether the node answers one item of a FindRecursive path: its name
    // without regard to case, or "T", "R", "S" exactly for the local
    // transform data types.
    bool MatchesPathItem(const char* item);
    KFCurveNode* FindRecursive(const char* path);
    KFCurveNode* FindRecursive(KDataType* dataType);
    KFCurveNode* FindOrCreate(const char* name, bool createCurve = true);

    // Curves over the tree.
    void CreateFCurve();
    bool FCurveCreated();

    // Cloning.
    KFCurveNode* CloneTemplate(bool asTemplate = false, bool copyCurves = false, bool createCurves = false,
                               int layerId = -1);
    KFCurveNode* Clone(bool asTemplate = false);

    // ---- Flags --------------------------------------------------------------
    int GetTakeType() { return mFlags & eTakeType; }
    void SetTakeType(int type) { mFlags = (mFlags & ~eTakeType) | (type & eTakeType); }
    int GetContainerType() { return mFlags & eContainer; }
    void SetContainerType(int type) { mFlags = (mFlags & ~eContainer) | (type & eContainer); }
    int GetIOType() { return mFlags & eIOType; }
    void SetIOType(int type) { mFlags = (mFlags & ~eIOType) | (type & eIOType); }
    bool IsExpended() { return (mFlags & eExpanded) != 0; }
    void SetExpended(bool expanded);
    bool IsMultiLayer() { return (mFlags & eMultiLayer) != 0; }
    void SetMultiLayer(bool multiLayer);

    // ---- Layers -------------------------------------------------------------
    int GetLayerType() { return mLayerType; }
    void SetLayerType(int type, KFCurveNode* objectLayer = nullptr);
    int GetLayerID() { return mLayerID; }
    void SetLayerID(int id) { mLayerID = id; }
    KFCurveNode* LayerGet() { return mNextLayer; }
    void LayerSet(KFCurveNode* layer, bool destroyOld = false);
    KFCurveNode* LayerGet(int layerId);
    KFCurveNode* ObjectLayerGet() { return mObjectLayer; }
    void ObjectLayerSet(KFCurveNode* node) { mObjectLayer = node; }
    int GetCorrectLayerID(int layerId);
    KFCurveNode* GetLayerNode(int layerId);
    KFCurveNode* GetCorrectLayer(int layerId, bool create = false);
    KFCurveNode* GetPreviousLayer(int layerId);
    KFCurveNode* LayerCreate(int layerId, bool destroyOld = false);
    KFCurveNode* CreateLayerAt(int layerId);
    KFCurveNode* RemoveLayer(int layerId, bool destroy = true);
    KFCurveNode* InsertOrCopyLayer(int layerId, KFCurveNode* source);
    bool GetUseQuaternion() { return (mFlags & eUseQuaternion) != 0; }
    void SetUseQuaternion(bool useQuaternion);
    int GetRotationOrder() { return mRotationOrder; }
    void SetRotationOrder(int order);
    // Neutral values of the layer type, one per value of the node.
    double* GetZeroValues(double* values);
    // The number of values that Evaluate writes for this node and its subtree.
    int GetValueCount();

    // ---- Template, data node, time warp ----------------------------------
    void TemplateSet(KFCurveNode* templateNode);
    KFCurveNode* TemplateGet() { return mLinks ? mLinks->mTemplate : nullptr; }
    void DataNodeSet(KFCurveNode* node, bool recursive = true);
    KFCurveNode* DataNodeGet();
    void TimeWarpSet(KFCurveNode* timeWarp);
    KFCurveNode* TimeWarpGet() { return mLinks ? mLinks->mTimeWarp : nullptr; }
    int GetReferenceCount() { return mReferenceCount; }

    // ---- Curve attachment -------------------------------------------------
    KFCurve* FCurveGet() { return mFCurve; }
    KFCurve* FCurveSet(KFCurve* curve, bool destroyOld = false);
    void FCurveReplace(KFCurve* curve);
    bool SetPreExtrapolation(unsigned int type, bool respectUserLock = true);
    bool SetPreExtrapolationCount(unsigned int count, bool respectUserLock = true);
    bool SetPostExtrapolation(unsigned int type, bool respectUserLock = true);
    bool SetPostExtrapolationCount(unsigned int count, bool respectUserLock = true);

    // ---- Evaluation -------------------------------------------------------
    double* Evaluate(double* values, KTime time, int* index = nullptr);
    double* GeneralEvaluate(double* values, KTime time, int* index = nullptr, bool candidate = false);
    double* CandidateEvaluate(double* values, KTime time, int* index = nullptr);
    double* EvaluateSpecificLayer(double* values, KTime time, int layerId, int* index = nullptr);
    double* CandidateEvaluateSpecificLayer(double* values, KTime time, int layerId, int* index = nullptr);
    // The number of values the two above write for the layer id. A member
    // whose own chain holds that layer (a file may give a member another
    // layer id than its node's) writes that layer's values, which need not
    // be as many as the member's own.
    int GetSpecificLayerValueCount(int layerId);
    double* RotationNodeEvaluate(double* values, KTime time, int* index = nullptr, bool candidate = false);
    // The values above write one per curve, so a member without a curve
    // moves the values after it onto the wrong members. These write one
    // value per leaf instead (a node without children, or the node itself
    // when it has none; depth first), each from its own leaf. leaves enters
    // holding what each leaf shows where the base layer has no curve for it
    // (its property's value): such a leaf keeps that value.
    int GetLeafCount();
    // Leaf i (depth first) of the node; null when there is no such leaf.
    KFCurveNode* GetLeaf(int leaf);
    // The curves' values (as GetValue), base layer only.
    double* GetLeafValues(double* leaves);
    // The value at time (through the time warp): the base layer's, then
    // each layer above combined into it by its layer type, a leaf the layer
    // has no curve for taking nothing from it. candidate: the curves'
    // candidates are read, and the node's total candidate when it has one
    // for that time (it holds the layers combined). A quaternion node's
    // leaves hold its quaternion.
    double* EvaluateLeaves(double* leaves, KTime time, int* index = nullptr, bool candidate = false);
    bool GetTransformCurves(KFCurve** t, KFCurve** r, KFCurve** s);
    unsigned int GetUpdateId();
    unsigned int GetValuesUpdateId();
    void EvaluateCurvesExceptLayerRecursiveAdd(double* values, KTime time, int layerId, int* index = nullptr);
    void EvaluateCurvesExceptLayerRecursiveMult(double* values, KTime time, int layerId, int* index = nullptr);
    void EvaluateCurvesBeforeLayerRecursiveEulerXYZ(KgeRMatrix& m, KTime time, int layerId, int* index = nullptr);
    void EvaluateCurvesAfterLayerRecursiveEulerXYZ(KgeRMatrix& m, KTime time, int layerId, int* index = nullptr);
    void EvaluateCurvesBeforeLayerRecursiveQuat(double* q, KTime time, int layerId, int* index = nullptr);
    void EvaluateCurvesAfterLayerRecursiveQuat(double* q, KTime time, int layerId, int* index = nullptr);

    // ---- Candidates ---------------------------------------------------------
    bool IsCandidate() { return CandidateSpecificMethod() == KFCURVENODE_CANDIDATE_SET; }
    double* CandidateSet(KTime time, double* values, int layerId = 0, int childIndex = -1);
    double* CandidateSetSpecificLayer(KTime time, double* values, int layerId = 0);
    double* CandidateGet(double* values, int layerId = 0);
    double* CandidateGetWithTime(double* values, KTime& time);
    // The stored total values (every member, at least four) and the total time.
    double* CandidateGetTotalCandidate(double* values, KTime& time);
    double* CandidateGetSpecificLayer(double* values, KTime& time, int layerId = 0);
    void FromTotalCandidateToSpecificCandidate(int layerId);
    double* ComputeCandidateForLayer(double* layerValues, double* totalValues, KTime time, int layerId,
                                     int* index = nullptr);
    void CandidateClear(int layerId = 0, bool withSubLayers = true);
    void CandidateClearSubLayers();
    // True when a key was made.
    bool CandidateKey(int* index = nullptr, int layerId = 0, bool* mask = nullptr, bool valuesAreLayer = false,
                      int interpolation = 8, int tangentMode = 0x400, bool tangentBreak = false,
                      bool setAllFields = true, KTime time = KTIME_INFINITE, double tolerance = 0.0);
    bool CandidateKeySpecificLayer(int* index = nullptr, int layerId = 0, bool* mask = nullptr, int interpolation = 8,
                                   int tangentMode = 0x400, bool tangentBreak = false, bool setAllFields = true,
                                   KTime time = KTIME_INFINITE, double tolerance = 0.0);
    void GetCandidateState(KFCurveNodeCandidateState& state);
    void SetCandidateState(const KFCurveNodeCandidateState& state, bool removeOtherLayers = false);

    // ---- Key queries and editing -----------------------------------------
    int KeyGetCount(bool withLayers = false);
    int KeyGetCountOnChild(int childIndex);
    bool KeyGetFirst(KFCurveKey*& key, bool* mask = nullptr, bool withLayers = false);
    bool KeyGetLast(KFCurveKey*& key, bool* mask = nullptr, bool withLayers = false);
    void InternalKeyGetFirst(KFCurveKey*& key, bool* mask, bool withLayers);
    void InternalKeyGetLast(KFCurveKey*& key, bool* mask, bool withLayers);
    KTime GetFirstKeyTime(bool* mask = nullptr, bool withLayers = false);
    KTime GetLastKeyTime(bool* mask = nullptr, bool withLayers = false);
    bool GetAnimationInterval(KTime& start, KTime& stop);
    bool GetAnimationIntervalRecursive(KTime& start, KTime& stop);
    void GetTimeSpan(KTime& start, KTime& stop);
    // 2 when every selected curve has a key at the time, 1 when some do, 0
    // when none; *count receives the number of curves with a key. A key counts
    // when its fractional index lies within indexTolerance of the time's, or
    // it lies at most leftSeconds before or rightSeconds after the time.
    int IsKey(KTime& time, int* count = nullptr, bool* mask = nullptr, double indexTolerance = 0.0,
              double leftSeconds = 0.0, double rightSeconds = 0.0);
    KTime GetPrevKeyTime(KTime time, bool* mask = nullptr);
    KTime GetNextKeyTime(KTime time, bool* mask = nullptr);
    double* KeyAdd(KTime time, double* values);
    double* KeyAppend(KTime time, double* values, bool continuousRotation = false);
    bool DeleteKey(KTime& time, bool* mask = nullptr, double tolerance = 0.0);
    bool Delete(KTime start, KTime stop);
    double* GetValue(double* values);
    double* SetValue(double* values);
    double* GetContinuousRotation(double* result, double* values, KTime time);
    bool GetContinuousOffset(double* offset, double* from, double* to);

    // ---- Copy and replace -------------------------------------------------
    void SingleLayerCopyFrom(KFCurveNode* source, bool takeOver = false);
    void CopyFrom(KFCurveNode* source, bool takeOver = false);
    void LayerCopyFromRecursive(KFCurveNode* source, bool takeOver = false);
    KFCurveNode* SingleLayerCopy(KTime start = KTIME_MINUS_INFINITE, KTime stop = KTIME_INFINITE);
    KFCurveNode* Copy(KTime start = KTIME_MINUS_INFINITE, KTime stop = KTIME_INFINITE);
    void Replace(KFCurveNode* source, KTime start = KTIME_MINUS_INFINITE, KTime stop = KTIME_INFINITE,
                 bool exactSpan = false, bool candidateKeys = false);
    void ReplaceForQuaternion(KFCurveNode* source, KTime start, KTime stop, double startFactor, double stopFactor,
                              bool exactSpan = false, bool candidateKeys = false);

    // ---- Callbacks, user lock, display state ------------------------------
    void CallbackRegister(kFCurveNodeCallback callback, void* data);
    void CallbackUnregister(kFCurveNodeCallback callback, void* data);
    void CallbackAddEvent(int eventType);
    void CallbackEnable(bool enable);
    bool CallbackIsEnable();
    void CallbackClear();
    void DataUpdated(IData* data);
    unsigned int GetNodeUpdateId() { return mNodeUpdateId; }
    void UserLockAdd();
    void UserLockRemove();
    bool IsUserLocked() { return GetUserLockCount() != 0; }
    int GetUserLockCount() { return mLinks ? mLinks->mUserLock : 0; }
    bool GetVisibility() { return (mFlags & eVisible) != 0; }
    void SetVisibility(bool visible, bool recursive = false, bool withLayers = false, int childIndex = -1);
    bool IsEditable();
    // The curve's colour; three zeros without curve.
    float* GetColor();
    void SetColor(float* color);

    // ---- Native file ------------------------------------------------------
    // As for curves: QoxStore is true when everything was written,
    // QoxRetrieve true when a channel was read (false when none is left),
    // QoxInternalRetrieve true when the open field's block was read.
    bool QoxStore(KQox* file, bool onlyDefaults = false, bool shortTRSNames = true, bool skipUserName = true,
                  const char* fieldName = "Channel", bool withColor = true, bool legacyLayout = false,
                  bool keyArrays = false);
    bool QoxRetrieve(KQox* file, bool onlyDefaults = false, bool createMissing = true, bool withColor = true);
    bool QoxInternalRetrieve(KQox* file, bool onlyDefaults = false, bool createMissing = true, bool withColor = true);

private:
    // Made with a pooled name record the caller has acquired for it.
    struct BorrowedName
    {};
    KFCurveNode(BorrowedName, NameInfo* borrowed, int layerType, int layerId);

    void ReleaseReference();
    // Names the node: a borrowed record is exchanged for the pooled one of
    // the new names, a record of the node's own is changed in place.
    void Rename(const char* name, const char* timeWarpName);
    // CloneTemplate below the group it opens; CloneBytes is the room its
    // members take.
    KFCurveNode* CloneTree(bool asTemplate, bool copyCurves, bool createCurves, int layerId);
    size_t CloneBytes(bool withCurves);
    // Lets go of the name record, borrowed or not.
    void DropNameInfo();
    // The earliest key, or the latest for `last`, over the node's curves.
    void InternalKeyGetEnd(KFCurveKey*& key, bool* mask, bool withLayers, bool last);
    double* EvaluateInternal(double* values, KTime time, int* index, bool candidate);
    double* RotationEvaluateInternal(double* values, KTime time, int* index, bool candidate, bool specificLayer);
    bool RotationQuaternionInterpolate(double* values, KTime time, bool candidate);
    double* EvaluateLayer(double* values, KTime time, int layerId, int* index, bool candidate);
    double* EvaluateMembers(double* values, KTime time, int* index, bool candidate);
    double* WriteTotalCandidate(double* values);
    KTime MapTime(KTime time, bool candidate);
    double* CandidateSetSpecificLayerInternal(KTime time, double* values, int layerId);
    void CandidateClearInternal(bool withSubLayers);
    KFCurveNode* MakeLayer(int layerId);
    void LinkLayerAfter(KFCurveNode* layer);
    void FireOnObjectLayer(int eventType);
    bool KeySelected(bool* mask, int i) { return mask == nullptr || mask[i]; }
    void IsKeyRecursive(KTime time, int& asked, int& found, bool* mask, double indexTolerance, double leftSeconds,
                        double rightSeconds);
    void PrevNextKeyRecursive(KTime time, bool* mask, bool next, KTime& best);
    void DeleteKeyRecursive(KTime time, bool* mask, double tolerance);
    void UserLockChange(int delta);

    // Members most nodes leave unset, held apart once one is set.
    struct Links
    {
        KFCurveNode* mTimeWarp = nullptr;
        KFCurveNode* mTemplate = nullptr;
        KFCurveNode* mDataNode = nullptr;
        int mUserLock = 0;
        std::unique_ptr<KFCurveNodeCallback> mCallback; // while a callback is registered
    };
    Links& LinksToWrite()
    {
        if (!mLinks)
            mLinks.reset(new Links);
        return *mLinks;
    }
    KFCurveNode* DataNodeOf() const { return mLinks ? mLinks->mDataNode : nullptr; }
    KFCurveNodeCallback* Callbacks() const { return mLinks ? mLinks->mCallback.get() : nullptr; }
    int CandidateTotalMethod() const { return (mFlags >> eCandidateTotalShift) & eCandidateMethodMask; }
    int CandidateSpecificMethod() const { return (mFlags >> eCandidateSpecificShift) & eCandidateMethodMask; }
    // Methods are KFCURVENODE_CANDIDATE_* values (or the 0 of a fresh state).
    void SetCandidateMethods(int total, int specific)
    {
        mFlags = (mFlags & ~eCandidateMethods) | ((total & eCandidateMethodMask) << eCandidateTotalShift) |
                 ((specific & eCandidateMethodMask) << eCandidateSpecificShift);
    }
    bool NameBorrowed() const { return (mFlags & eNameBorrowed) != 0; }
    void SetNameBorrowed(bool borrowed) { mFlags = borrowed ? (mFlags | eNameBorrowed) : (mFlags & ~eNameBorrowed); }

    NameInfo* mNameInfo;
    int mFlags;
    int mReferenceCount = 0;
    KFCurveNodeChildren mNodes;
    KFCurve* mFCurve = nullptr;
    KFCurveNode* mNextLayer = nullptr;
    KFCurveNode* mObjectLayer = this; // the base layer: itself until put in a chain
    KFCurveNode* mParent = nullptr;
    std::unique_ptr<Links> mLinks;
    int mLayerType = KFCL_NOLAYER; // set through SetLayerType by the constructors
    int mLayerID;
    unsigned int mNodeUpdateId = 0;
    int mRotationOrder;
    KFCurveNodeLazyValues mCandidateTotalValue; // with the total candidate's time
};

// ---- Creation -------------------------------------------------------------
// The data type is looked up by name in the data-type registry.
KFCurveNode* KFCurveNodeCreate(const char* name, const char* typeName, const char* dataTypeName,
                               int layerType = KFCL_NOLAYER, int layerId = 0);
// The type name is the name, except for the time-warp data type (none).
KFCurveNode* KFCurveNodeCreate(const char* name, KDataType* dataType = nullptr, int layerType = KFCL_NOLAYER,
                               int layerId = 0);
KFCurveNode* KFCurveNodeCreate(KFCurveNode* templateNode);
// A node of the layer type of the data type, with one child per member.
KFCurveNode* FCurveNodeCreateFromDataType(KDataType* dataType, const char* name);
// Adds child (not null) under parent for code that builds channels, where a
// member left out would read as 0: when the child list cannot grow, child
// is destroyed with its subtree and std::bad_alloc thrown. The child's
// curves must not be registered anywhere yet.
void KFCurveNodeAdopt(KFCurveNode* parent, KFCurveNode* child);

// ---- Reading from the native file -----------------------------------------
// Reads the next "Channel" field into the matching child of templateNode
// (created when allowed); null when the block holds no further channel.
KFCurveNode* KFCurveNodeCreate(KQox* file, KFCurveNode* templateNode, bool onlyDefaults = false,
                               bool createMissing = true, bool withColor = true);
// Reads the next "Channel" field as a new node.
KFCurveNode* KFCurveNodeCreate(KQox* file, bool onlyDefaults = false, bool withColor = true);
// Reads a "LayerChannel" field as the next layer of node.
KFCurveNode* KFCurveNodeLayerCreate(KQox* file, KFCurveNode* node, bool onlyDefaults = false);

#endif
