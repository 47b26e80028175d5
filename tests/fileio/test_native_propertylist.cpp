// The "Properties" list read into objects: a node's rows not made yet take
// their values in place, and every list must read exactly as it does into
// the same table with every property made (read through the properties).
// Lists in the writer's order and damaged ones (rows reordered, unknown,
// missing, of another kind, short of values, repeated), odd values, both
// file forms, and the lists of other object kinds.

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "common/qox_test_common.h"
#include "base/kqox_test_util.h"
#include "fileio/iqoxobject.h"
#include "fileio/iqoxobject_private.h"
#include "fileio/kqoxioregistry.h"
#include "fileio_test_util.h"
#include "object/kobject.h"
#include "object/kproperty.h"
#include "scene/attributes/kqoxcamera.h"
#include "scene/attributes/kqoxcameraproperties.h"
#include "scene/attributes/kqoxlight.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxskeleton.h"
#include "scene/attributes/kqoxvideo.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxnodeproperties.h"
#include "scene/kqoxpropertyhandler.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxuserproperty.h"
#include "scene/kqoxsdkmanager.h"

using namespace qoxsdk_600;

namespace {

// One value of a row: an integer, a double or a text.
struct Value
{
    Value(int value)
        : mKind('I')
        , mInt(value)
    {}
    Value(double value)
        : mKind('D')
        , mDouble(value)
    {}
    Value(long long value)
        : mKind('L')
        , mLong(value)
    {}
    Value(const char* text)
        : mKind('S')
        , mText(text)
    {}

