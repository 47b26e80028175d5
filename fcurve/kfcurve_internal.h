#ifndef QOX_FCURVE_KFCURVE_INTERNAL_H
#define QOX_FCURVE_KFCURVE_INTERNAL_H

// Helpers shared by the curve's source files.

#include "fcurve/kfcurve.h"

#include <climits>
#include <cstddef>

class KQox;

namespace kfcurve_detail {

// The records in the pool of curve-node names (for tests).
size_t NamePoolRecordCount();

// Memory of a curve node, a curve or a children array: laid in the block of
// the open KFCurveGroupScope when it has room, else from the heap (out of
// memory throws, or gives null with orNull). GroupMemberDelete takes either,
// with the size it was asked for.
void* GroupMemberNew(size_t size, bool orNull = false);
void GroupMemberDelete(void* member, size_t size);
// GroupMemberNew with no scope open: laid in a block of its own cut from a
// slab when KFCurveGroupSlabs are open on the thread, else from the heap.
void* LoneMemberNew(size_t size, bool orNull = false);
// When false, scopes lay nothing and every member comes from the heap:
// tests build both ways and compare.
extern bool sGroupMembers;
// Whether the memory was laid in a block.
bool IsGroupMember(const void* member);
// Whether both were laid in the same block.
bool SameGroup(const void* member, const void* other);
// Whether the memory was the first laid in its block.
bool IsFirstInGroup(const void* member);
// Starts loading the whole block of a member (nothing for a heap one): a
// walk over the tree it holds then waits on no member in turn.
void PrefetchGroupOf(const void* member);

// The fields of an open list that reading a curve or a channel asks for,
// found by one pass over the list's records: the reading then asks for none
// that the list lacks (a lookup each, and most lists hold few of them).
// Before a pass, or while sSkipAbsent is off, every field counts as there.
struct ListFields
{
    static constexpr unsigned int eUserName = 1u << 0;
    static constexpr unsigned int eTimeWarpID = 1u << 1;
    static constexpr unsigned int eDefault = 1u << 2;
    static constexpr unsigned int eKeyVer = 1u << 3;
    static constexpr unsigned int eKeyCount = 1u << 4;
    static constexpr unsigned int ePreExtrapolation = 1u << 5;
    static constexpr unsigned int ePostExtrapolation = 1u << 6;
    static constexpr unsigned int eColor = 1u << 7;
    static constexpr unsigned int eLayerID = 1u << 8;
    static constexpr unsigned int eLayerType = 1u << 9;
    static constexpr unsigned int eLayerChannel = 1u << 10;
    static constexpr unsigned int eKey = 1u << 11;
    static constexpr unsigned int eKeyTime = 1u << 12;
    static constexpr unsigned int eKeyValue = 1u << 13;
    static constexpr unsigned int eKeyFlags = 1u << 14;
    static constexpr unsigned int eKeyData = 1u << 15;
    // A field of the curve stands more than once where one curve stands, or
    // lies where no curve reads it: damage.
    static constexpr unsigned int eMisplaced = 1u << 16;
    // The fields a curve is stored as.
    static constexpr unsigned int eCurveFields = eDefault | eKeyVer | eKeyCount | eKey | eKeyTime | eKeyValue |
                                                 eKeyFlags | eKeyData | ePreExtrapolation | ePostExtrapolation |
                                                 eColor;
    static constexpr unsigned int eAll = ~0u;
    unsigned int mPresent = eAll;
    int mChannels = INT_MAX; // "Channel" fields not read yet

    // The pass over the open list, before any of it is read. The list holds
    // at most one curve: a curve field in it twice is eMisplaced.
    void Find(KQox* file);
    // Adds a field's bit to present; a curve field already there makes
    // eMisplaced.
    static void Note(unsigned int field, unsigned int& present)
    {
        if (field & present & eCurveFields)
            present |= eMisplaced;
        present |= field;
    }
    bool Has(unsigned int field) const { return (mPresent & field) != 0; }

    // When false, no pass is made: tests read both ways and compare.
    static bool sSkipAbsent;
};

inline KTime TimeFromSeconds(double seconds)
{
    KTime t;
    t.SetSecondDouble(seconds);
    return t;
}

// Tangent-mode families of a cubic key.
inline bool IsCubic(const KFCurveKey& k)
{
    return k.GetInterpolation() == KFCURVE_INTERPOLATION_CUBIC;
}
inline bool IsAutoMode(unsigned int mode)
{
    return mode == KFCURVE_TANGEANT_AUTO || mode == KFCURVE_TANGEANT_AUTO_BREAK;
}
inline bool IsUserMode(unsigned int mode)
{
    return mode == KFCURVE_TANGEANT_USER || mode == KFCURVE_TANGEANT_BREAK;
}
inline bool IsTcbMode(unsigned int mode)
{
    return mode == KFCURVE_TANGEANT_TCB;
}

// Adds with saturation at the ends of the tick range.
inline KTime SaturatedAdd(KTime time, long long delta)
{
    long long r;
    if (__builtin_add_overflow(time.Get(), delta, &r))
        r = delta > 0 ? 0x7FFFFFFFFFFFFFFFLL : static_cast<long long>(0x8000000000000000ULL);
    return KTime(r);
}

} // namespace kfcurve_detail

// The curve of an open list that holds at most one (a channel's block):
// every curve field of the list is its own, in any order, "Default"
// included or not; null when the list holds none. present: ListFields bits
// of the list (eAll: not known yet, a pass finds them). A field standing
// twice is damage: eFILE_CORRUPTED, and the curve keeps no keys.
KFCurve* KFCurveCreateListed(KQox* file, KFCurve* curve, bool onlyDefaults, bool withColor, unsigned int present);

#endif
