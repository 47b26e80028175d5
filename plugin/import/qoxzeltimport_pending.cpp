// Members of the import object that other work fills in: each entry here is
// a placeholder that does nothing (or the base class's behaviour) and is
// deleted when its real definition lands.
#include "plugin/import/qoxzeltimport.h"
#include "plugin/import/qoxzeltmergenodematcher.h"

using namespace qoxsdk_600;

// Root wrapper, world transform and checks.
bool QoxZeltImport::IsAlternativeQoxRootNode(KQoxNode* node)
{
    return KQoxPluginImportBase::IsAlternativeQoxRootNode(node);
}
bool QoxZeltImport::NeedQoxRoot(KQoxNode* node)
{
    return KQoxPluginImportBase::NeedQoxRoot(node);
}
void QoxZeltImport::ComputeWorldTransform(KgeAMatrix&) {}
void QoxZeltImport::CustomApplyWorldTransform(KQoxNode* node, KgeAMatrix& world, bool isIdentity)
{
    KQoxPluginImportBase::CustomApplyWorldTransform(node, world, isIdentity);
}
void QoxZeltImport::PropagateWorldTransformToChildrenOf(KQoxNode*) {}
ZStatus QoxZeltImport::CheckBadScale(QoxZeltNode&)
{
    return ZStatus();
}
void QoxZeltImport::MergeMeshOnNormalPerPolyVertex(KQoxNode*) {}

// Pivots.
void QoxZeltImport::EnablePivotUse(QoxZeltNode*) {}
void QoxZeltImport::DisablePivotUse(QoxZeltNode*) {}
void QoxZeltImport::RemoveRotationPivot(KQoxNode*) {}
void QoxZeltImport::RemoveRotationPivotOnNotPresentNode(QoxZeltNode*) {}
void QoxZeltImport::ValidatePreAndPostJoints(KQoxNode*) {}
void QoxZeltImport::SetZeltPivotsRecursive(KQoxNode*) {}

// Deformations.
void QoxZeltImport::BuildClusterInformation(QoxZeltNode*) {}
void QoxZeltImport::BuildSmoothBinding(QoxZeltNode*, QoxLogFile*, KQoxSdkManager*, KArrayTemplate<KQoxLink*>*) {}
void QoxZeltImport::BuildRigidBinding(QoxZeltNode*, QoxLogFile*, KQoxSdkManager*, KArrayTemplate<KQoxLink*>*) {}
void QoxZeltImport::BuildWeightedDeformers(QoxZeltNode*, QoxLogFile*, KQoxSdkManager*, KArrayTemplate<KQoxLink*>*) {}
void QoxZeltImport::SortControlPointsOnSmoothSkin(KQoxLink*) {}

// Merge matching.
ZStatus QoxZeltMergeNodeMatcher::Apply(KQoxNode*, ZFn::Type)
{
    return ZStatus();
}
