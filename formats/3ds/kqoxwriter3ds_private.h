#ifndef QOX_FORMATS_3DS_KQOXWRITER3DS_PRIVATE_H
#define QOX_FORMATS_3DS_KQOXWRITER3DS_PRIVATE_H

// Constants and small helpers shared by the parts of the 3DS writer.

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "base/kmath_kernels.h"
#include "base/ktime.h"
#include "fcurve/kfcurve.h"
#include "formats/3ds/kqoxwriter3ds.h"

namespace qoxsdk_600 {
namespace w3ds {

const double kDegToRad = 0.017453292519943295;
const double kRadToDeg = 57.29577951308232;
// 1/2.54: the master scale of a rescaled export.
const double kInchScale = 0.3937007874015748;
// The frame rate of every 3DS key (time mode 6, 30 frames per second).
const int kTimeMode30 = 6;
// Keyframer length when the scene has no animation.
const int kEmptyAnimationFrames = 100;
// The largest vertex, face or per-material face count of one 3DS mesh.
const int kMax3dsCount = 65535;
// 3DS name lengths: nodes, materials, texture file names.
const int kNodeNameLength = 10;
const int kMaterialNameLength = 15;
const int kParentNameLength = 20;
// Face flags: edges AB, BC and CA visible.
const ushort3ds kFaceEdgesVisible = 7;
// Key header flag word: tension, continuity and bias present.
const ushort3ds kKeyFlagsTCB = 7;
// Name prefix of the reference node of an earlier 3DS import, after renaming.
const char kReferenceNodePrefix[] = "Qox_Roo";
// The scene root's name after renaming.
const char kRootNodeName[] = "RootNod";
const char kDummyName[] = "$$$DUMMY";
const char kDummyParentPrefix[] = "$$$DUMMY.";
// Distance of a computed spot or camera target from the node.
const double kTargetDistance = 10.0;

// Frame i at 30 frames per second.
inline KTime FrameTime(int frame)
{
    KTime time;
    time.SetTime(0, 0, 0, frame, 0, 0, kTimeMode30);
    return time;
}

// Copies text into a fixed field of `size` bytes, cut to size - 1 characters
// and terminated.
inline void CopyName(char* field, size_t size, const std::string& text)
{
    std::snprintf(field, size, "%s", text.c_str());
}

// The rotation matrix of Euler XYZ angles in degrees for row vectors (X
// applied first): row 0 (cy cz, cy sz, -sy), row 1 (sx sy cz - cx sz,
// sx sy sz + cx cz, sx cy), row 2 (cx sy cz + sx sz, cx sy sz - sx cz, cx cy).
// The translation row is zero and the fourth column (0, 0, 0, 1).
inline void EulerRows(double (*m)[4], double x, double y, double z)
{
    const double a = x * kDegToRad, b = y * kDegToRad, c = z * kDegToRad;
    const double cx = std::cos(a), sx = std::sin(a), cy = std::cos(b), sy = std::sin(b), cz = std::cos(c),
                 sz = std::sin(c);
    const double rows[4][4] = {{cy * cz, cy * sz, -sy, 0},
                               {sx * sy * cz - cx * sz, sx * sy * sz + cx * cz, sx * cy, 0},
                               {cx * sy * cz + sx * sz, cx * sy * sz - sx * cz, cx * cy, 0},
                               {0, 0, 0, 1}};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            m[i][j] = rows[i][j];
}

// One key header of a sampled track: frame i, tension, continuity and bias
// present, all values 0.
inline void SampledHeader(keyheader3ds& key, unsigned int frame)
{
    key = keyheader3ds{};
    key.time = frame;
    key.rflags = kKeyFlagsTCB;
}

// acos with its argument clamped to [-1, 1] (rounding can pass the bounds).
inline double SafeAcos(double value)
{
    return std::acos(value < -1.0 ? -1.0 : value > 1.0 ? 1.0 : value);
}

// Attribute types whose nodes get a record of their own in the keyframer.
inline bool IsExportedType(int type)
{
    return type == 4 || type == 5 || type == 6 || type == 7 || type == 9;
}

} // namespace w3ds
} // namespace qoxsdk_600

#endif
