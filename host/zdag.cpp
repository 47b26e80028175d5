// DAG paths, the DAG and dependency-graph iterators and the selection list.
#include "host/zdag.h"
#include "host/zscene_private.h"

#include <algorithm>
#include <deque>
#include <set>

using namespace zelthost;

namespace {

ZStatus Invalid()
{
    return ZStatus(ZStatus::kInvalidParameter, "the DAG path is not valid");
}

bool PathValid(const std::vector<uint64_t>& ids)
{
    Scene& scene = CurrentScene();
    uint64_t parent = scene.World();
    for (uint64_t id : ids)
    {
        Node* node = scene.Get(id);
        if (!node || std::find(node->parents.begin(), node->parents.end(), parent) == node->parents.end())
            return false;
        parent = id;
    }
    return true;
}

uint64_t EndId(const std::vector<uint64_t>& ids)
{
    return ids.empty() ? CurrentScene().World() : ids.back();
}

bool IsVisibleShape(const Node* node)
{
    return node && node->type->shape && !node->intermediate;
}

std::vector<uint64_t> Shapes(const Node* node)
{
    std::vector<uint64_t> shapes;
    for (uint64_t c : node->children)
        if (IsVisibleShape(CurrentScene().Get(c)))
            shapes.push_back(c);
    return shapes;
}

// The one shape below a node: its id, with count set to how many there are
// (the id is only meaningful when count is 1). Lists nothing, as paths are
// extended once per component an import selects.
uint64_t OnlyShape(const Node* node, size_t& count)
{
    count = 0;
    uint64_t found = 0;
    for (uint64_t c : node->children)
        if (IsVisibleShape(CurrentScene().Get(c)) && count++ == 0)
            found = c;
    return found;
}

} // namespace

// ---- ZDagPath ----

unsigned ZDagPath::length(ZStatus* status) const
{
    ZSetStatus(status, PathValid(mIds) ? ZStatus() : Invalid());
    return static_cast<unsigned>(mIds.size());
}

ZObject ZDagPath::node(ZStatus* status) const
{
    if (!PathValid(mIds))
    {
        ZSetStatus(status, Invalid());
        return ZObject();
    }
    ZSetStatus(status, ZStatus());
    return ZObject(NodeRep(EndId(mIds)));
}

ZObject ZDagPath::transform(ZStatus* status) const
{
    if (!PathValid(mIds) || mIds.empty())
    {
        ZSetStatus(status, Invalid());
        return ZObject();
    }
    for (size_t i = mIds.size(); i-- > 0;)
        if (CurrentScene().Get(mIds[i])->Is(ZFn::kTransform))
        {
            ZSetStatus(status, ZStatus());
            return ZObject(NodeRep(mIds[i]));
        }
    ZSetStatus(status, ZStatus(ZStatus::kNotFound, "no transform on the path"));
    return ZObject();
}

bool ZDagPath::isValid(ZStatus* status) const
{
    ZSetStatus(status, ZStatus());
    return PathValid(mIds);
}

ZString ZDagPath::fullPathName(ZStatus* status) const
{
    if (!PathValid(mIds))
    {
        ZSetStatus(status, Invalid());
        return ZString();
    }
    std::string out;
    for (uint64_t id : mIds)
        out += "|" + CurrentScene().Get(id)->name;
    ZSetStatus(status, ZStatus());
    return ZString(out);
}

ZString ZDagPath::partialPathName(ZStatus* status) const
{
    if (!PathValid(mIds) || mIds.empty())
    {
        ZSetStatus(status, mIds.empty() && PathValid(mIds) ? ZStatus() : Invalid());
        return ZString();
    }
    Scene& scene = CurrentScene();
    auto all = scene.AllPathsTo(mIds.back());
    // The shortest tail of the path that no other path to the node shares.
    for (size_t k = 1; k <= mIds.size(); ++k)
    {
        int matches = 0;
        for (const auto& p : all)
            if (p.size() >= k && std::equal(p.end() - k, p.end(), mIds.end() - k))
                ++matches;
        if (matches == 1 || k == mIds.size())
        {
            std::string out;
            for (size_t i = mIds.size() - k; i < mIds.size(); ++i)
                out += (out.empty() ? "" : "|") + scene.Get(mIds[i])->name;
            if (k == mIds.size() && matches != 1)
                out = "|" + out;
            ZSetStatus(status, ZStatus());
            return ZString(out);
        }
    }
    return ZString();
}

