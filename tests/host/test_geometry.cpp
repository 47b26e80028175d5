// Meshes (creation checks, normals, colours, UV sets), polygon iteration,
// NURBS surfaces and blend shapes.
#include "host_test_util.h"

#include <cmath>

namespace {

using GeometryTest = HostTest;

ZPointArray Points(int n)
{
    ZPointArray points;
    for (int i = 0; i < n; ++i)
        points.append(ZPoint(i, i * i, -i));
    return points;
}

ZIntArray Ints(std::initializer_list<int> values)
{
    ZIntArray out;
    for (int v : values)
        out.append(v);
    return out;
}

struct BadMesh
{
    int vertices, polygons;
    int points;
    std::initializer_list<int> counts, connects;
    const char* message;
};

TEST_F(GeometryTest, MeshCreationIsValidated)
{
    const BadMesh cases[] = {
        {4, 1, 3, {4}, {0, 1, 2, 3}, "the vertex count 4 differs from the 3 points given"},
        {4, 1, 4, {3, 3}, {0, 1, 2, 1, 2, 3}, "the polygon count 1 is below the 2 polygon sizes given"},
        {4, 1, 4, {4}, {0, 1, 2}, "the polygon sizes add up to 4 but 3 vertex indices are given"},
        {4, 1, 4, {4}, {0, 1, 2, 4}, "vertex index 4 is not below the vertex count 4"},
        {4, 1, 4, {4}, {0, 1, 2, -1}, "vertex index -1 is not below the vertex count 4"},
        {4, 1, 4, {-4}, {}, "polygon 0 has a negative size"},
        {-1, 0, 0, {}, {}, "the vertex count -1 differs from the 0 points given"},
    };
    for (const BadMesh& c : cases)
    {
        SCOPED_TRACE(c.message);
        ZFnMesh mesh;
        ZStatus st;
        ZObject made = mesh.create(c.vertices, c.polygons, Points(c.points), Ints(c.counts), Ints(c.connects),
                                   ZObject::kNullObj, &st);
        EXPECT_TRUE(made.isNull());
        EXPECT_EQ(st.errorString(), std::string("Cannot create the mesh: ") + c.message);
    }
    ZPointArray nan = Points(3);
    nan[1].y = std::nan("");
    ZStatus st;
    ZFnMesh().create(3, 1, nan, Ints({3}), Ints({0, 1, 2}), ZObject::kNullObj, &st);
    EXPECT_EQ(st.errorString(), "Cannot create the mesh: point 1 is not finite");
    // Nothing half-made is left behind.
    EXPECT_NE(zelthost::Host::Get().Info().find("meshes: 0\n"), std::string::npos);
}

TEST_F(GeometryTest, DegeneratePolygonsAreDroppedAndCountedOut)
{
    // Three polygons announced, two sizes given, one of them a two-vertex "triangle".
    ZFnTransform t;
    ZObject transform = t.create();
    ZFnMesh mesh;
    ZStatus st;
    ZObject shape = mesh.create(5, 3, Points(5), Ints({2, 4}), Ints({0, 1, 1, 2, 3, 4}), transform, &st);
    ASSERT_TRUE(st) << st.errorString();
    EXPECT_TRUE(shape.hasFn(ZFn::kMesh));
    EXPECT_EQ(mesh.numPolygons(), 1);
    EXPECT_EQ(mesh.polygonVertexCount(0), 4);
    EXPECT_EQ(mesh.polygonVertexCount(1, &st), 0);
    EXPECT_FALSE(st);
    ZIntArray vertices;
    ASSERT_TRUE(mesh.getPolygonVertices(0, vertices));
    EXPECT_EQ(vertices.items(), (std::vector<int>{1, 2, 3, 4}));
}

TEST_F(GeometryTest, NormalsColoursAndUVSets)
{
    Quad("box");
    ZFnMesh mesh(Node("box"));
    ASSERT_EQ(mesh.numVertices(), 4);
    ZVectorArray normals(2, ZVector(0, 0, 1));
    EXPECT_TRUE(mesh.setVertexNormals(normals, Ints({0, 3})));
    EXPECT_EQ(mesh.setVertexNormals(normals, Ints({0, 4})).errorString(), "vertex index 4 out of range");
    EXPECT_TRUE(mesh.setFaceVertexNormals(normals, Ints({0, 0}), Ints({1, 2})));
    EXPECT_EQ(mesh.setFaceVertexNormals(normals, Ints({0, 1}), Ints({1, 2})).errorString(),
              "vertex 2 is not on polygon 1");
    ZVector n;
    EXPECT_TRUE(mesh.getFaceVertexNormal(0, 2, n));
    EXPECT_EQ(n.z, 1.0);
    ZColorArray colours(1, ZColor(1, 0.5f, 0, 1));
    EXPECT_TRUE(mesh.setVertexColors(colours, Ints({2})));
    ZColor c;
    ASSERT_TRUE(mesh.getVertexColor(2, c));
    EXPECT_EQ(c.g, 0.5f);
    EXPECT_FALSE(mesh.setFaceVertexColors(colours, Ints({0}), Ints({})));
    EXPECT_EQ(mesh.setVertexNormals(normals, Ints({0})).errorString(), "normal and vertex lists differ in length");
    EXPECT_EQ(mesh.setFaceVertexNormals(normals, Ints({0}), Ints({1, 2})).errorString(),
              "normal, face and vertex lists differ in length");
    EXPECT_EQ(mesh.setVertexColors(colours, Ints({})).errorString(), "colour and vertex lists differ in length");
    EXPECT_EQ(mesh.setVertexColors(colours, Ints({-1})).errorString(), "vertex index -1 out of range");
    EXPECT_EQ(mesh.setFaceVertexColors(colours, Ints({0}), Ints({})).errorString(),
              "colour, face and vertex lists differ in length");
    EXPECT_EQ(mesh.setFaceVertexColors(colours, Ints({1}), Ints({0})).errorString(), "vertex 0 is not on polygon 1");
    // What was never set is not found, each lookup with its own message.
    EXPECT_EQ(mesh.getVertexColor(1, c).errorString(), "vertex 1 has no colour");
    EXPECT_EQ(mesh.getVertexNormal(1, n).errorString(), "vertex 1 has no normal");
    ASSERT_TRUE(mesh.getVertexNormal(3, n));
    EXPECT_EQ(n.z, 1.0);
    EXPECT_EQ(mesh.getFaceVertexNormal(0, 4, n).errorString(), "no normal at that face vertex");
    EXPECT_EQ(mesh.getFaceVertexColor(0, 1, c).errorString(), "no colour at that face vertex");
    ASSERT_TRUE(mesh.setFaceVertexColors(colours, Ints({0}), Ints({3})));
    ASSERT_TRUE(mesh.getFaceVertexColor(0, 3, c));
    EXPECT_EQ(c.r, 1.0f);
    EXPECT_EQ(ZFnMesh().getVertexColor(0, c).statusCode(), ZStatus::kInvalidParameter);

    // "map1" becomes the first set; a second set is made; ids are checked.
    ZStringArray sets;
    mesh.getUVSetNames(sets);
    EXPECT_EQ(sets.items(), (std::vector<ZString>{ZString("map1")}));
    ASSERT_TRUE(mesh.renameUVSet("map1", "uvSet1"));
    ZString second("uvSet2");
    ASSERT_TRUE(mesh.createUVSet(second));
    EXPECT_FALSE(mesh.createUVSet(second));
    ZFloatArray u(4, 0.5f), v(4, 0.25f);
    ASSERT_TRUE(mesh.setUVs(u, v, &second));
    EXPECT_EQ(mesh.assignUVs(Ints({4}), Ints({0, 1, 2}), &second).errorString(), "expected 4 UV ids, got 3");
    EXPECT_EQ(mesh.assignUVs(Ints({4}), Ints({0, 1, 2, 4}), &second).errorString(),
              "UV id 4 is not below the 4 UVs of the set");
    EXPECT_EQ(mesh.assignUVs(Ints({3}), Ints({0, 1, 2, 3}), &second).errorString(), "polygon 0 has 4 vertices, not 3");
    ZString first("uvSet1");
    EXPECT_EQ(mesh.assignUVs(Ints({4}), Ints({0, 0, 0, 0}), &first).errorString(),
              "UV id 0 is not below the 0 UVs of the set");
    ASSERT_TRUE(mesh.assignUVs(Ints({4}), Ints({3, 2, 1, 0}), &second));
    ZIntArray counts, ids;
    ASSERT_TRUE(mesh.getAssignedUVs(counts, ids, &second));
    EXPECT_EQ(ids.items(), (std::vector<int>{3, 2, 1, 0}));
    ZString missing("nope");
    EXPECT_EQ(mesh.setUVs(u, v, &missing).errorString(), "no UV set named 'nope'");
    EXPECT_EQ(mesh.assignUVs(Ints({4}), Ints({0, 1, 2, 3}), &missing).errorString(), "no UV set named 'nope'");
    EXPECT_EQ(mesh.getUVs(u, v, &missing).errorString(), "no such UV set");
    EXPECT_EQ(mesh.getAssignedUVs(counts, ids, &missing).errorString(), "no such UV set");
    ZFloatArray readU, readV;
    ASSERT_TRUE(mesh.getUVs(readU, readV, &second));
    EXPECT_EQ(readV.items(), v.items());
    ZFnMesh detached;
    EXPECT_EQ(detached.getUVs(readU, readV, &second).statusCode(), ZStatus::kInvalidParameter);
}

TEST_F(GeometryTest, CopySetPointsAndPolygonIteration)
{
    ZObject box = Quad("box");
    ZFnTransform t;
    ZObject target = t.create();
    ZFnMesh copy;
    ZStatus st;
    ZObject shape = copy.copy(box, target, &st);
    ASSERT_TRUE(st);
    EXPECT_EQ(copy.numPolygons(), 1);
    EXPECT_EQ(copy.setPoints(Points(3)).errorString(), "expected 4 points, got 3");
    ZPointArray moved = Points(4);
    moved[3] = ZPoint(9, 9, 9, 1);
    ASSERT_TRUE(copy.setPoints(moved));
    ZPointArray back;
    ZFnMesh(box).getPoints(back);
    EXPECT_EQ(back[3].x, 1.0); // the source is untouched

    ZDagPath path = Path("box");
    ASSERT_TRUE(path.extendToShape());
    ZItMeshPolygon it(path);
    ASSERT_FALSE(it.isDone());
    EXPECT_EQ(it.vertexIndex(2), 3);
    EXPECT_EQ(it.vertexIndex(4, &st), -1);
    EXPECT_FALSE(st);
    ZSelectionList faces;
    faces.add(path, it.polygon());
    ZStringArray names;
    faces.getSelectionStrings(names);
    EXPECT_EQ(names.items(), (std::vector<ZString>{ZString("polySurfaceShape1.f[0]")}));
    it.next();
    EXPECT_TRUE(it.isDone());
    ZItMeshPolygon none(Node("persp"), &st);
    EXPECT_FALSE(st);
    EXPECT_TRUE(none.isDone());
}

TEST_F(GeometryTest, NurbsSurfacesCheckKnotsAgainstControlVertices)
{
    ZDoubleArray knots;
    for (double k : {0, 0, 0, 1, 1, 1})
        knots.append(k);
    ZPointArray cvs = Points(16);
    ZFnNurbsSurface surface;
    ZStatus st;
    surface.create(cvs, knots, knots, 3, 3, ZFnNurbsSurface::kOpen, ZFnNurbsSurface::kOpen, true, ZObject::kNullObj,
                   &st);
    ASSERT_TRUE(st) << st.errorString();
    EXPECT_EQ(surface.numCVsInU(), 4);
    EXPECT_EQ(surface.formInV(), ZFnNurbsSurface::kOpen);
    EXPECT_EQ(surface.numCVsInV(), 4);
    EXPECT_EQ(surface.degreeU(), 3);
    EXPECT_EQ(surface.degreeV(), 3);
    EXPECT_EQ(surface.formInU(), ZFnNurbsSurface::kOpen);
    ZPointArray readCvs;
    ASSERT_TRUE(surface.getCVs(readCvs));
    EXPECT_EQ(readCvs.length(), 16u);
    EXPECT_EQ(readCvs[5].x, cvs[5].x);
    ZDoubleArray readU, readV;
    ASSERT_TRUE(surface.getKnotsInU(readU));
    ASSERT_TRUE(surface.getKnotsInV(readV));
    EXPECT_EQ(readU.items(), knots.items());
    EXPECT_EQ(readV.items(), knots.items());
    ZFnNurbsSurface detached;
    EXPECT_EQ(detached.getKnotsInV(readV).errorString(), "not attached to a NURBS surface");
    EXPECT_EQ(detached.getCVs(readCvs).errorString(), "not attached to a NURBS surface");
    EXPECT_EQ(detached.degreeV(&st), 0);
    EXPECT_FALSE(st);
    surface.create(Points(15), knots, knots, 3, 3, ZFnNurbsSurface::kOpen, ZFnNurbsSurface::kOpen, true,
                   ZObject::kNullObj, &st);
    EXPECT_EQ(st.errorString(), "Cannot create the NURBS surface: expected 16 control vertices, got 15");
    ZDoubleArray backwards = knots;
    backwards[3] = -1;
    surface.create(cvs, backwards, knots, 3, 3, ZFnNurbsSurface::kOpen, ZFnNurbsSurface::kOpen, true, ZObject::kNullObj,
                   &st);
    EXPECT_EQ(st.errorString(), "Cannot create the NURBS surface: knots must be finite and non-decreasing");
    surface.create(cvs, knots, knots, 0, 3, ZFnNurbsSurface::kOpen, ZFnNurbsSurface::kOpen, true, ZObject::kNullObj,
                   &st);
    EXPECT_FALSE(st);
}

TEST_F(GeometryTest, BlendShapesTakeTargetsOfTheSameTopology)
{
    ZObject box = Quad("box");
    ZObject other = Quad("other");
    ZFnBlendShapeDeformer blend;
    ZStatus st;
    ZObject deformer = blend.create(box, ZFnBlendShapeDeformer::kLocalOrigin, &st);
    ASSERT_TRUE(st);
    EXPECT_TRUE(blend.addBaseObject(box)); // already a base: nothing more
    EXPECT_TRUE(blend.addTarget(box, 0, other, 1.0));
    EXPECT_EQ(blend.addTarget(other, 1, box, 1.0).errorString(), "the base object is not deformed by blendShape1");
    EXPECT_EQ(blend.addTarget(box, 1, Node("persp"), 1.0).errorString(),
              "the target has no single mesh or NURBS shape");
    EXPECT_EQ(blend.numWeights(), 1u);
    EXPECT_EQ(ZFnDependencyNode(deformer).findPlug("weight").numElements(), 1u);
    blend.create(Node("persp"), ZFnBlendShapeDeformer::kLocalOrigin, &st);
    EXPECT_EQ(st.errorString(), "the base object has no single mesh or NURBS shape");
}

} // namespace
