// NURBS creation: a host NURBS surface under a new transform. The host's U
// direction is the file's V direction and the other way round.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "base/knumbertext.h"
#include "plugin/import/qoxzeltimport.h"
#include "plugin/import/qoxzeltimport_private.h"
#include "plugin/qoxzeltnode.h"
#include "scene/attributes/kqoxnurb.h"
#include "scene/kqoxnode.h"

using namespace qoxsdk_600;
using namespace qoxzeltimport;

namespace {

// Host form codes.
const int kHostOpen = 1;
const int kHostPeriodic = 3;
// Two knot spacings differ when they are further apart than this.
const double kSpacingTolerance = 1e-07;

bool IsWrapped(KQoxNurb::ENurbType type)
{
    return type == KQoxNurb::ePERIODIC || type == KQoxNurb::eCLOSED;
}

// How many leading points (or rows) a wrapped direction repeats: order - 1,
// none for an open direction or order 1.
int Repeats(KQoxNurb::ENurbType type, unsigned order)
{
    return IsWrapped(type) && order != 1 ? static_cast<int>(order) - 1 : 0;
}

// The knots without their ends, each brought to six decimals as "%f" prints
// them (in the "C" locale, whatever the host's).
void HostKnots(const double* knots, int count, ZDoubleArray& out)
{
    out.clear();
    for (int i = 1; i + 1 < count; ++i)
        out.append(KTextToDouble(KDoubleText(knots[i], 'f', 6).c_str()));
}

// Host form of one direction; opened when a wrapped direction's knots are
// not evenly spaced, so the host surface must be open there.
int HostForm(KQoxNurb::ENurbType type, const ZDoubleArray& knots, bool& opened)
{
    opened = false;
    if (!IsWrapped(type))
        return kHostOpen;
    if (knots.length() <= 2)
        return kHostPeriodic;
    const double spacing = knots[1] - knots[0];
    for (unsigned i = 2; i < knots.length(); ++i)
        if (std::fabs((knots[i] - knots[i - 1]) - spacing) > kSpacingTolerance)
        {
            opened = true;
            return kHostOpen;
        }
    return kHostPeriodic;
}

void AppendRow(const KQoxVector4* controlPoints, int row, int uCount, int uRepeats, ZPointArray& points)
{
    for (int u = 0; u < uCount + uRepeats; ++u)
    {
        const KQoxVector4& p = controlPoints[row * uCount + u % uCount];
        points.append(ZPoint(p[0], p[1], p[2], 1.0));
    }
}

} // namespace

void QoxZeltImport::GetNURBData(KQoxNurb* nurb, KQoxVector4* controlPoints, ZPointArray& points, ZDoubleArray& uKnots,
                                ZDoubleArray& vKnots, int& uDegree, int& vDegree, int& uForm, int& vForm,
                                ZStatus* status, bool* uOpened, bool* vOpened)
{
    if (uOpened)
        *uOpened = false;
    if (vOpened)
        *vOpened = false;
    points.clear();
    uKnots.clear();
    vKnots.clear();
    const int uCount = nurb ? nurb->GetUCount() : 0;
    const int vCount = nurb ? nurb->GetVCount() : 0;
    const unsigned uOrder = nurb ? nurb->GetUOrder() : 0;
    const unsigned vOrder = nurb ? nurb->GetVOrder() : 0;
    const int uRepeats = nurb ? Repeats(nurb->GetNurbUType(), uOrder) : 0;
    const int vRepeats = nurb ? Repeats(nurb->GetNurbVType(), vOrder) : 0;
    // A surface the conversion cannot read: counts or orders below 1, more
    // points to repeat than a row (or column) holds, too few points or knots.
    const bool readable =
        nurb && controlPoints && uCount >= 1 && vCount >= 1 && uOrder >= 1 && vOrder >= 1 && uRepeats <= uCount &&
        vRepeats <= vCount && static_cast<long long>(uCount) * vCount <= nurb->GetControlPointsCount() &&
        nurb->GetUKnotVector() && nurb->GetVKnotVector() && nurb->GetUKnotVectorSize() >= nurb->GetUKnotCount() &&
        nurb->GetVKnotVectorSize() >= nurb->GetVKnotCount();
    if (!readable)
    {
        uDegree = vDegree = 0;
        uForm = vForm = kHostOpen;
        ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, "the NURBS surface cannot be converted"));
        return;
    }

    for (int v = 0; v < vCount; ++v)
        AppendRow(controlPoints, v, uCount, uRepeats, points);
    for (int v = 0; v < vRepeats; ++v)
        AppendRow(controlPoints, v, uCount, uRepeats, points);

    // Host U is the file's V.
    HostKnots(nurb->GetVKnotVector(), nurb->GetVKnotCount(), uKnots);
    HostKnots(nurb->GetUKnotVector(), nurb->GetUKnotCount(), vKnots);
    bool sdkUOpened = false, sdkVOpened = false;
    uForm = HostForm(nurb->GetNurbVType(), uKnots, sdkVOpened);
    vForm = HostForm(nurb->GetNurbUType(), vKnots, sdkUOpened);
    uDegree = static_cast<int>(vOrder) - 1;
    vDegree = static_cast<int>(uOrder) - 1;
    if (uOpened)
        *uOpened = sdkUOpened;
    if (vOpened)
        *vOpened = sdkVOpened;
    ZSetStatus(status, ZStatus());
}

void QoxZeltImport::CreateNurbGeometry(QoxZeltNode* node)
{
    ZStatus st;
    ZFnTransform transform;
    ZObject transformObject = transform.create(HostParentObject(node), &st);
    if (!st)
    {
        st.perror("Cannot create Nurb");
        return;
    }
    NameAndRecordHostNode(transform, node);

    KQoxNurb* nurb = static_cast<KQoxNurb*>(node->GetNurb());
    ZPointArray points;
    ZDoubleArray uKnots, vKnots;
    int uDegree = 0, vDegree = 0, uForm = kHostOpen, vForm = kHostOpen;
    bool uOpened = false, vOpened = false;
    GetNURBData(nurb, nurb ? nurb->GetControlPoints() : nullptr, points, uKnots, vKnots, uDegree, vDegree, uForm, vForm,
                &st, &uOpened, &vOpened);
    node->mUSeam = uOpened;
    node->mVSeam = vOpened;

    ZFnNurbsSurface surface;
    if (st)
        surface.create(points, uKnots, vKnots, static_cast<unsigned>(uDegree), static_cast<unsigned>(vDegree),
                       static_cast<ZFnNurbsSurface::Form>(uForm), static_cast<ZFnNurbsSurface::Form>(vForm), true,
                       transformObject, &st);
    if (!st)
    {
        st.perror("Cannot create Nurb");
        return;
    }
    const int step = std::max(0, std::max(nurb->GetUStep(), nurb->GetVStep()));
    ZStatus found;
    ZPlug precision = surface.findPlug("curvePrecisionShaded", &found);
    if (found)
        precision.setValue(static_cast<short>(std::min(step, 0x7fff)));
    AddUserProperties(transform, node);
    if (nurb->GetShapeCount() > 0)
    {
        ZFnBlendShapeDeformer deformer;
        deformer.create(transformObject, ZFnBlendShapeDeformer::kLocalOrigin);
    }
}
