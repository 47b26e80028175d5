#ifndef QOX_SCENE_KQOXNODE_H
#define QOX_SCENE_KQOXNODE_H

// The scene node: the unit of hierarchy, transform and animation of a scene.
//
// A node is a take-node container (one take node per take, take 0 "Default")
// with a property table that is also its plug in the connection graph: parents,
// children and look-at targets are connections between property tables. It
// carries at most one node attribute (what the node is), two pivot sets, limits,
// caches of its take matrices and explicit local/global states, and the links
// that character tables hold to it. Nodes are made and destroyed only through
// the SDK manager.
//
// Its Default take is owed until something asks for it (see
// KQoxTakeNodeContainer::InitOnRequest), and its limits record is made on
// first use: a node nobody animates or limits holds neither.

#include <memory>
#include <utility>
#include <vector>

#include "base/karray.h"
#include "base/kerror.h"
#include "base/kmath_types.h"
#include "base/kstring.h"
#include "base/kstringlist.h"
#include "base/ktime.h"
#include "scene/kqoxnodelimits.h"
#include "scene/kqoxnodeproperties.h"
#include "scene/kqoxtakenodecontainer.h"

namespace qoxsdk_600 {

class KQoxCamera;
class KQoxCameraSwitcher;
class KQoxCharacter;
class KQoxLight;
class KQoxMarker;
class KQoxNull;
class KQoxOpticalReference;
class KQoxSkeleton;
class KQoxEntity;
class KQoxNodeAttribute;
class KQoxSdkManager;
class KQoxTakeNode;
class KQoxUserProperty;

class KQoxNode : public KQoxTakeNodeContainer
{
public:
    // Node error ids.
    enum EError : int
    {
        eTAKE_NODE_ERROR = 0,
        eNODE_NAME_CLASH = 1,
        eMATERIAL_NAME_CLASH = 2,
        eTEXTURE_NAME_CLASH = 3,
        eVIDEO_NAME_CLASH = 4,
        eTARGET_NODE_NOT_CHILD = 5,
        eCYCLIC_GRAPH = 6,
        eINDEX_OUT_OF_RANGE = 7,
        eINVALID_FRAME_RATE = 8, // pivot conversion at a rate giving no resampling period
        eERROR_COUNT = 9
    };

    enum EShadingMode : int
    {
        eHARD_SHADING = 0,
        eWIRE_FRAME = 1,
        eFLAT_SHADING = 2,
        eLIGHT_SHADING = 3,
        eTEXTURE_SHADING = 4,
        eLIGHT_TEXTURE_SHADING = 5
    };

    enum EMultiTakeMode : int
    {
        eNO_MULTI_TAKE = 0,
        eMULTI_TAKE = 1
    };

    enum ECullingType : int
    {
        eCULLING_OFF = 0,
        eCULLING_ON_CCW = 1,
        eCULLING_ON_CW = 2
    };

    typedef qoxsdk_600::EPivotSet EPivotSet;
    typedef qoxsdk_600::EPivotState EPivotState;
    typedef qoxsdk_600::ERotationOrder ERotationOrder;
    typedef qoxsdk_600::ETransformInheritType ETransformInheritType;

    // Matrices evaluated from one take, with the key hints and times they
    // were computed for.
    struct KQoxTRSCache
    {
        KQoxTRSCache()
            : mLocalTime(0)
            , mGlobalTime(0)
        {
            Reset();
        }
        // Hints to 0 and both matrices invalid; times and matrices are kept.
        void Reset()
        {
            mKeyHint[0] = mKeyHint[1] = mKeyHint[2] = 0;
            mLocalValid = false;
            mGlobalValid = false;
        }

        int mKeyHint[3]; // translation, rotation, scaling
        KTime mLocalTime;
        KTime mGlobalTime;
        bool mLocalValid;
        bool mGlobalValid;
        KQoxXMatrix mLocal;
        KQoxXMatrix mGlobal;
    };