unsigned ZDagPath::childCount(ZStatus* status) const
{
    if (!PathValid(mIds))
    {
        ZSetStatus(status, Invalid());
        return 0;
    }
    ZSetStatus(status, ZStatus());
    return static_cast<unsigned>(CurrentScene().Get(EndId(mIds))->children.size());
}

ZObject ZDagPath::child(unsigned index, ZStatus* status) const
{
    unsigned n = childCount(status);
    if (!PathValid(mIds))
        return ZObject();
    if (index >= n)
    {
        ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, "child index out of range"));
        return ZObject();
    }
    return ZObject(NodeRep(CurrentScene().Get(EndId(mIds))->children[index]));
}

ZStatus ZDagPath::push(const ZObject& child)
{
    if (!PathValid(mIds))
        return Invalid();
    Node* node = NodeOf(child);
    Node* end = CurrentScene().Get(EndId(mIds));
    if (!node || std::find(end->children.begin(), end->children.end(), node->id) == end->children.end())
        return ZStatus(ZStatus::kInvalidParameter, "the object is not a child of the path's node");
    mIds.push_back(node->id);
    return ZStatus();
}

ZStatus ZDagPath::pop(unsigned count)
{
    if (count > mIds.size())
        return ZStatus(ZStatus::kInvalidParameter, "cannot pop past the world");
    mIds.resize(mIds.size() - count);
    return ZStatus();
}

ZStatus ZDagPath::extendToShape()
{
    if (!PathValid(mIds) || mIds.empty())
        return Invalid();
    Node* end = CurrentScene().Get(mIds.back());
    if (end->type->shape)
        return ZStatus();
    size_t count = 0;
    const uint64_t shape = OnlyShape(end, count);
    if (count != 1)
        return ZStatus(ZStatus::kInvalidParameter,
                       count == 0 ? "the node has no shape below it" : "the node has several shapes below it");
    mIds.push_back(shape);
    return ZStatus();
}

bool ZDagPath::hasFn(ZFn::Type type, ZStatus* status) const
{
    if (!PathValid(mIds))
    {
        ZSetStatus(status, Invalid());
        return false;
    }
    ZSetStatus(status, ZStatus());
    Node* end = CurrentScene().Get(EndId(mIds));
    if (end->Is(type))
        return true;
    if (end->Is(ZFn::kTransform))
        for (uint64_t s : Shapes(end))
            if (CurrentScene().Get(s)->Is(type))
                return true;
    return false;
}

ZFn::Type ZDagPath::apiType(ZStatus* status) const
{
    if (!PathValid(mIds))
    {
        ZSetStatus(status, Invalid());
        return ZFn::kInvalid;
    }
    ZSetStatus(status, ZStatus());
    return CurrentScene().Get(EndId(mIds))->type->fnTypes.front();
}

ZStatus ZDagPath::getAPathTo(const ZObject& node, ZDagPath& path)
{
    Node* n = NodeOf(node);
    if (!n || !n->type->dag)
        return ZStatus(ZStatus::kInvalidParameter, "the object is not a DAG node");
    std::vector<uint64_t> first = CurrentScene().FirstPathTo(n->id);
    if (first.empty())
        return ZStatus(ZStatus::kNotFound, "the node has no path");
    path = ZDagPath(first);
    return ZStatus();
}

ZStatus ZDagPath::getAllPathsTo(const ZObject& node, ZDagPathArray& paths)
{
    Node* n = NodeOf(node);
    if (!n || !n->type->dag)
        return ZStatus(ZStatus::kInvalidParameter, "the object is not a DAG node");
    paths.clear();
    for (auto& p : CurrentScene().AllPathsTo(n->id))
        paths.append(ZDagPath(p));
    return ZStatus();
}