    char mKind;
    int mInt = 0;
    long long mLong = 0;
    double mDouble = 0.0;
    std::string mText;
};

struct Row
{
    std::string mName;
    std::string mType;
    std::string mFlags;
    std::vector<Value> mValues;
};

const double kNaN = std::nan("");
const KQox::EForm kForms[] = {KQox::eBINARY, KQox::eASCII};

// A file image holding one "Properties" field with rows.
std::vector<unsigned char> WriteList(const std::vector<Row>& rows, KQox::EForm form)
{
    std::vector<unsigned char> image(1 << 16);
    IQoxObject writer;
    EXPECT_TRUE(writer.ProjectCreate(image.data(), static_cast<unsigned int>(image.size()), form));
    writer.FieldWriteBegin("Properties");
    writer.FieldWriteBlockBegin();
    for (const Row& row : rows)
    {
        writer.FieldWriteBegin("Property");
        writer.FieldWriteC(row.mName.c_str());
        writer.FieldWriteC(row.mType.c_str());
        writer.FieldWriteC(row.mFlags.c_str());
        for (const Value& value : row.mValues)
        {
            if (value.mKind == 'I')
                writer.FieldWriteI(value.mInt);
            else if (value.mKind == 'D')
                writer.FieldWriteD(value.mDouble);
            else if (value.mKind == 'L')
                writer.FieldWriteL(value.mLong);
            else
                writer.FieldWriteC(value.mText.c_str());
        }
        writer.FieldWriteEnd();
    }
    writer.FieldWriteBlockEnd();
    writer.FieldWriteEnd();
    EXPECT_TRUE(writer.ProjectClose());
    image.resize(static_cast<size_t>(writer.ProjectGetFileSize()));
    return image;
}

bool ReadList(const std::vector<unsigned char>& image, KObject& object)
{
    IQoxObject reader;
    EXPECT_TRUE(reader.ProjectOpen(image.data(), static_cast<unsigned int>(image.size())));
    return reader.FieldReadPropertiesList(object);
}

// Every property of the object as text: name, kind, own flags and the value's
// bytes (texts as texts), read without making anything.
std::string Listing(KObject& object)
{
    std::string out;
    for (int i = 0; i < object.GetPropertyCount(); ++i)
    {
        const KPropertyInfo& info = object.ReadPropertyInfoAt(i);
        out += std::string(info.mName ? info.mName : "") + " " + std::to_string(info.mType) + " " +
               std::to_string(object.GetPropertyFlagAt(i)) + ":";
        switch (info.mType)
        {
        case kPropertyTypeCharPtr:
        case kPropertyTypeString:
        case kPropertyTypeStringList:
        case kPropertyTypeObject:
        case kPropertyTypeReference:
        case kPropertyTypeEvent:
        case kPropertyTypeAction:
        case kPropertyTypeUnknown: break;
        default:
        {
            unsigned char bytes[32] = {};
            object.GetPropertyData(i, bytes);
            char hex[3];
            for (unsigned char byte : bytes)
            {
                std::snprintf(hex, sizeof(hex), "%02x", byte);
                out += hex;
            }
        }
        }
        out += "\n";
    }
    return out;
}

std::vector<bool> MadeRows(KObject& object)
{
    std::vector<bool> made;
    for (int i = 0; i < object.GetPropertyCount(); ++i)
        made.push_back(object.GetPropertyIfMade(i) != nullptr);
    return made;
}

// Reads rows into a new node's table and into one whose properties are all
// made first; both must end alike, and the first must have made nothing.
// Returns the first node's table listing.
std::string ReadBothWays(const std::vector<Row>& rows, KQox::EForm form)
{
    KQoxSdkManager manager;
    KQoxNode* lazy = manager.CreateKQoxNode("Lazy");
    KQoxNode* made = manager.CreateKQoxNode("Made");
    KObject& lazyTable = *lazy->GetPropertyHandler();
    KObject& madeTable = *made->GetPropertyHandler();
    for (int i = 0; i < madeTable.GetPropertyCount(); ++i)
        madeTable.GetProperty(i);
    const std::vector<bool> before = MadeRows(lazyTable);
    const std::vector<unsigned char> image = WriteList(rows, form);
    EXPECT_TRUE(ReadList(image, lazyTable));
    EXPECT_TRUE(ReadList(image, madeTable));
    EXPECT_EQ(MadeRows(lazyTable), before) << "reading made rows";
    const std::string listing = Listing(lazyTable);
    EXPECT_EQ(listing, Listing(madeTable));
    return listing;
}

// The rows an object writes, in a file of that form; readValue(reader, row)
// reads each value of a row whose name, kind and flags are read.
template <class ReadValue>
std::vector<Row> RowsOf(KObject& source, KQox::EForm form, ReadValue readValue)
{
    std::vector<unsigned char> image(1 << 16);
    IQoxObject writer;
    EXPECT_TRUE(writer.ProjectCreate(image.data(), static_cast<unsigned int>(image.size()), form));
    EXPECT_TRUE(writer.FieldWritePropertiesList(source));
    EXPECT_TRUE(writer.ProjectClose());
    IQoxObject reader;
    EXPECT_TRUE(reader.ProjectOpen(image.data(), static_cast<unsigned int>(writer.ProjectGetFileSize())));
    std::vector<Row> rows;
    EXPECT_TRUE(reader.FieldReadBegin("Properties") && reader.FieldReadBlockBegin());
    while (reader.FieldReadBegin("Property"))
    {
        Row row;
        row.mName = reader.FieldReadC();
        row.mType = reader.FieldReadC();
        row.mFlags = reader.FieldReadC();
        while (reader.FieldReadGetRemain() > 0)
            row.mValues.push_back(readValue(reader, row));
        reader.FieldReadEnd();
        rows.push_back(row);
    }
    return rows;
}

// The rows a node's table writes, with values away from the defaults.
std::vector<Row> WrittenRows(KQox::EForm form)
{
    KQoxSdkManager manager;
    KQoxNode* node = manager.CreateKQoxNode("Source");
    KQoxNodeProperties& table = *static_cast<KQoxNodeProperties*>(node->GetPropertyHandler());
    table.RotationOffsetSet(KgeTVector(kNaN, DBL_MAX, -DBL_MAX, 1.0));
    table.ScalingPivotSet(KgeTVector(DBL_TRUE_MIN, -0.0, DBL_MIN / 4, 1.0));
    table.AxisLenSet(-DBL_MAX);
    table.RotationStiffnessYSet(kNaN);
    table.RotationOrderSet(eEULER_ZYX);
    table.InheritTypeSet(eINHERIT_Rrs);
    table.ShowSet(false);
    table.TranslationMaxYSet(true);
    // Each value by the row's kind: integers as such, the rest as doubles.
    return RowsOf(table, form, [](IQoxObject& reader, const Row& row) -> Value {
        if (row.mType == "bool" || row.mType == "enum" || row.mType == "int")
            return reader.FieldReadI();
        return reader.FieldReadD();
    });
}

const Row* Find(const std::vector<Row>& rows, const char* name)
{
    for (const Row& row : rows)
        if (row.mName == name)
            return &row;
    return nullptr;
}

TEST(NativePropertyList, WrittenOrderReadsAsThroughTheProperties)
{
    for (KQox::EForm form : kForms)
    {
        SCOPED_TRACE(form);
        const std::vector<Row> rows = WrittenRows(form);
        ASSERT_EQ(rows.size(), 50u);
        ReadBothWays(rows, form);
        // The values arrived, odd ones bit for bit (ASCII files keep 15
        // digits only).
        if (form == KQox::eASCII)
            continue;
        KQoxSdkManager manager;
        KQoxNode* node = manager.CreateKQoxNode("N");
        KQoxNodeProperties& table = *static_cast<KQoxNodeProperties*>(node->GetPropertyHandler());
        ASSERT_TRUE(ReadList(WriteList(rows, form), table));
        KgeTVector offset = table.RotationOffsetGet();
        EXPECT_TRUE(std::isnan(offset.x));
        EXPECT_EQ(offset.y, DBL_MAX);
        EXPECT_EQ(offset.z, -DBL_MAX);
        KgeTVector pivot = table.ScalingPivotGet();
        EXPECT_EQ(pivot.x, DBL_TRUE_MIN);
        EXPECT_TRUE(pivot.y == 0.0 && std::signbit(pivot.y));
        EXPECT_EQ(pivot.z, DBL_MIN / 4);
        EXPECT_EQ(table.AxisLenGet(), -DBL_MAX);
        EXPECT_TRUE(std::isnan(table.RotationStiffnessYGet()));
        EXPECT_EQ(table.RotationOrderGet(), eEULER_ZYX);
        EXPECT_EQ(table.InheritTypeGet(), eINHERIT_Rrs);
        EXPECT_FALSE(table.ShowGet());
        EXPECT_TRUE(table.TranslationMaxYGet());
    }
}

TEST(NativePropertyList, DamagedListsReadAsThroughTheProperties)
{
    for (KQox::EForm form : kForms)
    {
        SCOPED_TRACE(form);
        const std::vector<Row> written = WrittenRows(form);
        // Reordered: the list backwards, and one row moved far ahead.
        std::vector<Row> reversed(written.rbegin(), written.rend());
        ReadBothWays(reversed, form);
        std::vector<Row> moved = written;
        moved.insert(moved.begin(), *Find(written, "NegativePercentShapeSupport"));
        moved.back().mValues = {0};
        ReadBothWays(moved, form);

        // Missing rows, unknown ones, rows of another kind, flags and
        // labels that differ, short and long values, repeated rows, rows
        // that files leave out.
        std::vector<Row> damaged;
        for (size_t i = 0; i < written.size(); i += 2)
            damaged.push_back(written[i]);
        damaged.push_back({"NoSuchRow", "double", "", {1.5}});
        damaged.push_back({"RotationPivot", "double", "", {2.5}});
        damaged.push_back({"Show", "Vector3D", "", {1.0, 2.0, 3.0}});
        damaged.push_back({"AxisLen", "int", "", {7}});
        damaged.push_back({"RotationOrder", "enum", "AU", {42}});
        damaged.push_back({"RotationMinX", "bool", "A", {-3}});
        damaged.push_back({"TranslationMin", "Vector3D", "U", {9.0}});
        damaged.push_back({"TranslationMax", "Vector3D", "", {}});
        damaged.push_back({"ScalingMin", "Vector3D", "", {1.0, 2.0, 3.0, 4.0, 5.0}});
        damaged.push_back({"ScalingMax", "Vector3D", "", {"text", -DBL_MAX, kNaN}});
        damaged.push_back({"RotationStiffnessZ", "double", "", {"2.5"}});
        damaged.push_back({"RotationStiffnessX", "double", "", {3}});
        damaged.push_back({"RotationActive", "bool", "", {2.75}});
        damaged.push_back({"AxisLen", "double", "", {DBL_TRUE_MIN}});
        damaged.push_back({"AxisLen", "double", "", {-DBL_TRUE_MIN}});
        damaged.push_back({"RotationPivotUpdateOffset", "Vector3D", "", {4.0, 5.0, 6.0}});
        damaged.push_back({"LookAtProperty", "object", "", {1}});
        damaged.push_back({"rotationoffset", "Vector3D", "", {1.0, 1.0, 1.0}});
        damaged.push_back({"Lcl Translation", "Vector3D", "", {kNaN, DBL_MAX, -0.0}});
        damaged.push_back({"Visibility", "double", "", {}});
        damaged.push_back({"", "", "", {}});
        const std::string listing = ReadBothWays(damaged, form);
        // A row of another kind or left out of files keeps its value.
        EXPECT_NE(listing.find("RotationPivotUpdateOffset 13 16:" + std::string(64, '0') + "\n"), std::string::npos)
            << listing;
    }
}

// Read into a table someone listens to, the rows are made and announced;
// the values are the same.
TEST(NativePropertyList, ListenedTableReadsThroughTheProperties)
{
    const std::vector<Row> rows = WrittenRows(KQox::eBINARY);
    KQoxSdkManager manager;
    KQoxNode* lazy = manager.CreateKQoxNode("Lazy");
    KQoxNode* heard = manager.CreateKQoxNode("Heard");
    KObject listener;
    heard->GetPropertyHandler()->RegisterNotify(&listener);
    const std::vector<unsigned char> image = WriteList(rows, KQox::eBINARY);
    ASSERT_TRUE(ReadList(image, *lazy->GetPropertyHandler()));
    ASSERT_TRUE(ReadList(image, *heard->GetPropertyHandler()));
    EXPECT_EQ(Listing(*lazy->GetPropertyHandler()), Listing(*heard->GetPropertyHandler()));
    EXPECT_NE(heard->GetPropertyHandler()->GetPropertyIfMade(0), nullptr);
    EXPECT_EQ(lazy->GetPropertyHandler()->GetPropertyIfMade(0), nullptr);
    heard->GetPropertyHandler()->RemoveNotify(&listener);
}

template <class T>
KObject* Handler(T* object)
{
    return object->GetPropertyHandler();
}

// Other kinds keep made properties: their lists come back as written, odd
// values included, in both forms.
TEST(NativePropertyList, OtherKindsRoundTrip)
{
    KQoxSdkManager manager;
    std::vector<KObject*> sources = {Handler(manager.CreateKQoxCamera()), Handler(manager.CreateKQoxLight()),
                                     Handler(manager.CreateKQoxSkeleton()), Handler(manager.CreateKQoxMaterial("M"))};
    std::vector<KObject*> targets = {Handler(manager.CreateKQoxCamera()), Handler(manager.CreateKQoxLight()),
                                     Handler(manager.CreateKQoxSkeleton()), Handler(manager.CreateKQoxMaterial("N"))};
    // Values that 15 digits keep, so that ASCII files give them back too.
    const double odd[] = {kNaN, 1e300, -2.25, 1e-310};
    for (size_t k = 0; k < sources.size(); ++k)
    {
        KObject& source = *sources[k];
        ASSERT_GT(source.GetPropertyCount(), 0);
        int changed = 0;
        for (int i = 0; i < source.GetPropertyCount(); ++i)
        {
            if (source.GetPropertyFlagAt(i) & IQoxObject::eNOT_IN_FILE)
                continue;
            const int type = source.ReadPropertyInfoAt(i).mType;
            const double value = odd[i % 4];
            if (type == kPropertyTypeDouble)
            {
                double v = value;
                source.SetPropertyData(i, &v);
                ++changed;
            }
            else if (type == kPropertyTypeVector3D || type == kPropertyTypeColorRGB)
            {
                double v[4] = {value, -value, odd[(i + 1) % 4], 1.0};
                source.SetPropertyData(i, v);
                ++changed;
            }
        }
        EXPECT_GT(changed, 0);
        for (KQox::EForm form : kForms)
        {
            SCOPED_TRACE(std::to_string(k) + " " + std::to_string(form));
            std::vector<unsigned char> image(1 << 16);
            IQoxObject writer;
            ASSERT_TRUE(writer.ProjectCreate(image.data(), static_cast<unsigned int>(image.size()), form));
            ASSERT_TRUE(writer.FieldWritePropertiesList(source));
            ASSERT_TRUE(writer.ProjectClose());
            image.resize(static_cast<size_t>(writer.ProjectGetFileSize()));
            ASSERT_TRUE(ReadList(image, *targets[k]));
            EXPECT_EQ(Listing(*targets[k]), Listing(source));
        }
    }
}

} // namespace

