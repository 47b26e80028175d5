// Shape animation of the import: blend-shape targets on the host geometry
// of a mesh or NURBS node, and weight curves from the shapes' channels.

#include <string>

#include "host/zgeometry.h"
#include "host/zglobal.h"
#include "plugin/import/qoxzeltimport.h"
#include "plugin/import/qoxzeltimport_private.h"
#include "plugin/qoxzeltdialogs.h"
#include "plugin/qoxzeltnode.h"
#include "plugin/qoxzeltutility.h"
#include "scene/attributes/kqoxgeometry.h"
#include "scene/attributes/kqoxnurb.h"
#include "scene/attributes/kqoxshape.h"
#include "scene/kqoxnode.h"

using namespace qoxsdk_600;

namespace {

// Weight channels are percentages; host weights are fractions.
const double kWeightDivisor = 100.0;
// The percentage has no bearing on the time axis: slopes only follow the value.
const double kWeightSlopeFactor = 1.0;

// Model and shape names of "model.shape"; without a dot the model is the node.
void SplitShapeName(const char* fullName, const KString& nodeName, KString& model, KString& shape)
{
    std::string text = fullName ? fullName : "";
    size_t dot = text.find('.');
    if (dot == std::string::npos)
    {
        model = nodeName;
        shape = text.c_str();
        return;
    }
    model = text.substr(0, dot).c_str();
    shape = text.substr(dot + 1).c_str();
}

} // namespace

void QoxZeltImport::ImportShapeAnimation(QoxZeltNode& node)
{
    KQoxNodeAttribute* attribute = node.GetGeometry();
    ZDagPath* path = node.GetDagPath();
    if (!attribute || !path)
        return;
    KQoxGeometry* geometry = static_cast<KQoxGeometry*>(attribute);
    const int shapeCount = geometry->GetShapeCount();

    ZFnDagNode dagNode(*path);
    ZObject base = dagNode.child(0);
    ZObject transformNode = path->node();
    ZObject deformer;
    const bool found = QoxZeltUtility::GetDependencyOfThisType(&base, ZFn::kBlendShape, &deformer,
                                                               ZItDependencyGraph::kUpstream, ZFn::kBlendShape);
    const bool matched = node.mMatchedByMerge;
    if (shapeCount == 0)
    {
        // The file's geometry has no shapes: a merged geometry loses its blend shapes.
        if (found && matched)
            ZGlobal::deleteNode(deformer);
        return;
    }
    const bool build = !(found && matched);
    ZStatus status;
    if (!found)
    {
        ZFnBlendShapeDeformer maker;
        deformer = maker.create(transformNode, ZFnBlendShapeDeformer::kLocalOrigin, &status);
    }
    ZFnBlendShapeDeformer blendShape(deformer);
    blendShape.addBaseObject(base);
    ZPlug weight = blendShape.findPlug("weight");

    bool renamed = false;
    for (int i = 0; i < shapeCount; ++i)
    {
        if (!geometry->GetShape(i))
            continue;
        if (build)
            BuildShapeTarget(node, geometry, i, base, deformer, renamed);
        KFCurve* channel = geometry->GetShapeChannel(node.GetCurrentTakeNode(), i);
        if (!channel)
            continue;
        ZPlug element = weight.elementByLogicalIndex(static_cast<unsigned>(i));
        if (build)
        {
            ZFnAnimCurve curve;
            curve.create(element, nullptr, &status);
            SetZeltCurve(curve, *channel, kWeightDivisor, kWeightSlopeFactor, &status);
            continue;
        }
        ZStatus attach;
        ZFnAnimCurve curve(weight[static_cast<unsigned>(i)], &attach);
        if (!attach)
        {
            // Nothing to receive the keys: reported once per node at the end of the import.
            mBlendShapeFailures.AddUnique(&node);
            continue;
        }
        if (IsDriven(element))
            continue;
        SetZeltCurve(curve, *channel, kWeightDivisor, kWeightSlopeFactor, &attach);
    }
}

void QoxZeltImport::BuildShapeTarget(QoxZeltNode& node, KQoxGeometry* geometry, int index, const ZObject& base,
                                     ZObject& deformer, bool& renamed)
{
    KQoxShape* shape = geometry->GetShape(index);
    const char* fullName = geometry->GetShapeName(index);
    KString model, own;
    SplitShapeName(fullName, node.GetNameWithoutNameSpacePrefix(), model, own);
    const int type = geometry->GetAttributeType();

    // A target is the base with the shape's points: it needs as many of them.
    const int points = shape->GetControlPointsCount();
    bool fits = false;
    if (type == KQoxNodeAttribute::eMESH)
    {
        ZFnMesh baseMesh(base);
        fits = points == baseMesh.numVertices() && points == geometry->GetControlPointsCount();
    }
    else if (type == KQoxNodeAttribute::eNURB)
        fits = points == geometry->GetControlPointsCount();
    if (!fits && (type == KQoxNodeAttribute::eMESH || type == KQoxNodeAttribute::eNURB))
    {
        KString line("Blend shape target ");
        line = line + (fullName ? fullName : "") + " skipped: its point count differs from the base geometry's.";
        qoxzeltimport::LogLine(mLog.get(), line.ToChars());
        return;
    }

    if (!renamed)
    {
        ZFnDependencyNode(deformer).setName((model + "_BlendShaper").ToChars());
        renamed = true;
    }
    ZFnTransform targetTransform;
    ZObject targetNode = targetTransform.create(ZObject::kNullObj);
    ZDagPath targetPath;
    targetTransform.getPath(targetPath);
    targetTransform.setName(fullName ? fullName : "");

    ZFnBlendShapeDeformer blendShape(deformer);
    const KQoxVector4* controlPoints = shape->GetControlPoints();
    if (type == KQoxNodeAttribute::eMESH)
    {
        ZFnMesh copier;
        ZObject copy = copier.copy(base, targetNode);
        ZPointArray hostPoints;
        for (int p = 0; p < points; ++p)
            hostPoints.append(
                ZPoint(controlPoints[p][0], controlPoints[p][1], controlPoints[p][2], controlPoints[p][3]));
        ZFnMesh copyMesh(copy);
        QoxZeltProgressMeter progress;
        progress.Activate("working...");
        DebugCheckStatus(copyMesh.setPoints(hostPoints, ZSpace::kObject), nullptr);
        progress.Activate("...");
        copyMesh.setName(own.ToChars());
        blendShape.addTarget(base, index, copy, 1.0);
    }
    else if (type == KQoxNodeAttribute::eNURB)
    {
        ZPointArray hostPoints;
        ZDoubleArray uKnots, vKnots;
        int uDegree = 0, vDegree = 0, uForm = 0, vForm = 0;
        ZStatus status;
        GetNURBData(static_cast<KQoxNurb*>(geometry), const_cast<KQoxVector4*>(controlPoints), hostPoints, uKnots,
                    vKnots, uDegree, vDegree, uForm, vForm, &status, nullptr, nullptr);
        ZFnNurbsSurface surface;
        ZObject target = surface.create(hostPoints, uKnots, vKnots, static_cast<unsigned>(uDegree),
                                        static_cast<unsigned>(vDegree), static_cast<ZFnNurbsSurface::Form>(uForm),
                                        static_cast<ZFnNurbsSurface::Form>(vForm), true, targetNode, &status);
        surface.setName(own.ToChars());
        blendShape.addTarget(base, index, target, 1.0);
    }

    ZPlug visibility;
    if (QoxZeltUtility::FindPlug(&targetPath, visibility, "visibility"))
        visibility.setValue(false);
}