unsigned ZDagPath::instanceNumber(ZStatus* status) const
{
    if (!PathValid(mIds) || mIds.empty())
    {
        ZSetStatus(status, Invalid());
        return 0;
    }
    auto all = CurrentScene().AllPathsTo(mIds.back());
    ZSetStatus(status, ZStatus());
    return static_cast<unsigned>(std::find(all.begin(), all.end(), mIds) - all.begin());
}

// ---- ZItDag ----

ZItDag::ZItDag(TraversalType type, ZFn::Type filter, ZStatus* status)
    : mType(type)
    , mFilter(filter)
{
    if (type != kDepthFirst && type != kBreadthFirst)
    {
        ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, "invalid traversal type"));
        mType = kDepthFirst;
    }
    else
        ZSetStatus(status, ZStatus());
    Build();
}

bool ZItDag::Accepted() const
{
    Node* node = mPath.empty() ? nullptr : CurrentScene().Get(mPath.back());
    return node && (mFilter == ZFn::kInvalid || node->Is(mFilter));
}

void ZItDag::Step()
{
    Scene& scene = CurrentScene();
    while (!mNext.empty())
    {
        Node* node = scene.Get(mPath.empty() ? scene.World() : mPath.back());
        size_t& k = mNext.back();
        if (node && k < node->children.size())
        {
            mPath.push_back(node->children[k++]);
            mNext.push_back(0);
            return;
        }
        mNext.pop_back();
        if (!mPath.empty())
            mPath.pop_back();
    }
    mDone = true;
}

void ZItDag::Build()
{
    mPath.clear();
    mNext.clear();
    mPaths.clear();
    mIndex = 0;
    mDone = false;
    if (mType == kDepthFirst)
    {
        mNext.push_back(0);
        do
            Step();
        while (!mDone && !Accepted());
        return;
    }
    const size_t kMaxPaths = 1000000;
    Scene& scene = CurrentScene();
    std::deque<std::vector<uint64_t>> queue;
    for (uint64_t c : scene.Get(scene.World())->children)
        queue.push_back({c});
    while (!queue.empty() && mPaths.size() < kMaxPaths)
    {
        std::vector<uint64_t> path = std::move(queue.front());
        queue.pop_front();
        Node* node = scene.Get(path.back());
        if (!node)
            continue;
        if (mFilter == ZFn::kInvalid || node->Is(mFilter))
            mPaths.push_back(path);
        for (uint64_t c : node->children)
        {
            queue.push_back(path);
            queue.back().push_back(c);
        }
    }
}

bool ZItDag::isDone(ZStatus* status) const
{
    ZSetStatus(status, ZStatus());
    return mType == kDepthFirst ? mDone : mIndex >= mPaths.size();
}

ZStatus ZItDag::next()
{
    if (isDone())
        return ZStatus(ZStatus::kFailure, "the iteration is done");
    if (mType == kDepthFirst)
        do
            Step();
        while (!mDone && !Accepted());
    else
        ++mIndex;
    return ZStatus();
}

ZStatus ZItDag::getPath(ZDagPath& path) const
{
    if (isDone())
        return ZStatus(ZStatus::kFailure, "the iteration is done");
    path = ZDagPath(mType == kDepthFirst ? mPath : mPaths[mIndex]);
    return ZStatus();
}

ZObject ZItDag::currentItem(ZStatus* status) const
{
    ZDagPath path;
    ZStatus st = getPath(path);
    ZSetStatus(status, st);
    return st ? ZObject(NodeRep(path.ids().back())) : ZObject();
}

ZStatus ZItDag::reset()
{
    Build();
    return ZStatus();
}

// ---- ZSelectionList ----

ZStatus ZSelectionList::clear()
{
    mItems.clear();
    return ZStatus();
}

unsigned ZSelectionList::length(ZStatus* status) const
{
    ZSetStatus(status, ZStatus());
    return static_cast<unsigned>(mItems.size());
}

