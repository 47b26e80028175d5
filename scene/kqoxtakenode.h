#ifndef QOX_SCENE_KQOXTAKENODE_H
#define QOX_SCENE_KQOXTAKENODE_H

// KQoxTakeNode: the animation of one object in one take. It holds the take's
// name and one owned tree of curve nodes under a root named "Defaults"; a
// multi-member channel is a curve node with one child per member ("X", "Y",
// "Z"), and every leaf carries one KFCurve. Named getters find the curves of
// well-known channels by path; a failed lookup returns null and records
// "Curve not found".

#include "base/kerror.h"
#include "base/kmath_types.h"
#include "base/kstring.h"
#include "base/ktime.h"

class KDataType;
class KFCurve;
class KFCurveNode;

namespace qoxsdk_600 {

class KQoxUserProperty;

class KQoxTakeNode
{
public:
    enum
    {
        eCurveNotFound = 0
    };

    // The name and an empty "Defaults" root.
    explicit KQoxTakeNode(const char* pName = "");
    // The source's name and a full copy of its tree with all curves and keys.
    KQoxTakeNode(KQoxTakeNode& pSource);
    ~KQoxTakeNode();
    KQoxTakeNode& operator=(const KQoxTakeNode&) = delete;
    // Made in bulk with its channel tree (KFCurveGroupSlabs) when a file is
    // read on several threads.
    static void* operator new(size_t size);
    static void operator delete(void* takeNode, size_t size);

    void SetName(const char* pName);
    char* GetName();
    // The root of the take's curve-node tree.
    KFCurveNode* GetKFCurveNode() { return mNode; }
    // Widens the times to the keys of the whole tree; false (times untouched)
    // when there is no key.
    bool GetAnimationInterval(KTime& pStart, KTime& pStop);

    // Node channels: "Transform" / "T", "R", "S" / "X", "Y", "Z".
    KFCurve* GetTranslationX();
    KFCurve* GetTranslationY();
    KFCurve* GetTranslationZ();
    KFCurve* GetEulerRotationX();
    KFCurve* GetEulerRotationY();
    KFCurve* GetEulerRotationZ();
    KFCurve* GetScaleX();
    KFCurve* GetScaleY();
    KFCurve* GetScaleZ();
    KFCurve* GetVisibility();
    // Light channels.
    KFCurve* GetColorR();
    KFCurve* GetColorG();
    KFCurve* GetColorB();
    KFCurve* GetLightIntensity();
    KFCurve* GetLightConeAngle();
    KFCurve* GetLightFog();
    // Camera channels.
    KFCurve* GetCameraFieldOfView();
    KFCurve* GetCameraFieldOfViewX();
    KFCurve* GetCameraFieldOfViewY();
    KFCurve* GetCameraOpticalCenterX();
    KFCurve* GetCameraOpticalCenterY();
    KFCurve* GetCameraRoll();
    KFCurve* GetCameraTurnTable();
    KFCurve* GetBackgroundColorR();
    KFCurve* GetBackgroundColorG();
    KFCurve* GetBackgroundColorB();
    // Camera switcher.
    KFCurve* GetCameraIndex();
    // Marker channels.
    KFCurve* GetOcclusion();
    KFCurve* GetIKReachTranslation();
    KFCurve* GetIKReachRotation();
    // Texture channels.
    KFCurve* GetTextureTranslationX();
    KFCurve* GetTextureTranslationY();
    KFCurve* GetTextureTranslationZ();
    KFCurve* GetTextureEulerRotationX();
    KFCurve* GetTextureEulerRotationY();
    KFCurve* GetTextureEulerRotationZ();
    KFCurve* GetTextureScaleX();
    KFCurve* GetTextureScaleY();
    KFCurve* GetTextureScaleZ();
    KFCurve* GetTextureAlpha();
    // Material channels.
    KFCurve* GetMaterialEmissiveColorR();
    KFCurve* GetMaterialEmissiveColorG();
    KFCurve* GetMaterialEmissiveColorB();
    KFCurve* GetMaterialAmbientColorR();
    KFCurve* GetMaterialAmbientColorG();
    KFCurve* GetMaterialAmbientColorB();
    KFCurve* GetMaterialDiffuseColorR();
    KFCurve* GetMaterialDiffuseColorG();
    KFCurve* GetMaterialDiffuseColorB();
    KFCurve* GetMaterialSpecularColorR();
    KFCurve* GetMaterialSpecularColorG();
    KFCurve* GetMaterialSpecularColorB();
    KFCurve* GetMaterialOpacity();
    KFCurve* GetMaterialReflectivity();
    KFCurve* GetMaterialShininess();

    // Path lookup from the root: each non-null item narrows the search to a
    // recursive search (names without regard to case) below the node found so
    // far; the result is the last node's own curve.
    KFCurve* GetKFCurve(const char* pNodeName, const char* pChannelName, const char* pSubChannelName);
    KFCurve* GetKFCurve(const char* pNodeName, const char* pChannelName, KDataType* pDataType);
    // True when the curve exists and has at least one key.
    bool IsChannelAnimated(const char* pNodeName, const char* pChannelName, const char* pSubChannelName);
    bool IsChannelAnimated(const char* pNodeName, const char* pChannelName, KDataType* pDataType);
    // The curve of one component of a user property's channel ("Lcl
    // Translation", "Lcl Rotation", "Lcl Scaling" map to "T", "R", "S").
    KFCurve* GetPropertyAnimation(KQoxUserProperty* pProperty, unsigned int pComponent);
    // Rotates the translation animation by Euler angles in degrees (X, Y, Z):
    // static values and the keys at every time any translation curve has one.
    // False, changing nothing, when a translation curve is missing.
    bool AddRotationToTranslation(KQoxVector4 pRotation);

    KError& GetError() { return mError; }
    int GetLastErrorID() const { return mError.GetLastErrorID(); }
    const char* GetLastErrorString() const { return mError.GetLastErrorString(); }

private:
    // Deletes the container-flagged children of a node, deepest first.
    void DeleteRecursive(KFCurveNode* pNode);
    // Records "Curve not found" for a null result.
    KFCurve* Checked(KFCurve* pCurve);

    KString mName;
    KFCurveNode* mNode;
    KError mError;
};

} // namespace qoxsdk_600

#endif
