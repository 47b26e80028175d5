// Host call sequences as the import makes them, with what its later steps
// read back.
#include "host_test_util.h"

#include <cmath>
#include <limits>

namespace {

using FlowTest = HostTest;
using Strings = std::vector<std::string>;

ZString Quoted(const std::string& text)
{
    return ZString("\"" + text + "\"");
}

TEST_F(FlowTest, NullsAndJointsUnderCreatedParents)
{
    ZStatus st;
    ZFnTransform null;
    ZObject top = null.create(ZObject::kNullObj, &st);
    ASSERT_TRUE(st);
    null.setName("Root");
    ZDagPath topPath;
    ASSERT_TRUE(null.getPath(topPath));
    ZFnDagNode shape;
    ZObject locator = shape.create("locator", top, &st);
    ASSERT_TRUE(st);
    EXPECT_TRUE(locator.hasFn(ZFn::kLocator));

    // A joint at the top goes under the node of an empty path.
    ZFnIkJoint joint;
    ZObject hip = joint.create(ZDagPath().node(), &st);
    ASSERT_TRUE(st);
    joint.setName("hip");
    ZFnIkJoint knee;
    knee.create(hip, &st);
    knee.setName("knee");
    ZDagPath kneePath;
    knee.getPath(kneePath);
    EXPECT_EQ(kneePath.fullPathName().str(), "|hip|knee");
    EXPECT_TRUE(kneePath.isValid());
    ZFnTransform asTransform(kneePath, &st); // a joint serves as a transform
    EXPECT_TRUE(st);

    // The tag attribute is added once and read back.
    ZFnDependencyNode node(kneePath.node());
    if (!node.hasAttribute("pelbrinTypeID"))
    {
        ZFnNumericAttribute tag;
        ZObject attr = tag.create("pelbrinTypeID", "qoxID", ZFnNumericData::kInt, 0.0, &st);
        tag.setHidden(true);
        tag.setConnectable(false);
        ASSERT_TRUE(node.addAttribute(attr, ZFnDependencyNode::kNormalAttr));
    }
    ASSERT_TRUE(node.findPlug("pelbrinTypeID").setValue(5));
    EXPECT_TRUE(node.hasAttribute("qoxID"));
    EXPECT_EQ(node.findPlug("qoxID").asInt(), 5);
}

TEST_F(FlowTest, NumbersInCommandTextsReadBackExactly)
{
    Run("createNode transform -n a; createNode transform -n b -p a");
    const double values[] = {0.1, -0.0, 1e-300, 4.9e-324, 123456789.123456789, -2.5};
    for (double v : values)
    {
        SCOPED_TRACE(v);
        ZString cmd("transformLimits -sx ");
        cmd += v;
        cmd += " ";
        cmd += v;
        cmd += " -esx ";
        cmd += 1;
        cmd += " ";
        cmd += 0;
        cmd += " ";
        cmd += Path("b").fullPathName();
        ZStringArray result;
        ASSERT_TRUE(ZGlobal::executeCommand(cmd, result, false, false));
        EXPECT_EQ(Plug("b", "maxScaleXLimit").asDouble(), v);
        EXPECT_EQ(Plug("b", "minScaleXLimitEnable").asInt(), 1);
    }
    ZString huge("transformLimits -tx ");
    huge += std::numeric_limits<double>::infinity();
    huge += " 1 |a|b";
    EXPECT_FALSE(ZGlobal::executeCommand(huge));
}

TEST_F(FlowTest, LockedAttributesAndTheirDialog)
{
    Run("createNode transform -n t");
    ZPlug plug = ZFnTransform(Node("t")).findPlug("translateX");
    plug.setLocked(true);
    ZStatus attach;
    ZFnAnimCurve curve(plug, &attach);
    EXPECT_EQ(attach.statusCode(), ZStatus::kNotFound);
    ZStatus st;
    curve.create(plug, ZFnAnimCurve::kAnimCurveTL, nullptr, &st);
    EXPECT_FALSE(st);
    EXPECT_TRUE(plug.isLocked());
    zelthost::Host::Get().QueueDialogAnswers({1});
    ZString dialog("confirmDialog -title \"QOX import Warning\" -message ");
    dialog += Quoted(plug.name().str() + ": this attribute is locked. Cannot transfer animation data.\\n\\n");
    dialog += " -button \" Unlock All \" -button \" Unlock \" -button \" Keep All Locked \"";
    ZString pressed;
    ASSERT_TRUE(ZGlobal::executeCommand(dialog, pressed));
    EXPECT_EQ(pressed.str(), " Unlock ");
    ASSERT_TRUE(plug.setLocked(false));
    curve.create(plug, ZFnAnimCurve::kAnimCurveTL, nullptr, &st);
    ASSERT_TRUE(st);
    ASSERT_TRUE(ZFnAnimCurve(plug).addKey(ZTime(0.5, ZTime::kSeconds), 2.0, ZFnAnimCurve::kTangentSmooth,
                                          ZFnAnimCurve::kTangentSmooth) == 0);
    const auto& transcript = zelthost::Host::Get().Transcript();
    EXPECT_EQ(transcript.back().kind, zelthost::TranscriptEntry::kDialog);
    EXPECT_EQ(transcript.back().text, "QOX import Warning | t.translateX: this attribute is locked. Cannot transfer "
                                      "animation data.\n\n | [ Unlock All ][ Unlock ][ Keep All Locked ] ->  Unlock ");
}

TEST_F(FlowTest, TextureNetworkFeedsTheShader)
{
    ZFnPhongShader phong;
    ZObject shader = phong.create(true);
    auto fetch = [](const std::string& name) {
        ZSelectionList list;
        list.clear();
        list.add(ZString(name));
        ZObject object;
        list.getDependNode(0, object);
        return object;
    };
    ZStringArray result;
    ASSERT_TRUE(ZGlobal::executeCommand("shadingNode -at file", result, false, false));
    ZFnDependencyNode file(fetch(result[0].str()));
    ASSERT_TRUE(file.findPlug("fileTextureName").setValue(ZString("/textures/wood.tif")));
    ASSERT_TRUE(ZGlobal::executeCommand("shadingNode -au place2dTexture", result, false, false));
    ZFnDependencyNode place(fetch(result[0].str()));
    ZDGModifier mod;
    mod.connect(place.findPlug("outUV"), file.findPlug("uv"));
    ASSERT_TRUE(mod.doIt());
    ZPlug color = phong.findPlug("color");
    ZPlugArray feeds;
    EXPECT_FALSE(color.connectedTo(feeds, true, false));
    mod.connect(file.findPlug("outColor"), color);
    ASSERT_TRUE(mod.doIt());
    ASSERT_TRUE(place.findPlug("rotateFrame").setValue(1.5707963267948966));
    EXPECT_EQ(Run("getAttr place2dTexture1.rotateFrame"), Strings{"90"});

    // Layered: inputs[1] takes the first texture, its blend mode set by child attribute.
    ASSERT_TRUE(ZGlobal::executeCommand("shadingNode -at layeredTexture", result, false, false));
    ZFnDependencyNode layered(fetch(result[0].str()));
    EXPECT_EQ(layered.setName("layeredTexture0").str(), "layeredTexture0");
    ZPlug element = layered.findPlug("inputs").elementByLogicalIndex(1);
    ZPlug blend = element.child(layered.attribute("blendMode"));
    ASSERT_TRUE(blend.setValue(4));
    ZPlug input = element.child(layered.attribute("color"));
    mod.connect(file.findPlug("outColor"), input);
    ASSERT_TRUE(mod.doIt());
    EXPECT_EQ(layered.findPlug("inputs").numElements(), 1u);
    input.connectedTo(feeds, true, false);
    ASSERT_EQ(feeds.length(), 1u);
    EXPECT_TRUE(feeds[0].attribute() == file.findPlug("outColor").attribute());
    // Nothing checks that the shader's colour is free: the host refuses.
    mod.connect(layered.findPlug("outColor"), color);
    EXPECT_FALSE(mod.doIt());
    EXPECT_EQ(Run("getAttr layeredTexture0.inputs[1].blendMode"), Strings{"4"});
}

TEST_F(FlowTest, WeightedClusterWithItsSetAndBindPreMatrix)
{
    Quad("box");
    Run("createNode joint -n bone");
    Run("select -cl");
    ZStringArray result;
    ASSERT_TRUE(ZGlobal::executeCommand("cluster -n bone -bf -bs 1.0  -wn bone  bone", result, false, false));
    ASSERT_EQ(result.length(), 2u);
    ZSelectionList list;
    list.add(result[0]);
    ZObject cluster;
    ASSERT_TRUE(list.getDependNode(0, cluster));
    ZFnDependencyNode fn(cluster);
    ZPlugArray fed;
    fn.findPlug("message").connectedTo(fed, false, true);
    ASSERT_GE(fed.length(), 1u);
    ZObject set = fed[0].node();
    ASSERT_TRUE(set.hasFn(ZFn::kSet));

    ZPlug pm = fn.findPlug("bindPreMatrix");
    ZObject data;
    ASSERT_TRUE(pm.getValue(data, ZDGContext::fsNormal));
    double m[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {-1, -2, -3, 1}};
    ZFnMatrixData md(data);
    ASSERT_TRUE(md.set(ZMatrix(m)));
    ASSERT_TRUE(pm.setValue(data));
    ZObject back;
    pm.getValue(back);
    EXPECT_EQ(ZFnMatrixData(back).matrix()(3, 2), -3.0);

    // Membership, then weights in runs.
    ZSelectionList members;
    for (int i : {0, 1, 2})
        members.add(ZString("box.vtx[" + std::to_string(i) + "]"));
    ASSERT_TRUE(ZFnSet(set).addMembers(members));
    char text[2048];
    std::snprintf(text, sizeof text, "percent -v %lf %s  %s.vtx[%d", 0.5, result[0].asChar(), "box", 0);
    std::string run = std::string(text) + ":1]";
    ASSERT_TRUE(ZGlobal::executeCommand(ZString(run)));
    EXPECT_EQ(Run("percent -q bone1 box.vtx[0:2]"), (Strings{"0.5", "0.5", "0"}));
    // The linked node now stands for a cluster handle.
    EXPECT_TRUE(Path("bone").hasFn(ZFn::kClusterHandle));
}

TEST_F(FlowTest, SkinClusterFoundFromTheTransformsChildren)
{
    Quad("box");
    Run("createNode joint -n hip");
    Run("select -cl; select -tgl \"hip\" ; select -tgl |box.vtx[0:3]");
    Run("newSkinCluster \"-toSelectedBones -mi 5 -dr 4\"; select -cl");
    ZDagPath skinPath = Path("box");
    ZDagPath transform;
    ASSERT_TRUE(ZDagPath::getAPathTo(skinPath.transform(), transform));
    ZObject found;
    for (unsigned i = transform.childCount(); i-- > 0 && found.isNull();)
    {
        ZStatus st;
        ZItDependencyGraph it(transform.child(i), ZFn::kInvalid, ZItDependencyGraph::kDownstream,
                              ZItDependencyGraph::kBreadthFirst, ZItDependencyGraph::kPlugLevel, &st);
        for (; st && !it.isDone(); it.next())
            if (it.currentItem().hasFn(ZFn::kSkinClusterFilter))
            {
                found = it.currentItem();
                break;
            }
    }
    ASSERT_FALSE(found.isNull());
    ZFnSkinCluster skin(found);
    EXPECT_EQ(skin.findPlug("bindPreMatrix").numElements(), 1u);
    ZFnSingleIndexedComponent comp;
    ZObject all = comp.create(ZFn::kMeshVertComponent);
    comp.setCompleteData(4);
    ZStatus st;
    unsigned index = skin.indexForInfluenceObject(Path("hip"), &st);
    ASSERT_TRUE(st);
    ZIntArray influence(1, static_cast<int>(index));
    ASSERT_TRUE(skin.setWeights(skinPath, all, influence, ZFloatArray(4, 1.0f), false));
    Run("setAttr \"skinCluster1.normalizeWeights\" 1; skinPercent -normalize true skinCluster1; "
        "setAttr \"skinCluster1.normalizeWeights\" 0; select -cl");
    EXPECT_EQ(Plug("skinCluster1", "normalizeWeights").asInt(), 0);
}

TEST_F(FlowTest, BlendShapeTargetsAndWeightCurves)
{
    ZObject box = Quad("box");
    ZStatus st;
    ZFnBlendShapeDeformer blend;
    ZObject deformer = blend.create(box, ZFnBlendShapeDeformer::kLocalOrigin, &st);
    ASSERT_TRUE(st);
    ZObject base = ZFnDagNode(Path("box")).child(0);
    ASSERT_TRUE(blend.addBaseObject(base));
    blend.setName("box_BlendShaper");
    ZFnTransform targetTransform;
    ZObject t = targetTransform.create();
    targetTransform.setName("box.smile");
    EXPECT_EQ(targetTransform.name().str(), "box_smile");
    ZFnMesh copy;
    ZObject target = copy.copy(base, t, &st);
    ASSERT_TRUE(st);
    ZPointArray points;
    copy.getPoints(points);
    points[0].y = 5;
    ASSERT_TRUE(copy.setPoints(points, ZSpace::kObject));
    copy.setName("smile");
    ASSERT_TRUE(blend.addTarget(base, 0, target, 1.0));
    ASSERT_TRUE(targetTransform.findPlug("visibility").setValue(false));

    ZPlug weight = ZFnDependencyNode(deformer).findPlug("weight");
    ZPlug element = weight.elementByLogicalIndex(0);
    ZFnAnimCurve curve;
    curve.create(element, nullptr, &st);
    ASSERT_TRUE(st);
    EXPECT_EQ(curve.animCurveType(), ZFnAnimCurve::kAnimCurveTU);
    curve.addKey(ZTime(0.0), 1.0);
    ZFnAnimCurve again(weight[0], &st);
    ASSERT_TRUE(st);
    EXPECT_EQ(again.numKeys(), 1u);
    ZFnAnimCurve(weight[1], &st);
    EXPECT_EQ(st.statusCode(), ZStatus::kNotFound);
    // Found upstream of the base by its type.
    ZItDependencyGraph up(base, ZFn::kBlendShape, ZItDependencyGraph::kUpstream);
    ASSERT_FALSE(up.isDone());
    EXPECT_TRUE(up.currentItem() == deformer);
    ZObject doomed = deformer;
    ASSERT_TRUE(ZGlobal::deleteNode(doomed));
    EXPECT_TRUE(deformer.isNull());
}

} // namespace