namespace zelthost {

// "vtx[3:5]", "f[2]", "cv[1][2]" after the node name: a component object.
bool ParseComponent(const std::string& text, ZObject& component)
{
    size_t bracket = text.find('[');
    if (bracket == std::string::npos || text.back() != ']')
        return false;
    std::string kind = text.substr(0, bracket);
    auto rep = std::make_shared<ObjectRep>();
    rep->kind = ObjectRep::kComponent;
    if (kind == "vtx")
        rep->componentType = ZFn::kMeshVertComponent;
    else if (kind == "f")
        rep->componentType = ZFn::kMeshPolygonComponent;
    else if (kind == "cv")
        rep->componentType = ZFn::kSurfaceCVComponent;
    else
        return false;
    // Bracketed numbers or ranges.
    std::vector<std::pair<long, long>> groups;
    size_t pos = bracket;
    while (pos < text.size())
    {
        if (text[pos] != '[')
            return false;
        size_t close = text.find(']', pos);
        if (close == std::string::npos)
            return false;
        std::string inner = text.substr(pos + 1, close - pos - 1);
        size_t colon = inner.find(':');
        std::string a = inner.substr(0, colon), b = colon == std::string::npos ? a : inner.substr(colon + 1);
        auto number = [](const std::string& s, long& out) {
            if (s.empty() || s.size() > 9)
                return false;
            for (char c : s)
                if (!std::isdigit(static_cast<unsigned char>(c)))
                    return false;
            out = std::stol(s);
            return true;
        };
        long lo, hi;
        if (!number(a, lo) || !number(b, hi) || hi < lo || hi - lo > 1000000)
            return false;
        groups.push_back({lo, hi});
        pos = close + 1;
    }
    bool twoIndices = rep->componentType == ZFn::kSurfaceCVComponent;
    if (groups.size() != (twoIndices ? 2u : 1u))
        return false;
    if (twoIndices)
    {
        if ((groups[0].second - groups[0].first + 1) * (groups[1].second - groups[1].first + 1) > 1000000)
            return false;
        for (long u = groups[0].first; u <= groups[0].second; ++u)
            for (long v = groups[1].first; v <= groups[1].second; ++v)
                rep->elements.push_back({static_cast<int>(u), static_cast<int>(v)});
    }
    else
        for (long i = groups[0].first; i <= groups[0].second; ++i)
            rep->elements.push_back({static_cast<int>(i), 0});
    component = ZObject(rep);
    return true;
}

} // namespace zelthost

ZStatus ZSelectionList::add(const ZString& name, bool)
{
    const std::string& text = name.str();
    Scene& scene = CurrentScene();
    size_t dot = text.find('.');
    std::string nodeText = text.substr(0, dot);
    ZObject component;
    if (dot != std::string::npos && !ParseComponent(text.substr(dot + 1), component))
        return ZStatus(ZStatus::kInvalidParameter, "Invalid component: " + text);
    Item item;
    if (!scene.Resolve(nodeText, item.path, item.dag))
        return ZStatus(ZStatus::kInvalidParameter, "No object matches name: " + nodeText);
    if (!component.isNull())
    {
        if (!item.dag)
            return ZStatus(ZStatus::kInvalidParameter, "Invalid component: " + text);
        ZDagPath path(item.path);
        if (!scene.Get(item.path.back())->type->shape && !path.extendToShape())
            return ZStatus(ZStatus::kInvalidParameter, "No geometry below " + nodeText);
        item.path = path.ids();
        item.component = component;
    }
    mItems.push_back(std::move(item));
    return ZStatus();
}

ZStatus ZSelectionList::add(const ZObject& node, bool mergeWithExisting)
{
    Node* n = NodeOf(node);
    if (!n || n->id == CurrentScene().World())
        return ZStatus(ZStatus::kInvalidParameter, "the object is not a node");
    Item item;
    item.dag = n->type->dag;
    if (item.dag)
    {
        item.path = CurrentScene().FirstPathTo(n->id);
        if (item.path.empty())
            return ZStatus(ZStatus::kInvalidParameter, "the node has no path");
    }
    else
        item.path = {n->id};
    if (mergeWithExisting)
        for (const Item& i : mItems)
            if (i.path == item.path && i.component.isNull())
                return ZStatus();
    mItems.push_back(std::move(item));
    return ZStatus();
}

