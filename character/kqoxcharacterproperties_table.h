// The character's typed properties, one row each, in the order of the property
// list (which is also the native file's order). Every part of the property
// block is generated from this one table: the members, their getters and
// setters, the to-text functions, the declarations with their flags, and the
// copy from the filter set.
//
// QOX_CHARACTER_PROPERTY(name, type, access, animatable, setter, param, from, write, text)
//   name        the property name, and the stem of its accessors (nameGet, nameSet)
//   type        the value type held by the property
//   access      RW (getter and setter) or RO (getter only, read-only flag set)
//   animatable  ANIM or STILL (the animatable info flag)
//   setter      what the setter does after storing (RO rows: NONE):
//                 STORE       nothing more
//                 PAIR        the value of a value-and-mode pair: also the parameter's value
//                 VALUE       the enumeration value as the parameter's value
//                 CLAMP30     clamped to [0, 30], then the parameter's value
//                 CLAMP1000   clamped to [0.01, 1000], then the parameter's value
//                 BOOLMODE    mode 1 for true, 0 for false
//                 MODE        the mode number, unchanged
//   param       the solver parameter index the setter and the copy use (-1: none)
//   from        what the copy from the filter set takes (NONE: the row is not copied):
//                 VALUE, TRUNC (the value truncated toward zero, as an enumeration),
//                 MODENZ (mode is not 0), MODE, VEC3 (values of param, param+1, param+2)
//   write       how the copy writes: STORE (held value, nothing announced) or
//               SET (through SetData, with its notifications and the setter)
//   text        the enumeration's text function, or NOTEXT