namespace {

std::vector<std::string> UserPropertyNames(KQoxNode& node)
{
    std::vector<std::string> names;
    for (int i = 0; i < node.GetPropertyCount(); ++i)
        names.push_back(node.GetProperty(i)->GetName().ToChars());
    std::sort(names.begin(), names.end());
    return names;
}

KQoxNode* ChildNamed(KQoxScene& scene, const char* name)
{
    KQoxNode* root = scene.GetRootNode();
    for (int i = 0; i < root->GetChildCount(); ++i)
        if (std::strcmp(root->GetChild(i)->GetName(), name) == 0)
            return root->GetChild(i);
    return nullptr;
}

// A file's user properties named as the node's own properties are its own:
// only names that no property of the node has (in exactly that case) are
// added, once.
TEST(NativePropertyList, UserPropertiesNamedAsOwnRows)
{
    qoxtest::TempDir dir;
    const std::string plain = dir.File("plain.qox"), edited = dir.File("edited.qox");
    {
        KQoxSdkManager manager;
        KQoxScene scene(manager);
        KQoxNode* node = manager.CreateKQoxNode("N");
        scene.GetRootNode()->AddChild(node);
        node->AddProperty(manager.CreateKQoxUserProperty("Extra", "Real", "label"));
        static_cast<KQoxNodeProperties*>(node->GetPropertyHandler())->ShowSet(false);
        ASSERT_TRUE(fileiotest::Export(manager, scene, plain, eEXPORT_QOX_ASCII));
    }
    std::string text = qoxtest::ReadFile(plain);
    const size_t block = text.find("UserProperties: {", text.find("Model::N"));
    ASSERT_NE(block, std::string::npos);
    const size_t line = text.find('\n', block) + 1;
    text.insert(line, "UserProperty: \"Show\",\"bool\",\"\",0,0,100\n"
                      "UserProperty: \"show\",\"bool\",\"\",0,0,100\n"
                      "UserProperty: \"GeometricScaling\",\"Vector\",\"\",0,0,100\n"
                      "UserProperty: \"LookAtProperty\",\"Real\",\"\",0,0,100\n"
                      "UserProperty: \"Visibility\",\"Real\",\"\",0,0,100\n"
                      "UserProperty: \"Extra\",\"Real\",\"\",0,0,100\n");
    ASSERT_TRUE(qoxtest::WriteFile(edited, text));

    KQoxSdkManager manager;
    KQoxScene before(manager), after(manager);
    ASSERT_TRUE(fileiotest::Import(manager, before, plain));
    ASSERT_TRUE(fileiotest::Import(manager, after, edited));
    KQoxNode* read = ChildNamed(before, "Model::N");
    KQoxNode* readEdited = ChildNamed(after, "Model::N");
    ASSERT_TRUE(read && readEdited);
    std::vector<std::string> expected = UserPropertyNames(*read);
    expected.push_back("show");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(UserPropertyNames(*readEdited), expected);
    EXPECT_FALSE(static_cast<KQoxNodeProperties*>(readEdited->GetPropertyHandler())->ShowGet());
}

} // namespace

