// User properties of the import: one dynamic host attribute per user
// property of a node, then its value and animation in the current take.

#include <limits>

#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvenode.h"
#include "host/zglobal.h"
#include "object/kproperty.h"
#include "plugin/import/qoxzeltimport.h"
#include "plugin/import/qoxzeltimport_private.h"
#include "plugin/qoxzeltnode.h"
#include "plugin/qoxzeltuserparams.h"
#include "plugin/qoxzeltutility.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxtakenode.h"
#include "scene/kqoxuserproperty.h"

using namespace qoxsdk_600;

namespace {

// Names tried for one property: the label, then the label followed by 1 to 9.
const int kMaxNameClashes = 9;

struct AttributeKind
{
    ZFnNumericData::Type numericType;
    bool softLimits;
    bool color;
};

AttributeKind KindOf(int propertyType)
{
    switch (propertyType)
    {
    case KQoxUserProperty::eBOOL: return {ZFnNumericData::kBoolean, false, false};
    case KQoxUserProperty::eREAL: return {ZFnNumericData::kDouble, true, false};
    case KQoxUserProperty::eCOLOR: return {ZFnNumericData::k3Float, false, true};
    case KQoxUserProperty::eINTEGER: return {ZFnNumericData::kInt, true, false};
    case KQoxUserProperty::eVECTOR: return {ZFnNumericData::k3Double, false, false};
    default: return {ZFnNumericData::kDouble, false, false};
    }
}

// The host attribute name of a label: blanks become underscores.
KString AttributeName(const KString& label)
{
    KString name(label);
    while (name.FindAndReplace(" ", "_", 0))
    {}
    return name;
}

bool Counts(KFCurve& curve)
{
    return curve.KeyGetCount() > 0 || curve.GetValue() != 0.0f;
}

} // namespace

void QoxZeltImport::AddUserProperties(ZFnTransform& transform, QoxZeltNode* node)
{
    if (!node || !node->GetNodeAttribute())
        return;
    for (int i = 0; i < node->GetPropertyCount(); ++i)
    {
        KQoxUserProperty* property = node->GetProperty(i);
        if (property && property->GetFlag(KQoxUserProperty::eUSER))
            AddUserProperty(property, transform, node);
    }
}

void QoxZeltImport::AddUserProperty(KQoxUserProperty* property, ZFnTransform& transform, QoxZeltNode* node)
{
    if (!property || !node)
        return;
    const AttributeKind kind = KindOf(property->GetPropertyType());
    const KString label = property->GetLabel(true);
    for (int clash = 0; clash <= kMaxNameClashes; ++clash)
    {
        KString name = AttributeName(clash == 0 ? label : label + clash);
        ZFnNumericAttribute numeric;
        ZStatus status;
        ZObject attribute = kind.color ? numeric.createColor(name.ToChars(), name.ToChars(), &status)
                                       : numeric.create(name.ToChars(), name.ToChars(), kind.numericType, 0.0, &status);
        // A refused attribute leaves the property without one.
        if (!status)
            return;
        numeric.setHidden(false);
        numeric.setKeyable(true);
        numeric.setInternal(true);
        if (kind.softLimits)
        {
            if (property->GetMinLimit() > -std::numeric_limits<double>::infinity())
                numeric.setSoftMin(property->GetMinLimit());
            if (property->GetMaxLimit() < std::numeric_limits<double>::infinity())
                numeric.setSoftMax(property->GetMaxLimit());
        }
        status = transform.addAttribute(attribute, ZFnDependencyNode::kNormalAttr);
        if (status)
        {
            node->SetUserPropertyHostName(label.ToChars(), name.ToChars());
            return;
        }
        ZGlobal::deleteNode(attribute);
        if (status.statusCode() != ZStatus::kInvalidParameter)
            return; // refused for another reason than a name in use
    }
}