#define QOX_CHARACTER_PROPERTIES(P)                                                                                    \
    P(Active, bool, RW, STILL, STORE, -1, NONE, STORE, NOTEXT)                                                         \
    P(Lock, bool, RW, STILL, STORE, -1, NONE, STORE, NOTEXT)                                                           \
    P(Weight, double, RW, ANIM, STORE, -1, NONE, STORE, NOTEXT)                                                        \
    P(PullIterationCount, double, RW, STILL, CLAMP30, 0, VALUE, STORE, NOTEXT)                                         \
    P(Posture, kCharacterPosture, RW, STILL, VALUE, 1, TRUNC, STORE, KCharacter_GetPostureString)                      \
    P(ForceActorSpace, bool, RW, STILL, BOOLMODE, 2, MODENZ, STORE, NOTEXT)                                            \
    P(ScaleCompensation, double, RW, ANIM, PAIR, 3, NONE, STORE, NOTEXT)                                               \
    P(ScaleCompensationMode, kCharacterOffAutoUser, RW, STILL, MODE, 3, MODE, STORE,                                   \
      KCharacter_GetOffAutoUserModeString)                                                                             \
    P(HipsHeightCompensation, double, RW, ANIM, PAIR, 4, NONE, STORE, NOTEXT)                                          \
    P(HipsHeightCompensationMode, kCharacterOffAutoUser, RW, STILL, MODE, 4, MODE, STORE,                              \
      KCharacter_GetOffAutoUserModeString)                                                                             \
    P(AnkleHeightCompensation, double, RW, ANIM, PAIR, 5, NONE, STORE, NOTEXT)                                         \
    P(AnkleHeightCompensationMode, kCharacterOffAutoUser, RW, STILL, MODE, 5, MODE, STORE,                             \
      KCharacter_GetOffAutoUserModeString)                                                                             \
    P(AnkleProximityCompensation, double, RW, ANIM, PAIR, 6, NONE, STORE, NOTEXT)                                      \
    P(AnkleProximityCompensationMode, kCharacterOffAutoUser, RW, STILL, MODE, 6, MODE, STORE,                          \
      KCharacter_GetOffAutoUserModeString)                                                                             \
    P(MassCenterCompensation, double, RO, ANIM, NONE, 7, VALUE, SET, NOTEXT)                                           \
    P(ApplyLimits, bool, RW, STILL, BOOLMODE, 8, MODENZ, STORE, NOTEXT)                                                \
    P(ChestReduction, double, RO, ANIM, NONE, 9, VALUE, SET, NOTEXT)                                                   \
    P(CollarReduction, double, RO, ANIM, NONE, 10, VALUE, SET, NOTEXT)                                                 \
    P(NeckReduction, double, RO, ANIM, NONE, 11, VALUE, SET, NOTEXT)                                                   \
    P(HeadReduction, double, RO, ANIM, NONE, 12, VALUE, SET, NOTEXT)                                                   \
    P(ReachActorLeftAnkle, double, RO, ANIM, NONE, 13, VALUE, SET, NOTEXT)                                             \
    P(ReachActorRightAnkle, double, RO, ANIM, NONE, 14, VALUE, SET, NOTEXT)                                            \
    P(ReachActorLeftKnee, double, RO, ANIM, NONE, 15, VALUE, SET, NOTEXT)                                              \
    P(ReachActorRightKnee, double, RO, ANIM, NONE, 16, VALUE, SET, NOTEXT)                                             \
    P(ReachActorChest, double, RO, ANIM, NONE, 17, VALUE, SET, NOTEXT)                                                 \
    P(ReachActorHead, double, RO, ANIM, NONE, 18, VALUE, SET, NOTEXT)                                                  \
    P(ReachActorLeftWrist, double, RO, ANIM, NONE, 19, VALUE, SET, NOTEXT)                                             \
    P(ReachActorRightWrist, double, RO, ANIM, NONE, 20, VALUE, SET, NOTEXT)                                            \
    P(ReachActorLeftElbow, double, RO, ANIM, NONE, 21, VALUE, SET, NOTEXT)                                             \
    P(ReachActorRightElbow, double, RO, ANIM, NONE, 22, VALUE, SET, NOTEXT)                                            \
    P(ReachActorLeftFingerBase, double, RO, ANIM, NONE, 23, VALUE, SET, NOTEXT)                                        \
    P(ReachActorRightFingerBase, double, RO, ANIM, NONE, 24, VALUE, SET, NOTEXT)                                       \
    P(ReachActorLeftToesBase, double, RO, ANIM, NONE, 25, VALUE, SET, NOTEXT)                                          \
    P(ReachActorRightToesBase, double, RO, ANIM, NONE, 26, VALUE, SET, NOTEXT)                                         \
    P(ReachActorLeftFingerBaseRotation, double, RO, ANIM, NONE, 27, VALUE, SET, NOTEXT)                                \
    P(ReachActorRightFingerBaseRotation, double, RO, ANIM, NONE, 28, VALUE, SET, NOTEXT)                               \
    P(ReachActorLeftToesBaseRotation, double, RO, ANIM, NONE, 29, VALUE, SET, NOTEXT)                                  \
    P(ReachActorRightToesBaseRotation, double, RO, ANIM, NONE, 30, VALUE, SET, NOTEXT)                                 \
    P(ReachActorLeftAnkleRotation, double, RO, ANIM, NONE, 31, VALUE, SET, NOTEXT)                                     \
    P(ReachActorRightAnkleRotation, double, RO, ANIM, NONE, 32, VALUE, SET, NOTEXT)                                    \
    P(ReachActorHeadRotation, double, RO, ANIM, NONE, 33, VALUE, SET, NOTEXT)                                          \
    P(ReachActorLeftWristRotation, double, RO, ANIM, NONE, 34, VALUE, SET, NOTEXT)                                     \
    P(ReachActorRightWristRotation, double, RO, ANIM, NONE, 35, VALUE, SET, NOTEXT)                                    \
    P(ReachActorChestRotation, double, RO, ANIM, NONE, 36, VALUE, SET, NOTEXT)                                         \
    P(ReachActorLowerChestRotation, double, RO, ANIM, NONE, 37, VALUE, SET, NOTEXT)                                    \
    P(HipsTOffset, KgeTVector, RO, ANIM, NONE, 38, VEC3, SET, NOTEXT)                                                  \
    P(ChestTOffset, KgeTVector, RO, ANIM, NONE, 41, VEC3, SET, NOTEXT)                                                 \
    P(LeftUpLegRoll, double, RW, ANIM, PAIR, 67, VALUE, SET, NOTEXT)                                                   \
    P(LeftUpLegRollMode, bool, RW, STILL, BOOLMODE, 67, MODENZ, STORE, NOTEXT)                                         \
    P(LeftLegRoll, double, RW, ANIM, PAIR, 68, VALUE, SET, NOTEXT)                                                     \
    P(LeftLegRollMode, bool, RW, STILL, BOOLMODE, 68, MODENZ, STORE, NOTEXT)                                           \
    P(RightUpLegRoll, double, RW, ANIM, PAIR, 69, VALUE, SET, NOTEXT)                                                  \
    P(RightUpLegRollMode, bool, RW, STILL, BOOLMODE, 69, MODENZ, STORE, NOTEXT)                                        \
    P(RightLegRoll, double, RW, ANIM, PAIR, 70, VALUE, SET, NOTEXT)                                                    \
    P(RightLegRollMode, bool, RW, STILL, BOOLMODE, 70, MODENZ, STORE, NOTEXT)                                          \
    P(LeftArmRoll, double, RW, ANIM, PAIR, 71, VALUE, SET, NOTEXT)                                                     \
    P(LeftArmRollMode, bool, RW, STILL, BOOLMODE, 71, MODENZ, STORE, NOTEXT)                                           \
    P(LeftForeArmRoll, double, RW, ANIM, PAIR, 72, VALUE, SET, NOTEXT)                                                 \
    P(LeftForeArmRollMode, bool, RW, STILL, BOOLMODE, 72, MODENZ, STORE, NOTEXT)                                       \
    P(RightArmRoll, double, RW, ANIM, PAIR, 73, VALUE, SET, NOTEXT)                                                    \
    P(RightArmRollMode, bool, RW, STILL, BOOLMODE, 73, MODENZ, STORE, NOTEXT)                                          \
    P(RightForeArmRoll, double, RW, ANIM, PAIR, 74, VALUE, SET, NOTEXT)                                                \
    P(RightForeArmRollMode, bool, RW, STILL, BOOLMODE, 74, MODENZ, STORE, NOTEXT)                                      \
    P(RollExtractionMode, kCharacterRollExtractionMode, RW, STILL, VALUE, 66, TRUNC, STORE,                            \
      KCharacter_GetRollExtractionModeString)                                                                          \
    P(FootFloorContact, bool, RW, STILL, BOOLMODE, 44, MODENZ, STORE, NOTEXT)                                          \
    P(FootAutomaticToes, bool, RW, STILL, BOOLMODE, 52, MODENZ, STORE, NOTEXT)                                         \
    P(FootFloorPivot, kCharacterFloorPivot, RW, STILL, VALUE, 53, TRUNC, STORE, KCharacter_GetFootFloorPivotString)    \
    P(FootBottomToAnkle, double, RW, STILL, CLAMP1000, 45, VALUE, STORE, NOTEXT)                                       \
    P(FootBackToAnkle, double, RW, STILL, CLAMP1000, 46, VALUE, STORE, NOTEXT)                                         \
    P(FootMiddleToAnkle, double, RW, STILL, CLAMP1000, 47, VALUE, STORE, NOTEXT)                                       \
    P(FootFrontToMiddle, double, RW, STILL, CLAMP1000, 48, VALUE, STORE, NOTEXT)                                       \
    P(FootInToAnkle, double, RW, STILL, CLAMP1000, 49, VALUE, STORE, NOTEXT)                                           \
    P(FootOutToAnkle, double, RW, STILL, CLAMP1000, 50, VALUE, STORE, NOTEXT)                                          \
    P(FootContactSize, double, RW, STILL, CLAMP1000, 51, VALUE, STORE, NOTEXT)                                         \
    P(FootContactStiffness, double, RO, ANIM, NONE, 54, VALUE, SET, NOTEXT)                                            \
    P(FootFingerContactRollStiffness, double, RO, ANIM, NONE, 173, VALUE, SET, NOTEXT)                                 \
    P(HandFloorContact, bool, RW, STILL, BOOLMODE, 55, MODENZ, STORE, NOTEXT)                                          \
    P(HandAutomaticFingers, bool, RW, STILL, BOOLMODE, 63, MODENZ, STORE, NOTEXT)                                      \
    P(HandFloorPivot, kCharacterFloorPivot, RW, STILL, VALUE, 64, TRUNC, STORE, KCharacter_GetHandFloorPivotString)    \
    P(HandBottomToWrist, double, RW, STILL, CLAMP1000, 56, VALUE, STORE, NOTEXT)                                       \
    P(HandBackToWrist, double, RW, STILL, CLAMP1000, 57, VALUE, STORE, NOTEXT)                                         \
    P(HandMiddleToWrist, double, RW, STILL, CLAMP1000, 58, VALUE, STORE, NOTEXT)                                       \
    P(HandFrontToMiddle, double, RW, STILL, CLAMP1000, 59, VALUE, STORE, NOTEXT)                                       \
    P(HandInToWrist, double, RW, STILL, CLAMP1000, 60, VALUE, STORE, NOTEXT)                                           \
    P(HandOutToWrist, double, RW, STILL, CLAMP1000, 61, VALUE, STORE, NOTEXT)                                          \
    P(HandContactSize, double, RW, STILL, CLAMP1000, 62, VALUE, STORE, NOTEXT)                                         \
    P(HandContactStiffness, double, RO, ANIM, NONE, 65, VALUE, SET, NOTEXT)                                            \
    P(HandFingerContactRollStiffness, double, RO, ANIM, NONE, 169, VALUE, SET, NOTEXT)                                 \
    P(CtrlPullLeftToeBase, double, RO, ANIM, NONE, 89, VALUE, SET, NOTEXT)                                             \
    P(CtrlPullLeftFoot, double, RO, ANIM, NONE, 90, VALUE, SET, NOTEXT)                                                \
    P(CtrlPullLeftKnee, double, RO, ANIM, NONE, 91, VALUE, SET, NOTEXT)                                                \
    P(CtrlPullRightToeBase, double, RO, ANIM, NONE, 92, VALUE, SET, NOTEXT)                                            \
    P(CtrlPullRightFoot, double, RO, ANIM, NONE, 93, VALUE, SET, NOTEXT)                                               \
    P(CtrlPullRightKnee, double, RO, ANIM, NONE, 94, VALUE, SET, NOTEXT)                                               \
    P(CtrlPullLeftFingerBase, double, RO, ANIM, NONE, 95, VALUE, SET, NOTEXT)                                          \
    P(CtrlPullLeftHand, double, RO, ANIM, NONE, 96, VALUE, SET, NOTEXT)                                                \
    P(CtrlPullLeftElbow, double, RO, ANIM, NONE, 97, VALUE, SET, NOTEXT)                                               \
    P(CtrlPullRightFingerBase, double, RO, ANIM, NONE, 98, VALUE, SET, NOTEXT)                                         \
    P(CtrlPullRightHand, double, RO, ANIM, NONE, 99, VALUE, SET, NOTEXT)                                               \
    P(CtrlPullRightElbow, double, RO, ANIM, NONE, 100, VALUE, SET, NOTEXT)                                             \
    P(CtrlChestPullLeftHand, double, RO, ANIM, NONE, 101, VALUE, SET, NOTEXT)                                          \
    P(CtrlChestPullRightHand, double, RO, ANIM, NONE, 102, VALUE, SET, NOTEXT)                                         \
    P(CtrlPullHead, double, RO, ANIM, NONE, 103, VALUE, SET, NOTEXT)                                                   \
    P(CtrlResistHipsPosition, double, RO, ANIM, NONE, 104, VALUE, SET, NOTEXT)                                         \
    P(CtrlEnforceGravity, double, RO, ANIM, NONE, 105, VALUE, SET, NOTEXT)                                             \
    P(CtrlResistHipsOrientation, double, RO, ANIM, NONE, 106, VALUE, SET, NOTEXT)                                      \
    P(CtrlResistChestPosition, double, RO, ANIM, NONE, 107, VALUE, SET, NOTEXT)                                        \
    P(CtrlResistChestOrientation, double, RO, ANIM, NONE, 108, VALUE, SET, NOTEXT)                                     \
    P(CtrlResistLeftCollar, double, RO, ANIM, NONE, 109, VALUE, SET, NOTEXT)                                           \
    P(CtrlResistRightCollar, double, RO, ANIM, NONE, 110, VALUE, SET, NOTEXT)                                          \
    P(CtrlResistLeftKnee, double, RO, ANIM, NONE, 111, VALUE, SET, NOTEXT)                                             \
    P(CtrlResistMaximumExtensionLeftKnee, double, RO, ANIM, NONE, 112, VALUE, SET, NOTEXT)                             \
    P(CtrlResistCompressionFactorLeftKnee, double, RO, ANIM, NONE, 113, VALUE, SET, NOTEXT)                            \
    P(CtrlResistRightKnee, double, RO, ANIM, NONE, 114, VALUE, SET, NOTEXT)                                            \
    P(CtrlResistMaximumExtensionRightKnee, double, RO, ANIM, NONE, 115, VALUE, SET, NOTEXT)                            \
    P(CtrlResistCompressionFactorRightKnee, double, RO, ANIM, NONE, 116, VALUE, SET, NOTEXT)                           \
    P(CtrlResistLeftElbow, double, RO, ANIM, NONE, 117, VALUE, SET, NOTEXT)                                            \
    P(CtrlResistMaximumExtensionLeftElbow, double, RO, ANIM, NONE, 118, VALUE, SET, NOTEXT)                            \
    P(CtrlResistCompressionFactorLeftElbow, double, RO, ANIM, NONE, 119, VALUE, SET, NOTEXT)                           \
    P(CtrlResistRightElbow, double, RO, ANIM, NONE, 120, VALUE, SET, NOTEXT)                                           \
    P(CtrlResistMaximumExtensionRightElbow, double, RO, ANIM, NONE, 121, VALUE, SET, NOTEXT)                           \
    P(CtrlResistCompressionFactorRightElbow, double, RO, ANIM, NONE, 122, VALUE, SET, NOTEXT)                          \
    P(CtrlSpineStiffness, double, RO, ANIM, NONE, 123, VALUE, SET, NOTEXT)                                             \
    P(CtrlNeckStiffness, double, RO, ANIM, NONE, 124, VALUE, SET, NOTEXT)                                              \
    P(MirrorMode, bool, RW, STILL, BOOLMODE, 125, MODENZ, STORE, NOTEXT)                                               \
    P(ShoulderCorrection, double, RO, ANIM, NONE, 127, VALUE, SET, NOTEXT)                                             \
    P(LeftKneeKillPitch, bool, RW, STILL, BOOLMODE, 128, MODENZ, STORE, NOTEXT)                                        \
    P(RightKneeKillPitch, bool, RW, STILL, BOOLMODE, 129, MODENZ, STORE, NOTEXT)                                       \
    P(LeftElbowKillPitch, bool, RW, STILL, BOOLMODE, 130, MODENZ, STORE, NOTEXT)                                       \
    P(RightElbowKillPitch, bool, RW, STILL, BOOLMODE, 131, MODENZ, STORE, NOTEXT)                                      \
    P(HipsTranslationMode, kCharacterHipsTranslationMode, RW, STILL, VALUE, 132, TRUNC, STORE,                         \
      KCharacter_GetHipsTranslationModeString)                                                                         \
    P(WriteReference, bool, RW, STILL, BOOLMODE, 175, MODENZ, STORE, NOTEXT)                                           \
    P(SyncMode, bool, RW, STILL, BOOLMODE, 176, MODENZ, STORE, NOTEXT)                                                 \
    P(Damping, double, RO, ANIM, NONE, 75, VALUE, SET, NOTEXT)                                                         \
    P(OrientationDamping, double, RW, ANIM, PAIR, 76, VALUE, SET, NOTEXT)                                              \
    P(OrientationDampingMode, kCharacterOffAutoUser, RW, STILL, MODE, 76, MODE, SET,                                   \
      KCharacter_GetOffAutoUserModeString)                                                                             \
    P(DisplacementDamping, double, RW, ANIM, PAIR, 77, VALUE, SET, NOTEXT)                                             \
    P(DisplacementDampingMode, kCharacterOffAutoUser, RW, STILL, MODE, 77, MODE, SET,                                  \
      KCharacter_GetOffAutoUserModeString)                                                                             \
    P(DisplacementMemory, double, RW, ANIM, PAIR, 78, VALUE, SET, NOTEXT)                                              \
    P(DisplacementMemoryMode, kCharacterAutoUser, RW, STILL, MODE, 78, MODE, SET, KCharacter_GetAutoUserModeString)    \
    P(HipsDisplacementDamping, double, RW, ANIM, PAIR, 79, VALUE, SET, NOTEXT)                                         \
    P(HipsDisplacementDampingMode, kCharacterAutoUser, RW, STILL, MODE, 79, MODE, SET,                                 \
      KCharacter_GetAutoUserModeString)                                                                                \
    P(AnkleDisplacementDamping, double, RW, ANIM, PAIR, 80, VALUE, SET, NOTEXT)                                        \
    P(AnkleDisplacementDampingMode, kCharacterAutoUser, RW, STILL, MODE, 80, MODE, SET,                                \
      KCharacter_GetAutoUserModeString)                                                                                \
    P(WristDisplacementDamping, double, RW, ANIM, PAIR, 81, VALUE, SET, NOTEXT)                                        \
    P(WristDisplacementDampingMode, kCharacterAutoUser, RW, STILL, MODE, 81, MODE, SET,                                \
      KCharacter_GetAutoUserModeString)                                                                                \
    P(Stabilization, double, RO, ANIM, NONE, 82, VALUE, SET, NOTEXT)                                                   \
    P(AnkleStabilizationTime, double, RW, ANIM, PAIR, 83, VALUE, SET, NOTEXT)                                          \
    P(AnkleStabilizationTimeMode, kCharacterAutoUser, RW, STILL, MODE, 83, MODE, SET,                                  \
      KCharacter_GetAutoUserModeString)                                                                                \
    P(AnkleStabilizationPerimeter, double, RW, ANIM, PAIR, 84, VALUE, SET, NOTEXT)                                     \
    P(AnkleStabilizationPerimeterMode, kCharacterAutoUser, RW, STILL, MODE, 84, MODE, SET,                             \
      KCharacter_GetAutoUserModeString)                                                                                \
    P(AnkleStabilizationAngularPerimeter, double, RW, ANIM, PAIR, 85, VALUE, SET, NOTEXT)                              \
    P(AnkleStabilizationAngularPerimeterMode, kCharacterOffAutoUser, RW, STILL, MODE, 85, MODE, SET,                   \
      KCharacter_GetOffAutoUserModeString)                                                                             \
    P(AnkleStabilizationFloorProximity, double, RW, ANIM, PAIR, 86, VALUE, SET, NOTEXT)                                \
    P(AnkleStabilizationFloorProximityMode, kCharacterOffAutoUser, RW, STILL, MODE, 86, MODE, SET,                     \
      KCharacter_GetOffAutoUserModeString)                                                                             \
    P(AnkleStabilizationDamping, double, RW, ANIM, PAIR, 87, VALUE, SET, NOTEXT)                                       \
    P(AnkleStabilizationDampingMode, kCharacterOffAutoUser, RW, STILL, MODE, 87, MODE, SET,                            \
      KCharacter_GetOffAutoUserModeString)                                                                             \
    P(AnkleStabilizationRecoveryTime, double, RW, ANIM, PAIR, 88, VALUE, SET, NOTEXT)                                  \
    P(AnkleStabilizationRecoveryTimeMode, kCharacterOffAutoUser, RW, STILL, MODE, 88, MODE, SET,                       \
      KCharacter_GetOffAutoUserModeString)                                                                             \
    P(LeftHandThumbTip, double, RW, STILL, CLAMP1000, 141, VALUE, STORE, NOTEXT)                                       \
    P(LeftHandIndexTip, double, RW, STILL, CLAMP1000, 142, VALUE, STORE, NOTEXT)                                       \
    P(LeftHandMiddleTip, double, RW, STILL, CLAMP1000, 143, VALUE, STORE, NOTEXT)                                      \
    P(LeftHandRingTip, double, RW, STILL, CLAMP1000, 144, VALUE, STORE, NOTEXT)                                        \
    P(LeftHandPinkyTip, double, RW, STILL, CLAMP1000, 145, VALUE, STORE, NOTEXT)                                       \
    P(LeftHandExtraFingerTip, double, RW, STILL, CLAMP1000, 146, VALUE, STORE, NOTEXT)                                 \
    P(RightHandThumbTip, double, RW, STILL, CLAMP1000, 147, VALUE, STORE, NOTEXT)                                      \
    P(RightHandIndexTip, double, RW, STILL, CLAMP1000, 148, VALUE, STORE, NOTEXT)                                      \
    P(RightHandMiddleTip, double, RW, STILL, CLAMP1000, 149, VALUE, STORE, NOTEXT)                                     \
    P(RightHandRingTip, double, RW, STILL, CLAMP1000, 150, VALUE, STORE, NOTEXT)                                       \
    P(RightHandPinkyTip, double, RW, STILL, CLAMP1000, 151, VALUE, STORE, NOTEXT)                                      \
    P(RightHandExtraFingerTip, double, RW, STILL, CLAMP1000, 152, VALUE, STORE, NOTEXT)                                \
    P(LeftFootThumbTip, double, RW, STILL, CLAMP1000, 153, VALUE, STORE, NOTEXT)                                       \
    P(LeftFootIndexTip, double, RW, STILL, CLAMP1000, 154, VALUE, STORE, NOTEXT)                                       \
    P(LeftFootMiddleTip, double, RW, STILL, CLAMP1000, 155, VALUE, STORE, NOTEXT)                                      \
    P(LeftFootRingTip, double, RW, STILL, CLAMP1000, 156, VALUE, STORE, NOTEXT)                                        \
    P(LeftFootPinkyTip, double, RW, STILL, CLAMP1000, 157, VALUE, STORE, NOTEXT)                                       \
    P(LeftFootExtraFingerTip, double, RW, STILL, CLAMP1000, 158, VALUE, STORE, NOTEXT)                                 \
    P(RightFootThumbTip, double, RW, STILL, CLAMP1000, 159, VALUE, STORE, NOTEXT)                                      \
    P(RightFootIndexTip, double, RW, STILL, CLAMP1000, 160, VALUE, STORE, NOTEXT)                                      \
    P(RightFootMiddleTip, double, RW, STILL, CLAMP1000, 161, VALUE, STORE, NOTEXT)                                     \
    P(RightFootRingTip, double, RW, STILL, CLAMP1000, 162, VALUE, STORE, NOTEXT)                                       \
    P(RightFootPinkyTip, double, RW, STILL, CLAMP1000, 163, VALUE, STORE, NOTEXT)                                      \
    P(RightFootExtraFingerTip, double, RW, STILL, CLAMP1000, 164, VALUE, STORE, NOTEXT)                                \
    P(FingerSolving, bool, RW, STILL, BOOLMODE, 165, MODENZ, STORE, NOTEXT)                                            \
    P(FootFingerContact, bool, RW, STILL, BOOLMODE, 171, MODENZ, STORE, NOTEXT)                                        \
    P(FootContactType, kCharacterFloorContactType, RW, STILL, VALUE, 170, TRUNC, STORE,                                \
      KCharacter_GetFootContactTypeString)                                                                             \
    P(FootFingerContactMode, kCharacterFingerContactMode, RW, STILL, VALUE, 172, TRUNC, STORE,                         \
      KCharacter_GetFingerContactModeString)                                                                           \
    P(HandFingerContact, bool, RW, STILL, BOOLMODE, 167, MODENZ, STORE, NOTEXT)                                        \
    P(HandContactType, kCharacterFloorContactType, RW, STILL, VALUE, 166, TRUNC, STORE,                                \
      KCharacter_GetHandContactTypeString)                                                                             \
    P(HandFingerContactMode, kCharacterFingerContactMode, RW, STILL, VALUE, 168, TRUNC, STORE,                         \
      KCharacter_GetFingerContactModeString)                                                                           \
    P(ContactBehaviour, kCharacterContactBehaviour, RW, STILL, VALUE, 174, TRUNC, STORE,                               \
      KCharacter_GetContactBehaviourString)