namespace {

// The rows an object writes, each value kept with its type code.
std::vector<Row> RowsOf(KObject& source, KQox::EForm form)
{
    return RowsOf(source, form, [](IQoxObject& reader, const Row&) -> Value {
        switch (reader.FieldReadGetType())
        {
        case 'I': return reader.FieldReadI();
        case 'L': return reader.FieldReadL();
        case 'S': return reader.FieldReadC();
        default: return reader.FieldReadD();
        }
    });
}

// A list image read into a table, rows taken at once or value by value:
// the table's listing, the answer and the error.
std::string ReadOneWay(const std::vector<unsigned char>& image, KObject& table, bool atOnce)
{
    iqoxobject::gRowsAtOnce = atOnce;
    IQoxObject reader;
    const bool opened = reader.ProjectOpen(image.data(), static_cast<unsigned int>(image.size()));
    const bool ok = opened && reader.FieldReadPropertiesList(table);
    iqoxobject::gRowsAtOnce = true;
    return Listing(table) + "opened " + std::to_string(opened) + " ok " + std::to_string(ok) + " error " +
           std::to_string(reader.GetLastErrorID());
}

// A list read into new tables of a kind both ways must end alike: in nodes
// (rows not made) and in tables with every property made.
template <class Make>
void ExpectBothWaysAlike(const std::vector<unsigned char>& image, Make make)
{
    KQoxSdkManager manager;
    KObject& lazyAtOnce = make(manager);
    KObject& lazyOneByOne = make(manager);
    KObject& madeAtOnce = make(manager);
    KObject& madeOneByOne = make(manager);
    for (KObject* table : {&madeAtOnce, &madeOneByOne})
        for (int i = 0; i < table->GetPropertyCount(); ++i)
            table->GetProperty(i);
    const std::string lazy = ReadOneWay(image, lazyAtOnce, true);
    EXPECT_NE(lazy.find("opened 1"), std::string::npos);
    EXPECT_EQ(lazy, ReadOneWay(image, lazyOneByOne, false));
    EXPECT_EQ(ReadOneWay(image, madeAtOnce, true), ReadOneWay(image, madeOneByOne, false));
    EXPECT_EQ(MadeRows(lazyAtOnce), MadeRows(lazyOneByOne));
}

KObject& NewNodeTable(KQoxSdkManager& manager)
{
    return *manager.CreateKQoxNode("N")->GetPropertyHandler();
}

KObject& NewVideoTable(KQoxSdkManager& manager)
{
    return *manager.CreateKQoxVideo("V")->GetPropertyHandler();
}

KObject& NewCameraTable(KQoxSdkManager& manager)
{
    return *manager.CreateKQoxCamera()->GetPropertyHandler();
}

// Rows of every odd sort: values of other type codes, too few and too
// many, rows out of order, repeated, unknown, of another kind.
std::vector<Row> OddRows(const std::vector<Row>& written)
{
    std::vector<Row> rows(written.rbegin(), written.rend());
    rows.insert(rows.end(), written.begin(), written.end());
    rows.push_back({"AxisLen", "double", "", {7}});
    rows.push_back({"AxisLen", "double", "", {7ll}});
    rows.push_back({"AxisLen", "double", "", {"2.5"}});
    rows.push_back({"RotationOrder", "enum", "", {2.75}});
    rows.push_back({"RotationOrder", "enum", "", {3ll}});
    rows.push_back({"RotationOrder", "enum", "", {4, 5}});
    rows.push_back({"Show", "bool", "", {0.25}});
    rows.push_back({"Show", "bool", "", {"0"}});
    rows.push_back({"Show", "bool", "", {}});
    rows.push_back({"ScalingMin", "Vector3D", "", {1.0, 2, 3.0}});
    rows.push_back({"ScalingMin", "Vector3D", "", {9.0, 8.0, 7ll}});
    rows.push_back({"ScalingMax", "Vector3D", "", {1.0, 2.0, 3.0, 4.0, 5.0, 6.0}});
    rows.push_back({"ScalingMax", "Vector3D", "", {-DBL_MAX}});
    rows.push_back({"ScalingMax", "Vector3D", "", {DBL_TRUE_MIN, kNaN}});
    rows.push_back({"Lcl Rotation", "Vector3D", "AU", {kNaN, -0.0, DBL_MAX}});
    rows.push_back({"Lcl Rotation", "Vector3D", "AU", {1.0, 2.0}});
    rows.push_back({"Lcl Rotation", "Vector", "", {1.0, 2.0, 3.0}});
    rows.push_back({"Lcl Rotation", "Vector3D", "", {}});
    rows.push_back({"AxisLen", "double", "", {}});
    rows.push_back({"Offset", "KTime", "", {123456789ll}});
    rows.push_back({"Offset", "KTime", "", {1.5}});
    rows.push_back({"Offset", "KTime", "", {7}});
    rows.push_back({"FieldOfView", "double", "", {1.0, 2.0, 3.0}});
    rows.push_back({"FieldOfView", "double", "", {-DBL_MAX}});
    rows.push_back({"FieldOfView", "float", "", {3.5}});
    rows.push_back({"NoSuchRow", "double", "", {1.5}});
    rows.push_back({"", "", "", {}});
    rows.push_back({"Show", "", "", {}});
    rows.push_back({"Show", "bool", "", {1}});
    return rows;
}

} // namespace