    // An explicit state matrix and the id of the pass that last set it.
    struct KQoxState
    {
        KQoxState() { Reset(); }
        void Reset() { mId = 0xFFFFFFFFu; }

        unsigned int mId;
        KQoxXMatrix mMatrix;
    };

    // One entry of a character table that points at this node.
    struct KQoxLinkToCharacter
    {
        bool operator==(const KQoxLinkToCharacter& o) const
        {
            return mCharacter == o.mCharacter && mType == o.mType && mIndex == o.mIndex && mSubIndex == o.mSubIndex;
        }

        KQoxCharacter* mCharacter;
        int mType; // 0 node link, 1 control-set link, 2 effector, 3 auxiliary effector
        int mIndex;
        int mSubIndex;
    };

    KQoxNode(KQoxSdkManager& manager, const char* name);
    ~KQoxNode() override;

    // Life and typing -----------------------------------------------------------
    void Destruct() override;
    ENameSpace GetNameSpace() const override { return eNODE; }
    KQoxPropertyHandler* GetPropertyHandler() override;
    // Every property of the table in order, then the attribute's.
    void FillPropertyList(void* list) override;
    // The attribute's properties.
    void FillAddedPropertyList(void* list) override;
    // The attribute's type name and flags; "Null" without attribute.
    KString GetTypeName() override;
    KStringList GetTypeFlags() override;
    static int GetClassID();
    KQoxNodeProperties* GetProperties() const { return mProperties; }

    // Transform settings back to their defaults (both pivot sets, the
    // pivot and limit properties, rotation order, inherit type, axis length,
    // quaternion interpolation and stiffness).
    void Reset();

    // Hierarchy ---------------------------------------------------------------
    KQoxNode* GetParent();
    // Attaches child under this node, detaching it from its old parent first.
    // False for null, and with error 6 when child is this node or one of its
    // ancestors, or already in this node's entity; false with the name-clash
    // error when the child's subtree cannot join this node's entity.
    bool AddChild(KQoxNode* child);
    KQoxNode* RemoveChild(KQoxNode* child);
    int GetChildCount(bool recursive = false);
    KQoxNode* GetChild(int index);
    KQoxNode* FindChild(const char* name, bool recursive = true, bool initialName = false);
    // True when node is this node or one of its ancestors.
    bool IsSelfOrAncestorOf(KQoxNode* node);

    // Targets -----------------------------------------------------------------
    void SetTarget(KQoxNode* target);
    KQoxNode* GetTarget() const;
    void SetTargetUp(KQoxNode* target);
    KQoxNode* GetTargetUp() const;
    void SetPostTargetRotation(KQoxVector4 rotation) { mPostTargetRotation = rotation; }
    KQoxVector4 GetPostTargetRotation() const { return mPostTargetRotation; }
    void SetTargetUpVector(KQoxVector4 vector) { mTargetUpVector = vector; }
    KQoxVector4 GetTargetUpVector() const { return mTargetUpVector; }

    // Visibility and display ---------------------------------------------------
    void SetVisibility(bool visible);
    bool GetVisibility();
    void SetShadingMode(EShadingMode mode) { mShadingMode = mode; }
    EShadingMode GetShadingMode() const { return mShadingMode; }
    void SetMultiLayer(bool multiLayer) { mMultiLayer = multiLayer; }
    bool GetMultiLayer() const { return mMultiLayer; }
    void SetMultiTakeMode(EMultiTakeMode mode) { mMultiTakeMode = mode; }
    EMultiTakeMode GetMultiTakeMode() const { return mMultiTakeMode; }
    // Culling, read and written directly by the native file code.
    int GetCullingType() const { return mCullingType; }
    void SetCullingType(int type) { mCullingType = type; }

