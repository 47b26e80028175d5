#ifndef QOX_SCENE_KQOXNODEPROPERTIES_TABLE_H
#define QOX_SCENE_KQOXNODEPROPERTIES_TABLE_H

// The node's fixed properties, in the order they join the property list.
//
// One row per property: ROW(Name, value type, own flags). The name is both the
// property's text and the stem of its member (m<Name>) and of its accessor
// pair (<Name>Get / <Name>Set). Own flag 16 keeps a property out of the lists
// written to files. "LookAtProperty" and "UpVectorProperty" (object lists)
// follow GeometricScaling, and the four animatable channels come last; both are
// built apart because they are not plain values.
//
// Every value starts at its type's zero (vectors (0, 0, 0, 1)) except the two
// display flags Show and NegativePercentShapeSupport, which start true.
#define KQOX_NODE_PROPERTY_ROWS_BEFORE_LISTS(ROW)                                                                      \
    ROW(QuaternionInterpolate, bool, 0)                                                                                \
    ROW(RotationOffset, KgeTVector, 0)                                                                                 \
    ROW(RotationPivot, KgeTVector, 0)                                                                                  \
    ROW(RotationPivotUpdateOffset, KgeTVector, 16)                                                                     \
    ROW(ScalingOffset, KgeTVector, 0)                                                                                  \
    ROW(ScalingPivot, KgeTVector, 0)                                                                                   \
    ROW(ScalingPivotUpdateOffset, KgeTVector, 16)                                                                      \
    ROW(TranslationActive, bool, 0)                                                                                    \
    ROW(TranslationMin, KgeTVector, 0)                                                                                 \
    ROW(TranslationMax, KgeTVector, 0)                                                                                 \
    ROW(TranslationMinX, bool, 0)                                                                                      \
    ROW(TranslationMinY, bool, 0)                                                                                      \
    ROW(TranslationMinZ, bool, 0)                                                                                      \
    ROW(TranslationMaxX, bool, 0)                                                                                      \
    ROW(TranslationMaxY, bool, 0)                                                                                      \
    ROW(TranslationMaxZ, bool, 0)                                                                                      \
    ROW(RotationOrder, ERotationOrder, 0)                                                                              \
    ROW(RotationSpaceForLimitOnly, bool, 0)                                                                            \
    ROW(RotationStiffnessX, double, 0)                                                                                 \
    ROW(RotationStiffnessY, double, 0)                                                                                 \
    ROW(RotationStiffnessZ, double, 0)                                                                                 \
    ROW(AxisLen, double, 0)                                                                                            \
    ROW(PreRotation, KgeTVector, 0)                                                                                    \
    ROW(PostRotation, KgeTVector, 0)                                                                                   \
    ROW(RotationActive, bool, 0)                                                                                       \
    ROW(RotationMin, KgeTVector, 0)                                                                                    \
    ROW(RotationMax, KgeTVector, 0)                                                                                    \
    ROW(RotationMinX, bool, 0)                                                                                         \
    ROW(RotationMinY, bool, 0)                                                                                         \
    ROW(RotationMinZ, bool, 0)                                                                                         \
    ROW(RotationMaxX, bool, 0)                                                                                         \
    ROW(RotationMaxY, bool, 0)                                                                                         \
    ROW(RotationMaxZ, bool, 0)                                                                                         \
    ROW(InheritType, ETransformInheritType, 0)                                                                         \
    ROW(ScalingActive, bool, 0)                                                                                        \
    ROW(ScalingMin, KgeTVector, 0)                                                                                     \
    ROW(ScalingMax, KgeTVector, 0)                                                                                     \
    ROW(ScalingMinX, bool, 0)                                                                                          \
    ROW(ScalingMinY, bool, 0)                                                                                          \
    ROW(ScalingMinZ, bool, 0)                                                                                          \
    ROW(ScalingMaxX, bool, 0)                                                                                          \
    ROW(ScalingMaxY, bool, 0)                                                                                          \
    ROW(ScalingMaxZ, bool, 0)                                                                                          \
    ROW(GeometricTranslation, KgeTVector, 0)                                                                           \
    ROW(GeometricRotation, KgeTVector, 0)                                                                              \
    ROW(GeometricScaling, KgeTVector, 0)

#define KQOX_NODE_PROPERTY_ROWS_AFTER_LISTS(ROW)                                                                       \
    ROW(Show, bool, 0)                                                                                                 \
    ROW(NegativePercentShapeSupport, bool, 0)

#define KQOX_NODE_PROPERTY_ROWS(ROW)                                                                                   \
    KQOX_NODE_PROPERTY_ROWS_BEFORE_LISTS(ROW)                                                                          \
    KQOX_NODE_PROPERTY_ROWS_AFTER_LISTS(ROW)

#endif
