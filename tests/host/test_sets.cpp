// Set members given one element at a time, in any order and repeated, as an
// import assigns faces: read back ascending without repeats, and taken away
// again by a forced assignment elsewhere.
#include "host_test_util.h"

namespace {

using SetTest = HostTest;
using Strings = std::vector<std::string>;

// A transform "strip" with a mesh of eight quads in a row (faces 0 to 7,
// vertices 0 to 17); its shape is "polySurfaceShape1".
ZObject Strip()
{
    ZFnTransform t;
    ZObject transform = t.create();
    t.setName("strip");
    ZPointArray points;
    for (int k = 0; k < 18; ++k)
        points.append(ZPoint(k / 2, k % 2, 0));
    ZIntArray counts, connects;
    for (int q = 0; q < 8; ++q)
    {
        counts.append(4);
        for (int v : {2 * q, 2 * q + 2, 2 * q + 3, 2 * q + 1})
            connects.append(v);
    }
    ZStatus st;
    ZFnMesh().create(18, 8, points, counts, connects, transform, &st);
    EXPECT_TRUE(st) << st.errorString();
    return transform;
}

// A face or vertex component of the given indices.
ZObject Component(ZFn::Type type, std::initializer_list<int> indices)
{
    ZFnSingleIndexedComponent fn;
    ZObject component = fn.create(type);
    for (int i : indices)
        fn.addElement(i);
    return component;
}

// The set's members as script texts.
Strings Members(const std::string& set)
{
    ZSelectionList members;
    EXPECT_TRUE(ZFnSet(qoxtest::HostObject(set)).getMembers(members));
    ZStringArray names;
    members.getSelectionStrings(names);
    Strings out;
    for (const ZString& name : names.items())
        out.push_back(name.str());
    return out;
}

// The "member" lines of the set's block in the scene dump.
Strings DumpedMembers(const std::string& set)
{
    const std::string dump = zelthost::Host::Get().Dump();
    Strings out;
    size_t at = dump.find("\n" + set + " (");
    if (at == std::string::npos)
        return out;
    at = dump.find('\n', at + 1) + 1;
    while (at < dump.size() && dump[at] == ' ')
    {
        const size_t end = dump.find('\n', at);
        const std::string line = dump.substr(at, end - at);
        if (line.compare(0, 9, "  member ") == 0)
            out.push_back(line.substr(9));
        at = end + 1;
    }
    return out;
}

TEST_F(SetTest, MembersGivenOneAtATimeReadAscendingWithoutRepeats)
{
    Strip();
    ZDagPath path = Path("strip");
    Run("sets -renderable true -noSurfaceShader true -empty -name \"paintSG\"");
    ZFnSet set(Node("paintSG"));
    // Faces 6, 2, 3, 2, 0, 7 one at a time, then 1 and 3 again together.
    for (int face : {6, 2, 3, 2, 0, 7})
        ASSERT_TRUE(set.addMember(path, Component(ZFn::kMeshPolygonComponent, {face})));
    ASSERT_TRUE(set.addMember(path, Component(ZFn::kMeshPolygonComponent, {3, 1})));
    // The same through script texts: vertices 9, 4, 5, 4.
    for (int vertex : {9, 4, 5, 4})
        Run("sets -e \"paintSG\" \"strip.vtx[" + std::to_string(vertex) + "]\"");

    const Strings wanted{"polySurfaceShape1.f[0:3]", "polySurfaceShape1.f[6:7]", "polySurfaceShape1.vtx[4:5]",
                         "polySurfaceShape1.vtx[9]"};
    EXPECT_EQ(Members("paintSG"), wanted);
    EXPECT_EQ(DumpedMembers("paintSG"), (Strings{"polySurfaceShape1.f[0:3] polySurfaceShape1.f[6:7]",
                                                 "polySurfaceShape1.vtx[4:5] polySurfaceShape1.vtx[9]"}));
    ZSelectionList members;
    ASSERT_TRUE(set.getMembers(members));
    ASSERT_EQ(members.length(), 2u);
    ZDagPath memberPath;
    ZObject faces;
    ASSERT_TRUE(members.getDagPath(0, memberPath, faces));
    ZFnSingleIndexedComponent fn(faces);
    ZIntArray elements;
    fn.getElements(elements);
    EXPECT_EQ(elements.items(), (std::vector<int>{0, 1, 2, 3, 6, 7}));

    // Asked between adds, the set answers from every element given so far.
    EXPECT_TRUE(set.isMember(path, Component(ZFn::kMeshPolygonComponent, {7, 0, 3})));
    EXPECT_FALSE(set.isMember(path, Component(ZFn::kMeshPolygonComponent, {4})));
    ASSERT_TRUE(set.addMember(path, Component(ZFn::kMeshPolygonComponent, {5, 4})));
    EXPECT_TRUE(set.isMember(path, Component(ZFn::kMeshPolygonComponent, {4, 5})));
    EXPECT_EQ(Members("paintSG").front(), "polySurfaceShape1.f[0:7]");
}

// A face forced into one group leaves the others; what stays keeps its order.
TEST_F(SetTest, ForcedFacesLeaveTheOtherGroups)
{
    Strip();
    Run("sets -renderable true -noSurfaceShader true -empty -name \"redSG\"");
    Run("sets -renderable true -noSurfaceShader true -empty -name \"blueSG\"");
    for (int face : {7, 1, 4, 0, 5, 2})
        Run("sets -e -forceElement \"redSG\" \"strip.f[" + std::to_string(face) + "]\"");
    Run("sets -e -forceElement \"blueSG\" \"strip.f[4:6]\"");
    Run("sets -e -forceElement \"blueSG\" \"strip.f[0]\"");
    EXPECT_EQ(Members("redSG"), (Strings{"polySurfaceShape1.f[1:2]", "polySurfaceShape1.f[7]"}));
    EXPECT_EQ(Members("blueSG"), (Strings{"polySurfaceShape1.f[0]", "polySurfaceShape1.f[4:6]"}));
    // Every face of red forced away empties it.
    Run("sets -e -forceElement \"blueSG\" \"strip.f[7]\" \"strip.f[1:2]\"");
    EXPECT_EQ(Members("redSG"), Strings{});
    EXPECT_EQ(Members("blueSG"), (Strings{"polySurfaceShape1.f[0:2]", "polySurfaceShape1.f[4:7]"}));
}

// Items of one face each, added without merging, read back as the ranges
// they make when they follow one another: one text per run, not per face.
// Items that go back, skip, change kind or object start a new text.
TEST_F(SetTest, SelectionStringsJoinFacesThatFollowOneAnother)
{
    Strip();
    Quad("box");
    ZDagPath strip = Path("strip"), box = Path("box");
    ZSelectionList list;
    for (int face : {0, 1, 2, 3, 5, 4})
        ASSERT_TRUE(list.add(strip, Component(ZFn::kMeshPolygonComponent, {face}), false));
    ASSERT_TRUE(list.add(strip, Component(ZFn::kMeshVertComponent, {5}), false));
    ASSERT_TRUE(list.add(strip, Component(ZFn::kMeshVertComponent, {6, 8, 7}), false));
    ASSERT_TRUE(list.add(box, Component(ZFn::kMeshPolygonComponent, {0}), false));
    ASSERT_TRUE(list.add(strip, Component(ZFn::kMeshPolygonComponent, {6}), false));
    ASSERT_TRUE(list.add(Node("strip")));
    ASSERT_TRUE(list.add(strip, Component(ZFn::kMeshPolygonComponent, {7}), false));
    EXPECT_EQ(list.length(), 12u);
    ZStringArray names;
    ASSERT_TRUE(list.getSelectionStrings(names));
    EXPECT_EQ(names.items(),
              (std::vector<ZString>{ZString("polySurfaceShape1.f[0:3]"), ZString("polySurfaceShape1.f[5]"),
                                    ZString("polySurfaceShape1.f[4]"), ZString("polySurfaceShape1.vtx[5:8]"),
                                    ZString("polySurfaceShape2.f[0]"), ZString("polySurfaceShape1.f[6]"),
                                    ZString("strip"), ZString("polySurfaceShape1.f[7]")}));
}


// A component given with a transform's path belongs to the one visible shape
// below it; intermediate shapes do not count, and none or several is an error
// that adds nothing. A node given without a component keeps its own path.
TEST_F(SetTest, ComponentsOfATransformGoToItsOneShape)
{
    ZObject strip = Strip();
    ZDagPath path = Path("strip");
    ZSelectionList list;
    ASSERT_TRUE(list.add(path, Component(ZFn::kMeshPolygonComponent, {2}), false));
    ASSERT_TRUE(list.add(path, ZObject(), false));
    ZDagPath extended = path;
    ASSERT_TRUE(extended.extendToShape());
    EXPECT_EQ(list.items().at(0).path, extended.ids());
    EXPECT_EQ(list.items().at(1).path, path.ids());

    // A second shape, first intermediate, then visible.
    ZPointArray points(3, ZPoint());
    ZIntArray counts(1, 3), connects;
    for (int v : {0, 1, 2})
        connects.append(v);
    ZFnMesh second;
    ZStatus st;
    second.create(3, 1, points, counts, connects, strip, &st);
    ASSERT_TRUE(st) << st.errorString();
    ASSERT_TRUE(second.setIntermediateObject(true));
    ZDagPath again = path;
    EXPECT_TRUE(again.extendToShape());
    EXPECT_EQ(again.ids(), extended.ids());
    ASSERT_TRUE(list.add(path, Component(ZFn::kMeshPolygonComponent, {3}), false));
    ASSERT_TRUE(second.setIntermediateObject(false));
    again = path;
    ZStatus several = again.extendToShape();
    EXPECT_EQ(several.errorString(), "the node has several shapes below it");
    EXPECT_EQ(again.ids(), path.ids());
    ZStatus refused = list.add(path, Component(ZFn::kMeshPolygonComponent, {4}), false);
    EXPECT_EQ(refused.errorString(), "no geometry below the path");

    // A transform with nothing below it.
    ZFnTransform empty;
    empty.create();
    empty.setName("empty");
    ZDagPath bare = Path("empty");
    EXPECT_EQ(bare.extendToShape().errorString(), "the node has no shape below it");
    EXPECT_EQ(list.add(bare, Component(ZFn::kMeshVertComponent, {0}), false).errorString(),
              "no geometry below the path");

    ZStringArray names;
    ASSERT_TRUE(list.getSelectionStrings(names));
    // The node between the two faces keeps them apart.
    EXPECT_EQ(names.items(), (std::vector<ZString>{ZString("polySurfaceShape1.f[2]"), ZString("strip"),
                                                   ZString("polySurfaceShape1.f[3]")}));
}

} // namespace
