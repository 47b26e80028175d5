// Files written by the SDK and then edited by hand, one record at a time:
// every field a curve is stored as, and the take's name of an animation
// section, left out or written twice. A read keeps every key of the file at
// its time with its value, or fails with "File is corrupted"; it never
// succeeds with keys dropped or taken by another curve. ASCII files are
// edited line by line as a user would; binary and encrypted ones record by
// record through the field layer.

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "base/kqox.h"
#include "common/qox_test_common.h"
#include "earlier_files_util.h"
#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvenode.h"
#include "fileio/kqoximporter.h"
#include "fileio/kqoxioregistry.h"
#include "fileio_test_util.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakenode.h"

using namespace qoxsdk_600;
using qoxtest::ReadFile;
using qoxtest::TempDir;

namespace {

using earlierfiles::kSecond;
using earlierfiles::TakeOf;

// Three keys of three kinds (linear, cubic with slopes, constant) from base.
void KeyCurve(KFCurve* curve, float base)
{
    ASSERT_NE(curve, nullptr);
    earlierfiles::KeyCurve(curve, base);
}

// Two nodes, one in the other: "Ball" keyed on translation, rotation and
// scaling in the take "Walk" (with an upper layer over its translation) and
// on translation in "Run", "Arm" on rotation in "Run"; each curve its own
// values.
void BuildKeyedScene(KQoxSdkManager& manager, KQoxScene& scene)
{
    KQoxNode* ball = manager.CreateKQoxNode("Ball");
    KQoxNode* arm = manager.CreateKQoxNode("Arm");
    scene.GetRootNode()->AddChild(ball);
    ball->AddChild(arm);
    const struct
    {
        KQoxNode* mNode;
        const char* mTake;
        const char* mChannel;
    } keyed[] = {{ball, "Walk", "T"}, {ball, "Walk", "R"}, {ball, "Walk", "S"},
                 {ball, "Run", "T"},  {arm, "Run", "R"}};
    float base = 1;
    for (const auto& k : keyed)
    {
        KQoxTakeNode* take = TakeOf(*k.mNode, k.mTake);
        if (!take)
            take = k.mNode->CreateTakeNode(k.mTake);
        ASSERT_NE(take, nullptr);
        KFCurveNode* members = take->GetKFCurveNode()->FindRecursive(k.mChannel);
        ASSERT_NE(members, nullptr);
        for (int axis = 0; axis < 3; ++axis, base += 10)
            KeyCurve(members->Get(axis)->FCurveGet(), base);
    }
    KFCurveNode* t = TakeOf(*ball, "Walk")->GetKFCurveNode()->FindRecursive("T");
    KFCurveNode* layer = t->LayerCreate(1);
    ASSERT_NE(layer, nullptr);
    for (int axis = 0; axis < 3; ++axis, base += 10)
        KeyCurve(layer->Get(axis)->FCurveGet(), base);
    scene.SetCurrentTake("Walk");
}

// The time and value of every key of a channel tree, layers included.
void ListKeys(std::ostream& out, KFCurveNode* node, const std::string& path)
{
    const std::string here = path + "/" + node->GetName();
    if (KFCurve* curve = node->FCurveGet())
        if (curve->KeyGetCount() > 0)
        {
            out << here;
            for (int k = 0; k < curve->KeyGetCount(); ++k)
                out << " " << curve->KeyGetTime(k).Get() << "=" << curve->KeyGetValue(k);
            out << "\n";
        }
    for (int i = 0; i < node->GetCount(); ++i)
        ListKeys(out, node->Get(i), here);
    if (KFCurveNode* layer = node->LayerGet())
        ListKeys(out, layer, here + " layer " + std::to_string(layer->GetLayerID()));
}

// Every key of every take of the scene's nodes: what a read must keep
// whatever optional field is missing.
std::string KeysOf(KQoxScene& scene)
{
    std::ostringstream out;
    std::vector<KQoxNode*> pending(1, scene.GetRootNode());
    while (!pending.empty())
    {
        KQoxNode* node = pending.back();
        pending.pop_back();
        for (int t = 0; t < node->GetTakeNodeCount(); ++t)
            if (KFCurveNode* root = node->GetTakeNode(t)->GetKFCurveNode())
                ListKeys(out, root, std::string(node->GetName()) + " " + node->GetTakeNodeName(t));
        for (int i = node->GetChildCount() - 1; i >= 0; --i)
            pending.push_back(node->GetChild(i));
    }
    return out.str();
}

// The fields a curve is stored as.
const std::set<std::string> kCurveFields = {"Default",  "KeyVer",  "KeyCount", "KeyTime", "KeyValue",
                                            "KeyFlags", "KeyData", "Key",      "Color"};

// One record of a file: its name and where it lies ("Animation" for the
// take's name).
bool Edited(const std::string& name, const std::string& path)
{
    return kCurveFields.count(name) > 0 || (name == "Take" && path == "Animation");
}

// What an edit of a record of that name (left out, or written twice) gives
// in a file of the key layout of that version: the keys kept, or the read
// refused.
enum Outcome
{
    eKept,
    eRefused
};
struct Expected
{
    const char* mName;
    Outcome mLeftOut;
    Outcome mDoubled;
};
// Without "KeyVer" the oldest layout is assumed: key arrays (version 6)
// then show a count without "Key", and cubic and constant keys stored key
// by key (version 5) do not fill the field as that layout reads it: damage
// both.
const Expected kArrays[] = {
    {"Default", eKept, eRefused},   {"KeyVer", eRefused, eRefused},  {"KeyCount", eRefused, eRefused},
    {"KeyTime", eRefused, eRefused}, {"KeyValue", eRefused, eRefused}, {"KeyFlags", eRefused, eRefused},
    {"KeyData", eRefused, eRefused}, {"Color", eKept, eRefused},     {"Take", eKept, eRefused},
};
const Expected kKeyByKey[] = {
    {"Default", eKept, eRefused}, {"KeyVer", eRefused, eRefused}, {"KeyCount", eRefused, eRefused},
    {"Key", eRefused, eRefused},  {"Color", eKept, eRefused},  {"Take", eKept, eRefused},
};

struct Form
{
    const char* mName;
    int mExport;
    const char* mPassword;
    bool mAscii;
    bool mKeyByKey;
} const kForms[] = {
    {"version 6 ASCII", eEXPORT_QOX_ASCII, "", true, false},
    {"version 5 ASCII", eEXPORT_QOX5_ASCII, "", true, true},
    {"version 6 binary", eEXPORT_QOX_BINARY, "", false, false},
    {"version 6 encrypted", eEXPORT_QOX_ENCRYPTED, "pw", false, false},
    {"version 5 binary", eEXPORT_QOX5_BINARY, "", false, true},
};

// The lines of an ASCII file, each with its record's name and the section
// it lies in; a record continued on lines of its own (long arrays) takes
// them along.
struct Line
{
    size_t mBegin;
    size_t mEnd;
    std::string mName;
    std::string mPath;
};
std::vector<Line> RecordLines(const std::string& text)
{
    std::vector<Line> lines;
    std::string section;
    for (size_t at = 0; at < text.size();)
    {
        size_t end = text.find('\n', at);
        end = end == std::string::npos ? text.size() : end + 1;
        const std::string line = text.substr(at, end - at);
        const size_t indent = line.find_first_not_of(' ');
        const size_t colon = line.find(':');
        if (line[0] == '[')
            section = line.substr(1, line.find(']') - 1);
        else if (indent != std::string::npos && colon != std::string::npos && line.find('{') == std::string::npos &&
                 line.find('}') == std::string::npos)
        {
            // Deeper lines without a name go with the record.
            size_t next = end;
            while (next < text.size())
            {
                size_t stop = text.find('\n', next);
                stop = stop == std::string::npos ? text.size() : stop + 1;
                const std::string more = text.substr(next, stop - next);
                if (more.find(':') != std::string::npos || more.find_first_of("{}") != std::string::npos ||
                    more.find_first_not_of(' ') <= indent)
                    break;
                next = stop;
            }
            // Records of the section's own list (4 spaces) lie in it.
            const std::string path = indent == 4 ? section : section + "/...";
            lines.push_back({at, next, line.substr(indent, colon - indent), path});
            end = next;
        }
        at = end;
    }
    return lines;
}

} // namespace

