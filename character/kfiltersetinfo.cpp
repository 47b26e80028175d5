#include "character/kfiltersetinfo.h"

#include <cstring>

namespace qoxsdk_600 {

namespace {

// One row of the table as it is filled in.
struct KFilterParamRow
{
    const char* mName;
    int mParentIndex;
    int mModeType;
    int mDefaultMode;
    int mUnit;
    double mMinValue;
    double mMaxValue;
    int mFlag;
    int mInvert;
    double mDefaultValue;
};

// name, governing index, mode type, default mode, unit, min, max, flag, invert, default value
const KFilterParamRow kFilterParamRows[] = {
    {"PullIterationCount", -1, 0, 0, 1, 0.0, 30.0, 0, 0, 10.0},                     // 0
    {"Posture", -1, 0, 0, 5, 0.0, 2.0, 1, 0, 0.0},                                  // 1
    {"ForceActorSpace", -1, 1, 0, 0, 0.0, 0.0, 0, 0, 0.0},                          // 2
    {"ScaleCompensation", -1, 2, 1, 1, 1.0, 1000.0, 0, 0, 100.0},                   // 3
    {"HipsHeightCompensation", -1, 2, 1, 3, -1000.0, 1000.0, 0, 0, 0.0},            // 4
    {"AnkleHeightCompensation", -1, 2, 1, 3, -1000.0, 1000.0, 0, 0, 0.0},           // 5
    {"AnkleProximityCompensation", -1, 2, 1, 3, -1000.0, 1000.0, 0, 0, 0.0},        // 6
    {"MassCenterCompensation", -1, 1, 1, 1, 0.0, 120.0, 0, 0, 80.0},                // 7
    {"ApplyLimits", -1, 1, 0, 0, 0.0, 100.0, 0, 0, 0.0},                            // 8
    {"ChestReduction", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 0.0},                         // 9
    {"CollarReduction", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 0.0},                        // 10
    {"NeckReduction", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 0.0},                          // 11
    {"HeadReduction", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 0.0},                          // 12
    {"ReachActorLeftAnkle", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 100.0},                  // 13
    {"ReachActorRightAnkle", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 100.0},                 // 14
    {"ReachActorLeftKnee", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 0.0},                     // 15
    {"ReachActorRightKnee", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 0.0},                    // 16
    {"ReachActorChest", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 0.0},                        // 17
    {"ReachActorHead", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 0.0},                         // 18
    {"ReachActorLeftWrist", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 0.0},                    // 19
    {"ReachActorRightWrist", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 0.0},                   // 20
    {"ReachActorLeftElbow", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 0.0},                    // 21
    {"ReachActorRightElbow", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 0.0},                   // 22
    {"ReachActorLeftFingerBase", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 0.0},               // 23
    {"ReachActorRightFingerBase", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 0.0},              // 24
    {"ReachActorLeftToesBase", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 0.0},                 // 25
    {"ReachActorRightToesBase", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 0.0},                // 26
    {"ReachActorLeftFingerBaseRotation", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 0.0},       // 27
    {"ReachActorRightFingerBaseRotation", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 0.0},      // 28
    {"ReachActorLeftToesBaseRotation", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 0.0},         // 29
    {"ReachActorRightToesBaseRotation", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 0.0},        // 30
    {"ReachActorLeftAnkleRotationRotation", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 100.0},  // 31
    {"ReachActorRightAnkleRotation", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 100.0},         // 32
    {"ReachActorHeadRotation", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 0.0},                 // 33
    {"ReachActorLeftWristRotation", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 0.0},            // 34
    {"ReachActorRightWristRotation", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 0.0},           // 35
    {"ReachActorChestRotation", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 0.0},                // 36
    {"ReachActorLowerChestRotation", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 0.0},           // 37
    {"HipsTOffsetX", -1, 0, 1, 3, -1000.0, 1000.0, 0, 0, 0.0},                      // 38
    {"HipsTOffsetY", -1, 0, 1, 3, -1000.0, 1000.0, 0, 0, 0.0},                      // 39
    {"HipsTOffsetZ", -1, 0, 1, 3, -1000.0, 1000.0, 0, 0, 0.0},                      // 40
    {"ChestTOffsetX", -1, 0, 1, 3, -1000.0, 1000.0, 0, 0, 0.0},                     // 41
    {"ChestTOffsetY", -1, 0, 1, 3, -1000.0, 1000.0, 0, 0, 0.0},                     // 42
    {"ChestTOffsetZ", -1, 0, 1, 3, -1000.0, 1000.0, 0, 0, 0.0},                     // 43
    {"FloorContact", -1, 1, 0, 0, 0.0, 0.0, 0, 0, 0.0},                             // 44
    {"FootBottomToAnkle", 44, 0, 1, 3, 0.0, 10000.0, 1, 0, 7.5},                    // 45
    {"FootBackToAnkle", 44, 0, 1, 3, 0.0, 10000.0, 1, 0, 4.5},                      // 46
    {"FootMiddleToAnkle", 44, 0, 1, 3, 0.0, 10000.0, 1, 0, 13.0},                   // 47
    {"FootFrontToMiddle", 44, 0, 1, 3, 0.0, 10000.0, 1, 0, 7.0},                    // 48
    {"FootInToAnkle", 44, 0, 1, 3, 0.0, 10000.0, 1, 0, 5.0},                        // 49
    {"FootOutToAnkle", 44, 0, 1, 3, 0.0, 10000.0, 1, 0, 5.0},                       // 50
    {"ContactSize", 44, 0, 1, 1, 10.0, 1000.0, 1, 0, 100.0},                        // 51
    {"AutomaticToes", -1, 1, 0, 0, 0.0, 0.0, 0, 0, 0.0},                            // 52
    {"FloorPivot", -1, 0, 0, 5, 0.0, 3.0, 0, 0, 0.0},                               // 53
    {"ParamFootContactStiffness", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 0.0},              // 54
    {"HandFloorContact", -1, 1, 0, 0, 0.0, 0.0, 0, 0, 0.0},                         // 55
    {"HandBottomToWrist", 55, 0, 1, 3, 0.0, 10000.0, 1, 0, 7.5},                    // 56
    {"HandBackToWrist", 55, 0, 1, 3, 0.0, 10000.0, 1, 0, 4.5},                      // 57
    {"HandMiddleToWrist", 55, 0, 1, 3, 0.0, 10000.0, 1, 0, 13.0},                   // 58
    {"HandFrontToMiddle", 55, 0, 1, 3, 0.0, 10000.0, 1, 0, 7.0},                    // 59
    {"HandInToWrist", 55, 0, 1, 3, 0.0, 10000.0, 1, 0, 5.0},                        // 60
    {"HandOutToWrist", 55, 0, 1, 3, 0.0, 10000.0, 1, 0, 5.0},                       // 61
    {"HandContactSize", 55, 0, 1, 1, 10.0, 1000.0, 1, 0, 100.0},                    // 62
    {"AutomaticFingers", -1, 1, 0, 0, 0.0, 0.0, 0, 0, 0.0},                         // 63
    {"HandFloorPivot", -1, 0, 0, 5, 0.0, 3.0, 0, 0, 0.0},                           // 64
    {"ParamHandContactStiffness", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 0.0},              // 65
    {"RollExtractionMode", -1, 0, 0, 5, 0.0, 2.0, 0, 0, 0.0},                       // 66
    {"LeftUpLegRoll", -1, 1, 0, 1, 0.0, 100.0, 0, 0, 60.0},                         // 67
    {"LeftLegRoll", -1, 1, 0, 1, 0.0, 100.0, 0, 0, 60.0},                           // 68
    {"RightUpLegRoll", -1, 1, 0, 1, 0.0, 100.0, 0, 0, 60.0},                        // 69
    {"RightLegRoll", -1, 1, 0, 1, 0.0, 100.0, 0, 0, 60.0},                          // 70
    {"LeftArmRoll", -1, 1, 0, 1, 0.0, 100.0, 0, 0, 60.0},                           // 71
    {"LeftForeArmRoll", -1, 1, 0, 1, 0.0, 100.0, 0, 0, 60.0},                       // 72
    {"RightArmRoll", -1, 1, 0, 1, 0.0, 100.0, 0, 0, 60.0},                          // 73
    {"RightForeArmRoll", -1, 1, 0, 1, 0.0, 100.0, 0, 0, 60.0},                      // 74
    {"Damping", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 0.0},                                // 75
    {"Orientation", 75, 2, 1, 2, 0.0, 0.25, 0, 0, 0.0},                             // 76
    {"Displacement", 75, 2, 1, 1, 0.0, 100.0, 0, 0, 0.0},                           // 77
    {"DisplacementMemory", 77, 3, 0, 2, 0.0, 0.25, 0, 0, 0.0},                      // 78
    {"HipsDisplacementDamping", 77, 3, 0, 1, 0.0, 100.0, 0, 0, 0.0},                // 79
    {"AnkleDisplacementDamping", 77, 3, 0, 1, 0.0, 100.0, 0, 0, 0.0},               // 80
    {"WristDisplacementDamping", 77, 3, 0, 1, 0.0, 100.0, 0, 0, 0.0},               // 81
    {"Stabilization", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 0.0},                          // 82
    {"AnkleStabilizationTime", 82, 3, 0, 2, 0.0, 1.0, 0, 1, 0.0},                   // 83
    {"AnkleStabilizationPerimeter", 82, 3, 0, 3, 0.0, 15.0, 0, 0, 0.0},             // 84
    {"AnkleStabilizationAngularPerimeter", 82, 2, 1, 4, 0.0, 60.0, 0, 0, 0.0},      // 85
    {"AnkleStabilizationFloorProximity", 82, 2, 1, 3, 0.0, 10.0, 0, 0, 0.0},        // 86
    {"AnkleStabilizationDamping", 82, 2, 0, 2, 0.0, 10.0, 0, 0, 0.0},               // 87
    {"AnkleStabilizationRecoveryTime", 82, 2, 1, 2, 0.0, 1.0, 0, 0, 0.0},           // 88
    {"CtrlPullLeftToeBase", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 0.0},                    // 89
    {"CtrlPullLeftFoot", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 100.0},                     // 90
    {"CtrlPullLeftKnee", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 0.0},                       // 91
    {"CtrlPullRightToeBase", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 0.0},                   // 92
    {"CtrlPullRightFoot", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 100.0},                    // 93
    {"CtrlPullRightKnee", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 0.0},                      // 94
    {"CtrlPullLeftFingerBase", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 0.0},                 // 95
    {"CtrlPullLeftHand", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 100.0},                     // 96
    {"CtrlPullLeftElbow", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 0.0},                      // 97
    {"CtrlPullRightFingerBase", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 0.0},                // 98
    {"CtrlPullRightHand", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 100.0},                    // 99
    {"CtrlPullRightElbow", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 0.0},                     // 100
    {"CtrlChestPullLeftHand", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 100.0},                // 101
    {"CtrlChestPullRightHand", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 100.0},               // 102
    {"CtrlPullHead", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 0.0},                           // 103
    {"CtrlResistHipsPosition", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 0.0},                 // 104
    {"CtrlEnforceGravity", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 60.0},                    // 105
    {"CtrlResistHipsOrientation", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 0.0},              // 106
    {"CtrlResistChestPosition", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 0.0},                // 107
    {"CtrlResistChestOrientation", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 0.0},             // 108
    {"CtrlResistLeftCollar", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 50.0},                  // 109
    {"CtrlResistRightCollar", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 50.0},                 // 110
    {"CtrlResistLeftKnee", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 50.0},                    // 111
    {"CtrlResistMaximumExtensionLeftKnee", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 50.0},    // 112
    {"CtrlResistCompressionFactorLeftKnee", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 50.0},   // 113
    {"CtrlResistRightKnee", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 50.0},                   // 114
    {"CtrlResistMaximumExtensionRightKnee", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 50.0},   // 115
    {"CtrlResistCompressionFactorRightKnee", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 50.0},  // 116
    {"CtrlResistLeftElbow", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 50.0},                   // 117
    {"CtrlResistMaximumExtensionLeftElbow", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 50.0},   // 118
    {"CtrlResistCompressionFactorLeftElbow", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 50.0},  // 119
    {"CtrlResistRightElbow", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 50.0},                  // 120
    {"CtrlResistMaximumExtensionRightElbow", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 50.0},  // 121
    {"CtrlResistCompressionFactorRightElbow", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 50.0}, // 122
    {"ParamCtrlSpineStiffness", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 0.0},                // 123
    {"ParamCtrlNeckStiffness", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 0.0},                 // 124
    {"Mirror", -1, 1, 0, 0, 0.0, 100.0, 0, 0, 0.0},                                 // 125
    {"GameMode", -1, 1, 0, 0, 0.0, 100.0, 0, 0, 0.0},                               // 126
    {"ShoulderCorrection", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 0.0},                     // 127
    {"LeftKneeKillPitch", -1, 1, 0, 0, 0.0, 100.0, 0, 0, 0.0},                      // 128
    {"RightKneeKillPitch", -1, 1, 0, 0, 0.0, 100.0, 0, 0, 0.0},                     // 129
    {"LeftElbowKillPitch", -1, 1, 0, 0, 0.0, 100.0, 0, 0, 0.0},                     // 130
    {"RightElbowKillPitch", -1, 1, 0, 0, 0.0, 100.0, 0, 0, 0.0},                    // 131
    {"HipsTranslationMode", -1, 0, 0, 5, 0.0, 2.0, 1, 0, 0.0},                      // 132
    {"LeftShoulderFrontAngle", -1, 0, 0, 4, 0.0, 180.0, 1, 0, 150.0},               // 133
    {"LeftShoulderBackAngle", -1, 0, 0, 4, 0.0, 180.0, 1, 0, 150.0},                // 134
    {"LeftShoulderUpAngle", -1, 0, 0, 4, 0.0, 180.0, 1, 0, 150.0},                  // 135
    {"LeftShoulderDownAngle", -1, 0, 0, 4, 0.0, 180.0, 1, 0, 150.0},                // 136
    {"RightShoulderFrontAngle", -1, 0, 0, 4, 0.0, 180.0, 1, 0, 150.0},              // 137
    {"RightShoulderBackAngle", -1, 0, 0, 4, 0.0, 180.0, 1, 0, 150.0},               // 138
    {"RightShoulderUpAngle", -1, 0, 0, 4, 0.0, 180.0, 1, 0, 150.0},                 // 139
    {"RightShoulderDownAngle", -1, 0, 0, 4, 0.0, 180.0, 1, 0, 150.0},               // 140
    {"LeftHandThumbTip", -1, 0, 0, 3, 0.0, 1000.0, 1, 0, 0.5},                      // 141
    {"LeftHandIndexTip", -1, 0, 0, 3, 0.0, 1000.0, 1, 0, 0.5},                      // 142
    {"LeftHandMiddleTip", -1, 0, 0, 3, 0.0, 1000.0, 1, 0, 0.5},                     // 143
    {"LeftHandRingTip", -1, 0, 0, 3, 0.0, 1000.0, 1, 0, 0.5},                       // 144
    {"LeftHandPinkyTip", -1, 0, 0, 3, 0.0, 1000.0, 1, 0, 0.5},                      // 145
    {"LeftHandExtraFingerTip", -1, 0, 0, 3, 0.0, 1000.0, 1, 0, 0.5},                // 146
    {"RightHandThumbTip", -1, 0, 0, 3, 0.0, 1000.0, 1, 0, 0.5},                     // 147
    {"RightHandIndexTip", -1, 0, 0, 3, 0.0, 1000.0, 1, 0, 0.5},                     // 148
    {"RightHandMiddleTip", -1, 0, 0, 3, 0.0, 1000.0, 1, 0, 0.5},                    // 149
    {"RightHandRingTip", -1, 0, 0, 3, 0.0, 1000.0, 1, 0, 0.5},                      // 150
    {"RightHandPinkyTip", -1, 0, 0, 3, 0.0, 1000.0, 1, 0, 0.5},                     // 151
    {"RightHandExtraFingerTip", -1, 0, 0, 3, 0.0, 1000.0, 1, 0, 0.5},               // 152
    {"LeftFootThumbTip", -1, 0, 0, 3, 0.0, 1000.0, 1, 0, 0.5},                      // 153
    {"LeftFootIndexTip", -1, 0, 0, 3, 0.0, 1000.0, 1, 0, 0.5},                      // 154
    {"LeftFootMiddleTip", -1, 0, 0, 3, 0.0, 1000.0, 1, 0, 0.5},                     // 155
    {"LeftFootRingTip", -1, 0, 0, 3, 0.0, 1000.0, 1, 0, 0.5},                       // 156
    {"LeftFootPinkyTip", -1, 0, 0, 3, 0.0, 1000.0, 1, 0, 0.5},                      // 157
    {"LeftFootExtraFingerTip", -1, 0, 0, 3, 0.0, 1000.0, 1, 0, 0.5},                // 158
    {"RightFootThumbTip", -1, 0, 0, 3, 0.0, 1000.0, 1, 0, 0.5},                     // 159
    {"RightFootIndexTip", -1, 0, 0, 3, 0.0, 1000.0, 1, 0, 0.5},                     // 160
    {"RightFootMiddleTip", -1, 0, 0, 3, 0.0, 1000.0, 1, 0, 0.5},                    // 161
    {"RightFootRingTip", -1, 0, 0, 3, 0.0, 1000.0, 1, 0, 0.5},                      // 162
    {"RightFootPinkyTip", -1, 0, 0, 3, 0.0, 1000.0, 1, 0, 0.5},                     // 163
    {"RightFootExtraFingerTip", -1, 0, 0, 3, 0.0, 1000.0, 1, 0, 0.5},               // 164
    {"FingerSolving", -1, 1, 1, 0, 0.0, 0.0, 0, 0, 0.0},                            // 165
    {"HandContactType", -1, 0, 0, 5, 0.0, 4.0, 1, 0, 0.0},                          // 166
    {"HandFingerContact", -1, 1, 0, 0, 0.0, 0.0, 0, 0, 0.0},                        // 167
    {"HandFingerContactMode", -1, 0, 0, 5, 0.0, 3.0, 0, 0, 1.0},                    // 168
    {"ParamHandFingerContactRollStiffness", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 0.0},    // 169
    {"FootContactType", -1, 0, 0, 5, 0.0, 4.0, 1, 0, 0.0},                          // 170
    {"FootFingerContact", -1, 1, 0, 0, 0.0, 0.0, 0, 0, 0.0},                        // 171
    {"FootFingerContactMode", -1, 0, 0, 5, 0.0, 3.0, 0, 0, 1.0},                    // 172
    {"ParamFootFingerContactRollStiffness", -1, 0, 0, 1, 0.0, 100.0, 0, 0, 0.0},    // 173
    {"ContactBehaviour", -1, 0, 0, 5, 0.0, 3.0, 1, 0, 0.0},                         // 174
    {"WriteReference", -1, 1, 0, 0, 0.0, 0.0, 0, 0, 0.0},                           // 175
    {"SyncMode", -1, 1, 1, 0, 0.0, 0.0, 0, 0, 0.0},                                 // 176
};

static_assert(sizeof(kFilterParamRows) / sizeof(kFilterParamRows[0]) == kFilterParamCount,
              "one row per solver parameter");

// Every value of the table has a single component.
const int kSingleValue = 0;

bool FillFilterSetInfo(KFilterSetInfo& info)
{
    for (int i = 0; i < info.mCount && i < kFilterParamCount; ++i)
    {
        const KFilterParamRow& row = kFilterParamRows[i];
        KFilterParamInfo& param = info.mParams[i];
        param.Init(row.mParentIndex, row.mName);
        param.TypeInit(row.mModeType, row.mUnit, kSingleValue, row.mMinValue, row.mMaxValue, row.mFlag != 0,
                       row.mInvert != 0);
        param.DefaultInit(row.mDefaultMode, row.mDefaultValue);
    }
    return true;
}

} // namespace

KFilterParamInfo::KFilterParamInfo()
    : mParentIndex(-1)
    , mModeType(0)
    , mUnit(0)
    , mValueType(0)
    , mMinValue(0.0)
    , mMaxValue(0.0)
    , mInvert(false)
    , mFlag(false)
    , mDefaultMode(0)
    , mDefaultValue(0.0)
{
    mName[0] = '\0';
}

void KFilterParamInfo::Init(int parentIndex, const char* name)
{
    mParentIndex = parentIndex;
    size_t length = name ? strlen(name) : 0;
    if (length > kFilterParamNameSize - 1)
        length = kFilterParamNameSize - 1;
    if (length)
        memcpy(mName, name, length);
    mName[length] = '\0';
}

void KFilterParamInfo::TypeInit(int modeType, int unit, int valueType, double minValue, double maxValue, bool flag,
                                bool invert)
{
    mModeType = modeType;
    mUnit = unit;
    mValueType = valueType;
    mMinValue = minValue;
    mMaxValue = maxValue;
    mFlag = flag;
    mInvert = invert;
}

void KFilterParamInfo::DefaultInit(int defaultMode, double defaultValue)
{
    mDefaultMode = defaultMode;
    mDefaultValue = defaultValue;
}

KFilterSetInfo::KFilterSetInfo(int count)
    : mCount(count > 0 ? count : 0)
    , mParams(mCount > 0 ? new KFilterParamInfo[mCount] : nullptr)
{}

KFilterSetInfo::~KFilterSetInfo() {}

int KFilterSetInfo::ParamIndexByName(const char* name) const
{
    if (!name)
        return -1;
    for (int i = 0; i < mCount; ++i)
        if (strcmp(mParams[i].mName, name) == 0)
            return i;
    return -1;
}

KFilterSetInfo* GetFilterSetInfo()
{
    // Both statics are initialised once, under the language's own guard.
    static KFilterSetInfo gFilterSetInfo(kFilterParamCount);
    static const bool gFilterSetInfoInit = FillFilterSetInfo(gFilterSetInfo);
    (void)gFilterSetInfoInit;
    return &gFilterSetInfo;
}

} // namespace qoxsdk_600
