// Searching a node's table by name: rows not made are found through the
// table's shared descriptors, and the answer is the one a walk over the
// descriptors gives, before and after rows are made or renamed.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "object/kproperty.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxnodeproperties.h"
#include "scene/kqoxsdkmanager.h"

using namespace qoxsdk_600;

namespace {

int WalkFind(const KObject& object, const char* name)
{
    for (int i = 0; i < object.GetPropertyCount(); ++i)
        if (std::strcmp(object.ReadPropertyInfoAt(i).mName, name) == 0)
            return i;
    return -1;
}

void ExpectSearchesAgree(KObject& table)
{
    for (int i = 0; i < table.GetPropertyCount(); ++i)
    {
        const std::string name = table.ReadPropertyInfoAt(i).mName;
        EXPECT_EQ(table.FindPropertyIndexByName(name.c_str()), WalkFind(table, name.c_str())) << name;
    }
    for (const char* name : {"", "NoSuchRow", "show", "Show ", "LookAt", "Visibility"})
        EXPECT_EQ(table.FindPropertyIndexByName(name), WalkFind(table, name)) << name;
}

TEST(NodePropertySearch, ByNameAgreesWithTheDescriptors)
{
    KQoxSdkManager manager;
    KQoxNode* node = manager.CreateKQoxNode("N");
    KObject& table = *node->GetPropertyHandler();
    ExpectSearchesAgree(table);
    const int show = table.FindPropertyIndexByName("Show");
    ASSERT_GE(show, 0);
    EXPECT_EQ(table.GetPropertyIfMade(show), nullptr);
    // Made rows answer through their own descriptors: one renamed is found
    // by its new name only.
    for (int i = 0; i < table.GetPropertyCount(); i += 3)
        table.GetProperty(i);
    KProperty* axis = table.FindPropertyByName("AxisLen");
    ASSERT_NE(axis, nullptr);
    ASSERT_TRUE(axis->SetPropertyName("Renamed", false));
    ExpectSearchesAgree(table);
    EXPECT_EQ(table.FindPropertyIndexByName("AxisLen"), -1);
    EXPECT_GE(table.FindPropertyIndexByName("Renamed"), 0);
    EXPECT_EQ(table.FindPropertyIndexByName(nullptr), -1);
}

} // namespace
