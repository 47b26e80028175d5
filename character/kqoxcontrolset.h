#ifndef QOX_CHARACTER_KQOXCONTROLSET_H
#define QOX_CHARACTER_KQOXCONTROLSET_H

// The control set: the rig part of a character.
//
// It says which scene node controls each character node id (191 links, each
// with a template name), which node acts as each of the 44 effectors with its
// five display and activity flags, and which further nodes stand for an
// effector in up to 14 auxiliary effector sets. It also carries a type and the
// use-axis, lock-transform and lock-3D-pick flags.
//
// The control set owns none of the nodes it names. Each filled slot holds
// exactly one record on its node (KQoxNode::AddCharacterLink with the control
// set's character, a kind, the index and a sub-index), so that a node being
// destroyed can clear its pointer from the slot through ClearNodeReference;
// the slot's other fields stay. Reset and the destructor remove every record
// the control set made.

#include "base/kstring.h"
#include "character/kqoxcharacternodeid.h"
#include "object/kproperty.h"

namespace qoxsdk_600 {

class KQoxCharacter;
class KQoxControlSetPlug;
class KQoxNode;

enum EEffectorNodeId : int
{
    eHipsEffector = 0,
    eLeftAnkleEffector = 1,
    eRightAnkleEffector = 2,
    eLeftWristEffector = 3,
    eRightWristEffector = 4,
    eLeftKneeEffector = 5,
    eRightKneeEffector = 6,
    eLeftElbowEffector = 7,
    eRightElbowEffector = 8,
    eChestOriginEffector = 9,
    eChestEndEffector = 10,
    eLeftFootEffector = 11,
    eRightFootEffector = 12,
    eLeftShoulderEffector = 13,
    eRightShoulderEffector = 14,
    eHeadEffector = 15,
    eLeftHipEffector = 16,
    eRightHipEffector = 17,
    eLeftHandEffector = 18,
    eRightHandEffector = 19,
    eLeftHandThumbEffector = 20,
    eLeftHandIndexEffector = 21,
    eLeftHandMiddleEffector = 22,
    eLeftHandRingEffector = 23,
    eLeftHandPinkyEffector = 24,
    eLeftHandExtraFingerEffector = 25,
    eRightHandThumbEffector = 26,
    eRightHandIndexEffector = 27,
    eRightHandMiddleEffector = 28,
    eRightHandRingEffector = 29,
    eRightHandPinkyEffector = 30,
    eRightHandExtraFingerEffector = 31,
    eLeftFootThumbEffector = 32,
    eLeftFootIndexEffector = 33,
    eLeftFootMiddleEffector = 34,
    eLeftFootRingEffector = 35,
    eLeftFootPinkyEffector = 36,
    eLeftFootExtraFingerEffector = 37,
    eRightFootThumbEffector = 38,
    eRightFootIndexEffector = 39,
    eRightFootMiddleEffector = 40,
    eRightFootRingEffector = 41,
    eRightFootPinkyEffector = 42,
    eRightFootExtraFingerEffector = 43,
    eLastEffectorNodeId = 43
};

// Number of effector ids (0 to 43).
const int kEffectorNodeIdCount = 44;

// Auxiliary effector sets are numbered 1 to 14. The effector's own node is
// not a set: in a control-set plug's effector list it comes first.
enum EEffectorSetId : int
{
    eFirstEffectorSet = 1,
    eLastEffectorSet = 14
};

const int kEffectorAuxSetCount = 14;

// The kinds of records that character tables leave on a node.
enum ECharacterLinkType : int
{
    eCharacterLinkTypeCharacter = 0,  // a character's own link, index = node id
    eCharacterLinkTypeControlSet = 1, // a control-set link, index = node id
    eCharacterLinkTypeEffector = 2,   // an effector, index = effector id
    eCharacterLinkTypeEffectorAux = 3 // an auxiliary effector, index = effector id, sub-index = set - 1
};

class KQoxControlSetLink
{
public:
    KQoxControlSetLink();
    KQoxControlSetLink(const KQoxControlSetLink& link);
    KQoxControlSetLink& operator=(const KQoxControlSetLink& link);

    // No node, template name emptied.
    void Reset();
    // Neither a node nor a template name.
    bool IsEmpty() const { return !mNode && mTemplateName.IsEmpty(); }

    KQoxNode* mNode; // not owned
    KString mTemplateName;
};

class KQoxEffector
{
public:
    // No node, show set, the other four flags clear.
    KQoxEffector();
    KQoxEffector(const KQoxEffector& effector);
    void Reset();
    // Copies the node and the five flags.
    KQoxEffector& operator=(const KQoxEffector& effector);