ZStatus ZSelectionList::add(const ZDagPath& path, const ZObject& component, bool mergeWithExisting)
{
    // Called once per face by an import: the path is checked once and
    // extended in place, without copies.
    const std::vector<uint64_t>& ids = path.ids();
    if (ids.empty() || !PathValid(ids))
        return ZStatus(ZStatus::kInvalidParameter, "the DAG path is not valid");
    const auto& rep = component.rep();
    if (rep && rep->kind != ObjectRep::kComponent)
        return ZStatus(ZStatus::kInvalidParameter, "the object is not a component");
    Item item;
    item.dag = true;
    item.path.reserve(ids.size() + 1);
    item.path = ids;
    if (rep && !CurrentScene().Get(ids.back())->type->shape)
    {
        size_t count = 0;
        const uint64_t shape = OnlyShape(CurrentScene().Get(ids.back()), count);
        if (count != 1)
            return ZStatus(ZStatus::kInvalidParameter, "no geometry below the path");
        item.path.push_back(shape);
    }
    if (mergeWithExisting)
        for (Item& i : mItems)
            if (i.path == item.path && i.component.rep() && rep &&
                i.component.rep()->componentType == rep->componentType)
            {
                auto merged = std::make_shared<ObjectRep>(*i.component.rep());
                merged->elements.insert(merged->elements.end(), rep->elements.begin(), rep->elements.end());
                i.component = ZObject(merged);
                return ZStatus();
            }
    if (rep)
        item.component = ZObject(std::make_shared<ObjectRep>(*rep));
    mItems.push_back(std::move(item));
    return ZStatus();
}

ZStatus ZSelectionList::getDependNode(unsigned index, ZObject& node) const
{
    if (index >= mItems.size())
        return ZStatus(ZStatus::kInvalidParameter, "selection index out of range");
    uint64_t id = mItems[index].path.empty() ? 0 : mItems[index].path.back();
    if (!CurrentScene().Get(id))
        return ZStatus(ZStatus::kInvalidParameter, "the selected node no longer exists");
    node = ZObject(NodeRep(id));
    return ZStatus();
}

ZStatus ZSelectionList::getDagPath(unsigned index, ZDagPath& path, ZObject& component) const
{
    if (index >= mItems.size())
        return ZStatus(ZStatus::kInvalidParameter, "selection index out of range");
    if (!mItems[index].dag)
        return ZStatus(ZStatus::kInvalidParameter, "the selected item is not a DAG node");
    path = ZDagPath(mItems[index].path);
    component = mItems[index].component;
    return path.isValid() ? ZStatus() : ZStatus(ZStatus::kInvalidParameter, "the selected path is no longer valid");
}

ZStatus ZSelectionList::getDagPath(unsigned index, ZDagPath& path) const
{
    ZObject ignored;
    return getDagPath(index, path, ignored);
}