// Rows taken from their values decoded at once read exactly as value by
// value: the lists objects write, and lists of every odd sort, in nodes
// (rows not made), cameras and videos (time values), in every form.
TEST(NativePropertyList, RowsAtOnceReadAsValueByValue)
{
    KQoxSdkManager manager;
    KQoxNode* node = manager.CreateKQoxNode("Source");
    KQoxNodeProperties& table = *static_cast<KQoxNodeProperties*>(node->GetPropertyHandler());
    table.RotationOffsetSet(KgeTVector(kNaN, DBL_MAX, -DBL_MAX, 1.0));
    table.AxisLenSet(-DBL_MAX);
    table.ShowSet(false);
    KQoxVideo* video = manager.CreateKQoxVideo("Clip");
    video->SetOffset(KTime(-987654321));
    KObject* sources[] = {&table, video->GetPropertyHandler(), manager.CreateKQoxCamera()->GetPropertyHandler()};
    for (KQox::EForm form : {KQox::eBINARY, KQox::eASCII, KQox::eENCRYPTED})
    {
        SCOPED_TRACE(form);
        for (KObject* source : sources)
        {
            const std::vector<Row> written = RowsOf(*source, form);
            ASSERT_FALSE(written.empty());
            for (const std::vector<Row>& rows : {written, OddRows(written)})
            {
                const std::vector<unsigned char> image = WriteList(rows, form);
                ExpectBothWaysAlike(image, NewNodeTable);
                ExpectBothWaysAlike(image, NewVideoTable);
                ExpectBothWaysAlike(image, NewCameraTable);
            }
        }
    }
}