// Every record a curve is stored as (in the objects' default values, the
// time warps, every channel and layer of every take) and the take's name of
// each animation section, left out and written twice, in every native form
// of both versions. A "Default", a "Color", "KeyVer" of keys stored key by
// key and a take's name may be missing: every key is kept (a section
// without its take's name is the take the file's take list gives at its
// place). A field standing twice where one curve stands, or a count or key
// field missing, is damage: the read fails with "File is corrupted".
TEST(NativeLineEdits, CurvesReadWholeOrTheReadFails)
{
    TempDir dir;
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    BuildKeyedScene(manager, scene);
    const std::string edited = dir.File("edited.qox");
    for (const Form& form : kForms)
    {
        SCOPED_TRACE(form.mName);
        const std::string name = dir.File("written.qox");
        ASSERT_TRUE(fileiotest::Export(manager, scene, name, form.mExport, form.mPassword));
        // The outcome of reading edited: its keys, or "" when refused.
        auto read = [&](const std::string& what) {
            KQoxScene target(manager);
            KQoxImporter importer(manager);
            importer.SetPassword(form.mPassword);
            const bool ok = importer.Initialize(edited.c_str()) && importer.Import(target);
            if (!ok)
            {
                EXPECT_STREQ(importer.GetLastErrorString(), "File is corrupted") << what;
                return std::string();
            }
            return KeysOf(target);
        };
        const std::string text = ReadFile(name);
        fileiotest::FieldFile records;
        if (!form.mAscii)
        {
            ASSERT_TRUE(fileiotest::ReadFieldFile(name, form.mPassword, records));
            // Copied as it is, the file reads the same (and a binary one is
            // the same bytes).
            ASSERT_TRUE(fileiotest::WriteFieldFile(edited, form.mPassword, records));
            if (form.mExport != eEXPORT_QOX_ENCRYPTED)
            {
                ASSERT_EQ(ReadFile(edited), text);
            }
        }
        else
            ASSERT_TRUE(qoxtest::WriteFile(edited, text));
        const std::string keys = read("unedited");
        ASSERT_NE(keys, "");
        // Every curve of both takes, the layer's too.
        ASSERT_NE(keys.find("/Transform/T layer 1/T/X 0=151 "), std::string::npos) << keys;
        ASSERT_NE(keys.find("Arm Run/Defaults/Transform/R/Z 0=141 "), std::string::npos) << keys;
        const Expected* table = form.mKeyByKey ? kKeyByKey : kArrays;
        const size_t rows = form.mKeyByKey ? std::size(kKeyByKey) : std::size(kArrays);
        std::map<std::string, int> edits;
        // Every record edited: by its index among the lines or the records.
        std::vector<std::pair<std::string, std::string>> targets; // name, path
        std::vector<Line> lines;
        if (form.mAscii)
        {
            for (const Line& line : RecordLines(text))
                if (Edited(line.mName, line.mPath))
                {
                    lines.push_back(line);
                    targets.emplace_back(line.mName, line.mPath);
                }
        }
        else
            fileiotest::EditRecords(records.mRecords, [&](const fileiotest::FieldRecord& r, const std::string& path, int) {
                if (Edited(r.mName, path))
                    targets.emplace_back(r.mName, path);
                return 1;
            });
        for (size_t t = 0; t < targets.size(); ++t)
        {
            const Expected* row = nullptr;
            for (size_t i = 0; i < rows; ++i)
                if (targets[t].first == table[i].mName)
                    row = &table[i];
            ASSERT_NE(row, nullptr) << targets[t].first;
            for (int times : {0, 2})
            {
                const std::string what = targets[t].first + (times ? " doubled" : " left out") + ", record " +
                                         std::to_string(t) + " in " + targets[t].second;
                SCOPED_TRACE(what);
                if (form.mAscii)
                {
                    std::string changed = text;
                    const Line& line = lines[t];
                    if (times == 0)
                        changed.erase(line.mBegin, line.mEnd - line.mBegin);
                    else
                        changed.insert(line.mBegin, text.substr(line.mBegin, line.mEnd - line.mBegin));
                    ASSERT_TRUE(qoxtest::WriteFile(edited, changed));
                }
                else
                {
                    size_t seen = 0;
                    fileiotest::FieldFile changed = records;
                    changed.mRecords = fileiotest::EditRecords(
                        records.mRecords, [&](const fileiotest::FieldRecord& r, const std::string& path, int) {
                            return Edited(r.mName, path) && seen++ == t ? times : 1;
                        });
                    ASSERT_TRUE(fileiotest::WriteFieldFile(edited, form.mPassword, changed));
                }
                const std::string got = read(what);
                const Outcome expected = times == 0 ? row->mLeftOut : row->mDoubled;
                // Fields read only for the objects' default values hold
                // no keys: any outcome but keys lost.
                const bool defaults = targets[t].second.rfind("Objects", 0) == 0;
                if (!got.empty())
                {
                    EXPECT_EQ(got, keys);
                }
                if (!defaults)
                {
                    EXPECT_EQ(got.empty(), expected == eRefused);
                }
                ++edits[targets[t].first + (times ? "x2" : "x0")];
            }
        }
        // Each kind of record was edited somewhere.
        for (size_t i = 0; i < rows; ++i)
            EXPECT_GT(edits[std::string(table[i].mName) + "x0"], 0) << table[i].mName;
    }
}

