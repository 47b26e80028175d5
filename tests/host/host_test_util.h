// Shared set-up of the host stand-in tests: a fresh scene per test and
// shorthand for running script texts and finding nodes.
#ifndef QOX_TESTS_HOST_HOST_TEST_UTIL_H
#define QOX_TESTS_HOST_HOST_TEST_UTIL_H

#include "common/host_test_common.h"
#include "common/qox_test_common.h"

#include "host/zanim.h"
#include "host/zfn.h"
#include "host/zgeometry.h"
#include "host/zglobal.h"
#include "host/zhost.h"

#include <string>
#include <vector>

class HostTest : public ::testing::Test
{
protected:
    void SetUp() override { zelthost::Host::Get().Reset(); }

    // Runs a script text; its result strings.
    std::vector<std::string> Run(const std::string& text, ZStatus* status = nullptr)
    {
        return qoxtest::RunScript(text, status);
    }
    std::string RunError(const std::string& text) { return qoxtest::RunScriptError(text); }
    static ZObject Node(const std::string& name) { return qoxtest::HostObject(name); }
    static ZDagPath Path(const std::string& name) { return qoxtest::HostPath(name); }
    static ZPlug Plug(const std::string& node, const std::string& attr) { return qoxtest::HostPlug(node, attr); }
    // A transform with a mesh shape of one quad per row of counts.
    static ZObject Quad(const std::string& name)
    {
        ZFnTransform t;
        ZObject transform = t.create();
        t.setName(ZString(name));
        ZPointArray points;
        for (int k = 0; k < 4; ++k)
            points.append(ZPoint(k & 1, k >> 1, 0));
        ZIntArray counts(1, 4), connects;
        for (int v : {0, 1, 3, 2})
            connects.append(v);
        ZFnMesh mesh;
        ZStatus st;
        mesh.create(4, 1, points, counts, connects, transform, &st);
        EXPECT_TRUE(st) << st.errorString();
        return transform;
    }
};

#endif
