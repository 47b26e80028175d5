// Members of the import object that other work fills in: each entry here is
// a placeholder that does nothing (or the base class's behaviour) and is
// deleted when its real definition lands.
#include "plugin/import/qoxzeltimport.h"

using namespace qoxsdk_600;

// Transform animation, pivots and limits.
void QoxZeltImport::ImportTransformAnimation(QoxZeltNode&) {}
void QoxZeltImport::ImportTransformAnimation(ZFnTransform&, QoxZeltNode&) {}
void QoxZeltImport::ImportRotationOrder(ZFnTransform&, QoxZeltNode&) {}
ZStatus QoxZeltImport::ImportAnimationVisibility(QoxZeltNode&)
{
    return ZStatus();
}
void QoxZeltImport::ImportPivots(ZFnTransform&, QoxZeltNode&) {}
void QoxZeltImport::ImportLimits(ZFnTransform&, QoxZeltNode&) {}

// Curve conversion.
ZStatus QoxZeltImport::SetZeltCurve(ZFnTransform&, const char*, KFCurve&, ZFnAnimCurve::AnimCurveType, double, double,
                                    ZStatus*)
{
    return ZStatus();
}
ZStatus QoxZeltImport::SetZeltCurve(ZPlug&, KFCurve&, ZFnAnimCurve::AnimCurveType, double, double)
{
    return ZStatus();
}
ZStatus QoxZeltImport::SetZeltCurve(ZFnAnimCurve&, KFCurve&, double, double, ZStatus*)
{
    return ZStatus();
}
int QoxZeltImport::GetInfinityType(int) const
{
    return 0;
}
ZStatus QoxZeltImport::SetRotationZeltCurve(ZFnTransform&, KFCurve**, ZEulerRotation::RotationOrder)
{
    return ZStatus();
}

// Default transform values.
void QoxZeltImport::SetTransformVector(double*, KFCurve**) const {}
void QoxZeltImport::SetDefaultGeometry(QoxZeltNode&, ZFnTransform&) {}

// User properties.
void QoxZeltImport::AddUserProperties(ZFnTransform&, QoxZeltNode*) {}
void QoxZeltImport::AddUserProperty(KQoxUserProperty*, ZFnTransform&, QoxZeltNode*) {}
ZStatus QoxZeltImport::ImportUserProperties(QoxZeltNode&)
{
    return ZStatus();
}

// Shape animation.
void QoxZeltImport::ImportShapeAnimation(QoxZeltNode&) {}

// Materials and textures.
void QoxZeltImport::BuildMaterialInformation(QoxZeltNode*) {}
ZString QoxZeltImport::ConnectMaterialShader(ZObject&, char*, ZObject&)
{
    return ZString();
}
void QoxZeltImport::FillSetWith(ZString&, const char*, ZStringArray, bool) {}
void QoxZeltImport::ConnectTexture(ZObject&, KQoxTexture*, KQoxGeometry*) {}
void QoxZeltImport::ConnectTexture(ZPlug&, KQoxTexture*, KQoxGeometry*) {}
void QoxZeltImport::ConnectLayeredTexture(FaceAttributes*) {}