ZStatus QoxZeltImport::ImportUserProperties(QoxZeltNode& node)
{
    if (!node.GetNodeAttribute() || !node.GetDagPath())
        return ZStatus(ZStatus::kFailure);
    ZStatus status;
    ZFnTransform transform(*node.GetDagPath(), &status);
    if (!status)
        return status;
    ZObject transformNode = node.GetDagPath()->transform(&status);
    if (!status)
        return status;

    for (int i = 0; i < node.GetPropertyCount(); ++i)
    {
        KQoxUserProperty* property = node.GetProperty(i);
        if (!property || !property->GetFlag(KQoxUserProperty::eUSER))
            continue;
        const KString label = property->GetLabel(true);
        KString* hostName = node.GetUserPropertyHostName(label.ToChars());
        if (!hostName)
        {
            if (QoxZeltUserParams::Instance().GetImportType() == 0)
                continue;
            AddUserProperty(property, transform, &node);
            hostName = node.GetUserPropertyHostName(label.ToChars());
            if (!hostName)
                continue;
        }
        const KString attributeName = *hostName;
        ZObject attribute = transform.attribute(attributeName.ToChars(), &status);
        if (!status)
            continue;
        KQoxTakeNode* take = node.GetCurrentTakeNode();
        KFCurveNode* root = take ? take->GetKFCurveNode() : nullptr;
        if (!root)
            continue;
        ZFnNumericAttribute numeric(attribute);
        ZPlug plug(transformNode, attribute);
        const KString propertyName = property->GetName();
        KFCurveNode* curveNode = root->FindRecursive(propertyName.ToChars());
        const int type = property->GetPropertyType();

        if (type == KQoxUserProperty::eBOOL || type == KQoxUserProperty::eREAL || type == KQoxUserProperty::eINTEGER)
        {
            KFCurve* curve = curveNode ? curveNode->FCurveGet() : nullptr;
            if (!curve)
                continue; // no channel in this take: neither value nor curve
            SetZeltCurve(transform, attributeName.ToChars(), *curve, ZFnAnimCurve::kAnimCurveTU, 1.0, 1.0, &status);
            const bool counts = Counts(*curve);
            const ZFnNumericData::Type unit = numeric.unitType();
            if (type == KQoxUserProperty::eBOOL)
            {
                bool value = false;
                if (counts)
                    value = curve->GetValue() > 0.0f;
                else
                    property->GetDefaultValue(value);
                if (unit == ZFnNumericData::kBoolean)
                    plug.setValue(value);
            }
            else if (type == KQoxUserProperty::eREAL)
            {
                double value = 0.0;
                if (counts)
                    value = curve->GetValue();
                else
                    property->GetDefaultValue(value);
                if (unit == ZFnNumericData::kDouble)
                    plug.setValue(value);
                else
                    plug.setValue(static_cast<float>(value));
            }
            else
            {
                int value = 0;
                if (counts)
                    value = KPropertyTruncateToInt(curve->GetValue());
                else
                    property->GetDefaultValue(value);
                if (unit == ZFnNumericData::kInt || unit == ZFnNumericData::kShort)
                    plug.setValue(value);
                else if (unit == ZFnNumericData::kByte || unit == ZFnNumericData::kChar)
                    plug.setValue(static_cast<char>(value & 0xFF));
            }
        }
        else if (type == KQoxUserProperty::eCOLOR || type == KQoxUserProperty::eVECTOR)
        {
            static const char* const kComponents[3] = {"X", "Y", "Z"};
            double values[3] = {0.0, 0.0, 0.0};
            bool counts = false;
            for (int c = 0; curveNode && c < 3; ++c)
            {
                KFCurveNode* componentNode = curveNode->FindRecursive(kComponents[c]);
                KFCurve* curve = componentNode ? componentNode->FCurveGet() : nullptr;
                if (!curve)
                    continue;
                ZString childName = plug.child(c).partialName(false, false, false, false, false, false);
                SetZeltCurve(transform, childName.asChar(), *curve, ZFnAnimCurve::kAnimCurveTU, 1.0, 1.0, &status);
                values[c] = curve->GetValue();
                counts = counts || Counts(*curve);
            }
            if (!counts)
                property->GetDefaultValue(values[0], values[1], values[2]);
            const bool doubles = numeric.unitType() == ZFnNumericData::k3Double;
            for (int c = 0; c < 3; ++c)
            {
                if (doubles)
                    plug.child(c).setValue(values[c]);
                else
                    plug.child(c).setValue(static_cast<float>(values[c]));
            }
        }
    }
    return status;
}
