#ifndef QOX_PLUGIN_QOXZELTUTILITY_H
#define QOX_PLUGIN_QOXZELTUTILITY_H

// Host helpers shared by the plug-in's commands, import and export.

#include <string>

#include "base/kmath_types.h"
#include "host/zdag.h"
#include "host/zfn.h"

class QoxZeltNode;

class QoxZeltUtility
{
public:
    // The named attribute of the host node attached to the scene node (or at
    // the end of the path); success with the plug set when it exists.
    static ZStatus FindPlug(QoxZeltNode& node, ZPlug& plug, const char* name);
    static ZStatus FindPlug(ZDagPath* path, ZPlug& plug, const char* name);
    // The same on a node function set; a miss is reported as
    // "Plug not found : " + name and gives false.
    static bool GetPlug(ZFnDependencyNode& node, const char* name, ZPlug& plug);
    // Issues: setAttr <plug> -type "matrix" and the 16 values at full
    // precision; the plug is named by its info text when useInfo, else by its
    // name. The command's status, also reported through DebugCheckStatus.
    static ZStatus SetPlugMatrix(ZPlug& plug, const double* values, bool useInfo);
    // The first node of the function-set type met walking the dependency
    // graph from the object with the filter and direction; true when found.
    static bool GetDependencyOfThisType(ZObject* start, unsigned int filter, ZObject* out,
                                        ZItDependencyGraph::Direction direction, ZFn::Type type);

    // Joint orient and rotate axis in degrees (the host keeps radians).
    static ZStatus GetJointOrient(const ZFnTransform& transform, ZPoint& angles);
    static ZStatus SetJointOrient(const ZFnTransform& transform, const ZPoint& angles);
    static ZStatus GetRotateAxis(const ZFnTransform& transform, ZPoint& angles);
    static ZStatus SetRotateAxis(const ZFnTransform& transform, const ZPoint& angles);
    // A host transform's translation, rotation (quaternion) and scale as an SDK matrix, and back.
    static ZStatus GetZFnTransformNode(const ZFnTransform& transform, KQoxXMatrix& matrix);
    static ZStatus SetZFnTransformNode(ZFnTransform& transform, const KQoxXMatrix& matrix);
    // The matrix's rotation becomes inverse(pre-rotation) x rotation x inverse(post-rotation).
    static void RemovePreAndPostFromRotation(QoxZeltNode& node, KQoxXMatrix& matrix);

    // The host's interface time unit as units per second (1/3600 for hours ...); 1 otherwise.
    static double TimeUnitRatio();
    // The host's distance unit in centimetres; 1 otherwise.
    static double DistanceUnitRatio();
    // The host's default cameras and the producer cameras.
    static bool IsCameraNameReserved(const char* name);
    // The text with every occurrence of what replaced by with.
    static std::string Replace(const char* text, const char* what, const char* with);
};

// Does nothing for a success; otherwise reports the status's text and, when
// given, the message followed by " \n \n".
void DebugCheckStatus(const ZStatus& status, const char* message);

// Adds once, to the object's node, the hidden, storable, non-connectable int
// attribute "pelbrinTypeID" ("qoxID") and sets it to id.
void FMSetPelbrinID(ZObject& object, int id);

// qsort/bsearch order of unsigned 32-bit items: -1, 0 or 1.
int ArrayTemplateCompareFctU32(const void* a, const void* b);

#endif