    // Node attribute -----------------------------------------------------------
    // Returns the previous attribute (null when attribute was already this
    // node's). An attribute held by another node is taken from it.
    KQoxNodeAttribute* SetNodeAttribute(KQoxNodeAttribute* attribute);
    KQoxNodeAttribute* GetNodeAttribute() const { return mNodeAttribute; }
    // Drops attribute when it is this node's, without calling it back (the
    // attribute is being destroyed).
    void ForgetNodeAttribute(KQoxNodeAttribute* attribute);
    // The attribute when its type matches, else null (typed views for the
    // geometry classes come with those classes).
    KQoxNull* GetNull() const;
    KQoxMarker* GetMarker() const;
    KQoxSkeleton* GetSkeleton() const;
    KQoxNodeAttribute* GetMesh() const { return AttributeOfType(4); }
    KQoxNodeAttribute* GetNurb() const { return AttributeOfType(5); }
    KQoxNodeAttribute* GetPatch() const { return AttributeOfType(6); }
    KQoxNodeAttribute* GetGeometry() const;
    KQoxCamera* GetCamera() const;
    KQoxCameraSwitcher* GetCameraSwitcher() const;
    KQoxLight* GetLight() const;
    KQoxOpticalReference* GetOpticalReference() const;

    // Selection ---------------------------------------------------------------
    void SetSelected(bool selected, bool recursive = false);
    bool GetSelected(bool recursive = false);

    // Errors ------------------------------------------------------------------
    KError& GetError() { return mError; }
    int GetLastErrorID() const { return mError.GetLastErrorID(); }
    const char* GetLastErrorString() const { return mError.GetLastErrorString(); }

    KQoxUserProperty* CreateKQoxUserProperty(KProperty* property) override;

    // Default transform (the defaults of the channel properties) --------------
    void SetDefaultT(const KQoxVector4& t);
    KQoxVector4& GetDefaultT(KQoxVector4& out);
    void SetDefaultR(const KQoxVector4& r);
    KQoxVector4& GetDefaultR(KQoxVector4& out);
    void SetDefaultS(const KQoxVector4& s);
    KQoxVector4& GetDefaultS(KQoxVector4& out);
    void SetDefaultVisibility(double visibility);
    double GetDefaultVisibility();
    void SetTransformationInheritType(ETransformInheritType type);
    void GetTransformationInheritType(ETransformInheritType& out);

    // Pivot sets (working records; no property is touched) --------------------
    void SetPivotState(EPivotSet set, EPivotState state)
    {
        // Setting the state a set already has makes no pivot records.
        if (PivotOf(set).mPivotState != state)
            Pivot(set).mPivotState = state;
    }
    void GetPivotState(EPivotSet set, EPivotState& out) { out = PivotOf(set).mPivotState; }
    void SetRotationOrder(EPivotSet set, ERotationOrder order) { Pivot(set).mRotationOrder = order; }
    void GetRotationOrder(EPivotSet set, ERotationOrder& out) { out = PivotOf(set).mRotationOrder; }
    void SetUseRotationSpaceForLimitOnly(EPivotSet set, bool use) { Pivot(set).mRotationSpaceForLimitOnly = use; }
    bool GetUseRotationSpaceForLimitOnly(EPivotSet set) { return PivotOf(set).mRotationSpaceForLimitOnly; }
#define KQOX_NODE_PIVOT_VECTOR(Name, Member)                                                                           \
    void Set##Name(EPivotSet set, KQoxVector4 v)                                                                       \
    {                                                                                                                  \
        Pivot(set).Member = v;                                                                                         \
    }                                                                                                                  \
    KQoxVector4& Get##Name(EPivotSet set)                                                                              \
    {                                                                                                                  \
        return Pivot(set).Member;                                                                                      \
    }
    KQOX_NODE_PIVOT_VECTOR(RotationOffset, mRotationOffset)
    KQOX_NODE_PIVOT_VECTOR(RotationPivot, mRotationPivot)
    KQOX_NODE_PIVOT_VECTOR(RotationPivotUpdateOffset, mRotationPivotUpdateOffset)
    KQOX_NODE_PIVOT_VECTOR(PreRotation, mPreRotation)
    KQOX_NODE_PIVOT_VECTOR(PostRotation, mPostRotation)
    KQOX_NODE_PIVOT_VECTOR(ScalingOffset, mScalingOffset)
    KQOX_NODE_PIVOT_VECTOR(ScalingPivot, mScalingPivot)
    KQOX_NODE_PIVOT_VECTOR(ScalingPivotUpdateOffset, mScalingPivotUpdateOffset)
#undef KQOX_NODE_PIVOT_VECTOR
    void SetGeometricTranslation(EPivotSet set, KQoxVector4 v)
    {
        Pivot(set).mGeometricTranslation = v;
    }
    KQoxVector4 GetGeometricTranslation(EPivotSet set)
    {
        return PivotOf(set).mGeometricTranslation;
    }
    void SetGeometricRotation(EPivotSet set, KQoxVector4 v)
    {
        Pivot(set).mGeometricRotation = v;
    }
    KQoxVector4 GetGeometricRotation(EPivotSet set)
    {
        return PivotOf(set).mGeometricRotation;
    }
    void SetGeometricScaling(EPivotSet set, KQoxVector4 v)
    {
        Pivot(set).mGeometricScaling = v;
    }
    KQoxVector4 GetGeometricScaling(EPivotSet set)
    {
        return PivotOf(set).mGeometricScaling;
    }

