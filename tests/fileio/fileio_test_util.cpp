#include "fileio_test_util.h"

#include <gtest/gtest.h>

#include "base/kcrcfile.h"
#include "base/kpath.h"
#include "base/kqox.h"
#include "common/qox_test_common.h"
#include "fileio/kqoxattribute_private.h"
#include "fileio/kqoxfilescene.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "character/kqoxcharacter.h"
#include "character/kqoxcharacterpose.h"
#include "character/kqoxcharacterproperties.h"
#include "character/kqoxcontrolset.h"
#include "character/kqoxcontrolsetplug.h"
#include "character/kqoxfilterset.h"
#include "object/kpropertylist.h"
#include "scene/kqoxpropertyhandler.h"
#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvenode.h"
#include "fcurve/kfcurveplot.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoximporter.h"
#include "object/kproperty.h"
#include "scene/attributes/kqoxgenericnode.h"
#include "scene/attributes/kqoximageconverter.h"
#include "scene/attributes/kqoxlayer.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxlink.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/attributes/kqoxnurb.h"
#include "scene/attributes/kqoxpatch.h"
#include "scene/attributes/kqoxshape.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/attributes/kqoxvideo.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxentity.h"
#include "scene/kqoxglobalcamerasettings.h"
#include "scene/kqoxnodelimits.h"
#include "scene/kqoxpose.h"
#include "scene/kqoxscene.h"
#include "fileio/kqoxfilescene.h"
#include "scene/kqoxsceneinfo.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakenode.h"
#include "scene/kqoxthumbnail.h"
#include "scene/kqoxuserproperty.h"

using namespace qoxsdk_600;

