// Helpers shared by the tests that drive the host stand-in (its own tests and
// the plug-in's): running script texts and finding host nodes by name.
#ifndef QOX_TESTS_COMMON_HOST_TEST_COMMON_H
#define QOX_TESTS_COMMON_HOST_TEST_COMMON_H

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "host/zdag.h"
#include "host/zfn.h"
#include "host/zglobal.h"
#include "host/zhost.h"

namespace qoxtest {

// Runs a script text; its result strings. The status goes to status when
// given; otherwise a failure fails the test.
inline std::vector<std::string> RunScript(const std::string& text, ZStatus* status = nullptr)
{
    std::vector<std::string> result;
    ZStatus st = zelthost::Host::Get().Execute(text, &result);
    if (status)
        *status = st;
    else
        EXPECT_TRUE(st) << text << ": " << st.errorString();
    return result;
}

// Runs a script text that must fail; its error text.
inline std::string RunScriptError(const std::string& text)
{
    ZStatus st;
    RunScript(text, &st);
    EXPECT_FALSE(st) << text;
    return st.errorString();
}

// Runs a script text that must succeed (a fatal failure otherwise).
inline void RunScriptOrFail(const std::string& text)
{
    ZStatus st = zelthost::Host::Get().Execute(text);
    ASSERT_TRUE(st) << text << ": " << st.errorString();
}

// The host node of that name; a null object when there is none.
inline ZObject HostObject(const std::string& name)
{
    ZSelectionList list;
    ZObject object;
    if (list.add(ZString(name)) && list.getDependNode(0, object))
        return object;
    return ZObject();
}

// The DAG path of that name; an empty path when there is none.
inline ZDagPath HostPath(const std::string& name)
{
    ZSelectionList list;
    ZDagPath path;
    if (list.add(ZString(name)))
        list.getDagPath(0, path);
    return path;
}

// The plug of an attribute of a named host node.
inline ZPlug HostPlug(const std::string& node, const std::string& attribute)
{
    return ZFnDependencyNode(HostObject(node)).findPlug(ZString(attribute));
}

// A plug's value in the host's internal units; NaN when there is no such node.
inline double HostPlugValue(const std::string& node, const std::string& attribute)
{
    const ZObject object = HostObject(node);
    if (object.isNull())
        return NAN;
    return ZFnDependencyNode(object).findPlug(ZString(attribute)).asDouble();
}

// The world matrix of the named DAG node (row vectors, translation in row
// 3): its local matrices composed up its first path; identity when there is
// no such node.
inline ZMatrix HostWorldMatrix(const std::string& name)
{
    ZDagPath path = HostPath(name);
    ZMatrix world;
    for (; path.length() > 0; path.pop())
        world = world * ZFnDagNode(path.node()).transformationMatrix();
    return world;
}

} // namespace qoxtest

#endif