ZStatus ZSelectionList::getSelectionStrings(ZStringArray& strings) const
{
    strings.clear();
    // Each text, or a run of vertex or face indices of one object that
    // following items may carry on: items added one element at a time (an
    // import assigning faces one by one) read as the ranges they make up.
    struct Text
    {
        std::string text; // a node, a cv, or the "name.f" before a run
        int first = 0, last = -1;
        bool run = false;
    };
    std::vector<Text> texts;
    std::vector<uint64_t> namedPath;
    std::string name, head; // head: "name.f" or "name.vtx", made for headType
    ZFn::Type headType = ZFn::kInvalid;
    bool headMade = false;
    std::vector<int> indices;
    for (const Item& item : mItems)
    {
        // Items of one object follow each other: its name is found once.
        if (item.path != namedPath || name.empty())
        {
            name.clear();
            if (item.dag)
                name = ZDagPath(item.path).partialPathName().str();
            else if (Node* n = CurrentScene().Get(item.path.front()))
                name = n->name;
            namedPath = item.path;
            headMade = false;
        }
        if (name.empty())
            continue;
        const auto& rep = item.component.rep();
        if (!rep)
        {
            texts.push_back({name});
            continue;
        }
        if (rep->componentType == ZFn::kSurfaceCVComponent)
        {
            // One string per cv, as the host's script commands take them.
            const std::string text = ComponentText("cv", rep->elements, name);
            for (size_t start = 0; start < text.size();)
            {
                const size_t blank = std::min(text.find(' ', start), text.size());
                texts.push_back({text.substr(start, blank - start)});
                start = blank + 1;
            }
            continue;
        }
        if (!headMade || headType != rep->componentType)
        {
            head = name + (rep->componentType == ZFn::kMeshVertComponent ? ".vtx" : ".f");
            headType = rep->componentType;
            headMade = true;
        }
        SortedUniqueFirsts(rep->elements, indices);
        for (size_t i = 0; i < indices.size();)
        {
            size_t j = i;
            while (j + 1 < indices.size() && indices[j + 1] == indices[j] + 1)
                ++j;
            Text* last = texts.empty() ? nullptr : &texts.back();
            if (last && last->run && last->last + 1 == indices[i] && last->text == head)
                last->last = indices[j];
            else
                texts.push_back({head, indices[i], indices[j], true});
            i = j + 1;
        }
    }
    for (const Text& t : texts)
    {
        if (!t.run)
            strings.append(ZString(t.text));
        else if (t.last > t.first)
            strings.append(ZString(t.text + "[" + std::to_string(t.first) + ":" + std::to_string(t.last) + "]"));
        else
            strings.append(ZString(t.text + "[" + std::to_string(t.first) + "]"));
    }
    return ZStatus();
}

ZStatus ZSelectionList::remove(unsigned index)
{
    if (index >= mItems.size())
        return ZStatus(ZStatus::kInvalidParameter, "selection index out of range");
    mItems.erase(mItems.begin() + index);
    return ZStatus();
}

// ---- ZItDependencyGraph ----

ZItDependencyGraph::ZItDependencyGraph(const ZObject& root, ZFn::Type filter, Direction direction, Traversal traversal,
                                       Level, ZStatus* status)
{
    Node* start = NodeOf(root);
    if (!start)
    {
        ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, "the root is not a node"));
        return;
    }
    Scene& scene = CurrentScene();
    std::set<uint64_t> seen{start->id};
    std::deque<uint64_t> work{start->id};
    while (!work.empty())
    {
        uint64_t id;
        if (traversal == kBreadthFirst)
        {
            id = work.front();
            work.pop_front();
        }
        else
        {
            id = work.back();
            work.pop_back();
        }
        Node* node = scene.Get(id);
        if (filter == ZFn::kInvalid || node->Is(filter))
            mOrder.push_back(id);
        const auto& links = direction == kUpstream ? node->in : node->out;
        std::vector<uint64_t> next;
        for (const Connection& c : links)
        {
            uint64_t other = direction == kUpstream ? c.src : c.dst;
            if (seen.insert(other).second)
                next.push_back(other);
        }
        // Depth first visits the first connection first.
        if (traversal == kBreadthFirst)
            work.insert(work.end(), next.begin(), next.end());
        else
            work.insert(work.end(), next.rbegin(), next.rend());
    }
    ZSetStatus(status, ZStatus());
}

bool ZItDependencyGraph::isDone(ZStatus* status) const
{
    ZSetStatus(status, ZStatus());
    return mIndex >= mOrder.size();
}

ZStatus ZItDependencyGraph::next()
{
    if (mIndex >= mOrder.size())
        return ZStatus(ZStatus::kFailure, "the iteration is done");
    ++mIndex;
    return ZStatus();
}

ZObject ZItDependencyGraph::currentItem(ZStatus* status) const
{
    if (mIndex >= mOrder.size() || !CurrentScene().Get(mOrder[mIndex]))
    {
        ZSetStatus(status, ZStatus(ZStatus::kFailure, "no current node"));
        return ZObject();
    }
    ZSetStatus(status, ZStatus());
    return ZObject(NodeRep(mOrder[mIndex]));
}