namespace {

// A node "Ball" whose translation holds, in the take "Walk", a base and two
// upper layers, each member keyed once at 1 s; and in "Run" its base only.
struct LayeredKeys
{
    const char* mTake;
    int mLayer; // 0: the base
    float mValues[3];
} const kLayeredKeys[] = {
    {"Walk", 0, {2.0f, 7.5f, 13.0f}},
    {"Walk", 1, {0.5f, -0.5f, -0.75f}},
    {"Walk", 2, {0.75f, 0.75f, 0.75f}},
    {"Run", 0, {-1.0f, 4.0f, 0.5f}},
};
// Per take, the ids of T's layers and of their members, and T at 1 s: the
// layers added to the base, worked by hand.
const struct
{
    const char* mTake;
    const char* mIds;
    double mT[3];
} kLayeredT[] = {
    {"Walk", " [0 0 0 0] [1 1 1 1] [2 2 2 2]", {3.25, 7.75, 13.0}},
    {"Run", " [0 0 0 0]", {-1.0, 4.0, 0.5}},
};

void BuildLayeredScene(KQoxSdkManager& manager, KQoxScene& scene)
{
    KQoxNode* ball = manager.CreateKQoxNode("Ball");
    scene.GetRootNode()->AddChild(ball);
    for (const LayeredKeys& k : kLayeredKeys)
    {
        KQoxTakeNode* take = TakeOf(*ball, k.mTake);
        if (!take)
            take = ball->CreateTakeNode(k.mTake);
        ASSERT_NE(take, nullptr);
        KFCurveNode* t = take->GetKFCurveNode()->FindRecursive("T");
        ASSERT_NE(t, nullptr);
        KFCurveNode* holder = k.mLayer == 0 ? t : t->CreateLayerAt(k.mLayer);
        ASSERT_NE(holder, nullptr);
        ASSERT_EQ(holder->GetLayerID(), k.mLayer);
        for (int axis = 0; axis < 3; ++axis)
        {
            KFCurve* curve = holder->Get(axis)->FCurveGet();
            ASSERT_NE(curve, nullptr);
            curve->KeyModifyBegin();
            curve->KeySet(curve->KeyAdd(KTime(kSecond)), KTime(kSecond), k.mValues[axis], KFCURVE_INTERPOLATION_LINEAR);
            curve->KeyModifyEnd();
        }
    }
    scene.SetCurrentTake("Walk");
}

// Every key of the scene, T of "Ball" at 1 s in each take and the takes
// described.
std::string LayeredOutcome(KQoxScene& scene)
{
    std::ostringstream out;
    out << KeysOf(scene);
    KQoxNode* ball = scene.GetRootNode()->GetChildCount() == 1 ? scene.GetRootNode()->GetChild(0) : nullptr;
    for (const auto& t : kLayeredT)
    {
        out << t.mTake << (scene.GetTakeInfo(t.mTake) ? " described" : " not described");
        KQoxTakeNode* take = ball ? TakeOf(*ball, t.mTake) : nullptr;
        // Each layer's id and its members'.
        for (KFCurveNode* layer = take ? take->GetKFCurveNode()->FindRecursive("T") : nullptr; layer;
             layer = layer->LayerGet())
        {
            out << " [" << layer->GetLayerID();
            for (int i = 0; i < layer->GetCount(); ++i)
                out << " " << layer->Get(i)->GetLayerID();
            out << "]";
        }
        if (ball && ball->SetCurrentTakeNode(t.mTake))
        {
            const KQoxVector4 v = ball->GetLocalFromCurrentTake(KTime(kSecond)).GetT();
            out << " T " << v[0] << " " << v[1] << " " << v[2];
        }
        out << "\n";
    }
    return out.str();
}

// The records edited: the layer ids of every channel of every take, and the
// take list's entries.
bool LayerOrTakeEntry(const std::string& name, const std::string& path)
{
    return (name == "LayerID" && path.rfind("Animation", 0) == 0) || (name == "Take" && path == "Takes");
}

// Where each such record of an ASCII file lies (a take's entry with its
// block and the line end after it), by name.
std::vector<std::pair<std::string, fileiotest::Block>> LayerOrTakeLines(const std::string& text)
{
    std::vector<std::pair<std::string, fileiotest::Block>> found;
    for (const Line& line : RecordLines(text))
        if (LayerOrTakeEntry(line.mName, line.mPath))
            found.emplace_back(line.mName, fileiotest::Block(line.mBegin, line.mEnd));
    const size_t takes = text.find("\n[Takes]:");
    const size_t end = takes == std::string::npos ? takes : text.find("\n[", takes + 1);
    for (size_t at = takes; at < end;)
    {
        fileiotest::Block entry = fileiotest::BlockAt(text, at, "\n    Take: ", end);
        if (entry.first >= end)
            break;
        found.emplace_back("Take", fileiotest::Block(entry.first + 1, entry.second + 1));
        at = entry.second;
    }
    return found;
}

} // namespace