// The order in which FilterSetToProperties copies the 184 mapped rows (the
// order its change notifications come in).
#define QOX_CHARACTER_FILTERSET_STEPS(S)                                                                                                                                      \
    S(PullIterationCount)                                                                                                                                                     \
    S(Posture) S(ForceActorSpace) S(ScaleCompensationMode) S(HipsHeightCompensationMode) S(AnkleHeightCompensationMode) S(                                                    \
        AnkleProximityCompensationMode) S(MassCenterCompensation) S(ApplyLimits) S(ChestReduction) S(CollarReduction)                                                         \
        S(NeckReduction) S(HeadReduction) S(FootContactStiffness) S(HandContactStiffness) S(                                                                                  \
            FootFingerContactRollStiffness) S(HandFingerContactRollStiffness) S(ReachActorLeftAnkle) S(ReachActorRightAnkle)                                                  \
            S(ReachActorLeftKnee) S(ReachActorRightKnee) S(ReachActorChest) S(ReachActorHead) S(ReachActorLeftWrist) S(                                                       \
                ReachActorRightWrist) S(ReachActorLeftElbow) S(ReachActorRightElbow) S(ReachActorRightFingerBase)                                                             \
                S(ReachActorLeftFingerBase) S(ReachActorRightToesBase) S(ReachActorLeftToesBase) S(                                                                           \
                    ReachActorRightFingerBaseRotation) S(ReachActorLeftFingerBaseRotation) S(ReachActorRightToesBaseRotation)                                                 \
                    S(ReachActorLeftToesBaseRotation) S(ReachActorLeftAnkleRotation) S(ReachActorRightAnkleRotation) S(                                                       \
                        ReachActorHeadRotation) S(ReachActorLeftWristRotation) S(ReachActorRightWristRotation)                                                                \
                        S(ReachActorChestRotation) S(ReachActorLowerChestRotation) S(HipsTOffset) S(ChestTOffset) S(                                                          \
                            LeftUpLegRoll) S(LeftUpLegRollMode) S(LeftLegRoll) S(LeftLegRollMode) S(RightUpLegRoll)                                                           \
                            S(RightUpLegRollMode) S(RightLegRoll) S(RightLegRollMode) S(LeftArmRoll) S(LeftArmRollMode) S(LeftForeArmRoll) S(                                 \
                                LeftForeArmRollMode) S(RightArmRoll) S(RightArmRollMode) S(RightForeArmRoll) S(RightForeArmRollMode) S(FootFloorContact)                      \
                                S(FootAutomaticToes) S(RollExtractionMode) S(FootFloorPivot) S(FootBottomToAnkle) S(FootBackToAnkle) S(                                       \
                                    FootMiddleToAnkle) S(FootFrontToMiddle) S(FootInToAnkle) S(FootOutToAnkle) S(FootContactSize) S(HandFloorContact) S(HandAutomaticFingers) \
                                    S(HandFloorPivot) S(HandBottomToWrist) S(HandBackToWrist) S(HandMiddleToWrist) S(HandFrontToMiddle) S(                                    \
                                        HandInToWrist) S(HandOutToWrist) S(HandContactSize) S(LeftHandThumbTip) S(LeftHandIndexTip) S(LeftHandMiddleTip)                      \
                                        S(LeftHandRingTip) S(LeftHandPinkyTip) S(LeftHandExtraFingerTip) S(RightHandThumbTip) S(                                              \
                                            RightHandIndexTip) S(RightHandMiddleTip) S(RightHandRingTip) S(RightHandPinkyTip)                                                 \
                                            S(RightHandExtraFingerTip) S(LeftFootThumbTip) S(LeftFootIndexTip) S(LeftFootMiddleTip) S(                                        \
                                                LeftFootRingTip) S(LeftFootPinkyTip) S(LeftFootExtraFingerTip) S(RightFootThumbTip) S(RightFootIndexTip)                      \
                                                S(RightFootMiddleTip) S(RightFootRingTip) S(RightFootPinkyTip) S(RightFootExtraFingerTip) S(                                  \
                                                    FingerSolving) S(FootFingerContact) S(FootContactType)                                                                    \
                                                    S(FootFingerContactMode) S(HandFingerContact) S(HandContactType) S(HandFingerContactMode) S(                              \
                                                        CtrlPullLeftToeBase) S(CtrlPullLeftFoot) S(CtrlPullLeftKnee) S(CtrlPullRightToeBase) S(CtrlPullRightFoot)             \
                                                        S(CtrlPullRightKnee) S(CtrlPullLeftFingerBase) S(CtrlPullLeftHand) S(CtrlPullLeftElbow) S(                            \
                                                            CtrlPullRightFingerBase) S(CtrlPullRightHand) S(CtrlPullRightElbow)                                               \
                                                            S(CtrlChestPullLeftHand) S(CtrlChestPullRightHand) S(CtrlPullHead) S(CtrlResistHipsPosition) S(                   \
                                                                CtrlEnforceGravity) S(CtrlResistHipsOrientation) S(CtrlResistChestPosition)                                   \
                                                                S(CtrlResistChestOrientation) S(CtrlResistLeftCollar) S(CtrlResistRightCollar) S(                             \
                                                                    CtrlResistLeftKnee) S(CtrlResistMaximumExtensionLeftKnee) S(CtrlResistCompressionFactorLeftKnee)          \
                                                                    S(CtrlResistRightKnee) S(CtrlResistMaximumExtensionRightKnee) S(                                          \
                                                                        CtrlResistCompressionFactorRightKnee) S(CtrlResistLeftElbow)                                          \
                                                                        S(CtrlResistMaximumExtensionLeftElbow) S(CtrlResistCompressionFactorLeftElbow) S(                     \
                                                                            CtrlResistRightElbow) S(CtrlResistMaximumExtensionRightElbow)                                     \
                                                                            S(CtrlResistCompressionFactorRightElbow) S(CtrlSpineStiffness) S(                                 \
                                                                                CtrlNeckStiffness) S(MirrorMode) S(ShoulderCorrection)                                        \
                                                                                S(LeftKneeKillPitch) S(RightKneeKillPitch) S(                                                 \
                                                                                    LeftElbowKillPitch) S(RightElbowKillPitch) S(HipsTranslationMode)                         \
                                                                                    S(WriteReference) S(SyncMode) S(                                                          \
                                                                                        Damping) S(OrientationDamping) S(OrientationDampingMode)                              \
                                                                                        S(DisplacementDamping) S(DisplacementDampingMode) S(                                  \
                                                                                            DisplacementMemory) S(DisplacementMemoryMode)                                     \
                                                                                            S(HipsDisplacementDamping) S(HipsDisplacementDampingMode) S(                      \
                                                                                                AnkleDisplacementDamping) S(AnkleDisplacementDampingMode)                     \
                                                                                                S(                                                                            \
                                                                                                    WristDisplacementDamping) S(WristDisplacementDampingMode)                 \
                                                                                                    S(Stabilization) S(                                                       \
                                                                                                        AnkleStabilizationTime) S(AnkleStabilizationTimeMode)                 \
                                                                                                        S(AnkleStabilizationPerimeter) S(                                     \
                                                                                                            AnkleStabilizationPerimeterMode)                                  \
                                                                                                            S(AnkleStabilizationAngularPerimeter) S(                          \
                                                                                                                AnkleStabilizationAngularPerimeterMode)                       \
                                                                                                                S(AnkleStabilizationFloorProximity)                           \
                                                                                                                    S(AnkleStabilizationFloorProximityMode)                   \
                                                                                                                        S(AnkleStabilizationDamping) S(                       \
                                                                                                                            AnkleStabilizationDampingMode)                    \
                                                                                                                            S(AnkleStabilizationRecoveryTime)                 \
                                                                                                                                S(AnkleStabilizationRecoveryTimeMode)         \
                                                                                                                                    S(ContactBehaviour)