// Texts holding a NUL byte compare as far as it; damaged values (an unknown
// type code, a text longer than its row) fail the same call with the same
// error, whichever row they are in.
TEST(NativePropertyList, RowsAtOnceReadDamageAsValueByValue)
{
    std::vector<Row> rows = WrittenRows(KQox::eBINARY);
    // Rows in their places with names and kinds that hold a NUL byte.
    for (Row& row : rows)
    {
        if (row.mName == "Show")
            row = {"Show\x01tail", "bool\x01", "", {1}};
        else if (row.mName == "AxisLen")
            row = {"AxisLen", "double\x01x", "", {2.5}};
        else if (row.mName == "Lcl Scaling")
            row = {"Lcl Scaling\x01", "Vector3D", "", {1.5, 2.5, 3.5}};
    }
    std::vector<unsigned char> image = WriteList(rows, KQox::eBINARY);
    for (const char* text : {"Show\x01", "bool\x01", "double\x01", "Scaling\x01"})
    {
        // The last byte of each marked text becomes NUL.
        const size_t at = kqoxtest::FindNth(image, text, 0);
        ASSERT_NE(at, std::string::npos) << text;
        image[at + std::strlen(text) - 1] = 0;
    }
    kqoxtest::Reseal(image);
    ExpectBothWaysAlike(image, NewNodeTable);
    ExpectBothWaysAlike(image, NewCameraTable);

    // Each value of a few rows damaged in turn: its type code, or a text's length.
    const std::vector<unsigned char> sound = WriteList(WrittenRows(KQox::eBINARY), KQox::eBINARY);
    for (const char* name : {"Lcl Translation", "Show", "RotationOrder", "AxisLen"})
    {
        const size_t at = kqoxtest::FindNth(sound, name, 0);
        ASSERT_NE(at, std::string::npos) << name;
        for (size_t k = at - 5; k < at + 80 && k + 4 < sound.size(); ++k)
        {
            for (unsigned char code : {static_cast<unsigned char>('Z'), static_cast<unsigned char>(0x7F)})
            {
                SCOPED_TRACE(std::string(name) + " byte " + std::to_string(k - at));
                std::vector<unsigned char> damaged = sound;
                damaged[k] = code;
                kqoxtest::Reseal(damaged);
                ExpectBothWaysAlike(damaged, NewNodeTable);
            }
        }
    }
}