// A node with a base and two upper layers in one take and keys in another,
// written in every native form of both versions, then each layer id (of a
// layer and of each of its members) and each entry of the take list left
// out in turn. The file still tells what was meant (a member lies on its
// layer, a layer on its members' id, a section names its take), so each
// read gives every key at its layer with its value, the translation the
// base's plus both layers', and both takes described; a refused read
// would fail with "File is corrupted" and leave the scene empty.
TEST(NativeLineEdits, LayersAndTakesReadWholeOrTheReadFails)
{
    TempDir dir;
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    BuildLayeredScene(manager, scene);
    if (HasFatalFailure())
        return;
    const std::string edited = dir.File("edited.qox");
    for (const Form& form : kForms)
    {
        SCOPED_TRACE(form.mName);
        const std::string name = dir.File("written.qox");
        ASSERT_TRUE(fileiotest::Export(manager, scene, name, form.mExport, form.mPassword));
        auto read = [&](const std::string& what) {
            KQoxScene target(manager);
            KQoxImporter importer(manager);
            importer.SetPassword(form.mPassword);
            if (importer.Initialize(edited.c_str()) && importer.Import(target))
                return LayeredOutcome(target);
            EXPECT_STREQ(importer.GetLastErrorString(), "File is corrupted") << what;
            EXPECT_EQ(target.GetRootNode()->GetChildCount(), 0) << what;
            EXPECT_EQ(target.GetTakeInfoCount(), 0) << what;
            return std::string();
        };
        const std::string text = ReadFile(name);
        fileiotest::FieldFile records;
        if (form.mAscii)
            ASSERT_TRUE(qoxtest::WriteFile(edited, text));
        else
        {
            ASSERT_TRUE(fileiotest::ReadFieldFile(name, form.mPassword, records));
            ASSERT_TRUE(fileiotest::WriteFieldFile(edited, form.mPassword, records));
        }
        const std::string whole = read("unedited");
        // Each layer at its id, each take's T as the keys give it.
        std::vector<std::string> expected = {"Ball Walk/Defaults/Transform/T/X 46186158000=2\n",
                                             "Ball Walk/Defaults/Transform/T layer 1/T/Y 46186158000=-0.5\n",
                                             "Ball Walk/Defaults/Transform/T layer 1/T layer 2/T/Z 46186158000=0.75\n",
                                             "Ball Run/Defaults/Transform/T/Z 46186158000=0.5\n"};
        for (const auto& t : kLayeredT)
        {
            std::ostringstream line;
            line << t.mTake << " described" << t.mIds << " T " << t.mT[0] << " " << t.mT[1] << " " << t.mT[2] << "\n";
            expected.push_back(line.str());
        }
        for (const std::string& part : expected)
            ASSERT_NE(whole.find(part), std::string::npos) << part << " in\n" << whole;

        std::vector<std::pair<std::string, fileiotest::Block>> lines;
        std::vector<std::string> targets;
        if (form.mAscii)
        {
            lines = LayerOrTakeLines(text);
            for (const auto& line : lines)
                targets.push_back(line.first);
        }
        else
            fileiotest::EditRecords(records.mRecords,
                                    [&](const fileiotest::FieldRecord& r, const std::string& path, int) {
                                        if (LayerOrTakeEntry(r.mName, path))
                                            targets.push_back(r.mName);
                                        return 1;
                                    });
        // Four layer ids per layer (the layer's own and its members'),
        // two layers, and the 0 of the chain's head; two takes listed.
        ASSERT_EQ(std::count(targets.begin(), targets.end(), "LayerID"), 2 * 4 + 1);
        ASSERT_EQ(std::count(targets.begin(), targets.end(), "Take"), 2);
        for (size_t t = 0; t < targets.size(); ++t)
        {
            const std::string what = targets[t] + " left out, record " + std::to_string(t);
            SCOPED_TRACE(what);
            if (form.mAscii)
            {
                std::string changed = text;
                changed.erase(lines[t].second.first, lines[t].second.second - lines[t].second.first);
                ASSERT_TRUE(qoxtest::WriteFile(edited, changed));
            }
            else
            {
                size_t seen = 0;
                fileiotest::FieldFile changed = records;
                changed.mRecords = fileiotest::EditRecords(
                    records.mRecords, [&](const fileiotest::FieldRecord& r, const std::string& path, int) {
                        return LayerOrTakeEntry(r.mName, path) && seen++ == t ? 0 : 1;
                    });
                ASSERT_TRUE(fileiotest::WriteFieldFile(edited, form.mPassword, changed));
            }
            // The file still tells each layer's id and each take's name.
            EXPECT_EQ(read(what), whole);
        }
    }
}
