#ifndef QOX_SCENE_KQOXNODELIMITS_H
#define QOX_SCENE_KQOXNODELIMITS_H

// Translation, rotation and scaling limits of a node, and a tool over them.
//
// KQoxLimits holds one kind: per-axis minimum and maximum switches and the two
// vectors. KQoxNodeLimits holds the three kinds of one node with a switch per
// kind; its rotation switch is mirrored in the node's "RotationActive"
// property. KQoxLimitsUtilities gives readers and writers of other formats one
// interface per kind and derives automatic limits, a rotation axis and an axis
// length from the node's default pose and its children.

#include "base/kmath_types.h"

namespace qoxsdk_600 {

class KQoxNode;

class KQoxLimits
{
public:
    KQoxLimits();

    void SetLimitMinActive(bool x, bool y, bool z);
    void GetLimitMinActive(bool& x, bool& y, bool& z) const;
    void SetLimitMaxActive(bool x, bool y, bool z);
    void GetLimitMaxActive(bool& x, bool& y, bool& z) const;
    // True when any of the six per-axis switches is on.
    bool GetLimitSomethingActive() const;
    void SetLimitMin(const KQoxVector4& min) { mMin = min; }
    KQoxVector4 GetLimitMin() const { return mMin; }
    void SetLimitMax(const KQoxVector4& max) { mMax = max; }
    KQoxVector4 GetLimitMax() const { return mMax; }

    bool mMinActive[3];
    bool mMaxActive[3];
    KQoxVector4 mMin;
    KQoxVector4 mMax;
};

class KQoxNodeLimits
{
public:
    // Everything off and zero; turns node's "RotationActive" off when given.
    explicit KQoxNodeLimits(KQoxNode* node);

    void SetTranslationLimitActive(bool active) { mTranslationLimitActive = active; }
    bool GetTranslationLimitActive() const { return mTranslationLimitActive; }
    // Also writes the limited node's "RotationActive" property.
    void SetRotationLimitActive(bool active);
    bool GetRotationLimitActive() const { return mRotationLimitActive; }
    void SetScalingLimitActive(bool active) { mScalingLimitActive = active; }
    bool GetScalingLimitActive() const { return mScalingLimitActive; }
    KQoxNode* GetLimitedNode() const { return mLimitedNode; }

    KQoxLimits mTranslationLimits;
    KQoxLimits mRotationLimits;
    KQoxLimits mScalingLimits;

private:
    // The node makes its record on first use, after the property it would
    // have turned off at the node's creation may have been set since.
    friend class KQoxNode;
    KQoxNode* mLimitedNode;
    bool mTranslationLimitActive;
    bool mRotationLimitActive;
    bool mScalingLimitActive;
};

class KQoxLimitsUtilities
{
public:
    enum ELimitType : int
    {
        eT = 0,
        eR = 1,
        eS = 2
    };
    enum ERotationType : int
    {
        eROTATION_SPHERIC = 0,
        eROTATION_EULER = 1
    };
    enum ERotationClampType : int
    {
        eROTATION_CLAMP_TYPE_RECTANGULAR = 0,
        eROTATION_CLAMP_TYPE_ELIPSOID = 1
    };

    // Over a node's limits (not owned); axis length 1.
    explicit KQoxLimitsUtilities(KQoxNodeLimits* limits);

    // A kind is automatic when its kind switch is off. Kinds outside 0..2
    // select nothing: setters do nothing, GetAuto is true, GetEnable false,
    // the vector getters (0, 0, 0, 0).
    void SetAuto(ELimitType type, bool automatic);
    bool GetAuto(ELimitType type);
    void SetEnable(ELimitType type, bool enable);
    bool GetEnable(ELimitType type);
    // Translation and scaling: minimum and maximum; rotation: the node's
    // source pre-rotation.
    void SetDefault(ELimitType type, KQoxVector4 value);
    KQoxVector4 GetDefault(ELimitType type);
    void SetMin(ELimitType type, KQoxVector4 value);
    KQoxVector4 GetMin(ELimitType type);
    void SetMax(ELimitType type, KQoxVector4 value);
    KQoxVector4 GetMax(ELimitType type);

    // Kept in the node's source pivot set: spheric is rotation order 6, Euler 0.
    void SetRotationType(ERotationType type);
    ERotationType GetRotationType();
    // Derived from the rotation order; cannot be stored.
    void SetRotationClampType(ERotationClampType) {}
    ERotationClampType GetRotationClampType();
    // The source post-rotation.
    void SetRotationAxis(KQoxVector4 axis);
    KQoxVector4 GetRotationAxis();
    void SetAxisLength(double length) { mAxisLength = length; }
    double GetAxisLength() const { return mAxisLength; }

    // Derives the automatic kinds from node's default pose (nothing for null,
    // a node without parent, or when no kind is automatic).
    void UpdateAutomatic(KQoxNode* node);
    // The end of the bone starting at node, in its local space.
    KQoxVector4 GetEndPointTranslation(KQoxNode* node);
    // The longest control point of node's geometry; (0, 0, 0, 1) without one.
    KQoxVector4 GetEndSite(KQoxNode* node);

private:
    KQoxLimits* Kind(ELimitType type);
    // The kind's minimum or maximum; zeros for a kind outside the three.
    KQoxVector4 LimitEnd(ELimitType type, bool max);
    KQoxNode* Node() const;

    KQoxNodeLimits* mLimits;
    double mAxisLength;
};

} // namespace qoxsdk_600

#endif