    // Rotation options ----------------------------------------------------------
    void SetRotationActive(bool active);
    bool GetRotationActive();
    void SetRotationActiveProperty(bool active);
    void SetUseQuaternionForInterpolation(bool use);
    bool GetUseQuaternionForInterpolation();
    void SetRotationStiffness(KQoxVector4 stiffness);
    KQoxVector4 GetRotationStiffness();

    // Limits --------------------------------------------------------------------
    // Made on first use (a node's limits start off and zero).
    KQoxNodeLimits& GetLimits()
    {
        return Limits();
    }

    // Working records <-> properties (the native writers and reader) ------------
    void UpdatePropertiesFromPivotsAndLimits();
    void UpdatePivotsAndLimitsFromProperties();

    // Channels and takes ----------------------------------------------------------
    void AddChannels(KQoxTakeNode* takeNode) override;
    // While the Default take is owed (attributes call these from SetNode and
    // UnsetNode): keeps what the attribute's channels would hold in it, or
    // builds it when that cannot be told; drops what was kept for them.
    void AddOwedDefaultChannels(KQoxNodeAttribute& attribute);
    void RemoveOwedDefaultChannels(KQoxNodeAttribute& attribute);
    bool KeepDefaultValuesOfProperties() override;
    bool GetPlainDefaultProperties(KProperty* (&properties)[kPlainDefaultProperties]) override;
    bool SetCurrentTakeNode(int index) override;
    bool SetCurrentTakeNode(const char* name) override;
    // Widens [start, stop] with the subtree's animation; true when there is any.
    bool GetAnimationInterval(KTime& start, KTime& stop) override;
    bool GetAnimationIntervalRecursive(KTime& start, KTime& stop);

    // Copies target, display settings, attribute, pivots, limits, culling and
    // the take nodes; see the source for what is left out.
    KQoxNode& operator=(KQoxNode& source);

    // Character links -------------------------------------------------------------
    int GetCharacterLinkCount() const
    {
        return mCharacterLinks.GetCount();
    }
    bool GetCharacterLink(int index, KQoxCharacter** character, int* type, int* linkIndex, int* subIndex);
    int FindCharacterLink(KQoxCharacter* character, int type, int index, int subIndex);
    int AddCharacterLink(KQoxCharacter* character, int type, int index, int subIndex);
    int RemoveCharacterLink(KQoxCharacter* character, int type, int index, int subIndex);

