// Value types, argument lists, selection lists, components and sets.
#include "host_test_util.h"

#include <cmath>

namespace {

using ValueTest = HostTest;
using SelectionTest = HostTest;

TEST(HostValues, StringsAndArgumentLists)
{
    ZString s("x");
    s += 0.1;
    s += " ";
    s += -3;
    EXPECT_EQ(s.str(), "x0.10000000000000001 -3");
    ZString big;
    big += 1.7976931348623157e308;
    EXPECT_EQ(std::strtod(big.asChar(), nullptr), 1.7976931348623157e308); // reads back exactly
    EXPECT_TRUE(ZString("-12").isInt());
    EXPECT_FALSE(ZString("12x").isInt());
    EXPECT_FALSE(ZString("").isDouble());
    EXPECT_TRUE(ZString("1e-320").isDouble());
    EXPECT_EQ(ZString("abcdef").substring(2, 3).str(), "cd");
    EXPECT_EQ(ZString("abc").substring(2, 99).str(), "c");
    EXPECT_EQ(ZString("abc").substring(2, 1).str(), "");
    EXPECT_EQ(ZString("a:b:c").index(':'), 1);
    EXPECT_EQ(ZString("a:b:c").rindex(':'), 3);

    ZArgList args({"-f", "12", "2.5", "on", "x"});
    ZStatus st;
    EXPECT_EQ(args.flagIndex("-f"), 0);
    EXPECT_EQ(args.flagIndex("-g"), -1);
    EXPECT_EQ(args.asInt(1, &st), 12);
    EXPECT_TRUE(st);
    EXPECT_EQ(args.asInt(2, &st), 0);
    EXPECT_EQ(st.errorString(), "argument 2.5 is not an integer");
    EXPECT_EQ(args.asDouble(2), 2.5);
    EXPECT_TRUE(args.asBool(3, &st));
    args.asBool(4, &st);
    EXPECT_EQ(st.errorString(), "argument x is not a boolean");
    EXPECT_EQ(args.asString(5, &st).str(), "");
    EXPECT_EQ(st.errorString(), "argument index out of range");

    ZIntArray a(2, 7);
    EXPECT_FALSE(a.set(1, 2));
    EXPECT_FALSE(a.remove(5));
    EXPECT_TRUE(a.remove(0));
    EXPECT_EQ(a.length(), 1u);
}

TEST(HostValues, MatricesInvertAndCompare)
{
    double m[4][4] = {{2, 0, 0, 0}, {0, 0, 3, 0}, {0, -4, 0, 0}, {1, 2, 3, 1}};
    ZMatrix a(m);
    EXPECT_TRUE((a * a.inverse()).isEquivalent(ZMatrix::identity, 1e-15));
    double singular[4][4] = {{1, 2, 3, 0}, {2, 4, 6, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    EXPECT_TRUE(ZMatrix(singular).inverse().isEquivalent(ZMatrix::identity, 0));
    EXPECT_EQ(a(3, 1), 2.0);
    EXPECT_EQ(a(4, 0), 0.0); // out of range reads 0
    double withNan[4][4] = {{NAN, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    EXPECT_FALSE(ZMatrix(withNan).isEquivalent(ZMatrix::identity, 1));
}

TEST_F(SelectionTest, NamesComponentsAndStrings)
{
    Quad("box");
    Run("createNode transform -n other");
    ZSelectionList list;
    ASSERT_TRUE(list.add("box.vtx[0:1]"));
    ASSERT_TRUE(list.add("|box.vtx[3]"));
    ASSERT_TRUE(list.add("other"));
    ASSERT_TRUE(list.add("lambert1"));
    EXPECT_EQ(list.add("box.edge[0]").errorString(), "Invalid component: box.edge[0]");
    EXPECT_EQ(list.add("box.vtx[x]").errorString(), "Invalid component: box.vtx[x]");
    EXPECT_EQ(list.add("box.cv[1]").errorString(), "Invalid component: box.cv[1]");
    EXPECT_EQ(list.add("other.vtx[0]").errorString(), "No geometry below other");
    EXPECT_EQ(list.add("lambert1.vtx[0]").errorString(), "Invalid component: lambert1.vtx[0]");
    EXPECT_EQ(list.add("ghost").errorString(), "No object matches name: ghost");
    ZStringArray strings;
    list.getSelectionStrings(strings);
    EXPECT_EQ(strings.items(),
              (std::vector<ZString>{ZString("polySurfaceShape1.vtx[0:1]"), ZString("polySurfaceShape1.vtx[3]"),
                                    ZString("other"), ZString("lambert1")}));
    ZDagPath path;
    ZObject component;
    ASSERT_TRUE(list.getDagPath(0, path, component));
    EXPECT_EQ(path.fullPathName().str(), "|box|polySurfaceShape1");
    EXPECT_EQ(ZFnComponent(component).elementCount(), 2);
    EXPECT_FALSE(list.getDagPath(3, path));
    EXPECT_FALSE(list.getDependNode(9, component));

    // Merging joins the elements of one path.
    ZSelectionList merged;
    ZFnSingleIndexedComponent fn;
    ZObject a = fn.create(ZFn::kMeshVertComponent);
    fn.addElement(4);
    fn.addElement(6);
    ZObject b = fn.create(ZFn::kMeshVertComponent);
    fn.addElement(5);
    merged.add(Path("box"), a, true);
    merged.add(Path("box"), b, true);
    merged.getSelectionStrings(strings);
    EXPECT_EQ(strings.items(), (std::vector<ZString>{ZString("polySurfaceShape1.vtx[4:6]")}));
    EXPECT_EQ(merged.length(), 1u);
    merged.add(Path("box"), b, false);
    EXPECT_EQ(merged.length(), 2u);
    EXPECT_TRUE(merged.remove(0));
    EXPECT_FALSE(merged.remove(5));
}

TEST_F(ValueTest, ComponentsCheckTheirIndices)
{
    ZFnSingleIndexedComponent single;
    ZStatus st;
    EXPECT_TRUE(single.create(ZFn::kSurfaceCVComponent, &st).isNull());
    EXPECT_FALSE(st);
    ZObject c = single.create(ZFn::kMeshVertComponent);
    EXPECT_EQ(single.addElement(-1).errorString(), "negative component index -1");
    ZIntArray mixed;
    mixed.append(3);
    mixed.append(-2);
    EXPECT_FALSE(single.addElements(mixed));
    EXPECT_EQ(single.elementCount(), 0); // all or nothing
    ASSERT_TRUE(single.setCompleteData(5));
    EXPECT_TRUE(single.isComplete());
    EXPECT_EQ(single.element(4), 4);
    EXPECT_EQ(single.element(5, &st), -1);
    EXPECT_FALSE(single.setCompleteData(-1));
    EXPECT_TRUE(c.hasFn(ZFn::kSingleIndexedComponent));
    EXPECT_FALSE(c.hasFn(ZFn::kDoubleIndexedComponent));

    ZFnDoubleIndexedComponent cvs;
    ZObject d = cvs.create(ZFn::kSurfaceCVComponent);
    ASSERT_TRUE(cvs.setCompleteData(2, 3));
    int u = -1, v = -1;
    ASSERT_TRUE(cvs.getElement(5, u, v));
    EXPECT_EQ(u, 1);
    EXPECT_EQ(v, 2);
    EXPECT_FALSE(cvs.addElement(0, -1));
    EXPECT_FALSE(cvs.setCompleteData(100000, 100000));
    EXPECT_EQ(ZFnComponent(d).componentType(), ZFn::kSurfaceCVComponent);
    ZFnSingleIndexedComponent(d, &st);
    EXPECT_FALSE(st);
}

TEST_F(ValueTest, LightsCamerasAndShaders)
{
    Run("createNode transform -n rig");
    ZFnSpotLight spot;
    ZStatus st;
    ZObject shape = spot.create(Node("rig"), true, &st);
    ASSERT_TRUE(st);
    EXPECT_EQ(spot.setName("LampShape").str(), "LampShape");
    ZFnTransform lamp(ZFnDagNode(shape).parent(0));
    EXPECT_EQ(lamp.setName("Lamp").str(), "Lamp");
    EXPECT_EQ(lamp.fullPathName().str(), "|rig|Lamp");
    ZDagPath toShape;
    ASSERT_TRUE(ZDagPath::getAPathTo(shape, toShape));
    EXPECT_TRUE(toShape.hasFn(ZFn::kSpotLight));
    ASSERT_TRUE(ZFnSpotLight(toShape).setConeAngle(45 * M_PI / 180));
    EXPECT_EQ(Run("getAttr LampShape.coneAngle"), std::vector<std::string>{"45"});
    ZFnLight light(toShape);
    ASSERT_TRUE(light.setColor(ZColor(1, 0.5f, 0.25f)));
    ASSERT_TRUE(light.setIntensity(0.5f));
    EXPECT_EQ(light.color().b, 0.25f);
    EXPECT_FALSE(light.setColor(ZColor(NAN, 0, 0)));

    ZFnPointLight point;
    point.create(ZObject::kNullObj, true, &st);
    ASSERT_TRUE(st);
    EXPECT_EQ(point.name().str(), "pointLightShape1");
    EXPECT_FALSE(point.hasObj(shape)); // a spot light is not a point light
    point.create(Node("lambert1"), true, &st);
    EXPECT_EQ(st.errorString(), "the parent is not a DAG node");
    ZFnDirectionalLight sun;
    sun.create(Node("rig"), false, &st); // straight under the transform
    ASSERT_TRUE(st);
    EXPECT_EQ(sun.fullPathName().str(), "|rig|directionalLightShape1");
    sun.create(ZObject::kNullObj, false, &st);
    EXPECT_EQ(st.errorString(), "a shape needs a transform parent");
    ZFnCamera cam(Path("persp"));
    ASSERT_TRUE(cam.setFocalLength(49.454));
    EXPECT_EQ(cam.focalLength(), 49.454);
    EXPECT_EQ(cam.setFilmFit(4).errorString(), "invalid film fit 4");
    EXPECT_EQ(cam.setNearClippingPlane(INFINITY).errorString(), "the value is not a finite number");
    EXPECT_EQ(ZFnDependencyNode(cam.object()).name().str(), "perspShape");

    ZFnPhongShader phong;
    ZObject p = phong.create(true, &st);
    ASSERT_TRUE(st);
    EXPECT_TRUE(p.hasFn(ZFn::kLambert));
    EXPECT_TRUE(p.hasFn(ZFn::kReflect));
    ASSERT_TRUE(phong.setCosPower(12.5f));
    ASSERT_TRUE(phong.setSpecularColor(ZColor(0.1f, 0.2f, 0.3f)));
    ASSERT_TRUE(phong.setTransparency(ZColor(1, 1, 1)));
    EXPECT_EQ(phong.specularColor().g, 0.2f);
    EXPECT_EQ(Run("getAttr phong1.cosinePower"), std::vector<std::string>{"12.5"});
    ZFnReflectShader(Node("lambert1"), &st);
    EXPECT_FALSE(st);

    // Every shader, light and camera accessor reads back what it wrote, under
    // the attribute's own name.
    ASSERT_TRUE(phong.setColor(ZColor(0.5f, 0.25f, 0.125f)));
    ASSERT_TRUE(phong.setAmbientColor(ZColor(0.1f, 0, 0)));
    ASSERT_TRUE(phong.setIncandescence(ZColor(0, 0, 0.75f)));
    ASSERT_TRUE(phong.setDiffuseCoeff(0.25f));
    ASSERT_TRUE(phong.setReflectivity(0.75f));
    EXPECT_EQ(phong.color().g, 0.25f);
    EXPECT_EQ(phong.transparency().r, 1.0f);
    EXPECT_EQ(phong.ambientColor().r, 0.1f);
    EXPECT_EQ(phong.incandescence().b, 0.75f);
    EXPECT_EQ(phong.diffuseCoeff(), 0.25f);
    EXPECT_EQ(phong.reflectivity(), 0.75f);
    EXPECT_EQ(phong.cosPower(), 12.5f);
    EXPECT_EQ(Run("getAttr phong1.diffuse"), std::vector<std::string>{"0.25"});
    EXPECT_EQ(Run("getAttr phong1.incandescence"), (std::vector<std::string>{"0", "0", "0.75"}));
    EXPECT_EQ(phong.setAmbientColor(ZColor(0, INFINITY, 0)).errorString(), "the value is not a finite number");
    Run("setAttr -lock true phong1.specularColor");
    EXPECT_EQ(phong.setSpecularColor(ZColor(1, 1, 1)).errorString(), "The attribute 'phong1.specularColor' is locked");
    EXPECT_EQ(phong.specularColor().g, 0.2f);
    EXPECT_EQ(light.intensity(), 0.5f);
    // A light's colour, like a shader's, refuses to change while locked.
    Run("setAttr -lock true LampShape.color");
    EXPECT_EQ(light.setColor(ZColor(0, 0, 0)).errorString(), "The attribute 'LampShape.color' is locked");
    EXPECT_EQ(light.color().b, 0.25f);
    EXPECT_EQ(Run("getAttr LampShape.intensity"), std::vector<std::string>{"0.5"});
    EXPECT_EQ(ZFnSpotLight(toShape).coneAngle(), 45 * M_PI / 180);
    ASSERT_TRUE(cam.setLensSqueezeRatio(2));
    ASSERT_TRUE(cam.setNearClippingPlane(0.5));
    ASSERT_TRUE(cam.setFarClippingPlane(5000));
    ASSERT_TRUE(cam.setIsOrtho(true));
    ASSERT_TRUE(cam.setFilmFit(2));
    ASSERT_TRUE(cam.setVerticalFilmAperture(0.75));
    ASSERT_TRUE(cam.setHorizontalFilmAperture(1.25));
    ASSERT_TRUE(cam.setFocusDistance(7));
    ASSERT_TRUE(cam.setClippingPlanes(true));
    EXPECT_EQ(cam.lensSqueezeRatio(), 2.0);
    EXPECT_EQ(cam.nearClippingPlane(), 0.5);
    EXPECT_EQ(cam.farClippingPlane(), 5000.0);
    EXPECT_TRUE(cam.isOrtho());
    EXPECT_EQ(cam.filmFit(), 2);
    EXPECT_EQ(cam.verticalFilmAperture(), 0.75);
    EXPECT_EQ(cam.horizontalFilmAperture(), 1.25);
    EXPECT_EQ(cam.focusDistance(), 7.0);
    EXPECT_EQ(Run("getAttr perspShape.farClipPlane"), std::vector<std::string>{"5000"});
    EXPECT_EQ(Run("getAttr perspShape.orthographic"), std::vector<std::string>{"1"});
    ZFnCamera detached;
    EXPECT_EQ(detached.focalLength(&st), 0.0);
    EXPECT_FALSE(st);
}

} // namespace