// Other fields between the rows (and a block of its own among them) leave
// the rows read as value by value.
TEST(NativePropertyList, RowsAtOnceAmongOtherFields)
{
    const std::vector<Row> rows = WrittenRows(KQox::eBINARY);
    for (KQox::EForm form : kForms)
    {
        SCOPED_TRACE(form);
        std::vector<unsigned char> image(1 << 16);
        IQoxObject writer;
        ASSERT_TRUE(writer.ProjectCreate(image.data(), static_cast<unsigned int>(image.size()), form));
        writer.FieldWriteBegin("Properties");
        writer.FieldWriteBlockBegin();
        for (size_t i = 0; i < rows.size(); ++i)
        {
            if (i % 7 == 3)
            {
                writer.FieldWriteBegin(i % 2 ? "Other" : "Property ");
                writer.FieldWriteC(rows[i].mName.c_str());
                if (i % 3 == 0)
                {
                    writer.FieldWriteBlockBegin();
                    writer.FieldWriteBegin("Property");
                    writer.FieldWriteC("Show");
                    writer.FieldWriteC("bool");
                    writer.FieldWriteC("");
                    writer.FieldWriteI(0);
                    writer.FieldWriteEnd();
                    writer.FieldWriteBlockEnd();
                }
                writer.FieldWriteEnd();
            }
            writer.FieldWriteBegin("Property");
            writer.FieldWriteC(rows[i].mName.c_str());
            writer.FieldWriteC(rows[i].mType.c_str());
            writer.FieldWriteC(rows[i].mFlags.c_str());
            for (const Value& value : rows[i].mValues)
            {
                if (value.mKind == 'I')
                    writer.FieldWriteI(value.mInt);
                else
                    writer.FieldWriteD(value.mDouble);
            }
            writer.FieldWriteEnd();
        }
        writer.FieldWriteBlockEnd();
        writer.FieldWriteEnd();
        ASSERT_TRUE(writer.ProjectClose());
        image.resize(static_cast<size_t>(writer.ProjectGetFileSize()));
        ExpectBothWaysAlike(image, NewNodeTable);
        ExpectBothWaysAlike(image, NewCameraTable);
    }
}