    // Clears, in the character's tables, the node pointer of the slot that one
    // record names (type, index, sub-index), when that slot still holds node.
    // The character model installs it; the destructor calls it once per
    // record, so that no table keeps a pointer to a destroyed node.
    typedef void (*CharacterLinkClearFunction)(KQoxCharacter* character, int type, int index, int subIndex,
                                               KQoxNode* node);
    static void SetCharacterLinkClearFunction(CharacterLinkClearFunction function);
    static CharacterLinkClearFunction GetCharacterLinkClearFunction();

    // Entity --------------------------------------------------------------------
    KQoxEntity* GetEntity() const
    {
        return mEntity;
    }
    // Moves the whole subtree into entity (null: out of any); false with error
    // 1 to 4 on a name clash, nothing moved then. Memory running out throws
    // std::bad_alloc, the subtree and both entities as they were.
    bool SetEntity(KQoxEntity* entity, bool replace);

    // Child names -----------------------------------------------------------------
    void AddChildName(const char* name);
    // Null for an index outside the list.
    char* GetChildName(unsigned int index);
    int GetChildNameCount() const
    {
        return mChildNames.GetCount();
    }

    // Global matrices of the default transform, per pivot set ---------------------
    KQoxXMatrix& GetGlobalMatrix(EPivotSet set, bool force = false);
    void ComputeGlobalMatrix(EPivotSet set);
    KQoxVector4 GetGlobalT(EPivotSet set, bool force = false);
    KQoxVector4 GetGlobalR(EPivotSet set, bool force = false);
    KQoxVector4 GetGlobalS(EPivotSet set, bool force = false);

    // Take matrices and states -------------------------------------------------------
    KQoxXMatrix& GetLocalFromDefaultTake();
    KQoxXMatrix& GetGlobalFromDefaultTake();
    KQoxXMatrix& GetLocalFromCurrentTake(KTime time);
    KQoxXMatrix& GetGlobalFromCurrentTake(KTime time);
    void SetLocalStateFromDefaultTake(bool recursive);
    void SetDefaultTakeFromLocalState(bool recursive);
    void SetLocalStateFromCurrentTake(KTime time, bool recursive);
    void SetCurrentTakeFromLocalState(KTime time, bool recursive);
    void ComputeGlobalState(unsigned int updateId, bool recursive);
    void ComputeLocalState(unsigned int updateId, bool recursive);
    void SetGlobalState(const KQoxXMatrix& m)
    {
        Caches().mGlobalState.mMatrix = m;
    }
    void SetLocalState(const KQoxXMatrix& m)
    {
        Caches().mLocalState.mMatrix = m;
    }
    KQoxXMatrix& GetGlobalState()
    {
        return Caches().mGlobalState.mMatrix;
    }
    KQoxXMatrix& GetLocalState()
    {
        return Caches().mLocalState.mMatrix;
    }
    void SetGlobalStateId(unsigned int id, bool recursive);
    void SetLocalStateId(unsigned int id, bool recursive);
    unsigned int GetGlobalStateId() const
    {
        return mCaches ? mCaches->mGlobalState.mId : KQoxState().mId;
    }
    unsigned int GetLocalStateId() const
    {
        return mCaches ? mCaches->mLocalState.mId : KQoxState().mId;
    }

    // Composition styles (read no node state) ------------------------------------------
    void ComputeGlobalMatrixQoxStyle(KQoxXMatrix& global, KQoxXMatrix& parentGlobal, KQoxXMatrix& local);
    void ComputeLocalMatrixQoxStyle(KQoxXMatrix& local, KQoxXMatrix& parentGlobal, KQoxXMatrix& global);
    void ComputeGlobalMatrixTolvaneStyle(KQoxXMatrix& global, KQoxXMatrix& parentGlobal, KQoxXMatrix& local);
    void ComputeLocalMatrixTolvaneStyle(KQoxXMatrix& local, KQoxXMatrix& parentGlobal, KQoxXMatrix& global);