    KQoxNode* mNode; // not owned
    // Stored in the native file as "SHOW", "TACTIVE", "RACTIVE",
    // "CANDIDATE_TACTIVE" and "CANDIDATE_RACTIVE".
    bool mShow;
    bool mTActive;
    bool mRActive;
    bool mCandidateTActive;
    bool mCandidateRActive;
};

class KQoxControlSet
{
public:
    // The control set's kind: stored, copied and carried unchanged; any
    // 32-bit value is accepted and none has a text.
    enum EType : int
    {
        eDefaultType = 0
    };

    // Links empty, effectors at their defaults, no auxiliary node, no
    // character. Registers nothing.
    KQoxControlSet();
    // Reset: every record the control set made is removed.
    ~KQoxControlSet();

    KQoxControlSet(const KQoxControlSet&) = delete;
    KQoxControlSet& operator=(const KQoxControlSet&) = delete;

    // The character whose records the slots leave on their nodes. The
    // character sets itself right after creating its control set, before any
    // slot is filled.
    void SetCharacter(KQoxCharacter* character) { mCharacter = character; }
    KQoxCharacter* GetCharacter() const { return mCharacter; }

    // Type 0, lock flags cleared (use axis kept), every slot emptied with its
    // record removed, effectors back at their defaults.
    void Reset();

    void SetType(EType type) { mType = type; }
    EType GetType() const { return mType; }
    void SetUseAxis(bool useAxis) { mUseAxis = useAxis; }
    bool GetUseAxis() const { return mUseAxis; }
    void SetLockTransform(bool lock) { mLockTransform = lock; }
    bool GetLockTransform() const { return mLockTransform; }
    void SetLock3DPick(bool lock) { mLock3DPick = lock; }
    bool GetLock3DPick() const { return mLock3DPick; }

    // Ids are tested as unsigned against the top (190 or 43), so negative
    // ids are refused too; set ids must be 1 to 14. A refused call returns
    // false and changes nothing. Getters copy out only into a non-null
    // argument.

    // An empty link empties the slot; a link with a node records the node.
    bool SetControlSetLink(ECharacterNodeId id, const KQoxControlSetLink& link);
    // False for an empty slot.
    bool GetControlSetLink(ECharacterNodeId id, KQoxControlSetLink* link) const;
    // An effector with a node is copied with its flags and records the node;
    // one without a node resets the slot to a fresh effector (show only).
    bool SetEffector(EEffectorNodeId id, KQoxEffector effector);
    // False for an effector without a node, whatever its flags.
    bool GetEffector(EEffectorNodeId id, KQoxEffector* effector) const;
    // The slot as it stands, with or without a node (the flags a node-less
    // slot holds included); false outside 0 to 43.
    bool GetEffectorSlot(EEffectorNodeId id, KQoxEffector* effector) const;
    // Replaces one auxiliary node (null clears it).
    bool SetEffectorAux(EEffectorNodeId id, KQoxNode* node, EEffectorSetId set);
    // False for an empty entry.
    bool GetEffectorAux(EEffectorNodeId id, KQoxNode** node, EEffectorSetId set) const;

    // The effector's name, or null outside 0 to 43.
    static char* GetEffectorNodeName(EEffectorNodeId id);
    // The id whose name equals the text exactly (with case); -1 for none and
    // for null.
    static EEffectorNodeId GetEffectorNodeId(const char* name);

    // Called for a node being destroyed, with one of its records: clears the
    // node pointer of the slot the record names (kind 1 link, 2 effector, 3
    // auxiliary entry (index, sub-index)) when it still holds that node, and
    // leaves every other field. False when the record names no such slot.
    bool ClearNodeReference(int type, int index, int subIndex, KQoxNode* node);

    // Takes the control set over from a plug: Reset, then the type, the
    // use-axis flag, each link list's first node and each effector list's
    // nodes (position 0 the effector, position j auxiliary set j). Entries
    // that are not node property blocks are skipped.
    void FromPlug(KQoxControlSetPlug* plug);
    // Writes the control set into a plug: the type, the use-axis flag, each
    // link's node, and each effector's node followed by its auxiliary nodes
    // in set order, packed without gaps. Template names and effector flags
    // have no place in the plug.
    void ToPlug(KQoxControlSetPlug* plug);

private:
    void AddRecord(KQoxNode* node, int type, int index, int subIndex);
    void RemoveRecord(KQoxNode* node, int type, int index, int subIndex);
    // The effector flags of a new control set (ids 0 to 4 have extras).
    void ApplyEffectorDefaults();

    KQoxCharacter* mCharacter; // not owned
    EType mType;
    bool mUseAxis;
    bool mLockTransform;
    bool mLock3DPick;
    KQoxControlSetLink mControlSetLinks[kCharacterNodeIdCount];
    KQoxEffector mEffectors[kEffectorNodeIdCount];
    KQoxNode* mEffectorsAux[kEffectorNodeIdCount][kEffectorAuxSetCount]; // column set - 1
};

} // namespace qoxsdk_600

extern template class KPropertyTemplate<qoxsdk_600::KQoxControlSet::EType>;

#endif
