#ifndef QOX_FORMATS_3DS_KQOXREADER3DS_PRIVATE_H
#define QOX_FORMATS_3DS_KQOXREADER3DS_PRIVATE_H

// Constants and small helpers shared by the 3DS reader's source files. Not
// part of the library's interface.

#include <cctype>
#include <cmath>
#include <cstring>
#include <string>

#include "base/kmath_types.h"
#include "base/ktime.h"
#include "formats/ftk3ds/ftk3ds.h"

namespace qoxsdk_600 {
namespace reader3ds {

// The one take every imported animation goes into.
const char kTakeName[] = "default take";
// The id of the chunk a 3DS file begins with, little-endian.
const unsigned kMainChunkId = 0x4D4D;
// The cause of a file that does not begin with it.
const char kNot3dsCause[] = "not a 3DS file";
// The reference node made under the scene's root by "Create Reference Node".
const char kReferenceNodeName[] = "Qox_Root";
// Appended to a spotlight's or camera's name for its target node.
const char kTargetSuffix[] = ".Target";
// Inches to centimetres: the unit scale of "Rescale".
const double kRescaleFactor = 2.54;
// 3DS key frames stand at 30 frames per second.
const int kTimeMode = 6;
// The take of a file without animation spans frames 0 to this.
const int kDefaultTakeFrames = 150;
// 3DS lens (in mm) times field of view (in degrees), as the toolkit keeps it.
const double kLensTimesFov = 2400.0;
// A camera's far range is stretched by this.
const double kFarPlaneStretch = 10.0;
// A mesh matrix whose axes span less volume than this is taken as identity.
const double kSingularDeterminant = static_cast<float>(1e-6);
// Options of KStreamOptions3ds.
enum EOption3ds
{
    eOPTION_REFERENCE_NODE = 1,
    eOPTION_MATERIALS = 7,
    eOPTION_TEXTURE_MAPPING = 8,
    eOPTION_ANIM = 9,
    eOPTION_GEOMETRIES = 10,
    eOPTION_LIGHTS = 11,
    eOPTION_CAMERA = 12,
    eOPTION_AMBIENT_LIGHT = 13,
    eOPTION_RESCALE = 14,
    eOPTION_REDUCE_KEYS = 15,
    eOPTION_SMOOTH_GROUP = 16
};

// A 3DS point or axis in the scene's axes: (x, y, z) becomes (x, z, -y).
inline KQoxVector4 PointToScene(double x, double y, double z, double w = 0.0)
{
    return KQoxVector4(x, z, -y, w);
}

// Frame f of a 3DS key (stored unsigned, meant signed) at 30 frames per second.
inline KTime FrameTime(ulong3ds frame)
{
    KTime time;
    time.SetTime(0, 0, 0, static_cast<int>(static_cast<long3ds>(frame)), 0, kTimeMode);
    return time;
}

// A fixed-size name field as text: up to its terminator or its size.
inline std::string FieldText(const char* field, size_t size)
{
    return std::string(field, strnlen(field, size));
}

// The text with every letter lower-cased (material names compare without
// regard to case).
inline std::string LowerCaseName(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Copies text into a fixed name field of `size` bytes, cut to fit.
inline void CopyName3ds(char* field, size_t size, const char* text)
{
    const size_t length = strnlen(text, size - 1);
    std::memcpy(field, text, length);
    field[length] = '\0';
}

} // namespace reader3ds
} // namespace qoxsdk_600

#endif