    // Pivot-set conversion of animation (kqoxnode_pivot.cpp) ------------------------
    // The target set is 0 for the source set; any other value means the
    // destination set. Each rewrites the curves of every take node of this
    // node and of its whole subtree (parents first) so that the motion made
    // under the other set is made under the target set; no pivot value is
    // changed. The frame rate (frames per second, above 0) sets the period
    // at which converted curves are resampled; keyReduce runs the constant
    // key reducer after a resampling. A rate that gives no period of at
    // least one tick changes nothing and sets error eINVALID_FRAME_RATE.
    // Shifts the translation curves by the rotation pivot and offset
    // differences and moves the geometry's pivot; resamples only for pre-
    // and post-rotations.
    void ConvertPivotAnimation(EPivotSet target, double frameRate, bool keyReduce);
    // Hands every pivot difference to the matrix converter, bakes the
    // geometric transforms into the geometry and resamples when a rotation,
    // a pivot or a rotation order differs.
    void ConvertPivotAnimationRecursive(EPivotSet target, double frameRate, bool keyReduce);
    // Clears the set's rotation order, rotations, pivots, offsets and
    // geometric transform on this node and its subtree; the pivot state and
    // the update offsets stay.
    void ResetPivotSet(EPivotSet set);
    // Bakes the source set into the animation at 30 frames per second and
    // leaves both sets empty.
    void ResetPivotSetAndConvertAnimation();

private:
    friend class KQoxEntity;

    KQoxNodeProperties::KQoxPivot& Pivot(EPivotSet set)
    {
        return mProperties->mPivots[set == eDESTINATION_SET ? 1 : 0];
    }
    // The same for reading: makes nothing.
    const KQoxNodeProperties::KQoxPivot& PivotOf(EPivotSet set) const
    {
        return std::as_const(*mProperties).mPivots[set == eDESTINATION_SET ? 1 : 0];
    }
    KQoxNodeAttribute* AttributeOfType(int type) const;
    // The channel property by name as a user property, or null.
    KQoxUserProperty* ChannelProperty(const char* name);
    void SetDefaultVector(const char* name, const KQoxVector4& v);
    void GetDefaultVector(const char* name, KQoxVector4& out);
    // The node of the first live node-table source of an object list.
    static KQoxNode* FirstListedNode(KPropertyObjectList& list);
    void CopyLimitsFrom(KQoxNode& source);
    KQoxNodeLimits& Limits();
    // The record, or one off and zero while none is made.
    const KQoxNodeLimits& LimitsForReading() const;
    // The attribute that had no channel to give the owed Default take when
    // it was attached: building that take leaves it out.
    const KQoxNodeAttribute* mChannellessAttribute = nullptr;
    // Init, or InitOnRequest with the values of the channels kept.
    void InitTakes();
    // Makes this node's attribute a copy of the source's (see operator=).
    void CopyNodeAttributeFrom(KQoxNode& source);
    // The translation, rotation and scaling properties take the values of
    // the Default take's curves, member by member; a member without a curve
    // takes the value of source's property.
    void UpdateChannelPropertiesFromDefaultTake(KQoxNode& source);