namespace fileiotest {

std::string Number(double value, int digits)
{
    char text[40];
    std::snprintf(text, sizeof(text), "%.*g", digits, value);
    return text;
}

void ListKeys(std::ostream& out, KFCurve& curve, int digits)
{
    for (int k = 0; k < curve.KeyGetCount(); ++k)
    {
        const KFCurveKey key = curve.KeyGet(k);
        out << " [" << key.GetTime().Get() << " " << Number(key.GetValue(), digits) << " f" << key.GetFlags();
        for (int slot = 0; slot < 4; ++slot)
            out << " " << Number(key.GetDataFloat(static_cast<EKFCurveDataIndex>(slot)), digits);
        out << "]";
    }
}

namespace {

thread_local int gDigits = 17; // significant digits of the listing (listings run on several threads)

std::string Listed(double v)
{
    return Number(v, gDigits);
}

// A text that may be null (a null text would stop the listing's stream).
const char* Text(const char* text)
{
    return text ? text : "(none)";
}

// skip: a property left out (a clip's media path: media are extracted anew).
void ListProperties(std::ostream& out, KObject* object, const char* skip = "")
{
    if (!object)
        return;
    for (int i = 0; i < object->GetPropertyCount(); ++i)
    {
        KProperty* p = object->GetProperty(i);
        if (p->GetPropertyFlag(16) || std::strcmp(p->GetPropertyName(), skip) == 0)
            continue;
        out << "  prop " << p->GetPropertyName() << " " << p->GetPropertyTypeName() << " = ";
        switch (p->GetPropertyType())
        {
        case kPropertyTypeVector3D:
        case kPropertyTypeVector4D:
        case kPropertyTypeColorRGB:
        case kPropertyTypeColorRGBA:
        {
            double v[4] = {0, 0, 0, 0};
            p->GetData(v, 0, nullptr, nullptr);
            out << Listed(v[0]) << "," << Listed(v[1]) << "," << Listed(v[2]) << "," << Listed(v[3]);
            break;
        }
        case kPropertyTypeInt:
        case kPropertyTypeEnum: out << p->AsInteger(); break;
        case kPropertyTypeBool:
        {
            bool b = false;
            p->GetData(&b, 0, nullptr, nullptr);
            out << b;
            break;
        }
        case kPropertyTypeFloat:
        case kPropertyTypeDouble: out << Listed(p->AsDouble()); break;
        case kPropertyTypeTime:
        {
            KTime t;
            p->GetData(&t, 0, nullptr, nullptr);
            out << t.Get();
            break;
        }
        case kPropertyTypeCharPtr:
        case kPropertyTypeString:
        case kPropertyTypeStringList: out << p->AsString().ToChars(); break;
        default: out << "-"; break;
        }
        out << "\n";
    }
}

void ListCurveNode(std::ostream& out, KFCurveNode* node, int depth)
{
    out << std::string(static_cast<size_t>(depth) * 2, ' ') << "channel " << node->GetName();
    if (KFCurve* curve = node->FCurveGet())
    {
        out << " default " << Listed(curve->GetValue()) << " extrap " << curve->GetPreExtrapolation() << "/"
            << curve->GetPostExtrapolation() << " keys " << curve->KeyGetCount();
        ListKeys(out, *curve, gDigits);
    }
    out << "\n";
    if (KFCurveNode* warp = node->TimeWarpGet())
        ListCurveNode(out, warp, depth + 2);
    for (int i = 0; i < node->GetCount(); ++i)
        ListCurveNode(out, node->Get(i), depth + 1);
}

void ListTakes(std::ostream& out, KQoxTakeNodeContainer& object)
{
    for (int t = 0; t < object.GetTakeNodeCount(); ++t)
    {
        KQoxTakeNode* take = object.GetTakeNode(t);
        out << "  take " << take->GetName() << "\n";
        if (KFCurveNode* root = take->GetKFCurveNode())
            for (int i = 0; i < root->GetCount(); ++i)
                ListCurveNode(out, root->Get(i), 2);
    }
}

void ListUserProperties(std::ostream& out, KQoxObject& object)
{
    for (int i = 0; i < object.GetPropertyCount(); ++i)
    {
        KQoxUserProperty* p = object.GetProperty(i);
        out << "  user " << p->GetName().ToChars() << " " << p->GetPropertyType() << " label "
            << p->GetLabel(false).ToChars() << " limits " << Listed(p->GetMinLimit()) << " " << Listed(p->GetMaxLimit())
            << " anim " << p->GetFlag(KQoxUserProperty::eANIMATABLE) << "\n";
    }
}

// Only the user properties added to the object (a character has hundreds of its own).
void ListAddedUserProperties(std::ostream& out, KQoxObject& object)
{
    for (int i = 0; i < object.GetPropertyCount(); ++i)
    {
        KQoxUserProperty* p = object.GetProperty(i);
        if (p->GetKProperty() && p->GetKProperty()->IsDynamic())
            out << "  user " << p->GetName().ToChars() << " " << p->GetPropertyType() << " label "
                << p->GetLabel(false).ToChars() << " limits " << Listed(p->GetMinLimit()) << " "
                << Listed(p->GetMaxLimit()) << " flags " << p->GetFlag(KQoxUserProperty::eANIMATABLE)
                << p->GetFlag(KQoxUserProperty::eUSER) << p->GetFlag(KQoxUserProperty::eTEMPORARY) << "\n";
    }
}

template <typename T>
void ListDoubles(std::ostream& out, const KArrayTemplate<T>& items, int width)
{
    const double* values = reinterpret_cast<const double*>(items.GetArray());
    for (int i = 0; i < items.GetCount() * width; ++i)
        out << " " << Listed(values[i]);
}

void ListSurface(std::ostream& out, KQoxGeometry& geometry)
{
    if (KQoxNurb* nurb = dynamic_cast<KQoxNurb*>(&geometry))
    {
        out << "  nurb order " << nurb->GetUOrder() << " " << nurb->GetVOrder() << " count " << nurb->GetUCount() << " "
            << nurb->GetVCount() << " step " << nurb->GetUStep() << " " << nurb->GetVStep() << " type "
            << nurb->GetNurbUType() << " " << nurb->GetNurbVType() << " mode " << nurb->GetSurfaceMode() << " flip "
            << nurb->GetApplyFlipUV() << nurb->GetApplyFlipLinks() << "\n  knots";
        for (int i = 0; i < nurb->GetUKnotVectorSize(); ++i)
            out << " " << Listed(nurb->GetUKnotVector()[i]);
        out << " |";
        for (int i = 0; i < nurb->GetVKnotVectorSize(); ++i)
            out << " " << Listed(nurb->GetVKnotVector()[i]);
        out << "\n  multiplicities";
        for (int i = 0; i < nurb->GetUCount(); ++i)
            out << " " << nurb->GetUMultiplicityVector()[i];
        out << " |";
        for (int i = 0; i < nurb->GetVCount(); ++i)
            out << " " << nurb->GetVMultiplicityVector()[i];
        out << "\n";
    }
    if (KQoxPatch* patch = dynamic_cast<KQoxPatch*>(&geometry))
        out << "  patch type " << patch->GetPatchUType() << " " << patch->GetPatchVType() << " count "
            << patch->GetUCount() << " " << patch->GetVCount() << " step " << patch->GetUStep() << " "
            << patch->GetVStep() << " closed " << patch->GetUClosed() << patch->GetVClosed() << " caps "
            << patch->GetUCappedBottom() << patch->GetUCappedTop() << patch->GetVCappedBottom()
            << patch->GetVCappedTop() << " mode " << patch->GetSurfaceMode() << "\n";
}

void ListMesh(std::ostream& out, KQoxGeometry& geometry)
{
    out << "  geometry " << geometry.GetAttributeType() << " points";
    ListDoubles(out, geometry.GetControlPointArray(), 4);
    out << "\n";
    ListSurface(out, geometry);
    if (KQoxMesh* polygons = dynamic_cast<KQoxMesh*>(&geometry))
    {
        out << "  polygons";
        for (int p = 0; p < polygons->GetPolygonCount(); ++p)
        {
            out << " [g" << polygons->GetPolygonGroup(p);
            for (int v = 0; v < polygons->GetPolygonSize(p); ++v)
                out << " " << polygons->GetPolygonVertex(p, v);
            out << "]";
        }
        out << "\n";
    }
    KQoxGeometry& mesh = geometry;
    for (int i = 0; i < mesh.GetLinkCount(); ++i)
    {
        KQoxLink* link = mesh.GetLink(i);
        KQoxVector4 t, r, s;
        out << "  link " << (link->GetLink() ? link->GetLink()->GetName() : "-") << " "
            << (link->GetAssociateModel() ? link->GetAssociateModel()->GetName() : "-") << " mode "
            << link->GetLinkMode() << " " << link->GetUserDataID().ToChars() << "=" << link->GetUserData().ToChars();
        for (int k = 0; k < link->GetControlPointIndicesCount(); ++k)
            out << " " << link->GetControlPointIndices()[k] << ":" << Listed(link->GetControlPointWeights()[k]);
        // Every transform. Values within 1e-12 of zero list as 0, and the
        // W components are not listed: clusters keep transforms as
        // matrices, whose decomposition leaves residues and sets no W.
        auto vector = [&out](const char* name, const KQoxVector4& v) {
            out << " " << name;
            for (int k = 0; k < 3; ++k)
                out << " " << Listed(std::fabs(v[k]) < 1e-12 ? 0.0 : v[k]);
        };
        vector("t", link->GetTransformT(t));
        vector("r", link->GetTransformR(r));
        vector("s", link->GetTransformS(s));
        vector("lt", link->GetTransformLinkT(t));
        vector("lr", link->GetTransformLinkR(r));
        vector("ls", link->GetTransformLinkS(s));
        vector("at", link->GetTransformAssociateModelT(t));
        vector("ar", link->GetTransformAssociateModelR(r));
        vector("as", link->GetTransformAssociateModelS(s));
        out << " parent " << link->IsTransformParentSet();
        if (link->IsTransformParentSet())
        {
            vector("pt", link->GetTransformParentT(t));
            vector("pr", link->GetTransformParentR(r));
            vector("ps", link->GetTransformParentS(s));
        }
        out << "\n";
    }
    for (int i = 0; i < mesh.GetShapeCount(); ++i)
    {
        out << "  shape " << mesh.GetShapeName(i);
        ListDoubles(out, mesh.GetShape(i)->GetControlPointArray(), 4);
        out << "\n";
    }
    for (int l = 0; l < mesh.GetLayerCount(); ++l)
        for (int type = 1; type <= 6; ++type)
        {
            KQoxLayerElement* e =
                mesh.GetLayer(l)->GetLayerElementOfType(static_cast<KQoxLayerElement::ELayerElementType>(type));
            if (!e)
                continue;
            out << "  layer " << l << " element " << type << " " << e->mMappingMode << " " << e->mReferenceMode
                << " direct";
            switch (type)
            {
            case 1: ListDoubles(out, static_cast<KQoxLayerElementNormal*>(e)->mDirectArray, 4); break;
            case 2:
                for (int i = 0; i < static_cast<KQoxLayerElementMaterial*>(e)->mDirectArray.GetCount(); ++i)
                    out << " " << static_cast<KQoxLayerElementMaterial*>(e)->mDirectArray[i]->GetName();
                break;
            case 4:
                for (int i = 0; i < static_cast<KQoxLayerElementPolygonGroup*>(e)->mDirectArray.GetCount(); ++i)
                    out << " " << static_cast<KQoxLayerElementPolygonGroup*>(e)->mDirectArray[i];
                break;
            case 5: ListDoubles(out, static_cast<KQoxLayerElementUV*>(e)->mDirectArray, 2); break;
            case 6: ListDoubles(out, static_cast<KQoxLayerElementVertexColor*>(e)->mDirectArray, 4); break;
            default: break;
            }
            out << " index";
            for (int i = 0; i < e->mIndexArray.GetCount(); ++i)
                out << " " << e->mIndexArray[i];
            out << "\n";
        }
}

void ListCameraFields(std::ostream& out, KQoxCamera& camera)
{
    KQoxVector4 up = camera.GetUpVector(), interest = camera.GetDefaultCameraInterestPosition();
    KQoxColor audio = camera.GetAudioColor();
    out << "  camera up " << Listed(up[0]) << " " << Listed(up[1]) << " " << Listed(up[2]) << " " << Listed(up[3])
        << " interest " << Listed(interest[0]) << " " << Listed(interest[1]) << " " << Listed(interest[2]) << " "
        << Listed(interest[3]) << " background " << Text(camera.GetBackgroundMediaName()) << "|"
        << Text(camera.GetBackgroundFileName()) << " flags " << camera.GetShowInfoOnMoving()
        << camera.GetDisplaySafeAreaOnRender() << camera.GetShowAudio() << " audio " << Listed(audio.mRed) << " "
        << Listed(audio.mGreen) << " " << Listed(audio.mBlue) << " " << Listed(audio.mAlpha) << " rendering "
        << camera.GetAntialiasingMethod() << " " << camera.GetSamplingType() << "\n";
}

void ListAttribute(std::ostream& out, KQoxNodeAttribute& attribute)
{
    out << "  attribute " << attribute.GetAttributeType() << " " << attribute.GetTypeName().ToChars() << "\n";
    ListProperties(out, qoxnative::AttributeProperties(&attribute));
    switch (attribute.GetAttributeType())
    {
    case KQoxNodeAttribute::eSKELETON:
        out << "  skeleton " << static_cast<KQoxSkeleton&>(attribute).GetSkeletonType();
        break;
    case KQoxNodeAttribute::eMARKER: out << "  marker " << static_cast<KQoxMarker&>(attribute).GetType(); break;
    case KQoxNodeAttribute::eLIGHT:
    {
        KQoxLight& light = static_cast<KQoxLight&>(attribute);
        out << "  light " << light.GetLightType() << light.GetCastLight() << light.GetGroundProjection()
            << light.GetVolumetricProjection() << light.GetFrontVolumetricProjection() << " "
            << (light.GetFileName() ? light.GetFileName() : ""); // null for none
        break;
    }
    case KQoxNodeAttribute::eCAMERA: ListCameraFields(out, static_cast<KQoxCamera&>(attribute)); break;
    case KQoxNodeAttribute::eCAMERA_SWITCHER:
    {
        KQoxCameraSwitcher& switcher = static_cast<KQoxCameraSwitcher&>(attribute);
        out << "  switcher";
        for (int i = 0; i < switcher.GetCameraNameCount(); ++i)
            out << " " << switcher.GetCameraName(static_cast<unsigned int>(i));
        out << " index " << switcher.GetDefaultCameraIndex();
        break;
    }
    default: break;
    }
    out << "\n";
}

void ListThumbnail(std::ostream& out, KQoxThumbnail* thumbnail)
{
    if (!thumbnail)
        return;
    unsigned long sum = 0;
    for (unsigned long i = 0; i < thumbnail->GetSizeInBytes(); ++i)
        sum = sum * 31 + thumbnail->GetThumbnailImage()[i];
    out << "  thumbnail " << thumbnail->GetDataFormat() << " " << thumbnail->GetSize() << " " << sum << "\n";
}

// The node's targets by name and its aim vectors, when it has any.
void ListTargets(std::ostream& out, KQoxNode& node)
{
    const KQoxVector4 post = node.GetPostTargetRotation(), up = node.GetTargetUpVector();
    bool vectors = false;
    for (int k = 0; k < 4; ++k)
        vectors = vectors || post[k] != 0.0 || up[k] != 0.0 || std::signbit(post[k]) || std::signbit(up[k]);
    if (!node.GetTarget() && !node.GetTargetUp() && !vectors)
        return;
    out << "  target " << (node.GetTarget() ? node.GetTarget()->GetName() : "-") << " up "
        << (node.GetTargetUp() ? node.GetTargetUp()->GetName() : "-") << " post";
    for (int k = 0; k < 4; ++k)
        out << " " << Listed(post[k]);
    out << " upvector";
    for (int k = 0; k < 4; ++k)
        out << " " << Listed(up[k]);
    out << "\n";
}

KQoxThumbnail* MakeThumbnail(KQoxSdkManager& manager, int seed)
{
    KQoxThumbnail* thumbnail = manager.CreateKQoxThumbnail();
    thumbnail->SetDataFormat(KQoxThumbnail::eRGBA_32);
    thumbnail->SetSize(KQoxThumbnail::e64x64);
    std::string pixels(thumbnail->GetSizeInBytes(), '\0');
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<char>(i * 13 + static_cast<size_t>(seed));
    thumbnail->SetThumbnailImage(reinterpret_cast<const unsigned char*>(pixels.data()));
    return thumbnail;
}

void Animate(KQoxTakeNodeContainer& object, const char* take, double scale)
{
    KQoxTakeNode* node = object.CreateTakeNode(take);
    if (!node)
        return;
    KFCurve* curve = node->GetTranslationX();
    if (!curve)
        curve = node->GetTextureTranslationX();
    if (!curve)
        return;
    curve->KeyModifyBegin();
    for (int k = 0; k < 5; ++k)
    {
        int index = curve->KeyAdd(KTime(static_cast<long long>(k) * 1539538600LL));
        curve->KeySet(index, KTime(static_cast<long long>(k) * 1539538600LL), static_cast<float>(k * scale),
                      k % 2 ? KFCURVE_INTERPOLATION_CONSTANT : KFCURVE_INTERPOLATION_CUBIC,
                      k % 2 ? 0u : static_cast<unsigned int>(KFCURVE_TANGEANT_USER), k % 2 ? 0.0f : 0.5f * k,
                      k % 2 ? 0.0f : -0.25f * k);
    }
    curve->KeyModifyEnd();
    // The first take of every object plays through a time warp of its own.
    if (scale > 0)
    {
        KFCurveNode* warp = KFCurveNodeCreate("Warp");
        KFCurve* timing = KFCurveCreate();
        timing->KeyModifyBegin();
        timing->KeyAppendFast(KTime(0), 0.0f);
        timing->KeyAppendFast(KTime(46186158000LL), static_cast<float>(scale));
        timing->KeyModifyEnd();
        warp->FCurveSet(timing);
        node->GetKFCurveNode()->Get(0)->TimeWarpSet(warp);
    }
}

} // namespace

void BuildScene(KQoxSdkManager& manager, KQoxScene& scene, const std::string& mediaFile)
{
    KQoxNode* parent = scene.GetRootNode();
    const char* names[] = {"Hips", "Spine", "Head"};
    for (int i = 0; i < 3; ++i)
    {
        KQoxNode* node = manager.CreateKQoxNode(names[i]);
        parent->AddChild(node);
        node->SetDefaultT(KQoxVector4(i + 0.5, -DBL_MAX, 1e-310));
        node->SetDefaultR(KQoxVector4(10.0 * i, 20, 30));
        node->SetDefaultS(KQoxVector4(1, 2, 3));
        node->SetRotationPivot(eSOURCE_SET, KQoxVector4(1, 2, 3));
        node->SetPreRotation(eSOURCE_SET, KQoxVector4(0, 90, 0));
        node->GetLimits().SetTranslationLimitActive(i == 1);
        node->SetShadingMode(static_cast<KQoxNode::EShadingMode>(i)); // 0 writes no field
        node->SetCullingType(i);
        node->SetMultiLayer(i == 2);
        if (i == 1)
            node->SetPivotState(eSOURCE_SET, ePIVOT_STATE_REFERENCE);
        const char* types[] = {"Bool", "Real", "Color", "Integer", "Vector"};
        KQoxUserProperty* user = manager.CreateKQoxUserProperty(
            (std::string("Custom") + names[i]).c_str(), types[i + 1], (std::string("Label ") + names[i]).c_str());
        user->ModifyFlag(KQoxUserProperty::eANIMATABLE, i == 0);
        user->SetLimits(-5, 5);
        node->AddProperty(user);
        Animate(*node, "Walk", i + 1);
        Animate(*node, "Run", -(i + 1.5));
        parent = node;
    }
    // A quad and a triangle with every layer element on the second node.
    {
        KQoxNode* spine = scene.GetRootNode()->GetChild(0)->GetChild(0);
        KQoxMesh* mesh = manager.CreateKQoxMesh();
        spine->SetNodeAttribute(mesh);
        mesh->InitControlPoints(5);
        for (int i = 0; i < 5; ++i)
            mesh->GetControlPoints()[i] = KQoxVector4(i, i * 0.5, -i, 1);
        const int polygons[2][4] = {{0, 1, 2, 3}, {2, 3, 4, -1}};
        for (int p = 0; p < 2; ++p)
        {
            mesh->BeginPolygon(-1, -1, p);
            for (int v = 0; v < 4 && polygons[p][v] >= 0; ++v)
                mesh->AddPolygon(polygons[p][v]);
            mesh->EndPolygon();
        }
        KQoxMaterial* red = manager.CreateKQoxMaterial("Red");
        red->SetShadingModel("phong");
        red->SetDefaultDiffuseColor(KQoxColor(1, 0, 0, 1));
        KQoxMaterial* blue = manager.CreateKQoxMaterial("Blue");
        KQoxLayer* layer = mesh->GetLayer(0);
        KQoxLayerElementNormal* normals = new KQoxLayerElementNormal;
        normals->mMappingMode = KQoxLayerElement::eBY_POLYGON_VERTEX;
        for (int i = 0; i < 7; ++i)
            normals->mDirectArray.Add(KQoxVector4(0, 0, i % 2 ? 1 : -1, 0));
        layer->SetNormals(normals);
        KQoxLayerElementMaterial* materials = new KQoxLayerElementMaterial;
        materials->mMappingMode = KQoxLayerElement::eBY_POLYGON;
        materials->mReferenceMode = KQoxLayerElement::eINDEX_TO_DIRECT;
        materials->mDirectArray.Add(red);
        materials->mDirectArray.Add(blue);
        materials->mIndexArray.Add(1);
        materials->mIndexArray.Add(0);
        layer->SetMaterials(materials);
        KQoxLayerElementUV* uvs = new KQoxLayerElementUV;
        uvs->mMappingMode = KQoxLayerElement::eBY_POLYGON_VERTEX;
        uvs->mReferenceMode = KQoxLayerElement::eINDEX_TO_DIRECT;
        uvs->mDirectArray.Add(KQoxVector2(0.25, 0.75));
        uvs->mDirectArray.Add(KQoxVector2(1e-300, -1));
        for (int i = 0; i < 7; ++i)
            uvs->mIndexArray.Add(i % 2);
        layer->SetUVs(uvs);
        int second = mesh->CreateLayer();
        KQoxLayerElementVertexColor* colors = new KQoxLayerElementVertexColor;
        colors->mMappingMode = KQoxLayerElement::eBY_CONTROL_POINT;
        for (int i = 0; i < 5; ++i)
            colors->mDirectArray.Add(KQoxColor(i * 0.25, 0.5, 1, 0.5)); // 15 digits keep these exactly
        mesh->GetLayer(second)->SetVertexColors(colors);
        KQoxLayerElementPolygonGroup* groups = new KQoxLayerElementPolygonGroup;
        groups->mMappingMode = KQoxLayerElement::eBY_POLYGON;
        groups->mDirectArray.Add(7);
        groups->mDirectArray.Add(9);
        mesh->GetLayer(second)->SetPolygonGroups(groups);
        Animate(*red, "Walk", 2);
        // A skin link to Hips (associate model Head) and one shape.
        KQoxLink* link = manager.CreateKQoxLink();
        link->SetLink(scene.GetRootNode()->GetChild(0));
        link->SetAssociateModel(spine->GetChild(0));
        link->SetLinkMode(KQoxLink::eTOTAL1);
        link->SetUserData("id", "data");
        link->AddControlPointIndex(1, 0.25);
        link->AddControlPointIndex(4, 1.0);
        link->SetTransformT(KQoxVector4(1, 2, 3));
        link->SetTransformLinkR(KQoxVector4(0, 45, 0));
        mesh->AddLink(link);
        KQoxShape* shape = manager.CreateKQoxShape();
        shape->InitControlPoints(5);
        shape->GetControlPoints()[2] = KQoxVector4(0, 9, 0, 1);
        mesh->AddShape(shape, "Smile");
    }
    // Every other attribute kind, one node each; Hips is a skeleton limb.
    {
        KQoxNode* hips = scene.GetRootNode()->GetChild(0);
        KQoxSkeleton* skeleton = manager.CreateKQoxSkeleton();
        hips->SetNodeAttribute(skeleton);
        skeleton->SetSkeletonType(KQoxSkeleton::eLIMB);
        skeleton->SetLimbLength(2.5);
        KQoxLight* light = manager.CreateKQoxLight();
        KQoxNode* lamp = manager.CreateKQoxNode("Lamp");
        lamp->SetNodeAttribute(light);
        light->SetLightType(KQoxLight::eSPOT);
        light->SetGroundProjection(true);
        light->SetFileName("gobo.tif");
        light->SetDefaultIntensity(75.5);
        light->SetDefaultConeAngle(33);
        KQoxCamera* camera = manager.CreateKQoxCamera();
        KQoxNode* eye = manager.CreateKQoxNode("Eye");
        eye->SetNodeAttribute(camera);
        camera->SetDefaultFieldOfView(62.5);
        camera->SetPosition(KQoxVector4(1, 2, 3));
        KQoxMarker* marker = manager.CreateKQoxMarker();
        KQoxNode* dot = manager.CreateKQoxNode("Dot");
        dot->SetNodeAttribute(marker);
        marker->SetType(KQoxMarker::eIK_EFFECTOR);
        marker->SetSize(4);
        KQoxNode* empty = manager.CreateKQoxNode("Empty");
        empty->SetNodeAttribute(manager.CreateKQoxNull());
        static_cast<KQoxNull*>(empty->GetNodeAttribute())->SetSize(12);
        KQoxNode* optical = manager.CreateKQoxNode("Optical");
        optical->SetNodeAttribute(manager.CreateKQoxOpticalReference());
        KQoxNode* switching = manager.CreateKQoxNode("Switching");
        KQoxCameraSwitcher* switcher = manager.CreateKQoxCameraSwitcher();
        switching->SetNodeAttribute(switcher);
        switcher->AddCameraName("Model::Eye");
        switcher->AddCameraName("Model::Other");
        switcher->SetDefaultCameraIndex(1);
        for (KQoxNode* node : {lamp, eye, dot, empty, optical, switching})
            scene.GetRootNode()->AddChild(node);
    }
    // A bind pose of two nodes, one matrix local.
    {
        KQoxPose* pose = manager.CreateKQoxPose("Bind", true);
        KQoxMatrix matrix;
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
                matrix.Set(r, c, r * 4 + c + 0.5);
        pose->Add("Model::Hips", matrix, false);
        pose->Add("Model::Spine", matrix, true);
        scene.AddPose(pose);
        scene.AddPose(manager.CreateKQoxPose("Rest", false));
    }
    // A generic node with a user property of its own.
    {
        KQoxGenericNode* solver = manager.CreateKQoxGenericNode("Solver");
        KQoxUserProperty* strength = manager.CreateKQoxUserProperty("Strength", "Real", "Strength");
        solver->AddProperty(strength);
        strength->GetKProperty()->SetDouble(0.75);
        scene.GetEntity()->AddGenericNode(solver);
    }
    // A second branch under the root.
    KQoxNode* side = manager.CreateKQoxNode("Side");
    scene.GetRootNode()->AddChild(side);
    Animate(*side, "Walk", 0.25);

    KQoxTexture* texture = manager.CreateKQoxTexture("Skin");
    texture->SetFileName("/textures/skin.png");
    texture->SetRelativeFileName("skin.png");
    texture->SetMediaName("Video::SkinClip");
    texture->SetCropping(1, 2, 3, 4);
    texture->SetUVTranslation(KQoxVector2(0.25, -0.5));
    texture->SetUVScaling(KQoxVector2(2, 3));
    Animate(*texture, "Walk", 0.5);
    scene.GetEntity()->AddTexture(texture);

    KQoxVideo* video = manager.CreateKQoxVideo("SkinClip");
    video->SetFileName(mediaFile.c_str());
    video->SetRelativeFileName("skin.raw");
    video->SetOffset(KTime(123456789));
    scene.GetEntity()->AddVideo(video);

    KQoxSceneInfo* sceneInfo = manager.CreateKQoxSceneInfo();
    scene.SetSceneInfo(sceneInfo);
    sceneInfo->mTitle = "Title \"quoted\"";
    sceneInfo->mAuthor = "Author\nTwo lines";
    sceneInfo->mComment = "";
    sceneInfo->SetSceneThumbnail(MakeThumbnail(manager, 1));

    KQoxGlobalLightSettings& light = scene.GetGlobalLightSettings();
    light.SetAmbientColor(KQoxColor(0.1, 0.2, 0.3, 1));
    light.SetFogEnable(true);
    light.SetFogDensity(0.5);
    KQoxGlobalLightSettings::KQoxShadowPlane plane;
    plane.mEnable = true;
    plane.mOrigin = KQoxVector4(1, 2, 3, 1);
    light.AddShadowPlane(plane);
    KQoxGlobalTimeSettings::KQoxTimeMarker marker;
    marker.mName = "Start";
    marker.mTime = KTime(46186158000LL);
    marker.mLoop = true;
    scene.GetGlobalTimeSettings().AddTimeMarker(marker);
    scene.GetGlobalTimeSettings().SetCurrentTimeMarker(0);

    for (const char* name : {"Walk", "Run"})
    {
        KQoxTakeInfo info;
        info.Name = name;
        info.Comments = std::string("Comments of ").append(name).c_str();
        info.LocalTimeSpan.Set(KTime(0), KTime(4 * 1539538600LL));
        info.ReferenceTimeSpan.Set(KTime(-1), KTime(46186158000LL * 100));
        if (std::strcmp(name, "Walk") == 0)
            info.SetTakeThumbnail(MakeThumbnail(manager, 7));
        scene.SetTakeInfo(info);
    }
    scene.SetCurrentTake("Walk");
}

namespace {

void ListControlSet(std::ostream& out, KQoxControlSet& set)
{
    out << "  control set " << set.GetType() << " " << set.GetUseAxis() << set.GetLockTransform() << set.GetLock3DPick()
        << "\n";
    KQoxControlSetLink link;
    for (int id = 0; id < kCharacterNodeIdCount; ++id)
        if (set.GetControlSetLink(static_cast<ECharacterNodeId>(id), &link))
            out << "   link " << id << " " << (link.mNode ? link.mNode->GetName() : "-") << " "
                << link.mTemplateName.ToChars() << "\n";
    for (int id = 0; id < kEffectorNodeIdCount; ++id)
    {
        KQoxEffector effector;
        set.GetEffectorSlot(static_cast<EEffectorNodeId>(id), &effector);
        out << "   effector " << id << " " << (effector.mNode ? effector.mNode->GetName() : "-") << " "
            << effector.mShow << effector.mTActive << effector.mRActive << effector.mCandidateTActive
            << effector.mCandidateRActive;
        for (int aux = eFirstEffectorSet; aux <= eLastEffectorSet; ++aux)
        {
            KQoxNode* node = nullptr;
            if (set.GetEffectorAux(static_cast<EEffectorNodeId>(id), &node, static_cast<EEffectorSetId>(aux)) && node)
                out << " aux" << aux << " " << node->GetName();
        }
        out << "\n";
    }
}

} // namespace

void AddEveryKind(KQoxSdkManager& manager, KQoxScene& scene, bool automaticKeys)
{
    KQoxNode* keys = manager.CreateKQoxNode("Keys");
    scene.GetRootNode()->AddChild(keys);
    const long long second = 46186158000LL;
    int take = 0;
    for (const char* name : {"Walk", "Run"})
    {
        KFCurve* curve = keys->CreateTakeNode(name)->GetTranslationX();
        const float sign = take++ ? -1.0f : 1.0f;
        curve->KeyModifyBegin();
        int k = 0;
        auto add = [&] {
            KTime time(k++ * second / 4);
            return curve->KeyAdd(time);
        };
        auto time = [&] { return KTime((k - 1) * second / 4); };
        int i = add();
        curve->KeySet(i, time(), sign * 1.0f, KFCURVE_INTERPOLATION_CONSTANT, 0u);
        i = add();
        curve->KeySet(i, time(), sign * 2.0f, KFCURVE_INTERPOLATION_CONSTANT, 0u);
        curve->KeySetConstantMode(i, KFCURVE_CONSTANT_NEXT);
        i = add();
        curve->KeySet(i, time(), sign * -3.5f, KFCURVE_INTERPOLATION_LINEAR, 0u);
        i = add();
        curve->KeySetTCB(i, time(), sign * 4.0f, 0.25f, -0.5f, 0.75f);
        i = add();
        curve->KeySet(i, time(), sign * 5.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_USER, 1.5f, -2.5f);
        i = add();
        curve->KeySet(i, time(), sign * 6.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_BREAK, 3.0f, -4.0f);
        i = add();
        curve->KeySet(i, time(), sign * 7.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_USER, 0.5f, 0.25f,
                      KFCURVE_WEIGHTED_ALL, 0.125f, 0.625f);
        i = add();
        curve->KeySet(i, time(), sign * 8.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_USER, 0.5f, 0.25f,
                      KFCURVE_WEIGHTED_RIGHT, 0.375f);
        if (automaticKeys)
        {
            i = add();
            curve->KeySet(i, time(), sign * 9.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_AUTO, 0.0f, 0.0f);
            i = add();
            // Its left side is the flat key's: only the next left slope differs.
            curve->KeySet(i, time(), sign * 10.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_AUTO, 0.0f, 2.0f);
            i = add();
            curve->KeySet(i, time(), sign * 11.0f, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_AUTO_BREAK, 1.0f,
                          -1.0f);
        }
        i = add();
        curve->KeySet(i, time(), sign * 12.0f, KFCURVE_INTERPOLATION_LINEAR, 0u);
        curve->KeyModifyEnd();
        curve->SetPreExtrapolation(KFCURVE_EXTRAPOLATION_MIRROR_REPETITION);
        curve->SetPostExtrapolation(KFCURVE_EXTRAPOLATION_KEEP_SLOPE);
    }
    // Pivots and limits of every kind on one node.
    keys->SetRotationOffset(eSOURCE_SET, KQoxVector4(0.5, 0, 0));
    keys->SetScalingPivot(eSOURCE_SET, KQoxVector4(0, -2, 0));
    keys->SetPostRotation(eSOURCE_SET, KQoxVector4(0, 0, 15));
    keys->SetGeometricScaling(eSOURCE_SET, KQoxVector4(2, 2, 2));
    keys->SetRotationOrder(eSOURCE_SET, eEULER_ZYX);
    keys->SetPivotState(eSOURCE_SET, ePIVOT_STATE_ACTIVE);
    keys->GetLimits().SetRotationLimitActive(true);
    keys->GetLimits().SetScalingLimitActive(true);
    keys->GetLimits().mRotationLimits.SetLimitMinActive(true, false, true);
    keys->GetLimits().mRotationLimits.SetLimitMin(KQoxVector4(-90, 0, -45));
    keys->GetLimits().mScalingLimits.SetLimitMaxActive(false, true, false);
    keys->GetLimits().mScalingLimits.SetLimitMax(KQoxVector4(1, 4, 1));

    // Cameras: the scene camera's settings that are no properties, producer
    // views away from their defaults, a scene node as the default camera.
    KQoxCamera* eye = dynamic_cast<KQoxCamera*>(scene.GetRootNode()->FindChild("Eye", true)->GetNodeAttribute());
    eye->SetUpVector(KQoxVector4(0, 0, 1, 1));
    eye->SetDefaultCameraInterestPosition(KQoxVector4(5, 6, 7, 1));
    eye->SetBackgroundMediaName("Video::SkinClip");
    eye->SetBackgroundFileName("back \"ground\".png");
    eye->SetShowInfoOnMoving(false);
    eye->SetShowAudio(true);
    eye->SetAudioColor(KQoxColor(0.25, 0.5, 0.75, 1));
    eye->SetAntialiasingMethod(static_cast<KQoxCamera::ECameraAntialiasingMethod>(1));
    eye->SetSamplingType(static_cast<KQoxCamera::ECameraSamplingType>(2));
    // Aims: the camera at Empty with Dot as its up target, the spot light
    // at Hips turned by its post-target rotation; a third-level node (Head)
    // aims at a node written after it.
    KQoxNode* eyeNode = scene.GetRootNode()->FindChild("Eye", true);
    KQoxNode* lampNode = scene.GetRootNode()->FindChild("Lamp", true);
    eyeNode->SetTarget(scene.GetRootNode()->FindChild("Empty", true));
    eyeNode->SetTargetUp(scene.GetRootNode()->FindChild("Dot", true));
    eyeNode->SetTargetUpVector(KQoxVector4(0, 0, 1, 0));
    lampNode->SetTarget(scene.GetRootNode()->FindChild("Hips", true));
    lampNode->SetPostTargetRotation(KQoxVector4(0, 90, -0.0, 1e-300));
    scene.GetRootNode()->FindChild("Head", true)->SetTarget(keys);
    // The scene's camera switcher: two cameras, switched in the Walk take.
    KQoxCameraSwitcher* switcher = dynamic_cast<KQoxCameraSwitcher*>(scene.GetCameraSwitcher()->GetNodeAttribute());
    switcher->AddCameraName("Model::Eye");
    switcher->AddCameraName("Producer Top");
    KQoxTakeNode* switching = scene.GetCameraSwitcher()->CreateTakeNode("Walk");
    KFCurve* index = switching->GetCameraIndex();
    index->KeyModifyBegin();
    index->KeySet(index->KeyAdd(KTime(0)), KTime(0), 1.0f, KFCURVE_INTERPOLATION_CONSTANT, 0u);
    index->KeySet(index->KeyAdd(KTime(46186158000LL)), KTime(46186158000LL), 0.0f, KFCURVE_INTERPOLATION_CONSTANT, 0u);
    index->KeyModifyEnd();
    KQoxGlobalCameraSettings& cameras = scene.GetGlobalCameraSettings();
    cameras.GetCameraProducerTop()->SetPosition(KQoxVector4(0, 1234.5, 0, 1));
    cameras.GetCameraProducerTop()->GetPropertyHandler()->NearPlaneSet(2.5);
    cameras.GetCameraProducerLeft()->SetUpVector(KQoxVector4(0, -1, 0, 1));
    cameras.GetCameraProducerPerspective()->SetDisplaySafeAreaOnRender(true);
    cameras.SetDefaultCamera("Eye");
    cameras.SetDefaultViewingMode(KQoxGlobalCameraSettings::eXRAY);

    KQoxCharacter* character = scene.GetCharacter(scene.CreateCharacter("Hero"));
    KQoxFilterSet* filterSet = character->GetFilterSet();
    filterSet->SetParameterValue(KQoxFilterSet::GetParameterIndex("ChestReduction"), 0.375);
    filterSet->SetParameterValue(KQoxFilterSet::GetParameterIndex("NeckReduction"), DBL_MAX);
    for (int i = 0; i < KQoxFilterSet::GetParameterCount(); ++i)
        if (KQoxFilterSet::GetParameterModeType(i) == 2)
        {
            filterSet->SetParameterMode(i, KQoxFilterSet::GetParameterDefaultMode(i) == 2 ? 0 : 2);
            break;
        }
    character->GetProperties()->FilterSetToProperties();
    // Links in two groups and two of the ids in no group, one without a node.
    KQoxCharacterLink link;
    link.mNode = scene.GetRootNode()->GetChild(0);
    link.mOffsetT = KQoxVector4(1, 2, 3, 1);
    link.mOffsetR = KQoxVector4(0, 90, 0, 1);
    character->SetCharacterLink(eCharacterHips, link);
    link.mNode = keys;
    link.mTemplateName = "Finger \"one\"";
    link.mOffsetS = KQoxVector4(2, 2, 2, 1);
    character->SetCharacterLink(eCharacterLeftHandIndex2, link);
    link.mNode = scene.GetRootNode()->GetChild(1);
    link.mTemplateName = "";
    character->SetCharacterLink(eCharacterReference, link);
    link.mNode = nullptr;
    link.mTemplateName = "Floor";
    link.mOffsetT = KQoxVector4(-DBL_MAX, 0, 1e-310, 1);
    character->SetCharacterLink(eCharacterLeftFloor, link);

    // Its control set: a type no table names (carried unchanged), links,
    // an effector with flags of its own, auxiliary nodes; and a plug made
    // from it.
    KQoxControlSet* set = character->GetControlSet();
    set->SetType(static_cast<KQoxControlSet::EType>(7));
    set->SetUseAxis(true);
    set->SetLock3DPick(true);
    KQoxControlSetLink controlLink;
    controlLink.mNode = keys;
    controlLink.mTemplateName = "Template";
    set->SetControlSetLink(eCharacterHips, controlLink);
    controlLink.mNode = nullptr;
    set->SetControlSetLink(eCharacterLeftFloor, controlLink);
    KQoxEffector effector;
    effector.mNode = scene.GetRootNode()->GetChild(0);
    effector.mShow = false;
    effector.mRActive = true;
    effector.mCandidateTActive = true;
    set->SetEffector(static_cast<EEffectorNodeId>(3), effector);
    set->SetEffectorAux(static_cast<EEffectorNodeId>(3), keys, static_cast<EEffectorSetId>(1));
    set->SetEffectorAux(static_cast<EEffectorNodeId>(3), scene.GetRootNode()->GetChild(1),
                        static_cast<EEffectorSetId>(2));
    effector.mNode = nullptr;
    effector.mTActive = true;
    set->SetEffector(static_cast<EEffectorNodeId>(9), effector);
    KQoxControlSetPlug* plug = scene.GetControlSetPlug(scene.CreateControlSetPlug("Rig"));
    set->ToPlug(plug);
    // User properties with values of their own on the character and the plug.
    KQoxUserProperty* reach = manager.CreateKQoxUserProperty("Reach", "Vector", "Arm reach");
    reach->ModifyFlag(KQoxUserProperty::eANIMATABLE, true);
    reach->SetLimits(-10, 10);
    character->AddProperty(reach);
    reach->SetDefaultValue(1.5, -2.0, 0.125);
    KQoxUserProperty* crouch = manager.CreateKQoxUserProperty("Crouch", "Bool", "");
    crouch->ModifyFlag(KQoxUserProperty::eUSER, true);
    character->AddProperty(crouch);
    crouch->SetDefaultValue(true);
    KQoxUserProperty* stiffness = manager.CreateKQoxUserProperty("Stiffness", "Real", "Rig stiffness");
    stiffness->ModifyFlag(KQoxUserProperty::eANIMATABLE, true);
    plug->AddProperty(stiffness);
    stiffness->SetDefaultValue(0.625);
    KQoxUserProperty* tint = manager.CreateKQoxUserProperty("Tint", "Color", "Tint");
    plug->AddProperty(tint);
    tint->SetDefaultValue(KQoxColor(0.25, 0.5, 0.75, 1));
    KQoxUserProperty* steps = manager.CreateKQoxUserProperty("Steps", "Integer", "Steps");
    plug->AddProperty(steps);
    steps->SetDefaultValue(7);

    // A hidden node; a texture of the scene's (listed first) also used by
    // a mesh layer after one only that layer uses.
    scene.GetRootNode()->FindChild("Lamp", true)->SetVisibility(false);
    KQoxMesh* mesh = dynamic_cast<KQoxMesh*>(scene.GetRootNode()->FindChild("Spine", true)->GetNodeAttribute());
    KQoxLayerElementTexture* textures = new KQoxLayerElementTexture;
    textures->mMappingMode = KQoxLayerElement::eBY_POLYGON;
    textures->mReferenceMode = KQoxLayerElement::eINDEX_TO_DIRECT;
    textures->mDirectArray.Add(manager.CreateKQoxTexture("Decal"));
    textures->mDirectArray.Add(dynamic_cast<KQoxTexture*>(scene.GetEntity()->GetTexture(0)));
    textures->mIndexArray.Add(1);
    textures->mIndexArray.Add(0);
    mesh->GetLayer(0)->SetTextures(textures);

    // A character pose: two nodes of its own scene, its character linked to
    // them, a key on one of them.
    KQoxCharacterPose* pose = scene.GetCharacterPose(scene.CreateCharacterPose("Stance"));
    KQoxScene& poseScene = *pose->GetScene();
    KQoxNode* poseHips = manager.CreateKQoxNode("PoseHips");
    KQoxNode* poseSpine = manager.CreateKQoxNode("PoseSpine");
    poseScene.GetRootNode()->AddChild(poseHips);
    poseHips->AddChild(poseSpine);
    poseHips->SetDefaultT(KQoxVector4(0, 95.5, 0));
    poseSpine->SetDefaultR(KQoxVector4(5, 0, -7.25));
    // Targets are positions in the pose's own scene.
    poseHips->SetTargetUp(poseSpine);
    KQoxCharacterLink poseLink;
    poseLink.mNode = poseHips;
    poseLink.mOffsetR = KQoxVector4(0, 0, 90, 1);
    pose->GetCharacter()->SetCharacterLink(eCharacterHips, poseLink);
    poseLink.mNode = poseSpine;
    pose->GetCharacter()->SetCharacterLink(eCharacterSpine, poseLink);
    pose->GetCharacter()->GetFilterSet()->SetParameterValue(KQoxFilterSet::GetParameterIndex("ChestReduction"), 0.625);
    pose->GetCharacter()->GetProperties()->FilterSetToProperties();
}

void MergeTimeWarps(KQoxSdkManager& manager, KQoxScene& source)
{
    KQoxFileScene scene(manager);
    scene.Gather(source);
    std::vector<KQoxTakeNodeContainer*> objects;
    std::vector<KQoxNode*> pending;
    if (scene.mRoot)
        pending.push_back(scene.mRoot);
    while (!pending.empty())
    {
        KQoxNode* node = pending.back();
        pending.pop_back();
        objects.push_back(node);
        for (int i = 0; i < node->GetChildCount(); ++i)
            pending.push_back(node->GetChild(i));
    }
    objects.insert(objects.end(), scene.mGenericNodes.begin(), scene.mGenericNodes.end());
    objects.insert(objects.end(), scene.mMaterials.begin(), scene.mMaterials.end());
    objects.insert(objects.end(), scene.mTextures.begin(), scene.mTextures.end());
    objects.insert(objects.end(), scene.mVideos.begin(), scene.mVideos.end());
    if (source.GetCameraSwitcher())
        objects.push_back(source.GetCameraSwitcher());
    long long budget = KFCURVE_TIMEWARP_MERGE_BUDGET;
    for (KQoxTakeNodeContainer* object : objects)
        for (int t = 0; t < object->GetTakeNodeCount(); ++t)
            KFCurve_MergeTimeWarps(object->GetTakeNode(t)->GetKFCurveNode(), budget);
    for (int p = 0; p < source.GetCharacterPoseCount(); ++p)
        if (KQoxCharacterPose* pose = source.GetCharacterPose(p))
            if (pose->GetScene())
                MergeTimeWarps(manager, *pose->GetScene());
}

std::string ListScene(KQoxSdkManager& manager, KQoxScene& source, int digits)
{
    gDigits = digits;
    KQoxFileScene scene(manager);
    scene.Gather(source);
    std::ostringstream out;
    std::vector<std::pair<KQoxNode*, int>> pending;
    if (scene.mRoot)
        for (int i = scene.mRoot->GetChildCount() - 1; i >= 0; --i)
            pending.push_back({scene.mRoot->GetChild(i), 0});
    while (!pending.empty())
    {
        KQoxNode* node = pending.back().first;
        int depth = pending.back().second;
        pending.pop_back();
        EPivotState state;
        node->GetPivotState(eSOURCE_SET, state);
        out << "node " << depth << " " << node->GetName() << " shading " << node->GetShadingMode() << " culling "
            << node->GetCullingType() << " multilayer " << node->GetMultiLayer() << " multitake "
            << node->GetMultiTakeMode() << " pivotstate " << state << " tlimit "
            << node->GetLimits().GetTranslationLimitActive() << "\n";
        ListTargets(out, *node);
        node->UpdatePropertiesFromPivotsAndLimits();
        ListUserProperties(out, *node);
        if (KQoxGeometry* geometry = dynamic_cast<KQoxGeometry*>(node->GetNodeAttribute()))
            ListMesh(out, *geometry);
        else if (KQoxNodeAttribute* attribute = node->GetNodeAttribute())
            ListAttribute(out, *attribute);
        ListProperties(out, node->GetPropertyHandler());
        ListTakes(out, *node);
        for (int i = node->GetChildCount() - 1; i >= 0; --i)
            pending.push_back({node->GetChild(i), depth + 1});
    }
    for (KQoxGenericNode* generic : scene.mGenericNodes)
    {
        out << "generic " << generic->GetName() << " " << generic->GetTypeName().ToChars() << "\n";
        ListUserProperties(out, *generic);
        ListProperties(out, generic->GetPropertyHandler());
    }
    for (KQoxPose* pose : scene.mPoses)
    {
        out << "pose " << pose->GetName() << " bind " << pose->IsBindPose() << "\n";
        for (int i = 0; i < pose->GetCount(); ++i)
        {
            out << "  " << pose->GetNodeName(i).ToChars() << " local " << pose->IsLocalMatrix(i);
            for (int k = 0; k < 16; ++k)
                out << " " << Listed(static_cast<const double*>(pose->GetMatrix(i))[k]);
            out << "\n";
        }
    }
    for (KQoxMaterial* material : scene.mMaterials)
    {
        out << "material " << material->GetName() << " " << material->GetShadingModel() << " "
            << material->GetMultiLayer() << "\n";
        ListProperties(out, material->GetPropertyHandler());
        ListTakes(out, *material);
    }
    for (KQoxTexture* texture : scene.mTextures)
    {
        out << "texture " << texture->GetName() << " " << texture->GetFileName() << " "
            << texture->GetRelativeFileName() << " " << texture->GetMediaName() << " crop "
            << texture->GetCroppingLeft() << texture->GetCroppingTop() << texture->GetCroppingRight()
            << texture->GetCroppingBottom() << " uv " << Listed(texture->GetUVTranslation()[0]) << " "
            << Listed(texture->GetUVTranslation()[1]) << " " << Listed(texture->GetUVScaling()[0]) << " "
            << Listed(texture->GetUVScaling()[1]) << " mapping " << texture->GetMappingType() << " "
            << texture->GetPlanarMappingNormal() << " alpha " << texture->GetAlphaSource() << "\n";
        ListUserProperties(out, *texture);
        ListProperties(out, texture->GetPropertyHandler());
        ListTakes(out, *texture);
    }
    for (KQoxVideo* video : scene.mVideos)
    {
        out << "video " << video->GetName() << " " << video->GetRelativeFileName() << " offset "
            << video->GetOffset().Get() << "\n";
        ListProperties(out, video->GetPropertyHandler(), "Path");
        ListTakes(out, *video);
    }
    if (KQoxSceneInfo* info = scene.mSceneInfo)
    {
        out << "info " << info->mTitle.ToChars() << "|" << info->mSubject.ToChars() << "|" << info->mAuthor.ToChars()
            << "|" << info->mKeywords.ToChars() << "|" << info->mRevision.ToChars() << "|" << info->mComment.ToChars()
            << "\n";
        ListThumbnail(out, info->GetSceneThumbnail());
    }
    KQoxGlobalLightSettings& light = scene.mLightSettings;
    out << "light " << Listed(light.GetAmbientColor().mRed) << " " << Listed(light.GetAmbientColor().mBlue) << " fog "
        << light.GetFogEnable() << " " << light.GetFogMode() << " " << Listed(light.GetFogDensity()) << " "
        << Listed(light.GetFogStart()) << " " << Listed(light.GetFogEnd()) << " shadow " << light.GetShadowEnable()
        << " " << Listed(light.GetShadowIntensity()) << " planes " << light.GetShadowPlaneCount() << "\n";
    for (int i = 0; i < light.GetShadowPlaneCount(); ++i)
        out << "  plane " << light.GetShadowPlane(i)->mEnable << " " << Listed(light.GetShadowPlane(i)->mOrigin[2])
            << "\n";
    KQoxGlobalTimeSettings& time = scene.mTimeSettings;
    out << "time " << time.GetTimeMode() << " " << time.GetTimeProtocol() << " " << time.GetSnapOnFrameMode()
        << " current marker " << time.GetCurrentTimeMarker() << "\n";
    for (int i = 0; i < time.GetTimeMarkerCount(); ++i)
        out << "  marker " << time.GetTimeMarker(i)->mName.ToChars() << " " << time.GetTimeMarker(i)->mTime.Get() << " "
            << time.GetTimeMarker(i)->mLoop << "\n";
    for (const std::unique_ptr<KQoxTakeInfo>& info : scene.mTakeInfos)
    {
        out << "takeinfo " << info->Name.ToChars() << "|" << info->Comments.ToChars() << "|"
            << info->LocalTimeSpan.GetStart().Get() << "|" << info->LocalTimeSpan.GetStop().Get() << "|"
            << info->ReferenceTimeSpan.GetStart().Get() << "|" << info->ReferenceTimeSpan.GetStop().Get() << "\n";
        ListThumbnail(out, info->GetTakeThumbnail());
    }
    out << "current take " << scene.mCurrentTakeName.ToChars() << "\n";
    if (KQoxNode* switching = source.GetCameraSwitcher())
    {
        out << "camera switcher\n";
        if (KQoxNodeAttribute* attribute = switching->GetNodeAttribute())
            ListAttribute(out, *attribute);
        ListTakes(out, *switching);
    }
    KQoxGlobalCameraSettings& cameras = source.GetGlobalCameraSettings();
    out << "cameras default " << cameras.GetDefaultCamera() << " mode " << cameras.GetDefaultViewingMode() << "\n";
    for (int i = 0; i < KQoxGlobalCameraSettings::ePRODUCER_COUNT; ++i)
    {
        out << " producer " << cameras.GetProducerNode(i)->GetName() << "\n";
        ListProperties(out, cameras.GetProducerCamera(i)->GetPropertyHandler());
        ListCameraFields(out, *cameras.GetProducerCamera(i));
    }
    for (int c = 0; c < source.GetCharacterCount(); ++c)
    {
        KQoxCharacter* character = source.GetCharacter(c);
        out << "character " << character->GetName() << "\n ";
        KQoxFilterSet* filterSet = character->GetFilterSet();
        for (int i = 0; i < KQoxFilterSet::GetParameterCount(); ++i)
            out << " " << filterSet->GetParameterMode(i) << ":" << Listed(filterSet->GetParameterValue(i));
        out << "\n";
        ListAddedUserProperties(out, *character);
        ListProperties(out, character->GetPropertyHandler());
        for (int id = 0; id < kCharacterNodeIdCount; ++id)
        {
            KQoxCharacterLink link;
            if (!character->GetCharacterLink(static_cast<ECharacterNodeId>(id), &link))
                continue;
            out << "  link " << id << " " << (link.mNode ? link.mNode->GetName() : "-") << " template "
                << link.mTemplateName.ToChars();
            for (const KQoxVector4* v : {&link.mOffsetT, &link.mOffsetR, &link.mOffsetS})
                for (int k = 0; k < 4; ++k)
                    out << " " << Listed((*v)[k]);
            out << "\n";
        }
        ListControlSet(out, *character->GetControlSet());
    }
    for (int p = 0; p < source.GetControlSetPlugCount(); ++p)
    {
        KQoxControlSetPlug* plug = source.GetControlSetPlug(p);
        KQoxControlSetPlugProperties* properties = plug->GetProperties();
        out << "plug " << plug->GetName() << " axis " << properties->UseAxisGet() << " type "
            << properties->ControlSetTypeGet() << "\n";
        ListUserProperties(out, *plug);
        ListProperties(out, plug->GetPropertyHandler());
        auto list = [&out](KPropertyObjectList* objects) {
            if (objects->GetCount() == 0)
                return;
            out << "  " << objects->GetPropertyName();
            for (int i = 0; i < objects->GetCount(); ++i)
            {
                KQoxPropertyHandler* handler = dynamic_cast<KQoxPropertyHandler*>(objects->GetAt(i));
                out << " " << (handler && handler->GetKQoxObject() ? handler->GetKQoxObject()->GetName() : "?");
            }
            out << "\n";
        };
        for (int i = 0; i < properties->GetLinkListCount(); ++i)
            list(properties->GetLinkList(i));
        for (int i = 0; i < properties->GetEffectorListCount(); ++i)
            list(properties->GetEffectorList(i));
    }
    for (int p = 0; p < source.GetCharacterPoseCount(); ++p)
    {
        KQoxCharacterPose* pose = source.GetCharacterPose(p);
        out << "character pose " << pose->GetName() << " {\n"
            << (pose->GetScene() ? ListScene(manager, *pose->GetScene(), digits) : "") << "}\n";
    }
    EXPECT_TRUE(out.good()) << "the listing stopped early";
    return out.str();
}

std::string ManagerCounts(KQoxSdkManager& manager)
{
    std::ostringstream out;
    out << "scenes " << manager.GetKQoxSceneCount() << " nodes " << manager.GetKQoxNodeCount() << " attributes "
        << manager.GetKQoxNodeAttributeCount() << " links " << manager.GetKQoxLinkCount() << " materials "
        << manager.GetKQoxMaterialCount() << " shapes " << manager.GetKQoxShapeCount() << " textures "
        << manager.GetKQoxTextureCount() << " videos " << manager.GetKQoxVideoCount() << " poses "
        << manager.GetKQoxPoseCount() << " user properties " << manager.GetKQoxUserPropertyCount() << " thumbnails "
        << manager.GetKQoxThumbnailCount() << " scene infos " << manager.GetKQoxSceneInfoCount() << " generic nodes "
        << manager.GetKQoxGenericNodeCount() << " deformers " << manager.GetKQoxDeformerCount();
    return out.str();
}

void NameExtractedSkin(KQoxScene& scene, const std::string& name)
{
    KQoxTexture* skin = static_cast<KQoxTexture*>(scene.GetEntity()->GetTexture(KString("Texture::Skin")));
    ASSERT_NE(skin, nullptr);
    const std::string relative = ExtractFileName(name.c_str(), true).ToChars() + std::string(".media/skin.raw");
    skin->SetFileName((name + ".media/skin.raw").c_str());
    skin->SetRelativeFileName(relative.c_str());
}

bool Export(KQoxSdkManager& manager, KQoxScene& scene, const std::string& name, int format, const char* password)
{
    KQoxExporter exporter(manager);
    EXPECT_TRUE(exporter.Initialize(name.c_str()));
    EXPECT_TRUE(exporter.SetFileFormat(format));
    if (password)
        exporter.SetPassword(password);
    const bool ok = exporter.Export(scene);
    EXPECT_TRUE(ok) << exporter.GetLastErrorString();
    return ok;
}

bool Import(KQoxSdkManager& manager, KQoxScene& scene, const std::string& name)
{
    KQoxImporter importer(manager);
    const bool ok = importer.Initialize(name.c_str()) && importer.Import(scene);
    EXPECT_TRUE(ok) << importer.GetLastErrorString();
    return ok;
}

Block BlockAt(const std::string& text, size_t from, const std::string& head, size_t limit)
{
    const size_t begin = text.find(head, from);
    if (begin == std::string::npos)
        return {std::string::npos, std::string::npos};
    const size_t end = std::min(limit, text.size());
    size_t at = text.find('{', begin);
    int depth = 0;
    for (; at < end; ++at)
    {
        if (text[at] == '{')
            ++depth;
        else if (text[at] == '}' && --depth == 0)
            break;
    }
    return {begin, at + 1};
}

void SwapBlocks(std::string& text, Block first, Block second)
{
    const std::string firstText = text.substr(first.first, first.second - first.first);
    const std::string secondText = text.substr(second.first, second.second - second.first);
    text.replace(second.first, secondText.size(), firstText);
    text.replace(first.first, firstText.size(), secondText);
}

bool ReplaceIn(std::string& text, Block block, const std::string& from, const std::string& to)
{
    const size_t at = text.find(from, block.first);
    if (block.first == std::string::npos || at == std::string::npos || at + from.size() > block.second)
        return false;
    text.replace(at, from.size(), to);
    return true;
}

void ImportReporting(KQoxSdkManager& manager, KQoxScene& scene, const std::string& name, ReadOutcome& out)
{
    KQoxImporter importer(manager);
    out.mRead = importer.Initialize(name.c_str()) && importer.Import(scene);
    out.mErrorID = importer.GetLastErrorID();
    out.mError = importer.GetLastErrorString();
}

void ExpectSameOutcome(const ReadOutcome& expected, const ReadOutcome& actual)
{
    EXPECT_EQ(expected.mRead, actual.mRead);
    EXPECT_EQ(expected.mErrorID, actual.mErrorID);
    EXPECT_EQ(expected.mError, actual.mError);
    EXPECT_EQ(expected.mListing, actual.mListing);
    // Not EXPECT_EQ: a differing file would print megabytes.
    EXPECT_TRUE(expected.mWritten == actual.mWritten);
}

bool Unchanged(std::string&)
{
    return true;
}

void ForEachEdit(const std::string& text, const TextEdit* edits, size_t count, const std::string& edited,
                 const std::function<void(size_t)>& check)
{
    for (size_t i = 0; i < count && !::testing::Test::HasFatalFailure(); ++i)
    {
        SCOPED_TRACE(edits[i].mName);
        std::string changed = text;
        ASSERT_TRUE(edits[i].mEdit(changed));
        ASSERT_TRUE(qoxtest::WriteFile(edited, changed));
        check(i);
    }
}

void ForEachDamage(const std::string& bytes, size_t begin, size_t end, const std::string& damaged,
                   const std::function<bool(size_t at, int kind)>& tried, const std::function<void()>& check)
{
    for (size_t at = begin; at < end && !::testing::Test::HasFatalFailure(); ++at)
    {
        SCOPED_TRACE(at);
        for (int kind = 0; kind < 3 && !::testing::Test::HasFatalFailure(); ++kind)
        {
            if (!tried(at, kind))
                continue;
            std::string changed = bytes;
            if (kind == 0)
                changed[at] = static_cast<char>(changed[at] ^ 0xFF);
            else if (kind == 1)
                changed[at] = static_cast<char>(changed[at] + 1);
            else
                changed.resize(at);
            ASSERT_TRUE(qoxtest::WriteFile(damaged, changed));
            check();
        }
    }
}

unsigned long long LE(const std::string& bytes, size_t at, int n)
{
    unsigned long long v = 0;
    for (int i = n - 1; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(bytes[at + static_cast<size_t>(i)]);
    return v;
}

size_t RecordEnd(const std::string& bytes, size_t at)
{
    const size_t length = static_cast<size_t>(LE(bytes, at + 1, 2));
    return at + kHead + length + LE(bytes, at + 3 + length + 4, 8) + LE(bytes, at + 3 + length + 12, 8);
}

std::vector<size_t> ObjectBoundaries(const std::string& bytes)
{
    const std::string name = std::string("S") + '\x07' + '\x00' + "Objects";
    const size_t section = bytes.find(name);
    std::vector<size_t> out;
    if (section == std::string::npos)
        return out;
    size_t at = section + kHead + 7 + LE(bytes, section + 3 + 7 + 4, 8);
    while (at < bytes.size() && bytes[at] != 0)
    {
        out.push_back(at);
        at = RecordEnd(bytes, at);
    }
    out.push_back(at);
    return out;
}

void Reseal(std::string& bytes)
{
    const unsigned char* data = reinterpret_cast<const unsigned char*>(bytes.data());
    const unsigned int crc = ~kcrc::Update(0xFFFFFFFFu, data, bytes.size() - 4);
    for (int i = 0; i < 4; ++i)
        bytes[bytes.size() - 4 + static_cast<size_t>(i)] = static_cast<char>(crc >> (24 - 8 * i));
}

namespace {

FieldValue ReadFieldValue(KQox& f)
{
    FieldValue v;
    v.mType = f.FieldReadGetType();
    switch (v.mType)
    {
    case 'C': v.mInt = f.FieldReadCH(); break;
    case 'I': v.mInt = f.FieldReadI(); break;
    case 'L': v.mInt = f.FieldReadL(); break;
    case 'F':
    case 'D': v.mDouble = f.FieldReadD(); break;
    case 'R':
        v.mBytes.resize(static_cast<size_t>(f.FieldReadRSize()));
        f.FieldReadR(&v.mBytes[0], v.mBytes.size());
        break;
    case 'b':
    case 'i':
    case 'l':
        v.mIntegers.resize(static_cast<size_t>(f.FieldReadArrayCount()));
        f.FieldReadArrayL(v.mIntegers.data(), v.mIntegers.size());
        break;
    case 'f':
    case 'd':
        v.mReals.resize(static_cast<size_t>(f.FieldReadArrayCount()));
        f.FieldReadArrayD(v.mReals.data(), v.mReals.size());
        break;
    default: v.mBytes = f.FieldReadC(); break;
    }
    return v;
}

void WriteFieldValue(KQox& f, const FieldValue& v)
{
    const size_t n = v.mType == 'f' || v.mType == 'd' ? v.mReals.size() : v.mIntegers.size();
    switch (v.mType)
    {
    case 'C': f.FieldWriteCH(static_cast<char>(v.mInt)); break;
    case 'I': f.FieldWriteI(static_cast<int>(v.mInt)); break;
    case 'L': f.FieldWriteL(v.mInt); break;
    case 'F': f.FieldWriteF(static_cast<float>(v.mDouble)); break;
    case 'D': f.FieldWriteD(v.mDouble); break;
    case 'R': f.FieldWriteR(v.mBytes.data(), v.mBytes.size()); break;
    case 'b':
    {
        std::vector<unsigned char> items(v.mIntegers.begin(), v.mIntegers.end());
        f.FieldWriteArrayB(items.data(), static_cast<unsigned int>(n));
        break;
    }
    case 'i':
    {
        std::vector<int> items(v.mIntegers.begin(), v.mIntegers.end());
        f.FieldWriteArrayI(items.data(), static_cast<unsigned int>(n));
        break;
    }
    case 'l': f.FieldWriteArrayL(v.mIntegers.data(), static_cast<unsigned int>(n)); break;
    case 'f':
    {
        std::vector<float> items(v.mReals.begin(), v.mReals.end());
        f.FieldWriteArrayF(items.data(), static_cast<unsigned int>(n));
        break;
    }
    case 'd': f.FieldWriteArrayD(v.mReals.data(), static_cast<unsigned int>(n)); break;
    default: f.FieldWriteC(v.mBytes.c_str()); break;
    }
}

// The records of the current list, in file order.
void ReadFieldList(KQox& f, std::vector<FieldRecord>& out)
{
    const int count = f.FieldReadGetRecordCount();
    for (int i = 0; i < count; ++i)
    {
        FieldRecord r;
        bool section = false;
        r.mName = f.FieldReadGetRecordName(i, &section);
        r.mSection = section;
        if (section)
        {
            if (!f.ProjectReadSectionBegin(r.mName.c_str()))
                return;
            r.mVersion = f.ProjectGetCurrentSectionVersion();
            r.mBlock = true;
            ReadFieldList(f, r.mRecords);
            f.ProjectReadSectionEnd();
        }
        else
        {
            if (!f.FieldReadBegin(r.mName.c_str()))
                return;
            while (f.FieldReadGetRemain() > 0)
                r.mValues.push_back(ReadFieldValue(f));
            if (f.FieldReadBlockBegin())
            {
                r.mBlock = true;
                ReadFieldList(f, r.mRecords);
                f.FieldReadBlockEnd();
            }
            f.FieldReadEnd();
        }
        out.push_back(std::move(r));
    }
}

void WriteFieldList(KQox& f, const std::vector<FieldRecord>& list)
{
    for (const FieldRecord& r : list)
    {
        if (r.mSection)
        {
            f.ProjectWriteSectionBegin(r.mName.c_str(), r.mVersion);
            WriteFieldList(f, r.mRecords);
            f.ProjectWriteSectionEnd();
            continue;
        }
        f.FieldWriteBegin(r.mName.c_str());
        for (const FieldValue& v : r.mValues)
            WriteFieldValue(f, v);
        if (r.mBlock)
        {
            f.FieldWriteBlockBegin();
            WriteFieldList(f, r.mRecords);
            f.FieldWriteBlockEnd();
        }
        f.FieldWriteEnd();
    }
}

std::vector<FieldRecord> EditList(const std::vector<FieldRecord>& list, const std::string& path, const RecordEdit& edit,
                                  int& index)
{
    std::vector<FieldRecord> out;
    for (const FieldRecord& r : list)
    {
        const int times = r.mSection ? 1 : edit(r, path, index++);
        FieldRecord copy = r;
        copy.mRecords = EditList(r.mRecords, path.empty() ? r.mName : path + "/" + r.mName, edit, index);
        for (int t = 0; t < times; ++t)
            out.push_back(copy);
    }
    return out;
}

} // namespace

bool ReadFieldFile(const std::string& name, const char* password, FieldFile& out)
{
    KQox f;
    if (!f.ProjectOpen(name.c_str(), password))
        return false;
    out.mForm = f.ProjectGetForm();
    out.mVersion = f.ProjectGetFileVersion();
    out.mRecords.clear();
    ReadFieldList(f, out.mRecords);
    const bool ok = f.GetLastErrorID() != KQox::eFILE_CORRUPTED;
    f.ProjectClose();
    return ok;
}

namespace {

// Bytes enough for the records in any form.
size_t Room(const std::vector<FieldRecord>& list)
{
    size_t bytes = 0;
    for (const FieldRecord& r : list)
    {
        bytes += 64 + 2 * r.mName.size() + Room(r.mRecords);
        for (const FieldValue& v : r.mValues)
            bytes += 48 + 2 * v.mBytes.size() + 32 * (v.mIntegers.size() + v.mReals.size());
    }
    return bytes;
}

} // namespace

bool WriteFieldFile(const std::string& name, const char* password, const FieldFile& file)
{
    // Made in memory, then written plainly: edited copies are many.
    std::vector<char> buffer(Room(file.mRecords) + 4096);
    KQox f;
    if (!f.ProjectCreate(buffer.data(), static_cast<unsigned int>(buffer.size()), static_cast<KQox::EForm>(file.mForm),
                         file.mVersion, password))
        return false;
    WriteFieldList(f, file.mRecords);
    if (!f.ProjectClose())
        return false;
    return qoxtest::WriteFile(name, std::string(buffer.data(), static_cast<size_t>(f.ProjectGetFileSize())));
}

std::vector<FieldRecord> EditRecords(const std::vector<FieldRecord>& list, const RecordEdit& edit)
{
    int index = 0;
    return EditList(list, "", edit, index);
}

int PpmConverter(int mode, KString& fileName, ImageConverterBuffer& buffer)
{
    if (mode == 0)
    {
        std::string text = qoxtest::ReadFile(fileName.ToChars());
        int width = 0, height = 0, depth = 0, header = 0;
        if (std::sscanf(text.c_str(), "P6 %d %d %d%n", &width, &height, &depth, &header) != 3 || depth != 255)
            return 1;
        const size_t bytes = static_cast<size_t>(width) * height * 3;
        if (text.size() < static_cast<size_t>(header) + 1 + bytes)
            return 1;
        buffer.Init(width, height, true, ImageConverterBuffer::eRGB, 3);
        if (!buffer.mPixels)
            return 1;
        std::copy(text.begin() + header + 1, text.begin() + header + 1 + bytes, buffer.mPixels.get());
        return 0;
    }
    if (buffer.mBytesPerPixel != 3 || !buffer.mPixels)
        return 1;
    std::string out = "P6\n" + std::to_string(buffer.mWidth) + " " + std::to_string(buffer.mHeight) + "\n255\n";
    out.append(reinterpret_cast<const char*>(buffer.mPixels.get()),
               static_cast<size_t>(buffer.mWidth) * buffer.mHeight * 3);
    return qoxtest::WriteFile(fileName.ToChars(), out) ? 0 : 1;
}

} // namespace fileiotest