    // What one global matrix was computed from. A forced recomputation of a
    // tree marks the tree (its root's tree epoch); each cache of the tree is
    // then checked against its inputs when next read and recomputed only if
    // they differ. The serial of a computation is unique in the process, so
    // a child sees when its parent's matrix changed.
    struct KQoxGlobalMatrixInputs
    {
        double mValues[21]; // default T, R, S; rotation pivot, offset, pre- and post-rotation
        int mPivotState;
        KQoxNode* mParent;
        unsigned long long mParentSerial;
    };
    struct KQoxGlobalMatrixRecord
    {
        KQoxGlobalMatrixInputs mInputs;
        unsigned long long mSerial = 0;    // of the computation that filled the cache
        unsigned long long mEpoch = 0;     // of the last check against the inputs
        unsigned long long mTreeEpoch = 0; // on a root: of the last forced call in its tree
    };
    KQoxGlobalMatrixRecord& GlobalMatrixRecord(EPivotSet set)
    {
        return Caches().mGlobalMatrixRecords[set == eDESTINATION_SET ? 1 : 0];
    }
    // Valid and checked since the last forced call in the node's tree,
    // whose root's tree epoch is given.
    bool IsGlobalMatrixCurrent(EPivotSet set, unsigned long long treeEpoch);
    // Reads the inputs; the parent's matrix is brought up to date first.
    void GatherGlobalMatrixInputs(EPivotSet set, KQoxGlobalMatrixInputs& inputs);
    // Checks this node and its stale ancestors, top-down, recomputing those
    // whose inputs changed.
    void RefreshGlobalMatrix(EPivotSet set, unsigned long long treeEpoch);
    void ComputeGlobalMatrixOne(EPivotSet set, const KQoxGlobalMatrixInputs& inputs);
    // One node's share of the two conversions (kqoxnode_pivot.cpp).
    void ConvertPivotAnimationOne(int target, const KTime& period, bool keyReduce);
    void ConvertPivotAnimationRecursiveOne(int target, const KTime& period, bool keyReduce);

    KQoxNodeProperties* mProperties;
    KArrayTemplate<KString*> mChildNames;
    KQoxEntity* mEntity;
    KQoxVector4 mPostTargetRotation;
    KQoxVector4 mTargetUpVector;
    KQoxNodeAttribute* mNodeAttribute;
    // The two enums and the two flags share one word.
    EShadingMode mShadingMode;
    EMultiTakeMode mMultiTakeMode;
    bool mMultiLayer;
    bool mSelected;
    KQoxNodeLimits* mLimits;
    KArrayTemplate<KQoxLinkToCharacter> mCharacterLinks;
    KError mError;
    int mCullingType;
    // This node's place in the node list of the entity that listed it first
    // (kept by that entity; -1 when none), so that the entity finds it
    // without a search.
    int mListedSlot = -1;
    KQoxEntity* mListedIn = nullptr;
    // The other entities that list this node, with its place in each (kept
    // by those entities). Made when a second entity lists the node and freed
    // when none is left, so a node in one entity holds no list. The
    // destructor takes the node out of every entity named here and in
    // mListedIn.
    struct KQoxOtherListing
    {
        KQoxEntity* mEntity;
        int mSlot;
    };
    std::unique_ptr<std::vector<KQoxOtherListing>> mOtherListings;
    // The entry of entity in mOtherListings, or null.
    KQoxOtherListing* FindOtherListing(const KQoxEntity* entity) const
    {
        return mOtherListings ? FindOtherListingIn(entity) : nullptr;
    }
    KQoxOtherListing* FindOtherListingIn(const KQoxEntity* entity) const;
    // Records entity's slot, adding its entry when missing.
    void SetOtherListing(KQoxEntity* entity, int slot);
    // Drops entity's entry; false when there was none.
    bool ForgetOtherListing(const KQoxEntity* entity)
    {
        return mOtherListings && ForgetOtherListingIn(entity);
    }
    bool ForgetOtherListingIn(const KQoxEntity* entity);
    // The evaluation caches (about 1.3 KB), made on first use: nodes only
    // built, read or written never need them.
    struct KQoxCaches
    {
        KQoxTRSCache mCurrentTakeCache;
        KQoxTRSCache mDefaultTakeCache;
        KQoxState mLocalState;
        KQoxState mGlobalState;
        KQoxGlobalMatrixRecord mGlobalMatrixRecords[2];
    };
    KQoxCaches& Caches()
    {
        if (!mCaches)
            mCaches.reset(new KQoxCaches);
        return *mCaches;
    }
    // Forgets the takes' cached transforms (a take change or a copy).
    void ResetTakeCaches()
    {
        if (mCaches)
        {
            mCaches->mCurrentTakeCache.Reset();
            mCaches->mDefaultTakeCache.Reset();
        }
    }
    std::unique_ptr<KQoxCaches> mCaches;
};

} // namespace qoxsdk_600

#endif
